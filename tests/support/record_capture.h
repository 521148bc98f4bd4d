// Records a capture filter's output into a WAV file through a real pipeline
// of its own (the filter's element, wavenc, filesink), without a filter
// graph: for tests of what a capture filter delivers. Header-only so that
// the sound-server fixture library stays free of the media graph.
#pragma once

#include <gst/gst.h>
#include <sys/stat.h>

#include <string>

#include "platform/dshow/dshow.h"
#include "platform/dshow/gst_filter.h"

namespace quavix::test {

// Records until the file holds `seconds` of 16-bit stereo audio at 44.1 kHz
// (waiting for audio, not for time: on a loaded machine a fresh recording
// stream may start late; at most 30 s). False when the pipeline could not
// be built or started, an error ended it, or it did not drain.
inline bool RecordCaptureToWav(IBaseFilter *filter, const std::string &path, double seconds) {
  IGstFilter *gf = nullptr;
  if (FAILED(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void **>(&gf)))) return false;
  GstElement *bin = gf->GetGstElement();
  GstElement *pipeline = gst_pipeline_new(nullptr);
  GstElement *enc = gst_element_factory_make("wavenc", nullptr);
  GstElement *sink = gst_element_factory_make("filesink", nullptr);
  bool ok = bin && enc && sink;
  if (ok) {
    g_object_set(sink, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), bin, enc, sink, nullptr);
    ok = gst_element_link_pads(bin, "Capture", enc, "sink") && gst_element_link(enc, sink);
    ok = ok && SUCCEEDED(gf->PrepareState(State_Running));
    ok = ok && gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  }
  GstBus *bus = gst_element_get_bus(pipeline);
  if (ok) {
    const off_t wanted = 44 + static_cast<off_t>(seconds * 44100) * 4;
    GstMessage *msg = nullptr;
    for (int waited = 0; waited < 30000 && !msg; waited += 100) {
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0 && st.st_size >= wanted) break;
      msg = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND, GST_MESSAGE_ERROR);
    }
    if (msg) {
      ok = false;
      gst_message_unref(msg);
    } else {
      gst_element_send_event(pipeline, gst_event_new_eos());
      msg = gst_bus_timed_pop_filtered(
          bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
      ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
      if (msg) gst_message_unref(msg);
    }
  }
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  if (bin && GST_OBJECT_PARENT(bin) == GST_OBJECT(pipeline)) {
    // The element belongs to the filter: taken out before the pipeline goes.
    gst_object_ref(bin);
    gst_bin_remove(GST_BIN(pipeline), bin);
    gf->ReleaseGstElement();
    gst_object_unref(bin);
  } else {
    if (enc) gst_object_unref(enc);
    if (sink) gst_object_unref(sink);
  }
  gst_object_unref(pipeline);
  gf->StateChanged(State_Stopped);
  gf->Release();
  return ok;
}

}  // namespace quavix::test
