// IMediaEventEx and IMediaEventSink of the filter graph manager: the
// pipeline's bus messages become events, queued for GetEvent and announced
// to the notify window.
#include <gst/gst.h>

#include <cstdio>

#include "platform/dshow/evcode.h"
#include "platform/dshow/filter_graph.h"
#include "platform/win/winerror.h"
#include "platform/win/message_post.h"

namespace {
constexpr long AM_MEDIAEVENT_NONOTIFY = 0x01;

HRESULT HrFromGstError(const GError *err) {
  if (!err) return E_FAIL;
  if (err->domain == GST_RESOURCE_ERROR) {
    switch (err->code) {
      case GST_RESOURCE_ERROR_NOT_FOUND: return VFW_E_NOT_FOUND;
      case GST_RESOURCE_ERROR_OPEN_READ:
      case GST_RESOURCE_ERROR_OPEN_WRITE:
      case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
      case GST_RESOURCE_ERROR_NOT_AUTHORIZED: return E_ACCESSDENIED;
      case GST_RESOURCE_ERROR_NO_SPACE_LEFT: return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      case GST_RESOURCE_ERROR_WRITE: return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
      case GST_RESOURCE_ERROR_BUSY: return VFW_E_NO_AUDIO_HARDWARE;
      default: return E_FAIL;
    }
  }
  if (err->domain == GST_STREAM_ERROR) {
    switch (err->code) {
      case GST_STREAM_ERROR_TYPE_NOT_FOUND:
      case GST_STREAM_ERROR_CODEC_NOT_FOUND:
      case GST_STREAM_ERROR_WRONG_TYPE: return VFW_E_UNSUPPORTED_STREAM;
      case GST_STREAM_ERROR_DECODE:
      case GST_STREAM_ERROR_DEMUX:
      case GST_STREAM_ERROR_FORMAT: return VFW_E_INVALID_FILE_FORMAT;
      default: return E_FAIL;
    }
  }
  if (err->domain == GST_CORE_ERROR && err->code == GST_CORE_ERROR_MISSING_PLUGIN)
    return VFW_E_UNSUPPORTED_STREAM;
  return E_FAIL;
}
}  // namespace

void CFilterGraph::OnBusMessage(GstMessage *msg) {
  switch (GST_MESSAGE_TYPE(msg)) {
    case GST_MESSAGE_EOS: {
      bool draining;
      {
        std::lock_guard<std::mutex> g(m_eventLock);
        m_eosSeen = true;
        draining = m_draining;
      }
      m_eventCond.notify_all();
      if (!draining) QueueEvent(EC_COMPLETE, S_OK, 0);
      break;
    }
    case GST_MESSAGE_ERROR: {
      GError *err = nullptr;
      gchar *debug = nullptr;
      gst_message_parse_error(msg, &err, &debug);
      HRESULT hr = HrFromGstError(err);
      std::fprintf(stderr, "quavix: media graph error from %s: %s\n",
                   GST_MESSAGE_SRC(msg) ? GST_OBJECT_NAME(GST_MESSAGE_SRC(msg)) : "?",
                   err ? err->message : "unknown");
      if (err) g_error_free(err);
      g_free(debug);
      {
        // One failure usually comes with follow-up errors from the elements
        // around it; the first one says what went wrong, and one abort per
        // run is what the caller gets.
        std::lock_guard<std::mutex> g(m_eventLock);
        if (FAILED(m_lastError)) break;
        m_lastError = hr;
      }
      m_eventCond.notify_all();
      QueueEvent(EC_ERRORABORT, hr, 0);
      break;
    }
    case GST_MESSAGE_STATE_CHANGED: {
      GstState newState = GST_STATE_VOID_PENDING;
      gst_message_parse_state_changed(msg, nullptr, &newState, nullptr);
      if (newState == GST_STATE_PLAYING) {
        // Wakes Run, which waits for the live sources to play. Taking the
        // lock orders the wake-up after the waiter's look at the states.
        { std::lock_guard<std::mutex> g(m_eventLock); }
        m_eventCond.notify_all();
      }
      break;
    }
    default: break;
  }
}

void CFilterGraph::QueueEvent(long code, LONG_PTR p1, LONG_PTR p2) {
  OAHWND hwnd;
  long msg;
  LONG_PTR instance;
  {
    std::lock_guard<std::mutex> g(m_eventLock);
    m_events.push_back({code, p1, p2});
    if (code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT) {
      m_completed = true;
      m_completionCode = code;
    }
    hwnd = (m_notifyFlags & AM_MEDIAEVENT_NONOTIFY) ? 0 : m_notifyHwnd;
    msg = m_notifyMsg;
    instance = m_notifyInstance;
  }
  m_eventCond.notify_all();
  if (hwnd) PostMessageA(reinterpret_cast<HWND>(hwnd), static_cast<UINT>(msg), 0, instance);
}

HRESULT CFilterGraph::Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
  QueueEvent(EventCode, EventParam1, EventParam2);
  return S_OK;
}

HRESULT CFilterGraph::GetEventHandle(OAEVENT *hEvent) {
  if (hEvent) *hEvent = 0;
  return E_NOTIMPL;  // no wait handles here: use SetNotifyWindow or GetEvent's
                     // time-out
}

HRESULT CFilterGraph::GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2,
                               long msTimeout) {
  if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
  *lEventCode = 0;
  *lParam1 = *lParam2 = 0;
  std::unique_lock<std::mutex> g(m_eventLock);
  auto ready = [&] { return !m_events.empty(); };
  if (msTimeout < 0)
    m_eventCond.wait(g, ready);
  else if (msTimeout > 0)
    m_eventCond.wait_for(g, std::chrono::milliseconds(msTimeout), ready);
  if (m_events.empty()) return E_ABORT;
  Event ev = m_events.front();
  m_events.pop_front();
  *lEventCode = ev.code;
  *lParam1 = ev.p1;
  *lParam2 = ev.p2;
  return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(long msTimeout, long *pEvCode) {
  if (!pEvCode) return E_POINTER;
  *pEvCode = 0;
  std::unique_lock<std::mutex> g(m_eventLock);
  auto done = [&] { return m_completed; };
  if (msTimeout < 0)
    m_eventCond.wait(g, done);
  else
    m_eventCond.wait_for(g, std::chrono::milliseconds(msTimeout), done);
  if (!m_completed) return E_ABORT;
  *pEvCode = m_completionCode;
  return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(long) { return E_NOTIMPL; }
HRESULT CFilterGraph::RestoreDefaultHandling(long) { return E_NOTIMPL; }

// No event here carries allocated parameters.
HRESULT CFilterGraph::FreeEventParams(long, LONG_PTR, LONG_PTR) { return S_OK; }

HRESULT CFilterGraph::SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) {
  std::lock_guard<std::mutex> g(m_eventLock);
  m_notifyHwnd = hwnd;
  m_notifyMsg = hwnd ? lMsg : 0;
  m_notifyInstance = hwnd ? lInstanceData : 0;
  return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(long lNoNotifyFlags) {
  if (lNoNotifyFlags & ~AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(m_eventLock);
  m_notifyFlags = lNoNotifyFlags;
  return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(long *lplNoNotifyFlags) {
  if (!lplNoNotifyFlags) return E_POINTER;
  std::lock_guard<std::mutex> g(m_eventLock);
  *lplNoNotifyFlags = m_notifyFlags;
  return S_OK;
}
