// The measures that judge recordings on a busy machine: a hole, or the noise
// a lossy codec leaves in one, must not change what they read.
#include "tests/support/audio_measures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

using quavix::test::EnvelopeCorrelation;
using quavix::test::MedianPeriodFrequency;
using quavix::test::SamplesInHoles;

std::vector<std::int16_t> Tone(double freq, double seconds, double level = 0.5) {
  std::vector<std::int16_t> s(static_cast<std::size_t>(seconds * 44100));
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(32767 * level * std::sin(2 * M_PI * freq * i / 44100));
  return s;
}

TEST(AudioMeasures, APitchIsReadThroughHolesNoiseAndPhaseJumps) {
  EXPECT_NEAR(MedianPeriodFrequency(Tone(440, 2), 44100), 440.0, 0.1);
  EXPECT_NEAR(MedianPeriodFrequency(Tone(1000, 1), 44100), 1000.0, 0.5);
  // What a WMA of a recording with holes decodes to: every 300 ms, 25 ms
  // of low noise around zero, and the tone resuming at another phase.
  std::vector<std::int16_t> s = Tone(440, 2);
  std::srand(7);
  for (std::size_t at = 4410; at + 1102 < s.size(); at += 13230) {
    for (std::size_t i = at; i < at + 1102; ++i)
      s[i] = static_cast<std::int16_t>(std::rand() % 400 - 200);
    for (std::size_t i = at + 1102; i < at + 1400; ++i) s[i] = static_cast<std::int16_t>(-s[i]);
  }
  EXPECT_NEAR(MedianPeriodFrequency(s, 44100), 440.0, 1.0);
  EXPECT_EQ(MedianPeriodFrequency(std::vector<std::int16_t>(44100, 0), 44100), 0.0);
}

TEST(AudioMeasures, EnvelopesOfTheSameSoundCorrelateAndOthersDoNot) {
  // Loudness that changes at uneven times.
  std::vector<std::int16_t> a;
  const double steps[] = {0.2, 0.45, 0.3, 0.25, 0.5};
  for (int k = 0; k < 5; ++k) {
    auto part = Tone(440, steps[k], k % 2 ? 0.1 : 0.5);
    a.insert(a.end(), part.begin(), part.end());
  }
  // The same sound 40 ms later (an encoder's delay) reads as the same.
  std::vector<std::int16_t> late(1764, 0);
  late.insert(late.end(), a.begin(), a.end());
  EXPECT_GE(EnvelopeCorrelation(a, late, 44100), 0.99);
  std::vector<std::int16_t> reversed(a.rbegin(), a.rend());
  EXPECT_LT(EnvelopeCorrelation(a, reversed, 44100), 0.9);
}

TEST(AudioMeasures, HolesInsideTheSoundAreCountedAndItsEdgesAreNot) {
  std::vector<std::int16_t> s(4410, 0);
  auto tone = Tone(440, 1);
  s.insert(s.end(), tone.begin(), tone.end());
  s.insert(s.end(), 4410, 0);
  EXPECT_EQ(SamplesInHoles(s, 1000, 441), 0u);
  std::fill(s.begin() + 20000, s.begin() + 21102, 0);
  EXPECT_GE(SamplesInHoles(s, 1000, 441), 1102u);
  EXPECT_LE(SamplesInHoles(s, 1000, 441), 1102u + 120);
}

}  // namespace
