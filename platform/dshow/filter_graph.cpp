// The filter graph manager's life, its interfaces and IFilterGraph /
// IGraphBuilder: the filters it holds, connecting and rendering their pins.
// Running, events, seeking, audio and video are in the graph_*.cpp files.
#include "platform/dshow/filter_graph.h"

#include <gst/gst.h>

#include <cstdio>
#include <vector>

#include "platform/com/olestr.h"
#include "platform/dshow/graph_filters.h"
#include "platform/dshow/graph_pins.h"
#include "platform/dshow/gst_util.h"

namespace {
constexpr int kMaxRenderDepth = 16;

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

// ---- filters
// -----------------------------------------------------------------

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
