#include "platform/dshow/filter_graph.h"

#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/com/olestr.h"
#include "platform/dshow/capture.h"
#include "platform/dshow/evcode.h"
#include "platform/dshow/graph_filters.h"
#include "platform/dshow/video_renderer.h"
#include "platform/dshow/gst_util.h"
#include "platform/win/message_post.h"

namespace {
constexpr long AM_MEDIAEVENT_NONOTIFY = 0x01;
constexpr int kMaxRenderDepth = 16;

// Waits until every live source of the pipeline (a recording device) plays,
// at most until deadline. False when the pipeline has no live source or one
// did not start. A recording has begun the moment its source plays; the
// sinks behind an encoder finish their start only once the encoder has
// gathered a frame and the muxer a packet, some 50-90 ms later.
bool LiveSourcesPlaying(GstElement *pipeline, std::chrono::steady_clock::time_point deadline) {
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

  bool playing = !live.empty();
  for (GstElement *e : live) {
    while (playing && GST_STATE(e) != GST_STATE_PLAYING) {
      if (std::chrono::steady_clock::now() >= deadline)
        playing = false;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    gst_object_unref(e);
  }
  return playing;
}

HRESULT HrFromGstError(const GError *err) {
  if (!err) return E_FAIL;
  if (err->domain == GST_RESOURCE_ERROR) {
    switch (err->code) {
      case GST_RESOURCE_ERROR_NOT_FOUND: return VFW_E_NOT_FOUND;
      case GST_RESOURCE_ERROR_OPEN_READ:
      case GST_RESOURCE_ERROR_OPEN_WRITE:
      case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
      case GST_RESOURCE_ERROR_NOT_AUTHORIZED: return E_ACCESSDENIED;
      case GST_RESOURCE_ERROR_NO_SPACE_LEFT: return HRESULT_FROM_WIN32(112);  // ERROR_DISK_FULL
      case GST_RESOURCE_ERROR_WRITE: return HRESULT_FROM_WIN32(29);           // ERROR_WRITE_FAULT
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

std::string PinPadName(IPin *pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  if (info.pFilter) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return Utf16ToUtf8(info.achName);
}

ComPtr<IBaseFilter> PinOwner(IPin *pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

PIN_DIRECTION DirectionOf(IPin *pin) {
  PIN_DIRECTION d = static_cast<PIN_DIRECTION>(3);
  pin->QueryDirection(&d);
  return d;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *f) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(f->EnumPins(e.Out())) || !e) return pins;
  IPin *p = nullptr;
  while (e->Next(1, &p, nullptr) == S_OK && p) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

bool IsConnected(IPin *pin) {
  IPin *peer = nullptr;
  if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
    peer->Release();
    return true;
  }
  return false;
}

class CEnumFilters final : public IEnumFilters, public CRefCounted {
 public:
  CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters, std::size_t pos)
      : m_filters(std::move(filters)), m_pos(pos) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IEnumFilters>(this, riid, ppv, IID_IEnumFilters);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  HRESULT Next(ULONG c, IBaseFilter **pp, ULONG *fetched) override {
    if (!pp) return E_POINTER;
    if (!fetched && c != 1) return E_POINTER;
    ULONG n = 0;
    while (n < c && m_pos < m_filters.size()) {
      pp[n] = m_filters[m_pos++].Get();
      pp[n++]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == c ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG c) override {
    std::size_t left = m_filters.size() - m_pos;
    if (c > left) {
      m_pos = m_filters.size();
      return S_FALSE;
    }
    m_pos += c;
    return S_OK;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFilters **pp) override {
    if (!pp) return E_POINTER;
    auto *e = new CEnumFilters(m_filters, m_pos);
    return e->QueryInterface(IID_IEnumFilters, reinterpret_cast<void **>(pp));
  }

 private:
  std::vector<ComPtr<IBaseFilter>> m_filters;
  std::size_t m_pos;
};
}  // namespace

// ---- life ------------------------------------------------------------------

CFilterGraph::CFilterGraph() {
  EnsureGstInit();
  m_pipeline = gst_pipeline_new(nullptr);
  gst_object_ref_sink(m_pipeline);
  GstBus *bus = gst_pipeline_get_bus(GST_PIPELINE(m_pipeline));
  // Messages are turned into events on the thread that posts them; nothing
  // is left on the bus, so no main loop is needed to drain it. A dropped
  // message is the handler's to free: each one holds its source (the
  // pipeline, an element), and one left behind keeps the whole graph alive.
  gst_bus_set_sync_handler(
      bus,
      [](GstBus *, GstMessage *msg, gpointer self) -> GstBusSyncReply {
        static_cast<CFilterGraph *>(self)->OnBusMessage(msg);
        gst_message_unref(msg);
        return GST_BUS_DROP;
      },
      this, nullptr);
  gst_object_unref(bus);
}

CFilterGraph::~CFilterGraph() {
  gst_element_set_state(m_pipeline, GST_STATE_NULL);
  for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
    if (it->element) RemoveElement(*it);
    DisconnectFilter(it->filter.Get());
    it->filter->JoinFilterGraph(nullptr, nullptr);
  }
  m_filters.clear();
  GstBus *bus = gst_pipeline_get_bus(GST_PIPELINE(m_pipeline));
  gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
  gst_object_unref(bus);
  gst_object_unref(m_pipeline);
}

HRESULT CFilterGraph::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto *g = new CFilterGraph;
  g->AddRef();
  HRESULT hr = g->QueryInterface(riid, ppv);
  g->Release();
  return hr;
}

HRESULT CFilterGraph::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  void *p = nullptr;
  if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
    p = static_cast<IGraphBuilder *>(this);
  else if (riid == IID_IMediaControl)
    p = static_cast<IMediaControl *>(this);
  else if (riid == IID_IMediaFilter || riid == IID_IPersist)
    p = static_cast<IMediaFilter *>(this);
  else if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx)
    p = static_cast<IMediaEventEx *>(this);
  else if (riid == IID_IMediaEventSink)
    p = static_cast<IMediaEventSink *>(this);
  else if (riid == IID_IMediaSeeking)
    p = static_cast<IMediaSeeking *>(this);
  else if (riid == IID_IBasicAudio)
    p = static_cast<IBasicAudio *>(this);
  else if (riid == IID_IVideoWindow)
    p = static_cast<IVideoWindow *>(this);
  else if (riid == IID_IBasicVideo)
    p = static_cast<IBasicVideo *>(this);
  *ppv = p;
  if (!p) return E_NOINTERFACE;
  AddRefImpl();
  return S_OK;
}

// ---- filters -----------------------------------------------------------------

CFilterGraph::Entry *CFilterGraph::FindEntry(IBaseFilter *f) {
  for (auto &e : m_filters)
    if (e.filter.Get() == f) return &e;
  return nullptr;
}

HRESULT CFilterGraph::AddFilter(IBaseFilter *pFilter, LPCWSTR pName) {
  if (!pFilter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (FindEntry(pFilter)) return E_INVALIDARG;
  std::u16string base = pName && pName[0] ? std::u16string(pName, WideLength(pName)) : u"Filter";
  if (base.size() > MAX_FILTER_NAME - 6) base.resize(MAX_FILTER_NAME - 6);
  auto taken = [&](const std::u16string &n) {
    for (auto &e : m_filters)
      if (e.name == n) return true;
    return false;
  };
  std::u16string name = base;
  HRESULT result = S_OK;
  for (int i = 1; taken(name); ++i) {
    if (i > 9999) return VFW_E_DUPLICATE_NAME;
    char num[8];
    std::snprintf(num, sizeof num, " %04d", i);
    name = base + Utf8ToUtf16(num);
    result = VFW_S_DUPLICATE_NAME;
  }
  HRESULT hr = pFilter->JoinFilterGraph(static_cast<IGraphBuilder *>(this), name.c_str());
  if (FAILED(hr)) return hr;
  Entry e;
  e.filter = ComPtr<IBaseFilter>(pFilter);
  pFilter->QueryInterface(IID_IGstFilter, e.gst.OutVoid());
  e.name = name;
  m_filters.push_back(std::move(e));
  return result;
}

void CFilterGraph::RemoveElement(Entry &e) {
  GstElement *el = e.element;
  if (!el) return;
  // Take it out of the pipeline's state changes first, then bring it down
  // on its own: upstream pushes then meet a flushing pad, not an error.
  gst_element_set_locked_state(el, TRUE);
  gst_element_set_state(el, GST_STATE_NULL);
  GstIterator *it = gst_element_iterate_pads(el);
  GValue v = G_VALUE_INIT;
  std::vector<GstPad *> pads;
  while (gst_iterator_next(it, &v) == GST_ITERATOR_OK) {
    pads.push_back(GST_PAD(g_value_dup_object(&v)));
    g_value_reset(&v);
  }
  g_value_unset(&v);
  gst_iterator_free(it);
  for (GstPad *pad : pads) {
    if (GstPad *peer = gst_pad_get_peer(pad)) {
      if (GST_PAD_IS_SRC(pad))
        gst_pad_unlink(pad, peer);
      else
        gst_pad_unlink(peer, pad);
      gst_object_unref(peer);
    }
    gst_object_unref(pad);
  }
  gst_bin_remove(GST_BIN(m_pipeline), el);
  e.element = nullptr;
  if (e.gst) {
    e.gst->StateChanged(State_Stopped);
    e.gst->ReleaseGstElement();
  }
}

void CFilterGraph::DisconnectFilter(IBaseFilter *f) {
  for (auto &pin : PinsOf(f)) {
    IPin *peer = nullptr;
    if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
      peer->Disconnect();
      peer->Release();
    }
    pin->Disconnect();
  }
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter *pFilter) {
  if (!pFilter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  Entry *e = FindEntry(pFilter);
  if (!e) return VFW_E_NOT_FOUND;
  ComPtr<IBaseFilter> keep = e->filter;
  if (e->element) RemoveElement(*e);
  DisconnectFilter(pFilter);
  pFilter->JoinFilterGraph(nullptr, nullptr);
  if (m_audioRenderer && static_cast<IBaseFilter *>(m_audioRenderer) == pFilter)
    m_audioRenderer = nullptr;
  for (auto it = m_filters.begin(); it != m_filters.end(); ++it)
    if (it->filter.Get() == pFilter) {
      m_filters.erase(it);
      break;
    }
  return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters **ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  std::vector<ComPtr<IBaseFilter>> list;
  for (auto &e : m_filters) list.push_back(e.filter);
  auto *en = new CEnumFilters(std::move(list), 0);
  return en->QueryInterface(IID_IEnumFilters, reinterpret_cast<void **>(ppEnum));
}

HRESULT CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) {
  if (!ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  if (!pName) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  std::u16string name(pName, WideLength(pName));
  for (auto &e : m_filters)
    if (e.name == name) {
      *ppFilter = e.filter.Get();
      (*ppFilter)->AddRef();
      return S_OK;
    }
  return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) {
  if (!ppinOut || !ppinIn) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  return ppinOut->Connect(ppinIn, pmt);
}

HRESULT CFilterGraph::Connect(IPin *ppinOut, IPin *ppinIn) {
  if (!ppinOut || !ppinIn) return E_POINTER;
  HRESULT hr = ConnectDirect(ppinOut, ppinIn, nullptr);
  return FAILED(hr) ? VFW_E_CANNOT_CONNECT : hr;
}

HRESULT CFilterGraph::Disconnect(IPin *ppin) {
  if (!ppin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  return ppin->Disconnect();
}

HRESULT CFilterGraph::RenderOutputs(IBaseFilter *f, int depth) {
  std::vector<IPin *> madeHere;
  for (auto &pin : PinsOf(f)) {
    if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || IsConnected(pin.Get())) continue;
    HRESULT hr = RenderPin(pin.Get(), depth);
    if (FAILED(hr)) {
      for (IPin *p : madeHere) {
        IPin *peer = nullptr;
        if (SUCCEEDED(p->ConnectedTo(&peer)) && peer) {
          peer->Disconnect();
          peer->Release();
        }
        p->Disconnect();
      }
      return hr;
    }
    madeHere.push_back(pin.Get());
  }
  return S_OK;
}

HRESULT CFilterGraph::RenderPin(IPin *out, int depth) {
  if (depth > kMaxRenderDepth) return VFW_E_CANNOT_RENDER;
  ComPtr<IBaseFilter> owner = PinOwner(out);
  std::vector<ComPtr<IBaseFilter>> filters;
  for (auto &e : m_filters) filters.push_back(e.filter);
  for (auto &f : filters) {
    if (f.Get() == owner.Get()) continue;
    for (auto &in : PinsOf(f.Get())) {
      if (DirectionOf(in.Get()) != PINDIR_INPUT || IsConnected(in.Get())) continue;
      if (FAILED(out->Connect(in.Get(), nullptr))) continue;
      if (SUCCEEDED(RenderOutputs(f.Get(), depth + 1))) return S_OK;
      // That way led nowhere: undo it and try the next filter.
      out->Disconnect();
      in->Disconnect();
    }
  }
  return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::Render(IPin *ppinOut) {
  if (!ppinOut) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  if (DirectionOf(ppinOut) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (IsConnected(ppinOut)) return VFW_E_ALREADY_CONNECTED;
  return RenderPin(ppinOut, 0);
}

// ---- running -----------------------------------------------------------------

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

HRESULT CFilterGraph::ChangeState(FILTER_STATE target) {
  if (target == m_state) return S_OK;
  if (target == State_Stopped) {
    if (m_seekable) {
      // A stopped graph resumes where it stopped, as callers expect; they
      // rewind explicitly.
      m_startPending = QueryPosition();
    }
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    m_state = State_Stopped;
    for (auto &e : m_filters)
      if (e.gst) e.gst->StateChanged(State_Stopped);
    return S_OK;
  }

  auto fail = [&](HRESULT hr) {
    {
      std::lock_guard<std::mutex> g(m_eventLock);
      if (FAILED(m_lastError)) hr = m_lastError;
    }
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    m_state = State_Stopped;
    for (auto &e : m_filters)
      if (e.gst) e.gst->StateChanged(State_Stopped);
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
  const bool recordingRuns =
      ret == GST_STATE_CHANGE_ASYNC && !seekFirst && finalState == GST_STATE_PLAYING &&
      LiveSourcesPlaying(m_pipeline, std::chrono::steady_clock::now() +
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
  // End of stream from every source; the sinks finish their files (a WAV
  // header, an ASF index) when it reaches them, and the pipeline says EOS
  // once all have.
  if (!ended) gst_element_send_event(m_pipeline, gst_event_new_eos());
  std::unique_lock<std::mutex> e(m_eventLock);
  bool drained = m_eventCond.wait_for(e, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_eosSeen || FAILED(m_lastError); });
  return drained && m_eosSeen;
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

// ---- events ------------------------------------------------------------------

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
  return E_NOTIMPL;  // no wait handles here: use SetNotifyWindow or GetEvent's time-out
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

// ---- seeking -----------------------------------------------------------------

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

// ---- audio -------------------------------------------------------------------

HRESULT CFilterGraph::put_Volume(long lVolume) {
  if (lVolume < -10000 || lVolume > 0) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (!m_audioRenderer) return E_NOTIMPL;
  m_volume = lVolume;
  // Hundredths of a decibel to a linear gain; the bottom of the scale is silence.
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

// ---- video -------------------------------------------------------------------
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
