// Helpers for driving real GStreamer pipelines in the writer tests.
#pragma once

#include <gst/gst.h>

#include "tests/support/file_contents.h"

#include <cstdint>
#include <string>
#include <vector>

namespace writer_test {

struct RunOutcome {
  bool eos = false;
  std::string error, errorSource;  // first error and the element that posted it
};

// Runs to end of stream or error (bounded only against a hang), then NULL.
RunOutcome RunToEnd(GstElement *pipeline);

// `source` (gst-launch text ending in raw audio) -> `middle` -> `sink`.
// Takes ownership of `middle`; null when the parts do not link.
GstElement *MakePipeline(const std::string &source, GstElement *middle, const std::string &sink);

// `seconds` of a sine tone, 44.1 kHz stereo S16 in 441-sample buffers.
std::string ToneSource(double freq, double seconds, bool live = false);

// Decodes a file with GStreamer to 44.1 kHz stereo S16 from `start` seconds
// (an accurate seek) to the end; false when it cannot be decoded.
bool DecodeFile(const std::string &path, std::vector<std::int16_t> *pcm, double start = 0);

// The same with the ffmpeg program, whose demuxer is not GStreamer's: the
// decoded length in seconds, or -1; `errors` gets what ffmpeg complained of.
double FfmpegSeconds(const std::string &path, std::string *errors, double start = 0);

// Pitch of the left channel by its median period, leaving out the first and
// last quarter second.
double LeftFrequency(const std::vector<std::int16_t> &stereo);

inline double Seconds(const std::vector<std::int16_t> &stereo) {
  return static_cast<double>(stereo.size()) / 2.0 / 44100.0;
}

using quavix::test::ReadWholeFile;

}  // namespace writer_test
