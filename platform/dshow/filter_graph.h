// The filter graph manager: one GStreamer pipeline holding the elements of
// the filters added to it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dshow/control.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/gst_filter.h"
#include "platform/com/refcounted.h"

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
class CAudioRendererFilter;

class CFilterGraph final : public IGraphBuilder,
                           public IMediaControl,
                           public IMediaFilter,
                           public IMediaEventEx,
                           public IMediaEventSink,
                           public IMediaSeeking,
                           public IBasicAudio,
                           public IVideoWindow,
                           public IBasicVideo,
                           public CRefCounted {
 public:
  CFilterGraph();
  ~CFilterGraph() override;

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  // IFilterGraph
  HRESULT AddFilter(IBaseFilter *pFilter, LPCWSTR pName) override;
  HRESULT RemoveFilter(IBaseFilter *pFilter) override;
  HRESULT EnumFilters(IEnumFilters **ppEnum) override;
  HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) override;
  HRESULT ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) override;
  HRESULT Disconnect(IPin *ppin) override;
  // IGraphBuilder
  HRESULT Connect(IPin *ppinOut, IPin *ppinIn) override;
  HRESULT Render(IPin *ppinOut) override;
  HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;

  // IMediaControl (Stop is shared by name with nothing else here)
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT StopWhenReady() override;
  HRESULT GetState(long msTimeout, OAFilterState *pfs) override;

  // IMediaFilter (graph_clock.cpp). Stop and Pause are IMediaControl's.
  HRESULT GetClassID(CLSID *pClassID) override;
  HRESULT Run(REFERENCE_TIME tStart) override;
  HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) override;
  HRESULT SetSyncSource(IReferenceClock *pClock) override;
  HRESULT GetSyncSource(IReferenceClock **pClock) override;
  // True once SetSyncSource(null) took the clock away.
  bool RunsWithoutClock() const { return m_withoutClock; }

  // IMediaEvent / IMediaEventEx
  HRESULT GetEventHandle(OAEVENT *hEvent) override;
  HRESULT GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2, long msTimeout) override;
  HRESULT WaitForCompletion(long msTimeout, long *pEvCode) override;
  HRESULT CancelDefaultHandling(long lEvCode) override;
  HRESULT RestoreDefaultHandling(long lEvCode) override;
  HRESULT FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
  HRESULT SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) override;
  HRESULT SetNotifyFlags(long lNoNotifyFlags) override;
  HRESULT GetNotifyFlags(long *lplNoNotifyFlags) override;

  // IMediaEventSink
  HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

  // IMediaSeeking
  HRESULT GetCapabilities(DWORD *pCapabilities) override;
  HRESULT CheckCapabilities(DWORD *pCapabilities) override;
  HRESULT IsFormatSupported(const GUID *pFormat) override;
  HRESULT QueryPreferredFormat(GUID *pFormat) override;
  HRESULT GetTimeFormat(GUID *pFormat) override;
  HRESULT IsUsingTimeFormat(const GUID *pFormat) override;
  HRESULT SetTimeFormat(const GUID *pFormat) override;
  HRESULT GetDuration(LONGLONG *pDuration) override;
  HRESULT GetStopPosition(LONGLONG *pStop) override;
  HRESULT GetCurrentPosition(LONGLONG *pCurrent) override;
  HRESULT ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source,
                            const GUID *pSourceFormat) override;
  HRESULT SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop,
                       DWORD dwStopFlags) override;
  HRESULT GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) override;
  HRESULT GetAvailable(LONGLONG *pEarliest, LONGLONG *pLatest) override;
  HRESULT SetRate(double dRate) override;
  HRESULT GetRate(double *pdRate) override;
  HRESULT GetPreroll(LONGLONG *pllPreroll) override;

  // IBasicAudio
  HRESULT put_Volume(long lVolume) override;
  HRESULT get_Volume(long *plVolume) override;
  HRESULT put_Balance(long lBalance) override;
  HRESULT get_Balance(long *plBalance) override;

  // IVideoWindow
  HRESULT put_Visible(long Visible) override;
  HRESULT get_Visible(long *pVisible) override;
  HRESULT put_WindowStyle(long WindowStyle) override;
  HRESULT get_WindowStyle(long *WindowStyle) override;
  HRESULT put_Owner(OAHWND Owner) override;
  HRESULT get_Owner(OAHWND *Owner) override;
  HRESULT put_MessageDrain(OAHWND Drain) override;
  HRESULT get_MessageDrain(OAHWND *Drain) override;
  HRESULT SetWindowPosition(long Left, long Top, long Width, long Height) override;
  HRESULT GetWindowPosition(long *pLeft, long *pTop, long *pWidth, long *pHeight) override;
  HRESULT NotifyOwnerMessage(OAHWND hwnd, long uMsg, LONG_PTR wParam, LONG_PTR lParam) override;

  // IBasicVideo
  HRESULT GetVideoSize(long *pWidth, long *pHeight) override;
  HRESULT get_AvgTimePerFrame(REFTIME *pAvgTimePerFrame) override;

  // How long StopWhenReady waits for the streams to end.
  static constexpr int kDrainTimeoutMs = 5000;
  // How long Stop waits for the streams to end in a running graph that
  // writes files, so that a plain Stop (a window closing mid-run) still
  // leaves them complete.
  static constexpr int kStopDrainTimeoutMs = 3000;
  // How long a stop waits for a recording device's audio that the process
  // has not read yet: the most a capture can hold back (its 2 s buffer) and
  // some slack.
  static constexpr int kCatchUpTimeoutMs = 2500;
  // How long Run/Pause wait for the pipeline to settle before answering.
  static constexpr int kStateTimeoutMs = 5000;

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    ComPtr<IGstFilter> gst;  // null for a filter that has no element
    std::u16string name;
    GstElement *element = nullptr;  // in the pipeline; owned by the filter
  };
  struct Event {
    long code;
    LONG_PTR p1;
    LONG_PTR p2;
  };

  void OnBusMessage(GstMessage *msg);
  void QueueEvent(long code, LONG_PTR p1, LONG_PTR p2);

  Entry *FindEntry(IBaseFilter *f);
  HRESULT Materialize();                  // elements in, pads linked
  void RemoveElement(Entry &e);           // out of the pipeline, disposed
  void DisconnectFilter(IBaseFilter *f);  // both sides of every pin
  HRESULT ChangeState(FILTER_STATE target);
  // Pipeline to NULL and the filters told; StopPipeline also keeps the
  // position for the next start.
  void ResetToStopped();
  void StopPipeline();
  // Waits until every live source of the pipeline (a recording device)
  // plays, at most until deadline. False when the pipeline has no live
  // source or one did not start.
  bool WaitForLiveSources(std::chrono::steady_clock::time_point deadline);
  // End of stream into the sources, then wait up to timeoutMs for the
  // pipeline's EOS; true when it came. Leaves m_draining set: the caller
  // clears it once the graph has stopped.
  bool DrainStreams(int timeoutMs);
  // Lets every recording device hand on what it captured up to now, so
  // that ending its stream cuts off nothing that was played before it.
  void CatchUpLiveSources();
  bool WritesFiles();
  HRESULT RenderPin(IPin *out, int depth);
  HRESULT RenderOutputs(IBaseFilter *f, int depth);
  HRESULT ApplySeek(REFERENCE_TIME start, bool setStop, REFERENCE_TIME stop, double rate);
  REFERENCE_TIME QueryPosition();
  HRESULT VideoCheck() const { return m_hasVideo ? S_OK : E_NOINTERFACE; }

  std::recursive_mutex m_lock;  // filters, state, positions (callers' threads)
  std::vector<Entry> m_filters;
  GstElement *m_pipeline = nullptr;
  FILTER_STATE m_state = State_Stopped;
  bool m_ranSinceStop = false;  // false while only cued (paused from stopped)
  bool m_withoutClock = false;

  // Seeking (rendered files only)
  bool m_seekable = false;
  REFERENCE_TIME m_duration = -1;      // -1 unknown
  REFERENCE_TIME m_stop = -1;          // -1: the end
  bool m_stopSet = false;              // the caller set a stop position
  REFERENCE_TIME m_startPending = -1;  // where the next start begins
  REFERENCE_TIME m_lastPosition = 0;
  double m_rate = 1.0;

  // Audio and video of a rendered file
  CAudioRendererFilter *m_audioRenderer = nullptr;  // owned through m_filters
  long m_volume = 0;
  bool m_hasVideo = false;
  long m_videoWidth = 0, m_videoHeight = 0;
  double m_frameTime = 0;
  long m_visible = OAFALSE, m_windowStyle = 0;
  OAHWND m_owner = 0, m_drain = 0;
  long m_winLeft = 0, m_winTop = 0, m_winWidth = 0, m_winHeight = 0;

  // Events (any thread)
  std::mutex m_eventLock;
  std::condition_variable m_eventCond;
  std::deque<Event> m_events;
  OAHWND m_notifyHwnd = 0;
  long m_notifyMsg = 0;
  LONG_PTR m_notifyInstance = 0;
  long m_notifyFlags = 0;
  bool m_draining = false;  // EOS then belongs to StopWhenReady, not to the caller
  bool m_eosSeen = false;
  bool m_completed = false;  // for WaitForCompletion
  long m_completionCode = 0;
  HRESULT m_lastError = S_OK;  // the latest pipeline error
};
