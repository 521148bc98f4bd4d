// Filters, pins and the filter graph.
#pragma once

#include "platform/dshow/dshow_types.h"

QX_DEFINE_GUID(IID_IPin, "56a86891-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IEnumPins, "56a86892-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IEnumFilters, "56a86893-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IBaseFilter, "56a86895-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMediaFilter, "56a86899-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IFilterGraph, "56a8689f-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IGraphBuilder, "56a868a9-0ad4-11ce-b03a-0020af0ba770");

class IPin;

// A clock filters and graphs are timed by. Only its absence is ever handed
// over here: a graph given no clock runs as fast as its filters can.
class IReferenceClock : public IUnknown {
 public:
  virtual HRESULT GetTime(REFERENCE_TIME *pTime) = 0;

 protected:
  ~IReferenceClock() = default;
};

class IPin : public IUnknown {
 public:
  // Output pin: connect to pReceivePin, with pmt or, when null, with the first
  // of this pin's types that the receiver accepts.
  virtual HRESULT Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) = 0;
  // Input pin: accept a connection from pConnector with the type pmt.
  virtual HRESULT ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) = 0;
  // Breaks this side only (the graph disconnects both sides).
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT ConnectedTo(IPin **pPin) = 0;  // VFW_E_NOT_CONNECTED
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE *pmt) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO *pInfo) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION *pPinDir) = 0;
  virtual HRESULT QueryId(LPWSTR *Id) = 0;                    // CoTaskMemAlloc'd
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE *pmt) = 0;  // S_OK or S_FALSE

 protected:
  ~IPin() = default;
};

class IEnumPins : public IUnknown {
 public:
  virtual HRESULT Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched) = 0;
  virtual HRESULT Skip(ULONG cPins) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumPins **ppEnum) = 0;

 protected:
  ~IEnumPins() = default;
};

class IMediaFilter : public IPersist {
 public:
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
  virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) = 0;
  // Null: no clock, every stream runs as fast as its elements allow (an
  // offline render). The graph keeps its own clock otherwise.
  virtual HRESULT SetSyncSource(IReferenceClock *pClock) = 0;
  // *pClock is always null: the graph's own clock is not handed out.
  virtual HRESULT GetSyncSource(IReferenceClock **pClock) = 0;

 protected:
  ~IMediaFilter() = default;
};

class IBaseFilter : public IMediaFilter {
 public:
  virtual HRESULT EnumPins(IEnumPins **ppEnum) = 0;
  virtual HRESULT FindPin(LPCWSTR Id, IPin **ppPin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO *pInfo) = 0;
  // The graph calls this when the filter joins (pGraph, pName) or leaves
  // (null, null). The filter keeps no reference to the graph.
  virtual HRESULT JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) = 0;
  virtual HRESULT QueryVendorInfo(LPWSTR *pVendorInfo) = 0;

 protected:
  ~IBaseFilter() = default;
};

class IEnumFilters : public IUnknown {
 public:
  virtual HRESULT Next(ULONG cFilters, IBaseFilter **ppFilter, ULONG *pcFetched) = 0;
  virtual HRESULT Skip(ULONG cFilters) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFilters **ppEnum) = 0;

 protected:
  ~IEnumFilters() = default;
};

class IFilterGraph : public IUnknown {
 public:
  // Holds a reference to the filter while it is in the graph. A name already
  // in use gets a number appended (VFW_S_DUPLICATE_NAME); a null name gets
  // a generated one.
  virtual HRESULT AddFilter(IBaseFilter *pFilter, LPCWSTR pName) = 0;
  // Stops nothing else: the filter's connections are broken, its element
  // leaves the pipeline and is disposed, and the graph's reference goes.
  virtual HRESULT RemoveFilter(IBaseFilter *pFilter) = 0;
  virtual HRESULT EnumFilters(IEnumFilters **ppEnum) = 0;
  virtual HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) = 0;
  virtual HRESULT ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) = 0;
  virtual HRESULT Disconnect(IPin *ppin) = 0;

 protected:
  ~IFilterGraph() = default;
};

class IGraphBuilder : public IFilterGraph {
 public:
  // Connects two pins directly (no intermediate filters are inserted).
  virtual HRESULT Connect(IPin *ppinOut, IPin *ppinIn) = 0;
  // Connects an output pin through the filters already in the graph: to the
  // first unconnected input pin (in the order the filters were added) that
  // accepts it, then renders that filter's outputs in turn.
  virtual HRESULT Render(IPin *ppinOut) = 0;
  // Builds a playback graph for a file: a source and the renderers.
  virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;

 protected:
  ~IGraphBuilder() = default;
};
