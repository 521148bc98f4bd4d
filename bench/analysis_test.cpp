// The measures the conversion benchmark reports: they decide whether a
// recording is called faithful, so they are checked on signals whose
// answers are known.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

#include "bench/audio_analysis.h"
#include "bench/bench_common.h"
#include "bench/gst_decode.h"

namespace quavix::bench {
namespace {

constexpr int kRate = 44100;

std::vector<float> Tone(double seconds, double hz = 440, double amplitude = 0.5) {
  std::vector<float> v(static_cast<std::size_t>(seconds * kRate));
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / kRate));
  return v;
}

std::vector<float> Silence(double seconds) {
  return std::vector<float>(static_cast<std::size_t>(seconds * kRate));
}

std::vector<float> Join(std::initializer_list<std::vector<float>> parts) {
  std::vector<float> out;
  for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(LeadingSilence, FindsTheFirstSoundAndTreatsTheThresholdAsSilence) {
  auto v = Join({Silence(0.25), Tone(0.5)});
  // The tone starts at phase 0: its first sample above -50 dBFS follows the
  // silence by a fraction of a millisecond.
  EXPECT_NEAR(LeadingSilenceSeconds(v, kRate, 0.00316f), 0.25, 0.0005);
  EXPECT_EQ(LeadingSilenceSeconds(Silence(1), kRate, 0.001f), -1);
  std::vector<float> atThreshold = {0.001f, -0.001f, 0.0011f};
  EXPECT_NEAR(LeadingSilenceSeconds(atThreshold, 2, 0.001f), 1.0, 1e-12);
  EXPECT_EQ(LeadingSilenceSeconds({}, kRate, 0.001f), -1);
}

TEST(Envelope, IsTheRmsOfWholeWindows) {
  auto v = Tone(1.0, 440, 0.5);  // 440 Hz: 22 whole periods per 50 ms
  auto env = RmsEnvelope(v, kRate / 20);
  ASSERT_EQ(env.size(), 20u);
  for (double e : env) EXPECT_NEAR(e, 0.5 / std::sqrt(2.0), 1e-4);
  EXPECT_EQ(RmsEnvelope(std::vector<float>(kRate / 20 - 1, 1.0f), kRate / 20).size(), 0u)
      << "a partial window is dropped";
  EXPECT_TRUE(RmsEnvelope(v, 0).empty());
}

TEST(Correlation, IsScaleFreeSignedAndHonoursTheLag) {
  std::vector<double> a = {1, 3, 2, 5, 4, 6, 2, 1, 7, 3};
  std::vector<double> louder, inverted;
  for (double x : a) {
    louder.push_back(3 * x + 1);
    inverted.push_back(-x);
  }
  EXPECT_NEAR(Pearson(a, louder), 1.0, 1e-12);
  EXPECT_NEAR(Pearson(a, inverted), -1.0, 1e-12);
  EXPECT_EQ(Pearson(a, std::vector<double>(a.size(), 2.0)), 0.0)
      << "a constant side has no correlation";
  EXPECT_EQ(Pearson({1, 2}, {1, 2}), 0.0) << "too few pairs";

  // b holds a three windows late: b[i + 3] == a[i].
  std::vector<double> late = {0, 0, 0};
  late.insert(late.end(), a.begin(), a.end());
  EXPECT_NEAR(Pearson(a, late, 3), 1.0, 1e-12);
  EXPECT_LT(Pearson(a, late, 0), 0.9);
}

TEST(Correlation, BestLagFindsDelaysInBothDirections) {
  std::vector<float> music =
      Join({Tone(0.3), Silence(0.2), Tone(0.1, 300, 0.9), Silence(0.4), Tone(0.5, 500, 0.2)});
  auto ref = RmsEnvelope(music, kRate / 20);
  auto delayed = RmsEnvelope(Join({Silence(0.25), music}), kRate / 20);
  EXPECT_EQ(BestLag(ref, delayed, 10), 5);
  std::vector<float> early(music.begin() + kRate / 5, music.end());
  EXPECT_EQ(BestLag(ref, RmsEnvelope(early, kRate / 20), 10), -4);
}

TEST(Dropouts, AreSilencesInsideTheMusicWhereTheReferencePlays) {
  auto reference = Tone(2.0);
  // 30 ms of digital silence at 1.0 s, 10 ms at 1.5 s (too short to count).
  auto recording = Join({Tone(1.0), Silence(0.030), Tone(0.47), Silence(0.010), Tone(0.49)});
  auto gaps = FindDropouts(recording, reference, 0, kRate / 50, 0.00002f, 0.00316);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_NEAR(static_cast<double>(gaps[0].start) / kRate, 1.0, 0.001);
  EXPECT_NEAR(static_cast<double>(gaps[0].length) / kRate, 0.030, 0.001);
}

TEST(Dropouts, RestsLeadingAndTrailingSilenceAreNotDropouts) {
  // The music itself rests for 0.3 s: both sides are silent there.
  auto music = Join({Tone(0.5), Silence(0.3), Tone(0.5)});
  auto recording = Join({Silence(0.4), music, Silence(0.6)});
  // The recording is 0.4 s late: recording[i] matches reference[i - lag].
  long lag = static_cast<long>(0.4 * kRate);
  EXPECT_TRUE(FindDropouts(recording, music, lag, kRate / 50, 0.00002f, 0.00316).empty());
  // Misaligned, the same rest would look like a dropout: the lag matters.
  EXPECT_FALSE(FindDropouts(recording, music, 0, kRate / 50, 0.00002f, 0.00316).empty());
  EXPECT_TRUE(FindDropouts(Silence(1), music, 0, kRate / 50, 0.00002f, 0.00316).empty());
}

TEST(Statistics, MedianAndMax) {
  EXPECT_EQ(Median({}), 0);
  EXPECT_EQ(Median({5, 1, 3}), 3);
  EXPECT_EQ(Median({4, 1, 3, 2}), 2.5);
  EXPECT_EQ(Max({1, 7, 3}), 7);
}

TEST(ChildProcesses, ReportOutputExitCodeAndTheirOwnCpuTime) {
  ChildRun r =
      RunChild({"/bin/sh", "-c",
                "echo $QX_BENCH_PROBE; i=0; while [ $i -lt 200000 ]; do i=$((i+1)); done; exit 3"},
               false, {"QX_BENCH_PROBE=hello"});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.output, "hello\n");
  EXPECT_GT(r.cpuSeconds, 0.0) << "the busy loop's CPU time is the child's";
  EXPECT_FALSE(RunChild({"/nonexistent/program"}).started);
}

// A 16-bit stereo WAV with silence then a tone in the left channel only.
void WriteWav(const std::string &path, double silence, double tone) {
  std::size_t frames = static_cast<std::size_t>((silence + tone) * kRate);
  std::ofstream f(path, std::ios::binary);
  auto le = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.put(static_cast<char>(v >> (8 * i)));
  };
  std::uint32_t data = static_cast<std::uint32_t>(frames * 4);
  f.write("RIFF", 4);
  le(36 + data, 4);
  f.write("WAVEfmt ", 8);
  le(16, 4);
  le(1, 2);
  le(2, 2);
  le(kRate, 4);
  le(kRate * 4, 4);
  le(4, 2);
  le(16, 2);
  f.write("data", 4);
  le(data, 4);
  for (std::size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / kRate;
    auto s = static_cast<std::int16_t>(
        t < silence ? 0 : 16000 * std::sin(2 * std::numbers::pi * 441 * t));
    le(static_cast<std::uint16_t>(s), 2);
    le(0, 2);
  }
}

TEST(Decoding, GivesTheMeanOfTheChannelsAtTheAskedRate) {
  gst_init(nullptr, nullptr);
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::string wav = dir.File("tone.wav");
  WriteWav(wav, 0.5, 1.0);
  DecodedAudio a;
  std::string error;
  ASSERT_TRUE(DecodeToMono(wav, kRate, &a, &error)) << error;
  EXPECT_NEAR(a.Seconds(), 1.5, 0.001);
  EXPECT_NEAR(LeadingSilenceSeconds(a.mono, kRate, 0.01f), 0.5, 0.001);
  // Left at 16000/32768, right silent: the mean is half the left channel.
  auto env = RmsEnvelope(std::vector<float>(a.mono.begin() + kRate, a.mono.end()), kRate / 20);
  ASSERT_FALSE(env.empty());
  EXPECT_NEAR(env[0], 0.5 * 16000.0 / 32768.0 / std::sqrt(2.0), 0.005);

  DecodedAudio at22k;
  ASSERT_TRUE(DecodeToMono(wav, 22050, &at22k, &error)) << error;
  EXPECT_NEAR(at22k.Seconds(), 1.5, 0.002);

  std::ofstream(dir.File("junk.wav")) << "not audio at all";
  EXPECT_FALSE(DecodeToMono(dir.File("junk.wav"), kRate, &a, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(DecodeToMono(dir.File("missing.wav"), kRate, &a, &error));
}

}  // namespace
}  // namespace quavix::bench
