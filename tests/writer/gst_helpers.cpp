#include "tests/writer/gst_helpers.h"

#include "tests/support/audio_measures.h"

#include <gst/app/gstappsink.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace writer_test {
namespace {

constexpr GstClockTime kHangGuard = 120 * GST_SECOND;
constexpr GstMessageType kEnd = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);

GstElement *ParseBin(const std::string &desc) {
  GError *err = nullptr;
  GstElement *bin = gst_parse_bin_from_description(desc.c_str(), TRUE, &err);
  if (err) g_error_free(err);
  return bin;
}

}  // namespace

RunOutcome RunToEnd(GstElement *pipeline) {
  RunOutcome out;
  gst_element_set_state(pipeline, GST_STATE_PLAYING);  // a failure leaves its error on the bus
  GstBus *bus = gst_element_get_bus(pipeline);
  GstMessage *msg = gst_bus_timed_pop_filtered(bus, kHangGuard, kEnd);
  if (!msg) {
    out.error = "pipeline neither ended nor failed";
  } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
    out.eos = true;
  } else {
    GError *err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    out.error = err->message;
    out.errorSource = GST_MESSAGE_SRC_NAME(msg);
    g_error_free(err);
  }
  if (msg) gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  return out;
}

GstElement *MakePipeline(const std::string &source, GstElement *middle, const std::string &sink) {
  GstElement *pipeline = gst_pipeline_new(nullptr);
  GstElement *src = ParseBin(source);
  GstElement *snk = ParseBin(sink);
  gst_bin_add_many(GST_BIN(pipeline), src, middle, snk, nullptr);
  if (!gst_element_link_many(src, middle, snk, nullptr)) {
    gst_object_unref(pipeline);
    return nullptr;
  }
  return pipeline;
}

std::string ToneSource(double freq, double seconds, bool live) {
  std::ostringstream s;
  s << "audiotestsrc wave=sine volume=0.5 samplesperbuffer=441 freq=" << freq
    << (live ? " is-live=true" : " num-buffers=" + std::to_string(std::lround(seconds * 100)))
    << " ! capsfilter caps=\"audio/x-raw,format=S16LE,rate=44100,channels=2\"";
  return s.str();
}

bool DecodeFile(const std::string &path, std::vector<std::int16_t> *pcm, double start) {
  pcm->clear();
  gchar *uri = gst_filename_to_uri(path.c_str(), nullptr);
  GstElement *pipeline = gst_parse_launch(
      (std::string("uridecodebin uri=") + uri +
       " ! audioconvert ! audioresample ! capsfilter caps=\"audio/x-raw,format=S16LE,"
       "rate=44100,channels=2\" ! appsink name=out sync=false")
          .c_str(),
      nullptr);
  g_free(uri);
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  bool ok = true;
  if (start > 0) {
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    ok =
        gst_element_get_state(pipeline, nullptr, nullptr, kHangGuard) == GST_STATE_CHANGE_SUCCESS &&
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags,
                                static_cast<gint64>(start * GST_SECOND));
  }
  gst_element_set_state(pipeline, ok ? GST_STATE_PLAYING : GST_STATE_NULL);
  GstBus *bus = gst_element_get_bus(pipeline);
  while (ok) {
    GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 50 * GST_MSECOND);
    if (!sample) {
      if (gst_app_sink_is_eos(GST_APP_SINK(sink))) break;
      if (GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        gst_message_unref(m);
        ok = false;
      }
      continue;
    }
    GstMapInfo map;
    GstBuffer *buf = gst_sample_get_buffer(sample);
    if (gst_buffer_map(buf, &map, GST_MAP_READ)) {
      const auto *p = reinterpret_cast<const std::int16_t *>(map.data);
      pcm->insert(pcm->end(), p, p + map.size / 2);
      gst_buffer_unmap(buf, &map);
    }
    gst_sample_unref(sample);
  }
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return ok;
}

double FfmpegSeconds(const std::string &path, std::string *errors, double start) {
  const std::string raw = path + ".ffmpeg.raw";
  const std::string ss = std::to_string(start);
  const char *argv[] = {"ffmpeg",   "-nostdin", "-y",         "-v",        "error", "-ss",
                        ss.c_str(), "-i",       path.c_str(), "-f",        "s16le", "-ac",
                        "2",        "-ar",      "44100",      raw.c_str(), nullptr};
  gchar *err = nullptr;
  gint status = -1;
  const bool ran = g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH,
                                nullptr, nullptr, nullptr, &err, &status, nullptr);
  *errors = err ? err : "";
  g_free(err);
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(raw, ec);
  std::filesystem::remove(raw, ec);
  if (!ran || !g_spawn_check_wait_status(status, nullptr) || bytes == static_cast<uintmax_t>(-1))
    return -1;
  return static_cast<double>(bytes) / (4.0 * 44100);
}

double LeftFrequency(const std::vector<std::int16_t> &stereo) {
  const std::size_t frames = stereo.size() / 2, skip = 44100 / 4;
  if (frames <= 2 * skip) return 0;
  std::vector<std::int16_t> left;
  left.reserve(frames - 2 * skip);
  for (std::size_t i = skip; i + skip < frames; ++i) left.push_back(stereo[2 * i]);
  return quavix::test::MedianPeriodFrequency(left, 44100);
}

}  // namespace writer_test
