// The graph as a media filter: its clock. A graph normally runs by its
// pipeline's clock, so a song plays in real time; without a clock (an
// offline render into files) every stream runs as fast as the CPU allows.
#include <gst/gst.h>

#include "platform/dshow/filter_graph.h"
#include "platform/dshow/uuids.h"

HRESULT CFilterGraph::GetClassID(CLSID *pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_FilterGraph;
  return S_OK;
}

HRESULT CFilterGraph::Run(REFERENCE_TIME) {
  // The pipeline chooses its own base time.
  return Run();
}

HRESULT CFilterGraph::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) {
  if (!State) return E_POINTER;
  OAFilterState fs = State_Stopped;
  const long timeout =
      dwMilliSecsTimeout == INFINITE ? -1 : static_cast<long>(dwMilliSecsTimeout & 0x7fffffff);
  HRESULT hr = GetState(timeout, &fs);
  *State = static_cast<FILTER_STATE>(fs);
  return hr;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock *pClock) {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  // Only "no clock" can be asked for: the elements can be timed by no
  // clock but GStreamer's.
  if (pClock) return E_NOTIMPL;
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  gst_pipeline_use_clock(GST_PIPELINE(m_pipeline), nullptr);
  m_withoutClock = true;
  return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock **pClock) {
  if (!pClock) return E_POINTER;
  *pClock = nullptr;
  return S_OK;
}
