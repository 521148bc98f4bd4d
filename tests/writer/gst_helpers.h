// Helpers for driving real GStreamer pipelines in the writer tests.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace writer_test {

constexpr int kRate = 44100;

struct RunOutcome {
  bool eos = false;
  std::string error;        // message of the first error, empty when none
  std::string errorSource;  // name of the element that posted it
};

// Sets the pipeline PLAYING and waits for end of stream or an error. The wait
// is bounded only so a broken pipeline cannot hang the test run.
RunOutcome RunToEnd(GstElement* pipeline);

// A pipeline of `sourceDesc` (gst-launch syntax, ending in raw audio), the
// element `middle`, and `sinkDesc`. Takes ownership of `middle`.
GstElement* MakePipeline(const std::string& sourceDesc, GstElement* middle,
                         const std::string& sinkDesc);

// Exactly `seconds` of a sine tone at 44.1 kHz stereo S16 (441-sample buffers).
std::string ToneSource(double freq, double seconds, bool live = false);

// Decodes any media file with GStreamer into 44.1 kHz stereo S16 samples,
// from `startSeconds` on (an accurate seek) to the end. Returns false when the
// file cannot be decoded or the seek fails.
bool DecodeFile(const std::string& path, std::vector<std::int16_t>* samples,
                std::string* error = nullptr, double startSeconds = 0.0);

// Collects the raw output of a source description (as ToneSource gives).
std::vector<std::int16_t> CollectRaw(const std::string& sourceDesc);

// Frequency of the left channel from its rising zero crossings, leaving out
// the first and last quarter second (encoder start-up and tail).
double LeftFrequency(const std::vector<std::int16_t>& stereo);

inline double StereoSeconds(const std::vector<std::int16_t>& s) {
  return static_cast<double>(s.size()) / 2.0 / kRate;
}

std::string ReadWholeFile(const std::string& path);

}  // namespace writer_test
