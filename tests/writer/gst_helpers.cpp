#include "tests/writer/gst_helpers.h"

#include <gst/app/gstappsink.h>

#include <fstream>
#include <sstream>

namespace writer_test {
namespace {

constexpr GstClockTime kHangGuard = 120 * GST_SECOND;

void AppendSamples(GstAppSink* sink, std::vector<std::int16_t>* out) {
  while (GstSample* sample = gst_app_sink_try_pull_sample(sink, 0)) {
    GstBuffer* buf = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buf && gst_buffer_map(buf, &map, GST_MAP_READ)) {
      const auto* p = reinterpret_cast<const std::int16_t*>(map.data);
      out->insert(out->end(), p, p + map.size / sizeof(std::int16_t));
      gst_buffer_unmap(buf, &map);
    }
    gst_sample_unref(sample);
  }
}

}  // namespace

RunOutcome RunToEnd(GstElement* pipeline) {
  RunOutcome out;
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    // The error that made the change fail is on the bus; fall through to read it.
  }
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg = gst_bus_timed_pop_filtered(
      bus, kHangGuard, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (!msg) {
    out.error = "pipeline neither ended nor failed";
  } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
    out.eos = true;
  } else {
    GError* err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    out.error = err ? err->message : "unknown error";
    out.errorSource = GST_MESSAGE_SRC_NAME(msg) ? GST_MESSAGE_SRC_NAME(msg) : "";
    if (err) g_error_free(err);
  }
  if (msg) gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  return out;
}

GstElement* MakePipeline(const std::string& sourceDesc, GstElement* middle,
                         const std::string& sinkDesc) {
  GError* err = nullptr;
  GstElement* src = gst_parse_bin_from_description(sourceDesc.c_str(), TRUE, &err);
  if (err) g_error_free(err), err = nullptr;
  GstElement* sink = gst_parse_bin_from_description(sinkDesc.c_str(), TRUE, &err);
  if (err) g_error_free(err);
  GstElement* pipeline = gst_pipeline_new(nullptr);
  if (!src || !sink || !middle) {
    if (src) gst_object_unref(gst_object_ref_sink(src));
    if (sink) gst_object_unref(gst_object_ref_sink(sink));
    if (middle) gst_object_unref(gst_object_ref_sink(middle));
    gst_object_unref(pipeline);
    return nullptr;
  }
  gst_bin_add_many(GST_BIN(pipeline), src, middle, sink, nullptr);
  if (!gst_element_link_many(src, middle, sink, nullptr)) {
    gst_object_unref(pipeline);
    return nullptr;
  }
  return pipeline;
}

std::string ToneSource(double freq, double seconds, bool live) {
  std::ostringstream s;
  s << "audiotestsrc wave=sine volume=0.5 samplesperbuffer=441 freq=" << freq;
  if (live)
    s << " is-live=true";
  else
    s << " num-buffers=" << static_cast<long>(seconds * 100 + 0.5);
  s << " ! capsfilter caps=\"audio/x-raw,format=S16LE,rate=44100,channels=2,layout=interleaved\"";
  return s.str();
}

bool DecodeFile(const std::string& path, std::vector<std::int16_t>* samples, std::string* error,
                double startSeconds) {
  samples->clear();
  GError* err = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), &err);
  if (!uri) {
    if (error) *error = err ? err->message : "bad path";
    if (err) g_error_free(err);
    return false;
  }
  std::string desc = std::string("uridecodebin uri=") + uri +
                     " ! audioconvert ! audioresample ! capsfilter caps=\"audio/x-raw,format=S16LE,"
                     "rate=44100,channels=2,layout=interleaved\" ! appsink name=out sync=false";
  g_free(uri);
  GstElement* pipeline = gst_parse_launch(desc.c_str(), &err);
  if (err) {
    if (error) *error = err->message;
    g_error_free(err);
    if (pipeline) gst_object_unref(pipeline);
    return false;
  }
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  g_object_set(sink, "max-buffers", 0u, "drop", FALSE, nullptr);
  GstBus* bus = gst_element_get_bus(pipeline);
  bool ok = false;
  if (startSeconds > 0) {
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    const bool seeked =
        gst_element_get_state(pipeline, nullptr, nullptr, kHangGuard) == GST_STATE_CHANGE_SUCCESS &&
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH |
                                                          GST_SEEK_FLAG_ACCURATE),
                                static_cast<gint64>(startSeconds * GST_SECOND)) &&
        gst_element_get_state(pipeline, nullptr, nullptr, kHangGuard) == GST_STATE_CHANGE_SUCCESS;
    if (!seeked) {
      if (error) *error = "seek failed";
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_object_unref(bus);
      gst_object_unref(sink);
      gst_object_unref(pipeline);
      return false;
    }
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  for (;;) {
    AppendSamples(GST_APP_SINK(sink), samples);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 20 * GST_MSECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!msg) continue;
    if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
      ok = true;
    } else if (error) {
      GError* e = nullptr;
      gst_message_parse_error(msg, &e, nullptr);
      *error = e ? e->message : "decode error";
      if (e) g_error_free(e);
    }
    gst_message_unref(msg);
    break;
  }
  AppendSamples(GST_APP_SINK(sink), samples);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return ok;
}

std::vector<std::int16_t> CollectRaw(const std::string& sourceDesc) {
  std::vector<std::int16_t> samples;
  GError* err = nullptr;
  GstElement* pipeline =
      gst_parse_launch((sourceDesc + " ! appsink name=out sync=false").c_str(), &err);
  if (err) {
    g_error_free(err);
    if (pipeline) gst_object_unref(pipeline);
    return samples;
  }
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  GstBus* bus = gst_element_get_bus(pipeline);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  for (;;) {
    AppendSamples(GST_APP_SINK(sink), &samples);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 20 * GST_MSECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (msg) {
      gst_message_unref(msg);
      break;
    }
  }
  AppendSamples(GST_APP_SINK(sink), &samples);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return samples;
}

double LeftFrequency(const std::vector<std::int16_t>& stereo) {
  const std::size_t frames = stereo.size() / 2;
  const std::size_t skip = kRate / 4;
  if (frames < 3 * skip) return 0.0;
  std::size_t first = 0, last = 0, crossings = 0;
  for (std::size_t i = skip + 1; i < frames - skip; ++i) {
    if (stereo[2 * (i - 1)] < 0 && stereo[2 * i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return static_cast<double>(crossings - 1) * kRate / static_cast<double>(last - first);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace writer_test
