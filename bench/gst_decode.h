// Decodes any file GStreamer can read (WMA in ASF, WAV, ...) to mono
// 32-bit float samples at a fixed rate, for measuring.
#pragma once

#include <string>
#include <vector>

namespace quavix::bench {

struct DecodedAudio {
  int rate = 0;
  std::vector<float> mono;  // the mean of the channels
  double Seconds() const { return rate ? static_cast<double>(mono.size()) / rate : 0; }
};

// gst_init must have been called. False with a reason in *error on failure.
bool DecodeToMono(const std::string &path, int rate, DecodedAudio *out, std::string *error);

}  // namespace quavix::bench
