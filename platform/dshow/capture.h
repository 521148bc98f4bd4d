// Capture graph builder, file sink and the audio input line mixer.
#pragma once

#include "platform/dshow/filter.h"

QX_DEFINE_GUID(IID_ICaptureGraphBuilder2, "93e5a4e0-2d50-11d2-abfa-00a0c9c6e38d");
QX_DEFINE_GUID(IID_IFileSinkFilter, "a2104830-7c70-11cf-8bce-00aa00a3f1a6");
QX_DEFINE_GUID(IID_IFileSinkFilter2, "00855b90-ce1b-11d0-bd4f-00a0c911ce86");
QX_DEFINE_GUID(IID_IAMAudioInputMixer, "54c39221-8380-11d0-b3f0-00aa003761c5");
QX_DEFINE_GUID(IID_ICaptureLoss, "7d2f5b1e-93a4-4c6e-b0d8-5e1c2a47f903");
QX_DEFINE_GUID(IID_ICaptureCatchUp, "c41e6a93-2f7d-4b58-9e0a-6d3b8f15a2c7");

class ICaptureGraphBuilder2 : public IUnknown {
 public:
  virtual HRESULT SetFiltergraph(IGraphBuilder *pfg) = 0;  // holds a reference
  virtual HRESULT GetFiltergraph(IGraphBuilder **ppfg) = 0;

 protected:
  ~ICaptureGraphBuilder2() = default;
};

class IFileSinkFilter : public IUnknown {
 public:
  virtual HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) = 0;
  // *ppszFileName is CoTaskMemAlloc'd; pmt may be null.
  virtual HRESULT GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) = 0;

 protected:
  ~IFileSinkFilter() = default;
};

class IFileSinkFilter2 : public IFileSinkFilter {
 public:
  virtual HRESULT SetMode(DWORD dwFlags) = 0;
  virtual HRESULT GetMode(DWORD *pdwFlags) = 0;

 protected:
  ~IFileSinkFilter2() = default;
};

// One input line of a capture device (asked from the capture filter's input
// pins). Level 0.0 .. 1.0 (1.0 = 100 %).
class IAMAudioInputMixer : public IUnknown {
 public:
  virtual HRESULT put_Enable(BOOL fEnable) = 0;
  virtual HRESULT get_Enable(BOOL *pfEnable) = 0;
  virtual HRESULT put_MixLevel(double Level) = 0;
  virtual HRESULT get_MixLevel(double *pLevel) = 0;

 protected:
  ~IAMAudioInputMixer() = default;
};

// Asked from an audio capture filter: how much audio the capture could not
// record during the current run, or the last one once it has stopped (the
// program fell further behind than the capture can hold). A new run starts
// again from 0.
class ICaptureLoss : public IUnknown {
 public:
  // Lost time in 100 ns units.
  virtual HRESULT GetLostTime(LONGLONG *pLost) = 0;

 protected:
  ~ICaptureLoss() = default;
};

// Asked by the graph from a live source before it ends the source's stream
// (Stop, StopWhenReady). A busy or stalled process reads what the device
// captured late: ending the stream at once would cut off the last moments
// before the stop, which the device had already recorded (the end of the
// song).
class ICaptureCatchUp : public IUnknown {
 public:
  // Waits until the source has handed on everything it captured up to now,
  // at most msTimeout. S_OK when it has (or has nothing to wait for),
  // S_FALSE when the time ran out or the device stopped delivering.
  virtual HRESULT WaitForCapturedAudio(DWORD msTimeout) = 0;

 protected:
  ~ICaptureCatchUp() = default;
};
