#include "bench/audio_analysis.h"

#include <cmath>

namespace quavix::bench {

double LeadingSilenceSeconds(const std::vector<float> &samples, int rate, float threshold) {
  if (rate <= 0) return -1;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (std::fabs(samples[i]) > threshold) return static_cast<double>(i) / rate;
  return -1;
}

std::vector<double> RmsEnvelope(const std::vector<float> &samples, std::size_t windowSamples) {
  std::vector<double> env;
  if (windowSamples == 0) return env;
  for (std::size_t start = 0; start + windowSamples <= samples.size(); start += windowSamples) {
    double sum = 0;
    for (std::size_t i = start; i < start + windowSamples; ++i)
      sum += double(samples[i]) * samples[i];
    env.push_back(std::sqrt(sum / static_cast<double>(windowSamples)));
  }
  return env;
}

double Pearson(const std::vector<double> &a, const std::vector<double> &b, long lag) {
  // Indices i of a with i + lag inside b.
  long first = lag < 0 ? -lag : 0;
  long last = std::min(static_cast<long>(a.size()), static_cast<long>(b.size()) - lag);
  long n = last - first;
  if (n < 3) return 0;
  double ma = 0, mb = 0;
  for (long i = first; i < last; ++i) {
    ma += a[i];
    mb += b[i + lag];
  }
  ma /= n;
  mb /= n;
  double sab = 0, saa = 0, sbb = 0;
  for (long i = first; i < last; ++i) {
    double da = a[i] - ma, db = b[i + lag] - mb;
    sab += da * db;
    saa += da * da;
    sbb += db * db;
  }
  if (saa <= 0 || sbb <= 0) return 0;
  return sab / std::sqrt(saa * sbb);
}

long BestLag(const std::vector<double> &a, const std::vector<double> &b, long maxLag) {
  long best = 0;
  double bestR = -2;
  for (long lag = -maxLag; lag <= maxLag; ++lag) {
    double r = Pearson(a, b, lag);
    if (r > bestR) {
      bestR = r;
      best = lag;
    }
  }
  return best;
}

std::vector<Gap> FindDropouts(const std::vector<float> &recording,
                              const std::vector<float> &reference, long lagSamples,
                              std::size_t minGapSamples, float silence, double referenceFloor) {
  std::vector<Gap> gaps;
  std::size_t first = recording.size(), last = 0;
  for (std::size_t i = 0; i < recording.size(); ++i)
    if (std::fabs(recording[i]) > silence) {
      if (first == recording.size()) first = i;
      last = i;
    }
  if (first >= last) return gaps;

  auto referenceLoud = [&](std::size_t start, std::size_t length) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = start; i < start + length; ++i) {
      long j = static_cast<long>(i) - lagSamples;
      if (j < 0 || j >= static_cast<long>(reference.size())) continue;
      sum += double(reference[j]) * reference[j];
      ++n;
    }
    return n > 0 && std::sqrt(sum / n) > referenceFloor;
  };

  std::size_t runStart = 0;
  bool inRun = false;
  for (std::size_t i = first; i <= last + 1; ++i) {
    bool quiet = i <= last && std::fabs(recording[i]) <= silence;
    if (quiet && !inRun) {
      runStart = i;
      inRun = true;
    } else if (!quiet && inRun) {
      inRun = false;
      std::size_t length = i - runStart;
      if (length >= minGapSamples && referenceLoud(runStart, length))
        gaps.push_back({runStart, length});
    }
  }
  return gaps;
}

}  // namespace quavix::bench
