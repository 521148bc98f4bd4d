// How the filter graph reaches a filter's GStreamer element. Every filter
// that takes part in a graph (the capture filter, the File Writer, the
// writer module's filter, the graph's own source and renderers) answers
// IID_IGstFilter. Pure virtual with GStreamer's C types only, so a filter
// in a separately loaded module shares nothing with the graph but this
// table of functions and the one process-wide GStreamer library.
#pragma once

#include "platform/dshow/filter.h"

typedef struct _GstElement GstElement;

QX_DEFINE_GUID(IID_IGstFilter, "a6c1e0d4-5b7f-4c2a-9e61-2f3d8b90c417");

class IGstFilter : public IUnknown {
 public:
  // The filter's element: normally a GstBin with one ghost pad per pin that
  // carries data, each named after its pin (the UTF-8 form of
  // PIN_INFO::achName), sink pads for input pins and src pads for output
  // pins. Pins that carry no data (a capture filter's input lines) have no
  // pad. The graph links the pads of connected pins; a connected pin
  // without a pad makes Pause/Run fail with VFW_E_CANNOT_CONNECT. Built at the first
  // call, not before (so a graph that is never run opens no device, file or
  // server connection). The filter keeps ownership; the pointer stays valid
  // until ReleaseGstElement. Null when it cannot be built; the graph's
  // Pause/Run then fails with E_FAIL.
  virtual GstElement *GetGstElement() = 0;

  // The element has been set to GST_STATE_NULL and taken out of the
  // pipeline: the filter drops it. A later GetGstElement builds a new one.
  virtual void ReleaseGstElement() = 0;

  // Called before the pipeline goes to the state (State_Paused or
  // State_Running), after GetGstElement: the moment to configure the element
  // (file locations, devices). A failure aborts the graph's change and is
  // what IMediaControl::Run/Pause returns.
  virtual HRESULT PrepareState(FILTER_STATE target) = 0;

  // Called after the pipeline changed state; State_Stopped comes after the
  // pipeline reached GST_STATE_NULL (files written by the element are
  // closed and complete by then).
  virtual void StateChanged(FILTER_STATE state) = 0;

 protected:
  ~IGstFilter() = default;
};
