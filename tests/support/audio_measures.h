// Measures of recorded audio that a busy machine does not spoil: a hole in
// the recording, or the low noise a lossy codec puts into one, must not read
// as another pitch or another tune.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quavix::test {

// The pitch of a tone in mono samples: the median time between rising
// crossings, each taken only after the signal went below -threshold and came
// back above +threshold (a third of its RMS), placed between samples by
// interpolation. Holes, phase jumps and codec noise only shift a few of the
// intervals, which the median leaves out. 0 when there is no tone.
inline double MedianPeriodFrequency(const std::vector<std::int16_t> &mono, int rate) {
  if (mono.size() < 3 || rate <= 0) return 0;
  double energy = 0;
  for (std::int16_t v : mono) energy += static_cast<double>(v) * v;
  const double threshold = std::sqrt(energy / static_cast<double>(mono.size())) / 3;
  if (threshold < 1) return 0;
  std::vector<double> periods;
  bool armed = false;
  double previous = -1;
  for (std::size_t i = 1; i < mono.size(); ++i) {
    if (mono[i] < -threshold) armed = true;
    if (!armed || mono[i] < threshold) continue;
    // Back to the last sample at or below zero, then between it and the next.
    std::size_t k = i;
    while (k > 0 && mono[k - 1] > 0) --k;
    if (k == 0) continue;
    const double a = mono[k - 1], b = mono[k];
    const double at = static_cast<double>(k - 1) + (b == a ? 0 : -a / (b - a));
    if (previous >= 0) periods.push_back(at - previous);
    previous = at;
    armed = false;
  }
  if (periods.size() < 3) return 0;
  std::nth_element(periods.begin(), periods.begin() + static_cast<long>(periods.size() / 2),
                   periods.end());
  const double median = periods[periods.size() / 2];
  return median > 0 ? rate / median : 0;
}

// RMS of consecutive windows of `window` samples.
inline std::vector<double> Envelope(const std::vector<std::int16_t> &mono, std::size_t window) {
  std::vector<double> out;
  for (std::size_t at = 0; window > 0 && at + window <= mono.size(); at += window) {
    double e = 0;
    for (std::size_t i = at; i < at + window; ++i) e += static_cast<double>(mono[i]) * mono[i];
    out.push_back(std::sqrt(e / static_cast<double>(window)));
  }
  return out;
}

// Pearson correlation of two envelopes over their common length; -1 when
// either is flat or too short.
inline double Correlation(const std::vector<double> &a, const std::vector<double> &b) {
  const std::size_t n = std::min(a.size(), b.size());
  if (n < 3) return -1;
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
  ma /= static_cast<double>(n);
  mb /= static_cast<double>(n);
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  if (saa <= 0 || sbb <= 0) return -1;
  return sab / std::sqrt(saa * sbb);
}

// How alike the loudness of two recordings of the same sound is: the best
// envelope correlation (50 ms windows) over shifts of `b` by up to
// `maxShiftSeconds` in 5 ms steps, which absorbs an encoder's delay.
inline double EnvelopeCorrelation(const std::vector<std::int16_t> &a,
                                  const std::vector<std::int16_t> &b, int rate,
                                  double maxShiftSeconds = 0.2) {
  const auto step = static_cast<std::size_t>(rate / 200);
  const auto window = static_cast<std::size_t>(rate / 20);
  const std::vector<double> ea = Envelope(a, window);
  double best = -1;
  const auto maxShift = static_cast<long>(maxShiftSeconds * rate);
  for (long shift = -maxShift; shift <= maxShift; shift += static_cast<long>(step)) {
    std::vector<std::int16_t> shifted;
    if (shift >= 0) {
      if (static_cast<std::size_t>(shift) >= b.size()) continue;
      shifted.assign(b.begin() + shift, b.end());
    } else {
      shifted.assign(static_cast<std::size_t>(-shift), 0);
      shifted.insert(shifted.end(), b.begin(), b.end());
    }
    best = std::max(best, Correlation(ea, Envelope(shifted, window)));
  }
  return best;
}

// Samples of `mono` that lie in holes: runs of at least `minRun` samples
// within +-2 of zero between the first and the last sample above
// `loudThreshold`. A recording that lost audio has them; a tone has none.
inline std::size_t SamplesInHoles(const std::vector<std::int16_t> &mono, int loudThreshold,
                                  std::size_t minRun) {
  std::size_t first = mono.size(), last = 0;
  for (std::size_t i = 0; i < mono.size(); ++i)
    if (std::abs(static_cast<int>(mono[i])) > loudThreshold) {
      if (first == mono.size()) first = i;
      last = i;
    }
  std::size_t total = 0, run = 0;
  for (std::size_t i = first; i <= last && i < mono.size(); ++i) {
    if (std::abs(static_cast<int>(mono[i])) <= 2) {
      ++run;
    } else {
      if (run >= minRun) total += run;
      run = 0;
    }
  }
  return total;
}

}  // namespace quavix::test
