#include "platform/dshow/pulse/line_warmer.h"

namespace quavix::pulse {

void LineWarmer::SetPhase(Phase phase) {
  std::lock_guard<std::mutex> g(m_phaseLock);
  m_phase = phase;
  m_phaseChanged.notify_all();
}

bool LineWarmer::StartLoop() {
  m_loop = pa_threaded_mainloop_new();
  if (!m_loop) return false;
  pa_proplist *props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quavix");
  m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Quavix", props);
  pa_proplist_free(props);
  if (m_context) {
    pa_context_set_state_callback(m_context, &LineWarmer::OnContextState, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        pa_threaded_mainloop_start(m_loop) >= 0)
      return true;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
  }
  pa_threaded_mainloop_free(m_loop);
  m_loop = nullptr;
  return false;
}

void LineWarmer::Open(const std::string &source) {
  if (source.empty()) {
    Close();
    return;
  }
  std::lock_guard<std::mutex> use(m_use);
  if (!m_loop) {
    SetPhase(Phase::kConnecting);
    if (!StartLoop()) {
      SetPhase(Phase::kFailed);
      return;
    }
  }
  pa_threaded_mainloop_lock(m_loop);
  if (source != m_source || !m_stream) {
    m_source = source;
    if (pa_context_get_state(m_context) == PA_CONTEXT_READY) ConnectStream();
  }
  pa_threaded_mainloop_unlock(m_loop);
}

void LineWarmer::Close() {
  std::lock_guard<std::mutex> use(m_use);
  if (!m_loop) return;
  pa_threaded_mainloop_lock(m_loop);
  DropStream();
  if (m_startSpellTimer) {
    pa_threaded_mainloop_get_api(m_loop)->time_free(m_startSpellTimer);
    m_startSpellTimer = nullptr;
  }
  pa_context_set_state_callback(m_context, nullptr, nullptr);
  pa_context_disconnect(m_context);
  pa_context_unref(m_context);
  m_context = nullptr;
  m_source.clear();
  pa_threaded_mainloop_unlock(m_loop);
  pa_threaded_mainloop_stop(m_loop);
  pa_threaded_mainloop_free(m_loop);
  m_loop = nullptr;
  SetPhase(Phase::kIdle);
}

void LineWarmer::DropStream() {
  if (!m_stream) return;
  pa_stream_set_state_callback(m_stream, nullptr, nullptr);
  pa_stream_set_read_callback(m_stream, nullptr, nullptr);
  pa_stream_set_suspended_callback(m_stream, nullptr, nullptr);
  pa_stream_disconnect(m_stream);
  pa_stream_unref(m_stream);
  m_stream = nullptr;
}

void LineWarmer::ConnectStream() {
  DropStream();
  m_gotData = false;
  m_receivedSeconds = 0;
  SetPhase(Phase::kConnecting);
  // The server's own format for outputs, so nothing is converted on its side.
  const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 2};
  m_stream = pa_stream_new(m_context, "Line warm-up", &format, nullptr);
  if (!m_stream) {
    SetPhase(Phase::kFailed);
    return;
  }
  pa_stream_set_state_callback(m_stream, &LineWarmer::OnStreamState, this);
  pa_stream_set_read_callback(m_stream, &LineWarmer::OnStreamRead, this);
  pa_stream_set_suspended_callback(m_stream, &LineWarmer::OnStreamSuspended, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kWarmLatencyUs, &format));
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
  if (pa_stream_connect_record(m_stream, m_source.c_str(), &attr, flags) < 0) {
    DropStream();
    SetPhase(Phase::kFailed);
  }
}

void LineWarmer::OnContextState(pa_context *c, void *self) {
  auto *w = static_cast<LineWarmer *>(self);
  switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
      if (!w->m_source.empty()) w->ConnectStream();
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      // The stream went with the connection; a run fails or succeeds on its
      // own, only without the head start.
      w->DropStream();
      w->SetPhase(Phase::kFailed);
      break;
    default: break;
  }
}

void LineWarmer::OnStreamState(pa_stream *s, void *self) {
  auto *w = static_cast<LineWarmer *>(self);
  switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
      if (pa_stream_is_suspended(s) == 1) w->SetPhase(Phase::kSuspended);
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:  // e.g. its output was unloaded
      w->SetPhase(Phase::kFailed);
      break;
    default: break;
  }
}

void LineWarmer::OnStreamSuspended(pa_stream *s, void *self) {
  auto *w = static_cast<LineWarmer *>(self);
  if (pa_stream_is_suspended(s) == 1) w->SetPhase(Phase::kSuspended);
}

void LineWarmer::OnStreamRead(pa_stream *s, size_t, void *self) {
  auto *w = static_cast<LineWarmer *>(self);
  const auto now = std::chrono::steady_clock::now();
  std::size_t bytes = 0;
  while (pa_stream_readable_size(s) > 0) {
    const void *data = nullptr;
    size_t n = 0;
    if (pa_stream_peek(s, &data, &n) < 0 || n == 0) break;
    pa_stream_drop(s);  // a hole (no data, n > 0) must be dropped as well
    bytes += n;
  }
  if (bytes == 0) return;
  if (!w->m_gotData) {
    w->m_gotData = true;
    w->m_firstData = now;
  }
  w->m_receivedSeconds +=
      static_cast<double>(pa_bytes_to_usec(bytes, pa_stream_get_sample_spec(s))) / 1e6;
  // The output is ready for a run once what arrived keeps pace with the
  // clock. The first data after an idle spell is one long block rendered
  // ahead at once, and the block after it can still be a long one: a run's
  // stream connected then would lag the music by that block.
  const double ahead =
      w->m_receivedSeconds - std::chrono::duration<double>(now - w->m_firstData).count();
  if (ahead <= kAheadLimitSeconds) {
    std::lock_guard<std::mutex> g(w->m_phaseLock);
    if (w->m_phase != Phase::kDelivering) {
      w->m_phase = Phase::kDelivering;
      w->m_phaseChanged.notify_all();
    }
  }
}

void LineWarmer::AskFragment(pa_usec_t latency) {
  if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY) return;
  pa_buffer_attr attr = *pa_stream_get_buffer_attr(m_stream);
  attr.fragsize =
      static_cast<uint32_t>(pa_usec_to_bytes(latency, pa_stream_get_sample_spec(m_stream)));
  if (pa_operation *op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
    pa_operation_unref(op);
}

void LineWarmer::OnStartSpellOver(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                                  void *self) {
  static_cast<LineWarmer *>(self)->AskFragment(kWarmLatencyUs);
}

void LineWarmer::AskShortBlocksForAWhile() {
  std::lock_guard<std::mutex> use(m_use);
  if (!m_loop) return;
  pa_threaded_mainloop_lock(m_loop);
  AskFragment(kStartLatencyUs);
  const pa_usec_t over = pa_rtclock_now() + kStartSpellUs;
  if (m_startSpellTimer)
    pa_context_rttime_restart(m_context, m_startSpellTimer, over);
  else
    m_startSpellTimer = pa_context_rttime_new(m_context, over, &LineWarmer::OnStartSpellOver, this);
  pa_threaded_mainloop_unlock(m_loop);
}

void LineWarmer::WaitUntilDelivering(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(m_phaseLock);
  m_phaseChanged.wait_for(g, timeout, [this] { return m_phase != Phase::kConnecting; });
}

}  // namespace quavix::pulse
