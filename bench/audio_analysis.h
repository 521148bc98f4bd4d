// Measures for comparing a recording with a reference rendering of the same
// music: where the sound starts, how the loudness moves, and where the
// recording fell silent although the music did not.
#pragma once

#include <cstddef>
#include <vector>

namespace quavix::bench {

// Seconds before the first sample whose magnitude exceeds `threshold`;
// -1 when there is none.
double LeadingSilenceSeconds(const std::vector<float> &samples, int rate, float threshold);

// Root mean square of consecutive windows of `windowSamples` (a last,
// partial window is dropped).
std::vector<double> RmsEnvelope(const std::vector<float> &samples, std::size_t windowSamples);

// Pearson correlation of a[i] and b[i + lag] over the indices both have.
// 0 when fewer than 3 pairs or either side is constant.
double Pearson(const std::vector<double> &a, const std::vector<double> &b, long lag = 0);

// The lag in [-maxLag, maxLag] at which b best follows a (highest Pearson
// correlation of a[i] with b[i + lag]).
long BestLag(const std::vector<double> &a, const std::vector<double> &b, long maxLag);

// A stretch of digital silence in the recording, in samples.
struct Gap {
  std::size_t start = 0;
  std::size_t length = 0;
};

// Stretches of at least `minGapSamples` samples whose magnitude stays at or
// below `silence` between the recording's first and last sound, where the
// reference (shifted by `lagSamples`: recording[i] matches
// reference[i - lagSamples]) is not silent: its RMS over the same stretch is
// above `referenceFloor`. Rests in the music are not dropouts.
std::vector<Gap> FindDropouts(const std::vector<float> &recording,
                              const std::vector<float> &reference, long lagSamples,
                              std::size_t minGapSamples, float silence, double referenceFloor);

}  // namespace quavix::bench
