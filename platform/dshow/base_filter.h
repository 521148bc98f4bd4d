// Base classes for filters: pins, the pin enumerator and a filter that
// implements IBaseFilter and IGstFilter. A filter derives from CBaseFilter,
// adds its pins in its constructor and builds its GStreamer bin in
// CreateElement; the graph does the rest. Example:
//
//   class CMyFilter final : public CBaseFilter {
//    public:
//     CMyFilter() : CBaseFilter(CLSID_MyFilter) {
//       AM_MEDIA_TYPE mt{}; mt.majortype = MEDIATYPE_Audio;
//       AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In", mt));
//     }
//    protected:
//     GstElement *CreateElement() override {
//       GstElement *bin = gst_bin_new(nullptr), *sink = gst_element_factory_make("fakesink",
//       nullptr); gst_bin_add(GST_BIN(bin), sink); AddGhostPad(bin, sink, "sink", Pin(0)); return
//       bin;
//     }
//   };
//
// Objects start with no reference: take the first one with QueryInterface.
// Used by the writer module as well, so nothing here registers a GType or
// keeps process-wide state beyond the live-object count.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/refcounted.h"
#include "platform/dshow/control.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/gst_filter.h"

typedef struct _GstPad GstPad;

class CBaseFilter;

// A pin belongs to its filter: its references are the filter's references,
// so a pin handed out keeps the whole filter alive.
class CBasePin : public IPin {
 public:
  // type: for an input pin the type it accepts (major type must match; the
  // subtype too unless it is GUID_NULL), for an output pin the one type it
  // offers. Override CheckMediaType/GetMediaType for anything richer.
  CBasePin(CBaseFilter *filter, PIN_DIRECTION dir, std::u16string name, const AM_MEDIA_TYPE &type);
  virtual ~CBasePin();
  CBasePin(const CBasePin &) = delete;
  CBasePin &operator=(const CBasePin &) = delete;

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IPin
  HRESULT Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) override;
  HRESULT ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin **pPin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE *pmt) override;
  HRESULT QueryPinInfo(PIN_INFO *pInfo) override;
  HRESULT QueryDirection(PIN_DIRECTION *pPinDir) override;
  HRESULT QueryId(LPWSTR *Id) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE *pmt) override;

  // S_OK when an input pin accepts mt.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE *mt);
  // The types an output pin offers, by position; VFW_S_NO_MORE_ITEMS past
  // the last one. mt is filled with a copy the caller frees (FreeMediaType).
  virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE *mt);
  // Extra interfaces of this pin (e.g. IAMAudioInputMixer); the reference
  // it hands out is taken with AddRef on the pin.
  virtual HRESULT QueryPinInterface(REFIID riid, void **ppv);

  const std::u16string &Name() const { return m_name; }
  std::string PadName() const;  // the ghost pad's name: the name in UTF-8
  PIN_DIRECTION Direction() const { return m_dir; }
  bool IsConnected() const { return m_pConnected != nullptr; }
  IPin *ConnectedPin() const { return m_pConnected; }  // no reference
  CBaseFilter *Filter() const { return m_pFilter; }

 protected:
  CBaseFilter *const m_pFilter;
  const PIN_DIRECTION m_dir;
  const std::u16string m_name;
  AM_MEDIA_TYPE m_type{};        // accepted or offered type
  IPin *m_pConnected = nullptr;  // holds a reference
  AM_MEDIA_TYPE m_mtConnected{};
};

class CBaseFilter : public IBaseFilter, public IGstFilter, public CRefCounted {
 public:
  explicit CBaseFilter(REFCLSID clsid);
  ~CBaseFilter() override;

  // IUnknown: IUnknown, IPersist, IMediaFilter, IBaseFilter, IGstFilter,
  // then QueryFilterInterface.
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  // IPersist
  HRESULT GetClassID(CLSID *pClassID) override;
  // IMediaFilter: on their own these only record the state; in a graph the
  // graph drives the element and calls PrepareState/StateChanged.
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME tStart) override;
  HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) override;
  // The graph's pipeline times the elements; a filter keeps no clock of its own.
  HRESULT SetSyncSource(IReferenceClock *) override { return S_OK; }
  HRESULT GetSyncSource(IReferenceClock **pClock) override;
  // IBaseFilter
  HRESULT EnumPins(IEnumPins **ppEnum) override;
  HRESULT FindPin(LPCWSTR Id, IPin **ppPin) override;
  HRESULT QueryFilterInfo(FILTER_INFO *pInfo) override;
  HRESULT JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override;
  HRESULT QueryVendorInfo(LPWSTR *pVendorInfo) override;
  // IGstFilter
  GstElement *GetGstElement() override;
  void ReleaseGstElement() override;
  HRESULT PrepareState(FILTER_STATE target) override;
  void StateChanged(FILTER_STATE state) override;

  int PinCount() const { return static_cast<int>(m_pins.size()); }
  CBasePin *Pin(int i) const { return m_pins.at(static_cast<std::size_t>(i)).get(); }
  FILTER_STATE State() const;
  std::u16string FilterName() const;
  IFilterGraph *Graph() const;  // no reference; null outside a graph

  // Reports an event to the graph's IMediaEventSink, from any thread.
  // S_FALSE when the filter is in no graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

 protected:
  // Pins in pin order (the order EnumPins yields). Call from the constructor.
  CBasePin *AddPin(std::unique_ptr<CBasePin> pin);

  // Builds the filter's element (see IGstFilter::GetGstElement). May return
  // a floating reference; the base class sinks it and keeps it.
  virtual GstElement *CreateElement() = 0;
  virtual HRESULT QueryFilterInterface(REFIID riid, void **ppv);
  virtual HRESULT OnPrepareState(FILTER_STATE target);
  virtual void OnStateChanged(FILTER_STATE state);
  // The element built by CreateElement, or null.
  GstElement *Element() const { return m_pElement; }

  // Adds to bin a ghost pad for pin whose target is inner's static pad
  // innerPad (inner must be in bin already). False when the pad is missing.
  static bool AddGhostPad(GstElement *bin, GstElement *inner, const char *innerPad,
                          const CBasePin *pin);
  // A ghost pad for pin with no target yet (for pads that appear later);
  // returns the pad (owned by the bin) or null.
  static GstPad *AddUntargetedGhostPad(GstElement *bin, const CBasePin *pin);

 private:
  const CLSID m_clsid;
  std::vector<std::unique_ptr<CBasePin>> m_pins;
  GstElement *m_pElement = nullptr;
  mutable std::mutex m_lock;  // guards the graph link and the state
  IFilterGraph *m_pGraph = nullptr;
  IMediaEventSink *m_pSink = nullptr;  // the graph's, no reference
  std::u16string m_name;
  FILTER_STATE m_state = State_Stopped;
  std::mutex m_notifyLock;  // held while an event is delivered
};
