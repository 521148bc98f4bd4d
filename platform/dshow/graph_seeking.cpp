// IMediaSeeking of the filter graph manager, in 100 ns units; only a
// rendered file can be sought.
#include <gst/gst.h>

#include <cmath>

#include "platform/dshow/filter_graph.h"
#include "platform/dshow/gst_util.h"

REFERENCE_TIME CFilterGraph::QueryPosition() {
  gint64 pos = 0;
  if (m_state != State_Stopped && gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &pos) &&
      pos >= 0)
    m_lastPosition = GstToRefTime(static_cast<GstClockTime>(pos));
  return m_lastPosition;
}

HRESULT CFilterGraph::ApplySeek(REFERENCE_TIME start, bool setStop, REFERENCE_TIME stop,
                                double rate) {
  {
    std::lock_guard<std::mutex> g(m_eventLock);
    m_eosSeen = false;  // a flushing seek starts the streams again
  }
  auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
  if (!gst_element_seek(m_pipeline, rate, GST_FORMAT_TIME, flags,
                        start >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                        start >= 0 ? static_cast<gint64>(RefTimeToGst(start)) : 0,
                        setStop ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                        setStop ? static_cast<gint64>(RefTimeToGst(stop)) : 0))
    return E_FAIL;
  gst_element_get_state(m_pipeline, nullptr, nullptr, kStateTimeoutMs * GST_MSECOND);
  if (start >= 0) m_lastPosition = start;
  return S_OK;
}

HRESULT CFilterGraph::GetCapabilities(DWORD *pCapabilities) {
  if (!pCapabilities) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  *pCapabilities = AM_SEEKING_CanGetCurrentPos;
  if (m_seekable)
    *pCapabilities |= AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                      AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                      AM_SEEKING_CanGetDuration;
  return S_OK;
}

HRESULT CFilterGraph::CheckCapabilities(DWORD *pCapabilities) {
  if (!pCapabilities) return E_POINTER;
  DWORD have = 0;
  GetCapabilities(&have);
  DWORD wanted = *pCapabilities;
  *pCapabilities &= have;
  if (*pCapabilities == wanted) return S_OK;
  return *pCapabilities ? S_FALSE : E_FAIL;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID *pFormat) {
  if (!pFormat) return E_POINTER;
  return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::QueryPreferredFormat(GUID *pFormat) {
  if (!pFormat) return E_POINTER;
  *pFormat = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT CFilterGraph::GetTimeFormat(GUID *pFormat) { return QueryPreferredFormat(pFormat); }

HRESULT CFilterGraph::IsUsingTimeFormat(const GUID *pFormat) { return IsFormatSupported(pFormat); }

HRESULT CFilterGraph::SetTimeFormat(const GUID *pFormat) {
  if (!pFormat) return E_POINTER;
  return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CFilterGraph::GetDuration(LONGLONG *pDuration) {
  if (!pDuration) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_seekable || m_duration < 0) return E_NOTIMPL;
  *pDuration = m_duration;
  return S_OK;
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG *pStop) {
  if (!pStop) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_seekable) return E_NOTIMPL;
  REFERENCE_TIME stop = m_stopSet ? m_stop : m_duration;
  if (stop < 0) return E_NOTIMPL;
  *pStop = stop;
  return S_OK;
}

HRESULT CFilterGraph::GetCurrentPosition(LONGLONG *pCurrent) {
  if (!pCurrent) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  REFERENCE_TIME pos =
      m_state == State_Stopped && m_startPending >= 0 ? m_startPending : QueryPosition();
  // The sound may run a little past the end (a MIDI song's release tail);
  // the position callers see never passes the stop position.
  REFERENCE_TIME stop = m_stopSet ? m_stop : m_duration;
  if (m_seekable && stop >= 0 && pos > stop) pos = stop;
  *pCurrent = pos < 0 ? 0 : pos;
  return S_OK;
}

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat,
                                        LONGLONG Source, const GUID *pSourceFormat) {
  if (!pTarget) return E_POINTER;
  bool targetOk = !pTargetFormat || *pTargetFormat == TIME_FORMAT_MEDIA_TIME;
  bool sourceOk = !pSourceFormat || *pSourceFormat == TIME_FORMAT_MEDIA_TIME;
  if (!targetOk || !sourceOk) return E_INVALIDARG;
  *pTarget = Source;
  return S_OK;
}

HRESULT CFilterGraph::SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop,
                                   DWORD dwStopFlags) {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  DWORD curMode = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
  DWORD stopMode = dwStopFlags & AM_SEEKING_PositioningBitsMask;
  if ((curMode != AM_SEEKING_NoPositioning && !pCurrent) ||
      (stopMode != AM_SEEKING_NoPositioning && !pStop))
    return E_POINTER;
  if (!m_seekable) return E_NOTIMPL;

  REFERENCE_TIME now =
      m_state == State_Stopped && m_startPending >= 0 ? m_startPending : QueryPosition();
  REFERENCE_TIME cur = now;
  if (curMode == AM_SEEKING_AbsolutePositioning)
    cur = *pCurrent;
  else if (curMode != AM_SEEKING_NoPositioning)
    cur = now + *pCurrent;
  if (cur < 0) cur = 0;
  if (m_duration >= 0 && cur > m_duration) cur = m_duration;

  REFERENCE_TIME oldStop = m_stopSet ? m_stop : m_duration;
  REFERENCE_TIME stop = oldStop;
  if (stopMode == AM_SEEKING_AbsolutePositioning)
    stop = *pStop;
  else if (stopMode == AM_SEEKING_RelativePositioning)
    stop = oldStop + *pStop;
  else if (stopMode == AM_SEEKING_IncrementalPositioning)
    stop = cur + *pStop;
  if (stopMode != AM_SEEKING_NoPositioning) {
    if (stop < cur) return E_INVALIDARG;
    m_stop = stop;
    m_stopSet = true;
  }

  HRESULT hr = S_OK;
  if (m_state == State_Stopped) {
    if (curMode != AM_SEEKING_NoPositioning) m_startPending = cur;
  } else if (curMode != AM_SEEKING_NoPositioning || stopMode != AM_SEEKING_NoPositioning) {
    hr = ApplySeek(curMode != AM_SEEKING_NoPositioning ? cur : -1, m_stopSet, m_stop, m_rate);
  }
  if (dwCurrentFlags & AM_SEEKING_ReturnTime && pCurrent) *pCurrent = cur;
  if (dwStopFlags & AM_SEEKING_ReturnTime && pStop) *pStop = m_stopSet ? m_stop : m_duration;
  return hr;
}

HRESULT CFilterGraph::GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) {
  HRESULT hr = S_OK;
  if (pCurrent) hr = GetCurrentPosition(pCurrent);
  if (SUCCEEDED(hr) && pStop) hr = GetStopPosition(pStop);
  return hr;
}

HRESULT CFilterGraph::GetAvailable(LONGLONG *pEarliest, LONGLONG *pLatest) {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_seekable || m_duration < 0) return E_NOTIMPL;
  if (pEarliest) *pEarliest = 0;
  if (pLatest) *pLatest = m_duration;
  return S_OK;
}

HRESULT CFilterGraph::SetRate(double dRate) {
  if (!(dRate > 0) || !std::isfinite(dRate)) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (dRate == m_rate) return S_OK;
  if (!m_seekable) return E_NOTIMPL;
  if (m_state == State_Stopped) {
    m_rate = dRate;
    return S_OK;
  }
  if (FAILED(ApplySeek(QueryPosition(), m_stopSet, m_stop, dRate))) return E_NOTIMPL;
  m_rate = dRate;
  return S_OK;
}

HRESULT CFilterGraph::GetRate(double *pdRate) {
  if (!pdRate) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  *pdRate = m_rate;
  return S_OK;
}

HRESULT CFilterGraph::GetPreroll(LONGLONG *pllPreroll) {
  if (!pllPreroll) return E_POINTER;
  *pllPreroll = 0;
  return S_OK;
}
