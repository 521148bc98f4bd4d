#include "player/preview_player.h"

#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/gui.h"
#include "platform/win/text.h"
#include "res/resource.h"

#include <cstdint>
#include <cstring>

namespace {

// Player window timer that refreshes the positions and ticks the owner.
constexpr UINT_PTR kTickTimer = 2;
constexpr UINT kTickMilliseconds = 1000;

template <typename T>
void ReleaseAndClear(T *&p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}

unsigned HexOf(HRESULT hr) { return static_cast<uint32_t>(hr); }

}  // namespace

CPreviewPlayer::CPreviewPlayer(HINSTANCE hInstance, HWND hwndOwner)
    : m_hwndOwner(hwndOwner),
      m_hInstance(hInstance),
      m_szFile{},
      m_bAudioOnly(0),
      m_state(NoClip),
      pVW(nullptr),
      m_bWindowShown(0),
      pBV(nullptr),
      pGB(nullptr),
      pMC(nullptr),
      pME(nullptr),
      pBA(nullptr),
      pMS(nullptr),
      m_hWnd(nullptr),
      m_bWindowCreated(false),
      m_rtPosition(0),
      m_rtStop(0) {}

CPreviewPlayer::~CPreviewPlayer() = default;

int CPreviewPlayer::Load() {
  m_state = Stopped;
  if (!CreatePlayerWindow()) return 0;
  if (FAILED(BuildGraph())) {
    Unload();
    return 0;
  }
  return 1;
}

// Building the graph, in the order of its steps; the first failure shows its
// message and ends the build with its status.
HRESULT CPreviewPlayer::BuildGraph() {
  HRESULT hr = CreateGraph();
  if (SUCCEEDED(hr)) hr = RenderSong();
  if (SUCCEEDED(hr)) hr = QueryGraphInterfaces();
  if (FAILED(hr)) return hr;
  DecideAudioOnly();
  hr = NotifyPlayerWindow();
  if (FAILED(hr)) return hr;
  if (!m_bAudioOnly) {
    hr = ShowVideoWindow();
    if (FAILED(hr)) return hr;
  } else {
    HidePlayerWindow();
  }
  UpdateTitle();
  SetTimer(m_hWnd, kTickTimer, kTickMilliseconds, nullptr);
  return hr;
}

HRESULT CPreviewPlayer::CreateGraph() {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&pGB));
  if (FAILED(hr)) ShowMessage("FAILED(hr=0x%x) in creating the filter graph\n", HexOf(hr));
  return hr;
}

HRESULT CPreviewPlayer::RenderSong() {
  WCHAR wFile[MAX_PATH];
  // A name that does not convert leaves an empty name, which RenderFile
  // refuses.
  if (MultiByteToWideChar(CP_ACP, 0, m_szFile, -1, wFile, MAX_PATH) == 0) wFile[0] = 0;
  HRESULT hr = pGB->RenderFile(wFile, nullptr);
  if (FAILED(hr)) {
    MessageBoxA(nullptr,
                "Cannot play the file.  The file is either corrupt or\nthe "
                "player does not support "
                "the format you "
                "are trying to play.\nIf you want more decoders, please visit "
                "our website.",
                "Error", MB_OK);
  }
  return hr;
}

HRESULT CPreviewPlayer::QueryGraphInterfaces() {
  struct Query {
    const IID &iid;
    void **into;
    const char *diagnostic;
  };
  const Query queries[] = {
      {IID_IMediaControl, reinterpret_cast<void **>(&pMC),
       "FAILED(hr=0x%x) in getting the graph's playback control\n"},
      {IID_IMediaEventEx, reinterpret_cast<void **>(&pME),
       "FAILED(hr=0x%x) in getting the graph's events\n"},
      {IID_IMediaSeeking, reinterpret_cast<void **>(&pMS),
       "FAILED(hr=0x%x) in getting the graph's positions\n"},
      {IID_IVideoWindow, reinterpret_cast<void **>(&pVW),
       "FAILED(hr=0x%x) in getting the graph's video window\n"},
      {IID_IBasicVideo, reinterpret_cast<void **>(&pBV),
       "FAILED(hr=0x%x) in getting the graph's video size\n"},
      {IID_IBasicAudio, reinterpret_cast<void **>(&pBA),
       "FAILED(hr=0x%x) in getting the graph's volume control\n"},
  };
  for (const Query &q : queries) {
    HRESULT hr = pGB->QueryInterface(q.iid, q.into);
    if (FAILED(hr)) {
      ShowMessage(q.diagnostic, HexOf(hr));
      return hr;
    }
  }
  return S_OK;
}

// The graph answers for the video interfaces on every file; a graph without
// video says so through their methods.
void CPreviewPlayer::DecideAudioOnly() {
  if (pVW == nullptr || pBV == nullptr) {
    m_bAudioOnly = 1;
    return;
  }
  m_bAudioOnly = 0;
  long lVisible = 0;
  HRESULT hr = pVW->get_Visible(&lVisible);
  if (hr == E_NOINTERFACE) {
    m_bAudioOnly = 1;
  } else if (FAILED(hr)) {
    ShowMessage("Failed(%08lx) in asking the video window whether it is visible!\r\n",
                static_cast<unsigned long>(HexOf(hr)));
  }
}

HRESULT CPreviewPlayer::NotifyPlayerWindow() {
  HRESULT hr = pME->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hWnd), WM_GRAPHNOTIFY_PLAYER, 0);
  if (FAILED(hr))
    ShowMessage("FAILED(hr=0x%x) in sending the graph's events to the player window\n", HexOf(hr));
  return hr;
}

// The video window becomes a child of the player window, sized to the
// picture, and the player window is shown with the focus.
HRESULT CPreviewPlayer::ShowVideoWindow() {
  long lStyle = 0;
  pVW->get_WindowStyle(&lStyle);
  lStyle = static_cast<long>((static_cast<unsigned long>(lStyle) & 0xFF3BFFFFul) | 0x40000000ul);
  pVW->put_WindowStyle(lStyle);
  pVW->put_Owner(reinterpret_cast<OAHWND>(m_hWnd));
  pVW->put_MessageDrain(reinterpret_cast<OAHWND>(m_hWnd));
  HRESULT hr = InitVideoWindow(1, 1);
  if (FAILED(hr)) {
    ShowMessage("FAILED(hr=0x%x) in sizing the video window\n", HexOf(hr));
    return hr;
  }
  m_bWindowShown = 1;
  ShowWindow(m_hWnd, SW_SHOWNORMAL);
  UpdateWindow(m_hWnd);
  SetForegroundWindow(m_hWnd);
  SetFocus(m_hWnd);
  return hr;
}

// The window only carries messages. Keys must keep going to the main
// dialog: a hidden window holding the focus would swallow them, and the
// close key there would close the song.
void CPreviewPlayer::HidePlayerWindow() {
  ShowWindow(m_hWnd, SW_HIDE);
  UpdateWindow(m_hWnd);
}

void CPreviewPlayer::Play() {
  if (pMC == nullptr) return;
  if (m_state == Stopped || m_state == Paused) {
    HRESULT hr = pMC->Run();
    if (SUCCEEDED(hr)) {
      m_state = Playing;
    } else {
      // A run would record silence with the clock going on: the owner ends it.
      PostMessageA(m_hwndOwner, WM_PLAYER_FAILED, static_cast<WPARAM>(static_cast<DWORD>(hr)), 0);
    }
  }
  if (pMS && SUCCEEDED(pMS->SetRate(1.0))) UpdateTitle();
}

void CPreviewPlayer::Pause() {
  if (pMC == nullptr) return;
  if (m_state != Paused && m_state != Stopped) {
    if (SUCCEEDED(pMC->Pause())) m_state = Paused;
  }
  UpdateTitle();
}

void CPreviewPlayer::Stop() {
  if (pMC == nullptr || pMS == nullptr) return;
  if (m_state == Paused || m_state == Playing) {
    pMC->Stop();
    m_state = Stopped;
    LONGLONG llStart = 0;
    pMS->SetPositions(&llStart, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    // Cued at the start, so the next Play begins there.
    pMC->Pause();
  }
  UpdateTitle();
}

void CPreviewPlayer::Unload() {
  if (pMC) pMC->Stop();
  m_state = Stopped;
  m_bAudioOnly = 1;
  if (m_bWindowCreated && m_hWnd) DestroyPlayerWindow();
  if (pVW) {
    pVW->put_Visible(OAFALSE);
    pVW->put_Owner(0);
  }
  if (pME) pME->SetNotifyWindow(0, 0, 0);
  ReleaseAndClear(pME);
  ReleaseAndClear(pMS);
  ReleaseAndClear(pMC);
  ReleaseAndClear(pBA);
  ReleaseAndClear(pBV);
  ReleaseAndClear(pVW);
  ReleaseAndClear(pGB);
  m_szFile[0] = 0;
  m_state = NoClip;
  InvalidateRect(m_hwndOwner, nullptr, TRUE);
}

HRESULT CPreviewPlayer::OnGraphEvent() {
  if (pME == nullptr) return 0;
  HRESULT hr = 0;
  long lCode = 0;
  LONG_PTR lParam1 = 0, lParam2 = 0;
  while (pME && SUCCEEDED(pME->GetEvent(&lCode, &lParam1, &lParam2, 0))) {
    hr = pME->FreeEventParams(lCode, lParam1, lParam2);
    if (lCode == EC_COMPLETE) {
      Stop();
      PostMessageA(m_hwndOwner, WM_COMMAND, IDC_STOP, 0);
    } else if (lCode == EC_ERRORABORT) {
      // The song stopped sounding in the middle (its synthesiser or output
      // failed); the graph has stopped on its own.
      Stop();
      PostMessageA(m_hwndOwner, WM_PLAYER_FAILED, static_cast<WPARAM>(static_cast<DWORD>(lParam1)),
                   0);
    }
  }
  return hr;
}

HRESULT CPreviewPlayer::OnTick() {
  if (pMS == nullptr || pMS->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME) != S_OK)
    return E_NOINTERFACE;
  GUID saved{};
  HRESULT hr = pMS->GetTimeFormat(&saved);
  if (FAILED(hr)) return hr;
  hr = pMS->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
  if (FAILED(hr)) return hr;
  hr = pMS->GetStopPosition(&m_rtStop);
  if (FAILED(hr)) return hr;
  hr = pMS->GetCurrentPosition(&m_rtPosition);
  if (FAILED(hr)) return hr;
  if (!(saved == TIME_FORMAT_MEDIA_TIME)) {
    hr = pMS->SetTimeFormat(&saved);
    if (FAILED(hr)) return hr;
  }
  RECT rc;
  if (m_hwndOwner && GetClientRect(m_hwndOwner, &rc))
    PostMessageA(m_hwndOwner, WM_PLAYER_TICK, 0, 0);
  return 0;
}
