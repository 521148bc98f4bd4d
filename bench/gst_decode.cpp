#include "bench/gst_decode.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cstring>

namespace quavix::bench {

bool DecodeToMono(const std::string &path, int rate, DecodedAudio *out, std::string *error) {
  out->rate = rate;
  out->mono.clear();
  GstElement *pipeline = gst_pipeline_new("decode");
  GstElement *src = gst_element_factory_make("filesrc", nullptr);
  GstElement *dec = gst_element_factory_make("decodebin", nullptr);
  GstElement *conv = gst_element_factory_make("audioconvert", nullptr);
  GstElement *res = gst_element_factory_make("audioresample", nullptr);
  GstElement *sink = gst_element_factory_make("appsink", nullptr);
  if (!pipeline || !src || !dec || !conv || !res || !sink) {
    if (error)
      *error =
          "missing GStreamer elements (filesrc, decodebin, audioconvert, audioresample, appsink)";
    for (GstElement *e : {pipeline, src, dec, conv, res, sink})
      if (e) gst_object_unref(e);
    return false;
  }
  g_object_set(src, "location", path.c_str(), nullptr);
  GstCaps *caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "channels",
                                      G_TYPE_INT, 1, "rate", G_TYPE_INT, rate, "layout",
                                      G_TYPE_STRING, "interleaved", nullptr);
  g_object_set(sink, "caps", caps, "sync", FALSE, nullptr);
  gst_caps_unref(caps);
  gst_bin_add_many(GST_BIN(pipeline), src, dec, conv, res, sink, nullptr);
  gst_element_link(src, dec);
  gst_element_link_many(conv, res, sink, nullptr);
  g_signal_connect(dec, "pad-added", G_CALLBACK(+[](GstElement *, GstPad *pad, gpointer conv) {
                     GstPad *sinkPad = gst_element_get_static_pad(GST_ELEMENT(conv), "sink");
                     if (!gst_pad_is_linked(sinkPad)) {
                       GstCaps *c = gst_pad_get_current_caps(pad);
                       if (!c) c = gst_pad_query_caps(pad, nullptr);
                       const char *name = gst_structure_get_name(gst_caps_get_structure(c, 0));
                       if (g_str_has_prefix(name, "audio/")) gst_pad_link(pad, sinkPad);
                       gst_caps_unref(c);
                     }
                     gst_object_unref(sinkPad);
                   }),
                   conv);

  bool ok = gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  GstBus *bus = gst_element_get_bus(pipeline);
  GstMessage *msg = nullptr;
  while (ok) {
    // An error stops the stream without an end-of-stream: the bus is
    // checked between waits so a file that cannot be decoded never hangs.
    GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 100 * GST_MSECOND);
    if (!sample) {
      if (gst_app_sink_is_eos(GST_APP_SINK(sink))) break;
      msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
      if (msg) break;
      continue;
    }
    GstBuffer *buf = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buf && gst_buffer_map(buf, &map, GST_MAP_READ)) {
      std::size_t n = map.size / sizeof(float);
      std::size_t old = out->mono.size();
      out->mono.resize(old + n);
      std::memcpy(out->mono.data() + old, map.data, n * sizeof(float));
      gst_buffer_unmap(buf, &map);
    }
    gst_sample_unref(sample);
  }
  if (!msg) msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  if (msg) {
    GError *err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    if (error) *error = err ? err->message : "decoding failed";
    if (err) g_error_free(err);
    gst_message_unref(msg);
    ok = false;
  }
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (ok && out->mono.empty()) {
    if (error) *error = "no audio decoded";
    ok = false;
  }
  return ok;
}

}  // namespace quavix::bench
