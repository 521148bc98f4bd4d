// IBasicAudio, IVideoWindow and IBasicVideo of the filter graph manager,
// answered through the audio and video renderers RenderFile added.
#include <cmath>

#include "platform/dshow/filter_graph.h"
#include "platform/dshow/graph_filters.h"
#include "platform/dshow/video_renderer.h"

HRESULT CFilterGraph::put_Volume(long lVolume) {
  if (lVolume < -10000 || lVolume > 0) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_audioRenderer) return E_NOTIMPL;
  m_volume = lVolume;
  // Hundredths of a decibel to a linear gain; the bottom of the scale is
  // silence.
  m_audioRenderer->SetGain(lVolume <= -10000 ? 0.0 : std::pow(10.0, lVolume / 2000.0));
  return S_OK;
}

HRESULT CFilterGraph::get_Volume(long *plVolume) {
  if (!plVolume) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_audioRenderer) return E_NOTIMPL;
  *plVolume = m_volume;
  return S_OK;
}

HRESULT CFilterGraph::put_Balance(long) { return E_NOTIMPL; }
HRESULT CFilterGraph::get_Balance(long *plBalance) {
  if (plBalance) *plBalance = 0;
  return E_NOTIMPL;
}

// ---- video
// -------------------------------------------------------------------
//
// The window calls go to the video renderer RenderFile added, which owns the
// child window that shows the frames; the values kept here only answer for
// a graph whose renderer has been removed.

namespace {
template <class Entries>
CVideoRendererFilter *VideoRendererIn(Entries &entries) {
  for (auto &e : entries)
    if (auto *r = dynamic_cast<CVideoRendererFilter *>(e.filter.Get())) return r;
  return nullptr;
}
}  // namespace

HRESULT CFilterGraph::put_Visible(long Visible) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  if (Visible != OATRUE && Visible != OAFALSE) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_visible = Visible;
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) return r->PutVisible(Visible);
  return S_OK;
}

HRESULT CFilterGraph::get_Visible(long *pVisible) {
  if (!pVisible) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) return r->GetVisible(pVisible);
  *pVisible = m_visible;
  return S_OK;
}

HRESULT CFilterGraph::put_WindowStyle(long WindowStyle) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) {
    if (HRESULT hr = r->PutWindowStyle(WindowStyle); FAILED(hr)) return hr;
  }
  m_windowStyle = WindowStyle;
  return S_OK;
}

HRESULT CFilterGraph::get_WindowStyle(long *WindowStyle) {
  if (!WindowStyle) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) return r->GetWindowStyle(WindowStyle);
  *WindowStyle = m_windowStyle;
  return S_OK;
}

HRESULT CFilterGraph::put_Owner(OAHWND Owner) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) {
    if (HRESULT hr = r->PutOwner(Owner); FAILED(hr)) return hr;
  }
  m_owner = Owner;
  return S_OK;
}

HRESULT CFilterGraph::get_Owner(OAHWND *Owner) {
  if (!Owner) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  *Owner = m_owner;
  return S_OK;
}

HRESULT CFilterGraph::put_MessageDrain(OAHWND Drain) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_drain = Drain;
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters)) return r->PutMessageDrain(Drain);
  return S_OK;
}

HRESULT CFilterGraph::get_MessageDrain(OAHWND *Drain) {
  if (!Drain) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  *Drain = m_drain;
  return S_OK;
}

HRESULT CFilterGraph::SetWindowPosition(long Left, long Top, long Width, long Height) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  if (Width < 0 || Height < 0) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_winLeft = Left;
  m_winTop = Top;
  m_winWidth = Width;
  m_winHeight = Height;
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters))
    return r->SetWindowPosition(Left, Top, Width, Height);
  return S_OK;
}

HRESULT CFilterGraph::GetWindowPosition(long *pLeft, long *pTop, long *pWidth, long *pHeight) {
  if (!pLeft || !pTop || !pWidth || !pHeight) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters))
    return r->GetWindowPosition(pLeft, pTop, pWidth, pHeight);
  *pLeft = m_winLeft;
  *pTop = m_winTop;
  *pWidth = m_winWidth;
  *pHeight = m_winHeight;
  return S_OK;
}

HRESULT CFilterGraph::NotifyOwnerMessage(OAHWND hwnd, long uMsg, LONG_PTR wParam, LONG_PTR lParam) {
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (CVideoRendererFilter *r = VideoRendererIn(m_filters))
    return r->NotifyOwnerMessage(hwnd, uMsg, wParam, lParam);
  return S_OK;
}

HRESULT CFilterGraph::GetVideoSize(long *pWidth, long *pHeight) {
  if (!pWidth || !pHeight) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  *pWidth = m_videoWidth;
  *pHeight = m_videoHeight;
  return S_OK;
}

HRESULT CFilterGraph::get_AvgTimePerFrame(REFTIME *pAvgTimePerFrame) {
  if (!pAvgTimePerFrame) return E_POINTER;
  if (HRESULT hr = VideoCheck(); FAILED(hr)) return hr;
  *pAvgTimePerFrame = m_frameTime;
  return S_OK;
}
