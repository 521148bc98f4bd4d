#include "platform/dshow/base_filter.h"

#include <gst/gst.h>

#include <cstring>

#include "platform/com/olestr.h"

// ---- CBasePin -------------------------------------------------------------

CBasePin::CBasePin(CBaseFilter *filter, PIN_DIRECTION dir, std::u16string name,
                   const AM_MEDIA_TYPE &type)
    : m_pFilter(filter), m_dir(dir), m_name(std::move(name)) {
  CopyMediaType(&m_type, &type);
}

CBasePin::~CBasePin() {
  if (m_pConnected) m_pConnected->Release();
  FreeMediaType(m_mtConnected);
  FreeMediaType(m_type);
}

HRESULT CBasePin::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *ppv = static_cast<IPin *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return QueryPinInterface(riid, ppv);
}

ULONG CBasePin::AddRef() { return m_pFilter->AddRef(); }
ULONG CBasePin::Release() { return m_pFilter->Release(); }

HRESULT CBasePin::QueryPinInterface(REFIID, void **ppv) {
  if (ppv) *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CBasePin::CheckMediaType(const AM_MEDIA_TYPE *mt) {
  if (!mt) return E_POINTER;
  if (m_type.majortype == GUID_NULL) return S_OK;
  if (mt->majortype != m_type.majortype) return S_FALSE;
  if (m_type.subtype != GUID_NULL && mt->subtype != m_type.subtype) return S_FALSE;
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, AM_MEDIA_TYPE *mt) {
  if (!mt) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return CopyMediaType(mt, &m_type);
}

HRESULT CBasePin::Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) {
  if (!pReceivePin) return E_POINTER;
  if (m_dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (m_pConnected) return VFW_E_ALREADY_CONNECTED;
  if (m_pFilter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION other = PINDIR_OUTPUT;
  if (FAILED(pReceivePin->QueryDirection(&other)) || other != PINDIR_INPUT)
    return VFW_E_INVALID_DIRECTION;

  auto tryType = [&](const AM_MEDIA_TYPE &mt) -> HRESULT {
    if (CheckMediaType(&mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = pReceivePin->ReceiveConnection(this, &mt);
    if (SUCCEEDED(hr)) {
      m_pConnected = pReceivePin;
      m_pConnected->AddRef();
      FreeMediaType(m_mtConnected);
      CopyMediaType(&m_mtConnected, &mt);
    }
    return hr;
  };

  if (pmt) return tryType(*pmt);
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int i = 0;; ++i) {
    AM_MEDIA_TYPE mt{};
    HRESULT hr = GetMediaType(i, &mt);
    if (hr != S_OK) break;
    hr = tryType(mt);
    FreeMediaType(mt);
    if (SUCCEEDED(hr)) return S_OK;
    if (hr == VFW_E_ALREADY_CONNECTED) return hr;
    last = VFW_E_NO_ACCEPTABLE_TYPES;
  }
  return last;
}

HRESULT CBasePin::ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  if (m_dir != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
  if (m_pConnected) return VFW_E_ALREADY_CONNECTED;
  if (m_pFilter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (CheckMediaType(pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  m_pConnected = pConnector;
  m_pConnected->AddRef();
  FreeMediaType(m_mtConnected);
  CopyMediaType(&m_mtConnected, pmt);
  return S_OK;
}

HRESULT CBasePin::Disconnect() {
  if (!m_pConnected) return S_FALSE;
  IPin *peer = m_pConnected;
  m_pConnected = nullptr;
  FreeMediaType(m_mtConnected);
  m_mtConnected = AM_MEDIA_TYPE{};
  peer->Release();  // may destroy the peer's filter; touch nothing of it after
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin **pPin) {
  if (!pPin) return E_POINTER;
  *pPin = m_pConnected;
  if (!m_pConnected) return VFW_E_NOT_CONNECTED;
  m_pConnected->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE *pmt) {
  if (!pmt) return E_POINTER;
  if (!m_pConnected) {
    std::memset(pmt, 0, sizeof *pmt);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(pmt, &m_mtConnected);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO *pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = m_pFilter;
  m_pFilter->AddRef();
  pInfo->dir = m_dir;
  CopyWide(pInfo->achName, MAX_PIN_NAME, m_name);
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION *pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = m_dir;
  return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR *Id) {
  if (!Id) return E_POINTER;
  *Id = CoTaskMemDupWide(m_name);
  return *Id ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE *pmt) {
  if (!pmt) return E_POINTER;
  return CheckMediaType(pmt) == S_OK ? S_OK : S_FALSE;
}

std::string CBasePin::PadName() const { return Utf16ToUtf8(m_name); }

// ---- CEnumPins ------------------------------------------------------------

namespace {
class CEnumPins final : public IEnumPins, public CRefCounted {
 public:
  CEnumPins(CBaseFilter *filter, int position) : m_filter(filter), m_pos(position) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IEnumPins>(this, riid, ppv, IID_IEnumPins);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched) override {
    if (!ppPins) return E_POINTER;
    if (!pcFetched && cPins != 1) return E_POINTER;
    ULONG n = 0;
    while (n < cPins && m_pos < m_filter->PinCount()) {
      IPin *pin = m_filter->Pin(m_pos++);
      pin->AddRef();
      ppPins[n++] = pin;
    }
    if (pcFetched) *pcFetched = n;
    return n == cPins ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG cPins) override {
    int left = m_filter->PinCount() - m_pos;
    if (static_cast<ULONG>(left < 0 ? 0 : left) < cPins) {
      m_pos = m_filter->PinCount();
      return S_FALSE;
    }
    m_pos += static_cast<int>(cPins);
    return S_OK;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumPins **ppEnum) override {
    if (!ppEnum) return E_POINTER;
    auto *e = new CEnumPins(m_filter.Get(), m_pos);
    return e->QueryInterface(IID_IEnumPins, reinterpret_cast<void **>(ppEnum));
  }

 private:
  ComPtr<CBaseFilter> m_filter;
  int m_pos;
};
}  // namespace

// ---- CBaseFilter ----------------------------------------------------------

CBaseFilter::CBaseFilter(REFCLSID clsid) : m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() {
  if (m_pElement) {
    // Still in a pipeline means the graph owns its state; alone, bring it
    // down so it lets go of files and devices.
    if (!GST_OBJECT_PARENT(m_pElement)) gst_element_set_state(m_pElement, GST_STATE_NULL);
    gst_object_unref(m_pElement);
    m_pElement = nullptr;
  }
}

HRESULT CBaseFilter::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
      riid == IID_IBaseFilter) {
    *ppv = static_cast<IBaseFilter *>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IGstFilter) {
    *ppv = static_cast<IGstFilter *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return QueryFilterInterface(riid, ppv);
}

HRESULT CBaseFilter::QueryFilterInterface(REFIID, void **ppv) {
  if (ppv) *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CBaseFilter::GetClassID(CLSID *pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = m_clsid;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  std::lock_guard<std::mutex> g(m_lock);
  m_state = State_Stopped;
  return S_OK;
}

HRESULT CBaseFilter::Pause() {
  std::lock_guard<std::mutex> g(m_lock);
  m_state = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME) {
  std::lock_guard<std::mutex> g(m_lock);
  m_state = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE *State) {
  if (!State) return E_POINTER;
  std::lock_guard<std::mutex> g(m_lock);
  *State = m_state;
  return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock **pClock) {
  if (!pClock) return E_POINTER;
  *pClock = nullptr;
  return S_OK;
}

FILTER_STATE CBaseFilter::State() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_state;
}

HRESULT CBaseFilter::EnumPins(IEnumPins **ppEnum) {
  if (!ppEnum) return E_POINTER;
  auto *e = new CEnumPins(this, 0);
  return e->QueryInterface(IID_IEnumPins, reinterpret_cast<void **>(ppEnum));
}

HRESULT CBaseFilter::FindPin(LPCWSTR Id, IPin **ppPin) {
  if (!ppPin) return E_POINTER;
  *ppPin = nullptr;
  if (!Id) return E_POINTER;
  std::u16string id(Id, WideLength(Id));
  for (auto &pin : m_pins)
    if (pin->Name() == id) {
      *ppPin = pin.get();
      pin->AddRef();
      return S_OK;
    }
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO *pInfo) {
  if (!pInfo) return E_POINTER;
  std::lock_guard<std::mutex> g(m_lock);
  CopyWide(pInfo->achName, MAX_FILTER_NAME, m_name);
  pInfo->pGraph = m_pGraph;
  if (m_pGraph) m_pGraph->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) {
  IMediaEventSink *sink = nullptr;
  if (pGraph &&
      SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void **>(&sink))) &&
      sink) {
    // The graph owns the filter; a reference back would keep both alive.
    sink->Release();
  }
  std::lock_guard<std::mutex> n(m_notifyLock);  // no event is being delivered past this point
  std::lock_guard<std::mutex> g(m_lock);
  m_pGraph = pGraph;
  m_pSink = pGraph ? sink : nullptr;
  m_name = pGraph && pName ? std::u16string(pName, WideLength(pName)) : std::u16string();
  return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR *pVendorInfo) {
  if (pVendorInfo) *pVendorInfo = nullptr;
  return E_NOTIMPL;
}

std::u16string CBaseFilter::FilterName() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_name;
}

IFilterGraph *CBaseFilter::Graph() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_pGraph;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  std::lock_guard<std::mutex> n(m_notifyLock);
  IMediaEventSink *sink;
  {
    std::lock_guard<std::mutex> g(m_lock);
    sink = m_pSink;
  }
  if (!sink) return S_FALSE;
  return sink->Notify(code, param1, param2);
}

CBasePin *CBaseFilter::AddPin(std::unique_ptr<CBasePin> pin) {
  m_pins.push_back(std::move(pin));
  return m_pins.back().get();
}

GstElement *CBaseFilter::GetGstElement() {
  if (!m_pElement) {
    GstElement *e = CreateElement();
    if (e) m_pElement = GST_ELEMENT(gst_object_ref_sink(e));
  }
  return m_pElement;
}

void CBaseFilter::ReleaseGstElement() {
  if (!m_pElement) return;
  GstElement *e = m_pElement;
  m_pElement = nullptr;
  if (!GST_OBJECT_PARENT(e)) gst_element_set_state(e, GST_STATE_NULL);
  gst_object_unref(e);
}

HRESULT CBaseFilter::PrepareState(FILTER_STATE target) { return OnPrepareState(target); }

void CBaseFilter::StateChanged(FILTER_STATE state) {
  {
    std::lock_guard<std::mutex> g(m_lock);
    m_state = state;
  }
  OnStateChanged(state);
}

HRESULT CBaseFilter::OnPrepareState(FILTER_STATE) { return S_OK; }
void CBaseFilter::OnStateChanged(FILTER_STATE) {}

bool CBaseFilter::AddGhostPad(GstElement *bin, GstElement *inner, const char *innerPad,
                              const CBasePin *pin) {
  if (!bin || !inner || !innerPad || !pin) return false;
  GstPad *target = gst_element_get_static_pad(inner, innerPad);
  if (!target) return false;
  GstPad *ghost = gst_ghost_pad_new(pin->PadName().c_str(), target);
  gst_object_unref(target);
  if (!ghost) return false;
  return gst_element_add_pad(bin, ghost) == TRUE;
}

GstPad *CBaseFilter::AddUntargetedGhostPad(GstElement *bin, const CBasePin *pin) {
  if (!bin || !pin) return nullptr;
  GstPad *ghost = gst_ghost_pad_new_no_target(
      pin->PadName().c_str(), pin->Direction() == PINDIR_INPUT ? GST_PAD_SINK : GST_PAD_SRC);
  if (!ghost) return nullptr;
  return gst_element_add_pad(bin, ghost) ? ghost : nullptr;
}
