// Running, events, seeking and the audio and video control interfaces of a
// filter graph.
#pragma once

#include "platform/dshow/dshow_types.h"

QX_DEFINE_GUID(IID_IMediaControl, "56a868b1-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMediaEvent, "56a868b6-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMediaEventEx, "56a868c0-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMediaEventSink, "56a868a2-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMediaSeeking, "36b73880-c2c8-11cf-8b46-00805f6cef60");
QX_DEFINE_GUID(IID_IBasicAudio, "56a868b3-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IVideoWindow, "56a868b4-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IBasicVideo, "56a868b5-0ad4-11ce-b03a-0020af0ba770");

class IMediaControl : public IUnknown {
 public:
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  // Ends the streams, waits (bounded) until everything has been written,
  // then stops; files being written are complete when it returns.
  virtual HRESULT StopWhenReady() = 0;
  // S_OK, or VFW_S_STATE_INTERMEDIATE when the change has not finished
  // within msTimeout.
  virtual HRESULT GetState(long msTimeout, OAFilterState *pfs) = 0;

 protected:
  ~IMediaControl() = default;
};

class IMediaEvent : public IUnknown {
 public:
  virtual HRESULT GetEventHandle(OAEVENT *hEvent) = 0;
  // E_ABORT when no event arrives within msTimeout (0: do not wait).
  virtual HRESULT GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2,
                           long msTimeout) = 0;
  virtual HRESULT WaitForCompletion(long msTimeout, long *pEvCode) = 0;
  virtual HRESULT CancelDefaultHandling(long lEvCode) = 0;
  virtual HRESULT RestoreDefaultHandling(long lEvCode) = 0;
  virtual HRESULT FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;

 protected:
  ~IMediaEvent() = default;
};

class IMediaEventEx : public IMediaEvent {
 public:
  // Posts lMsg (wParam 0, lParam lInstanceData) to hwnd for every event
  // queued from now on, from whichever thread queues it; hwnd 0 stops it.
  virtual HRESULT SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) = 0;
  virtual HRESULT SetNotifyFlags(long lNoNotifyFlags) = 0;
  virtual HRESULT GetNotifyFlags(long *lplNoNotifyFlags) = 0;

 protected:
  ~IMediaEventEx() = default;
};

// What filters report events through; the graph queues them for the
// application. Safe from any thread.
class IMediaEventSink : public IUnknown {
 public:
  virtual HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;

 protected:
  ~IMediaEventSink() = default;
};

// Times in the current time format; TIME_FORMAT_MEDIA_TIME (100 ns units)
// is the default and the only one supported.
class IMediaSeeking : public IUnknown {
 public:
  virtual HRESULT GetCapabilities(DWORD *pCapabilities) = 0;
  virtual HRESULT CheckCapabilities(DWORD *pCapabilities) = 0;
  virtual HRESULT IsFormatSupported(const GUID *pFormat) = 0;
  virtual HRESULT QueryPreferredFormat(GUID *pFormat) = 0;
  virtual HRESULT GetTimeFormat(GUID *pFormat) = 0;
  virtual HRESULT IsUsingTimeFormat(const GUID *pFormat) = 0;
  virtual HRESULT SetTimeFormat(const GUID *pFormat) = 0;
  virtual HRESULT GetDuration(LONGLONG *pDuration) = 0;
  virtual HRESULT GetStopPosition(LONGLONG *pStop) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG *pCurrent) = 0;
  virtual HRESULT ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source,
                                    const GUID *pSourceFormat) = 0;
  virtual HRESULT SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop,
                               DWORD dwStopFlags) = 0;
  virtual HRESULT GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) = 0;
  virtual HRESULT GetAvailable(LONGLONG *pEarliest, LONGLONG *pLatest) = 0;
  virtual HRESULT SetRate(double dRate) = 0;
  virtual HRESULT GetRate(double *pdRate) = 0;
  virtual HRESULT GetPreroll(LONGLONG *pllPreroll) = 0;

 protected:
  ~IMediaSeeking() = default;
};

// Volume in hundredths of a decibel (0 = full, -10000 = silence); balance
// -10000 (left) .. 10000 (right).
class IBasicAudio : public IUnknown {
 public:
  virtual HRESULT put_Volume(long lVolume) = 0;
  virtual HRESULT get_Volume(long *plVolume) = 0;
  virtual HRESULT put_Balance(long lBalance) = 0;
  virtual HRESULT get_Balance(long *plBalance) = 0;

 protected:
  ~IBasicAudio() = default;
};

// The graph always answers these two interfaces; on a graph without a video
// stream every method returns E_NOINTERFACE (that is how callers tell an
// audio-only file).
class IVideoWindow : public IUnknown {
 public:
  virtual HRESULT put_Visible(long Visible) = 0;
  virtual HRESULT get_Visible(long *pVisible) = 0;
  virtual HRESULT put_WindowStyle(long WindowStyle) = 0;
  virtual HRESULT get_WindowStyle(long *WindowStyle) = 0;
  virtual HRESULT put_Owner(OAHWND Owner) = 0;
  virtual HRESULT get_Owner(OAHWND *Owner) = 0;
  virtual HRESULT put_MessageDrain(OAHWND Drain) = 0;
  virtual HRESULT get_MessageDrain(OAHWND *Drain) = 0;
  virtual HRESULT SetWindowPosition(long Left, long Top, long Width, long Height) = 0;
  virtual HRESULT GetWindowPosition(long *pLeft, long *pTop, long *pWidth, long *pHeight) = 0;
  virtual HRESULT NotifyOwnerMessage(OAHWND hwnd, long uMsg, LONG_PTR wParam, LONG_PTR lParam) = 0;

 protected:
  ~IVideoWindow() = default;
};

class IBasicVideo : public IUnknown {
 public:
  virtual HRESULT GetVideoSize(long *pWidth, long *pHeight) = 0;
  virtual HRESULT get_AvgTimePerFrame(REFTIME *pAvgTimePerFrame) = 0;

 protected:
  ~IBasicVideo() = default;
};
