// IMediaControl of the filter graph manager: the elements made and linked at
// the first start, the pipeline's state changes, and the stops that let the
// streams end first.
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

#include <chrono>
#include <vector>

#include "platform/dshow/capture.h"
#include "platform/dshow/filter_graph.h"
#include "platform/dshow/graph_pins.h"
#include "platform/dshow/gst_util.h"

namespace {
// The live sources of the pipeline (recording devices), referenced.
std::vector<GstElement *> LiveSourcesOf(GstElement *pipeline) {
  std::vector<GstElement *> live;
  GstIterator *it = gst_bin_iterate_recurse(GST_BIN(pipeline));
  GValue item = G_VALUE_INIT;
  bool done = false;
  while (!done) {
    switch (gst_iterator_next(it, &item)) {
      case GST_ITERATOR_OK: {
        auto *e = GST_ELEMENT(g_value_get_object(&item));
        if (GST_IS_BASE_SRC(e) && gst_base_src_is_live(GST_BASE_SRC(e)))
          live.push_back(GST_ELEMENT(gst_object_ref(e)));
        g_value_reset(&item);
        break;
      }
      case GST_ITERATOR_RESYNC:
        for (GstElement *e : live) gst_object_unref(e);
        live.clear();
        gst_iterator_resync(it);
        break;
      default: done = true; break;
    }
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  return live;
}
}  // namespace

// A recording has begun the moment its source plays; the sinks behind an
// encoder finish their start only once the encoder has gathered a frame and
// the muxer a packet, some 50-90 ms later. The bus handler wakes this wait
// whenever an element reaches PLAYING.
bool CFilterGraph::WaitForLiveSources(std::chrono::steady_clock::time_point deadline) {
  std::vector<GstElement *> live = LiveSourcesOf(m_pipeline);
  bool playing = !live.empty();
  if (playing) {
    std::unique_lock<std::mutex> g(m_eventLock);
    playing = m_eventCond.wait_until(g, deadline, [&] {
      for (GstElement *e : live)
        if (GST_STATE(e) != GST_STATE_PLAYING) return false;
      return true;
    });
  }
  for (GstElement *e : live) gst_object_unref(e);
  return playing;
}

HRESULT CFilterGraph::Materialize() {
  for (auto &e : m_filters) {
    if (e.element) continue;
    if (!e.gst) return E_FAIL;  // a filter that cannot stream here
    GstElement *el = e.gst->GetGstElement();
    if (!el) return E_FAIL;
    gst_element_set_locked_state(el, FALSE);
    if (!gst_bin_add(GST_BIN(m_pipeline), el)) return E_FAIL;
    e.element = el;
  }
  for (auto &e : m_filters) {
    for (auto &pin : PinsOf(e.filter.Get())) {
      if (DirectionOf(pin.Get()) != PINDIR_OUTPUT) continue;
      IPin *peerRaw = nullptr;
      if (FAILED(pin->ConnectedTo(&peerRaw)) || !peerRaw) continue;
      ComPtr<IPin> peer = ComPtr<IPin>::Attach(peerRaw);
      ComPtr<IBaseFilter> peerOwner = PinOwner(peer.Get());
      Entry *pe = FindEntry(peerOwner.Get());
      if (!pe || !pe->element) return VFW_E_CANNOT_CONNECT;
      GstPad *src = gst_element_get_static_pad(e.element, PinPadName(pin.Get()).c_str());
      GstPad *sink = gst_element_get_static_pad(pe->element, PinPadName(peer.Get()).c_str());
      bool ok = src && sink;
      if (ok) {
        GstPad *current = gst_pad_get_peer(src);
        if (current) {
          ok = current == sink;
          gst_object_unref(current);
        } else {
          ok = GST_PAD_LINK_SUCCESSFUL(gst_pad_link(src, sink));
        }
      }
      if (src) gst_object_unref(src);
      if (sink) gst_object_unref(sink);
      if (!ok) return VFW_E_CANNOT_CONNECT;
    }
  }
  return S_OK;
}

void CFilterGraph::ResetToStopped() {
  gst_element_set_state(m_pipeline, GST_STATE_NULL);
  m_state = State_Stopped;
  m_ranSinceStop = false;
  for (auto &e : m_filters)
    if (e.gst) e.gst->StateChanged(State_Stopped);
}

void CFilterGraph::StopPipeline() {
  if (m_seekable) {
    // A stopped graph resumes where it stopped, as callers expect; they
    // rewind explicitly.
    m_startPending = QueryPosition();
  }
  ResetToStopped();
}

HRESULT CFilterGraph::ChangeState(FILTER_STATE target) {
  if (target == m_state) return S_OK;
  if (target == State_Stopped) {
    StopPipeline();
    return S_OK;
  }
  // The audio renderer's clock runs from the moment its output stream was
  // made, and its first sample is placed at that clock's time: a graph cued
  // in pause and run later would open with as much silence as it waited
  // (a song cued after one conversion and converted again a minute later
  // began a minute late). Started afresh from where it was cued, it sounds
  // at once. A pause in the middle of playing resumes as it is.
  if (target == State_Running && m_state == State_Paused && !m_ranSinceStop && m_audioRenderer)
    StopPipeline();

  auto fail = [&](HRESULT hr) {
    {
      std::lock_guard<std::mutex> g(m_eventLock);
      if (FAILED(m_lastError)) hr = m_lastError;
    }
    ResetToStopped();
    return hr;
  };

  bool fromStopped = m_state == State_Stopped;
  if (fromStopped) {
    HRESULT hr = Materialize();
    if (FAILED(hr)) return fail(hr);
  }
  for (auto &e : m_filters) {
    HRESULT hr = e.gst ? e.gst->PrepareState(target) : S_OK;
    if (FAILED(hr)) return fail(hr);
  }
  {
    std::lock_guard<std::mutex> g(m_eventLock);
    m_lastError = S_OK;
    m_eosSeen = false;
    m_completed = false;
  }

  const bool seekFirst =
      fromStopped && m_seekable && (m_startPending > 0 || m_stopSet || m_rate != 1.0);
  const GstState finalState = target == State_Running ? GST_STATE_PLAYING : GST_STATE_PAUSED;
  GstStateChangeReturn ret =
      gst_element_set_state(m_pipeline, seekFirst ? GST_STATE_PAUSED : finalState);
  // A recording runs once its device does: waiting for the writers' start
  // as well would hold back whatever the caller starts next (the music it
  // records) and open the file with that much more silence. Their start
  // completes on its own; a failure in it arrives as EC_ERRORABORT.
  const bool recordingRuns = ret == GST_STATE_CHANGE_ASYNC && !seekFirst &&
                             finalState == GST_STATE_PLAYING &&
                             WaitForLiveSources(std::chrono::steady_clock::now() +
                                                std::chrono::milliseconds(kStateTimeoutMs));
  if (ret != GST_STATE_CHANGE_FAILURE && !recordingRuns)
    ret = gst_element_get_state(m_pipeline, nullptr, nullptr, kStateTimeoutMs * GST_MSECOND);
  if (ret == GST_STATE_CHANGE_FAILURE) return fail(E_FAIL);

  if (seekFirst) {
    REFERENCE_TIME start = m_startPending > 0 ? m_startPending : 0;
    if (FAILED(ApplySeek(start, m_stopSet, m_stop, m_rate)) && m_rate != 1.0) {
      m_rate = 1.0;  // the source refused the rate: play at normal speed
      ApplySeek(start, m_stopSet, m_stop, m_rate);
    }
    if (finalState == GST_STATE_PLAYING) {
      ret = gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
      if (ret != GST_STATE_CHANGE_FAILURE)
        ret = gst_element_get_state(m_pipeline, nullptr, nullptr, kStateTimeoutMs * GST_MSECOND);
      if (ret == GST_STATE_CHANGE_FAILURE) return fail(E_FAIL);
    }
  }
  m_startPending = -1;
  m_state = target;
  if (target == State_Running) m_ranSinceStop = true;
  for (auto &e : m_filters)
    if (e.gst) e.gst->StateChanged(target);
  return ret == GST_STATE_CHANGE_ASYNC ? S_FALSE : S_OK;
}

HRESULT CFilterGraph::Run() {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  return ChangeState(State_Running);
}

HRESULT CFilterGraph::Pause() {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  return ChangeState(State_Paused);
}

HRESULT CFilterGraph::Stop() {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Running || !WritesFiles()) return ChangeState(State_Stopped);
  // Stopping at once would drop what the sinks hold and leave their files
  // without the headers and indexes they write at the end of the stream.
  DrainStreams(kStopDrainTimeoutMs);
  HRESULT hr = ChangeState(State_Stopped);
  {
    std::lock_guard<std::mutex> e(m_eventLock);
    m_draining = false;
  }
  return hr;
}

bool CFilterGraph::WritesFiles() {
  for (auto &e : m_filters) {
    ComPtr<IUnknown> sink;
    if (SUCCEEDED(
            e.filter->QueryInterface(IID_IFileSinkFilter, reinterpret_cast<void **>(sink.Out()))))
      return true;
  }
  return false;
}

bool CFilterGraph::DrainStreams(int timeoutMs) {
  bool ended;
  {
    std::lock_guard<std::mutex> e(m_eventLock);
    m_draining = true;
    // Streams that ended by themselves during the run (a source that failed
    // ends its stream too) have already finished their files.
    ended = m_eosSeen;
    m_lastError = S_OK;
  }
  if (!ended) CatchUpLiveSources();
  // End of stream from every source; the sinks finish their files (a WAV
  // header, an ASF index) when it reaches them, and the pipeline says EOS
  // once all have.
  if (!ended) gst_element_send_event(m_pipeline, gst_event_new_eos());
  std::unique_lock<std::mutex> e(m_eventLock);
  bool drained = m_eventCond.wait_for(e, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_eosSeen || FAILED(m_lastError); });
  return drained && m_eosSeen;
}

void CFilterGraph::CatchUpLiveSources() {
  for (auto &e : m_filters) {
    ComPtr<ICaptureCatchUp> source;
    if (SUCCEEDED(
            e.filter->QueryInterface(IID_ICaptureCatchUp, reinterpret_cast<void **>(source.Out()))))
      source->WaitForCapturedAudio(kCatchUpTimeoutMs);
  }
}

HRESULT CFilterGraph::StopWhenReady() {
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Running) return ChangeState(State_Stopped);
  bool drained = DrainStreams(kDrainTimeoutMs);
  HRESULT hr = ChangeState(State_Stopped);
  {
    std::lock_guard<std::mutex> e(m_eventLock);
    m_draining = false;
  }
  if (FAILED(hr)) return hr;
  return drained ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::GetState(long msTimeout, OAFilterState *pfs) {
  if (!pfs) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  *pfs = m_state;
  if (m_state == State_Stopped) return S_OK;
  GstClockTime timeout =
      msTimeout < 0 ? GST_CLOCK_TIME_NONE : static_cast<GstClockTime>(msTimeout) * GST_MSECOND;
  GstStateChangeReturn ret = gst_element_get_state(m_pipeline, nullptr, nullptr, timeout);
  return ret == GST_STATE_CHANGE_ASYNC ? VFW_S_STATE_INTERMEDIATE : S_OK;
}
