// The pool of loaded synthesisers: a reused one must sound like a new one,
// a changed SoundFont must be loaded again, the first synthesisers of a
// process made at once must sound right, and graphs starting and stopping
// at once on several threads must share the pool safely. Real FluidSynth,
// the real SoundFont, real GStreamer pipelines; no sound server.
#include "platform/dshow/midi/midi_source.h"
#include "platform/dshow/midi/synth_pool.h"
#include "tests/midi/midi_test_files.h"

#include <dlfcn.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace miditest;

namespace {

constexpr int kRate = 44100;

#define REQUIRE_SOUNDFONT()                              \
  do {                                                   \
    if (!std::filesystem::exists(kDefaultSoundFontPath)) \
      GTEST_SKIP() << "fluid-soundfont-gm missing";      \
  } while (0)

// What a previous song may leave: other programs, a drum kit on channel 1
// (GS "use for rhythm part"), held notes under the sustain pedal, full
// reverb and chorus, bends with a wider range, a louder gain, and a stop in
// the middle of one of FluidSynth's internal blocks.
void PlayMessySong(PooledSynth &p) {
  fluid_synth_t *s = p.get();
  for (int ch = 0; ch < 16; ++ch) {
    fluid_synth_program_change(s, ch, 40 + ch);
    for (auto [cc, value] : {std::pair{7, 127},
                             {10, 0},
                             {11, 127},
                             {64, 127},
                             {91, 127},
                             {93, 127},
                             {1, 127},
                             {101, 0},
                             {100, 0},
                             {6, 24}})
      fluid_synth_cc(s, ch, cc, value);
    fluid_synth_pitch_bend(s, ch, 16000);
    fluid_synth_noteon(s, ch, 48 + ch, 127);
  }
  const char rhythmPart1[] = {0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x02, 0x18};
  fluid_synth_sysex(s, rhythmPart1, sizeof rhythmPart1, nullptr, nullptr, nullptr, 0);
  fluid_synth_noteon(s, 0, 38, 127);
  std::vector<float> out(2 * (kRate + 333));
  p.Render(out.data(), kRate + 333);
}

// 200 ms in which nothing may sound, then a piano chord (default program)
// with reverb and chorus and a snare, released after a second.
std::vector<float> PlayPassage(PooledSynth &p) {
  fluid_synth_t *s = p.get();
  std::vector<float> out(2 * 3 * kRate);
  const std::int64_t quiet = kRate / 5;
  p.Render(out.data(), quiet);
  fluid_synth_cc(s, 0, 91, 127);
  fluid_synth_cc(s, 0, 93, 127);
  fluid_synth_noteon(s, 0, 60, 100);
  fluid_synth_noteon(s, 0, 64, 100);
  fluid_synth_noteon(s, 9, 38, 110);
  p.Render(out.data() + 2 * quiet, kRate - quiet);
  fluid_synth_noteoff(s, 0, 60);
  fluid_synth_noteoff(s, 0, 64);
  p.Render(out.data() + 2 * kRate, 2 * kRate);
  return out;
}

float Peak(const std::vector<float> &a, std::size_t from, std::size_t to) {
  float peak = 0;
  for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(a[i]));
  return peak;
}

// How far under `reference` the difference between the two lies, in dB.
double DifferenceDb(const std::vector<float> &other, const std::vector<float> &reference) {
  double diff = 0, signal = 0;
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const double d = double(other[i]) - reference[i];
    diff += d * d;
    signal += double(reference[i]) * reference[i];
  }
  return diff == 0 ? -200.0 : 10 * std::log10(diff / signal);
}

TEST(SynthPool, ReusedSynthSoundsLikeANewOne) {
  REQUIRE_SOUNDFONT();
  FreeIdleSynths();
  SynthFailure failure;
  auto used = TakeSynth(kDefaultSoundFontPath, kRate, 2.0, &failure);
  ASSERT_TRUE(used);
  PlayMessySong(*used);
  fluid_synth_t *usedSynth = used->get();
  ReturnSynth(std::move(used));
  ASSERT_EQ(IdleSynthCount(), 1u);

  const std::uint64_t loads = SoundFontLoadCount();
  auto reused = TakeSynth(kDefaultSoundFontPath, kRate, kMidiDefaultGain, &failure);
  ASSERT_TRUE(reused);
  EXPECT_EQ(SoundFontLoadCount(), loads) << "the idle synthesiser was not taken";
  EXPECT_EQ(reused->get(), usedSynth);
  auto fresh = TakeSynth(kDefaultSoundFontPath, kRate, kMidiDefaultGain, &failure);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(SoundFontLoadCount(), loads + 1);

  std::vector<float> again = PlayPassage(*reused);
  std::vector<float> first = PlayPassage(*fresh);
  const std::size_t quietEnd = 2 * kRate / 5;
  EXPECT_LT(Peak(again, 0, quietEnd), 1e-5f) << "the previous song still sounds";
  EXPECT_LT(Peak(first, 0, quietEnd), 1e-5f);
  ASSERT_GT(Peak(first, quietEnd, first.size()), 0.05f);
  // Nearly bit for bit: giving back restarts the reverb's modulation too
  // (left running, it kept the difference only 38 dB under the passage).
  // What remains is about 56 dB under it. A note held by the pedal,
  // another program, bend or drum kit, the gain 1 dB off, the chorus out of
  // phase or a start 1 ms late each come within 20 dB of it.
  EXPECT_LT(DifferenceDb(again, first), -50.0);
  // Both go back; the pool keeps no more than it may.
  ReturnSynth(std::move(reused));
  ReturnSynth(std::move(fresh));
  EXPECT_EQ(IdleSynthCount(), kMaxIdleSynths);
  EXPECT_EQ(FreeIdleSynths(), kMaxIdleSynths);
  EXPECT_EQ(IdleSynthCount(), 0u);
}

// FluidSynth's one-time set-up, run by the first new_fluid_synth of a
// process, begins with its dither table (rand()) and then fills the default
// modulators; another new_fluid_synth meanwhile does not wait for it. This
// program's rand() can hold that set-up until the other jobs have made
// their synthesisers, as a busy machine might: deterministic where the
// scheduler would make it rare.
std::atomic<bool> g_holdNextRand{false};
std::atomic<std::uint64_t> g_holdUntilLoads{0};

}  // namespace

extern "C" int rand() {
  static const auto libcRand = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
  if (g_holdNextRand.exchange(false)) {
    // Bounded: where synthesisers are made one at a time, the others wait
    // for this one and never come.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (SoundFontLoadCount() < g_holdUntilLoads && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return libcRand();
}

namespace {

// Two jobs of a batch making the process's first synthesisers at once, one
// held in FluidSynth's set-up, against a synthesiser made once both exist.
// Worst difference of the two, in dB under the later one.
double FirstSynthsMadeAtOnceAgainstALaterOne() {
  std::vector<float> passages[2];
  g_holdUntilLoads = SoundFontLoadCount() + std::size(passages) - 1;
  g_holdNextRand = true;
  std::vector<std::thread> jobs;
  for (auto &passage : passages)
    jobs.emplace_back([&passage] {
      SynthFailure failure;
      auto synth = TakeSynth(kDefaultSoundFontPath, kRate, kMidiDefaultGain, &failure);
      if (synth) passage = PlayPassage(*synth);
    });
  for (auto &job : jobs) job.join();
  // A FluidSynth whose set-up calls no rand() any more would make this
  // test prove nothing: say so rather than pass.
  if (g_holdNextRand) {
    std::fprintf(stderr, "FluidSynth's set-up called no rand(): nothing was held\n");
    return 0.0;
  }
  SynthFailure failure;
  auto later = TakeSynth(kDefaultSoundFontPath, kRate, kMidiDefaultGain, &failure);
  if (!later) return 0.0;
  const std::vector<float> reference = PlayPassage(*later);
  double worst = -200.0;
  for (const auto &passage : passages)
    worst = std::max(worst, passage.empty() ? 0.0 : DifferenceDb(passage, reference));
  return worst;
}

TEST(SynthPool, TheFirstSynthsOfAProcessMadeAtOnceSoundLikeALaterOne) {
  REQUIRE_SOUNDFONT();
  // FluidSynth sets itself up once per process: the statement runs in a
  // freshly started copy of this program (gtest's thread-safe style).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const double db = FirstSynthsMadeAtOnceAgainstALaterOne();
        std::fprintf(stderr, "%.1f dB\n", db);
        std::exit(db < -80.0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "")
      << "a synthesiser made during FluidSynth's set-up sounds unlike a later one";
}

// Starts a graph with the source to PAUSED (which takes a synthesiser), or
// plays it to its end, then back to NULL (which gives it back). Returns the
// error text, empty on success.
std::string StartAndStop(const MidiSynthOptions &options, bool playToEnd, Track track = Track()) {
  track.Event(0, {0x90, 60, 100}).Event(240, {0x80, 60, 0}).End(0);
  Bytes smf = Smf(0, 480, {track});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  if (!song) return "no song";
  GstElement *pipeline = gst_pipeline_new(nullptr);
  GstElement *src = CreateMidiSourceElement(song, options);
  GstElement *sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
  gst_element_link(src, sink);
  GstBus *bus = gst_element_get_bus(pipeline);
  std::string error;
  GstState target = playToEnd ? GST_STATE_PLAYING : GST_STATE_PAUSED;
  if (gst_element_set_state(pipeline, target) == GST_STATE_CHANGE_FAILURE ||
      gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND) !=
          GST_STATE_CHANGE_SUCCESS)
    error = "could not start";
  else if (playToEnd) {
    GstMessage *m = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!m || GST_MESSAGE_TYPE(m) != GST_MESSAGE_EOS) error = "did not play to its end";
    if (m) gst_message_unref(m);
  }
  if (GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
    GError *err = nullptr;
    gst_message_parse_error(m, &err, nullptr);
    error = err ? err->message : "error";
    g_clear_error(&err);
    gst_message_unref(m);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  gst_object_unref(pipeline);
  return error;
}

TEST(SynthPool, ChangedSoundFontIsLoadedAgainAndABadOneRefused) {
  REQUIRE_SOUNDFONT();
  const std::string copy = TempDir() + "/copy.sf2";
  std::filesystem::copy_file(std::filesystem::canonical(kDefaultSoundFontPath), copy,
                             std::filesystem::copy_options::overwrite_existing);
  MidiSynthOptions options;
  options.soundFontPath = copy;
  FreeIdleSynths();
  std::uint64_t loads = SoundFontLoadCount();
  ASSERT_EQ(StartAndStop(options, true), "");
  ASSERT_EQ(StartAndStop(options, false), "");
  EXPECT_EQ(SoundFontLoadCount(), loads + 1)
      << "the second start should reuse the first synthesiser";

  // Rewritten in place (same inode, new modification time): loaded again
  // although a synthesiser of that path and rate waits.
  std::filesystem::last_write_time(copy,
                                   std::filesystem::last_write_time(copy) - std::chrono::hours(24));
  ASSERT_EQ(StartAndStop(options, false), "");
  EXPECT_EQ(SoundFontLoadCount(), loads + 2);
  EXPECT_EQ(IdleSynthCount(), 1u);

  options.sampleRate = 48000;
  ASSERT_EQ(StartAndStop(options, false), "");
  EXPECT_EQ(SoundFontLoadCount(), loads + 3) << "another rate needs its own synthesiser";
  EXPECT_EQ(IdleSynthCount(), kMaxIdleSynths);

  // Damaged or gone while a synthesiser of it waits: refused with the
  // message, as on a first open.
  {
    std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(8);
    f.write("xxxx", 4);
  }
  std::string error = StartAndStop(options, false);
  EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
  std::filesystem::remove(copy);
  error = StartAndStop(options, false);
  EXPECT_NE(error.find("is missing"), std::string::npos) << error;
  EXPECT_EQ(SoundFontLoadCount(), loads + 3);
  EXPECT_EQ(IdleSynthCount(), 1u);
  FreeIdleSynths();
}

TEST(SynthPool, ASongThatDefinesATuningLeavesItsSynthUnpooled) {
  REQUIRE_SOUNDFONT();
  FreeIdleSynths();
  // MIDI Tuning Standard, real time: note 60 of tuning 0 moved up a semitone.
  // A later song could select that tuning, which a new synthesiser lacks.
  Track tuning;
  tuning.SysEx(0, 0xF0, {0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 60, 61, 0x00, 0x00, 0xF7});
  ASSERT_EQ(StartAndStop(MidiSynthOptions{}, true, tuning), "");
  EXPECT_EQ(IdleSynthCount(), 0u);
  ASSERT_EQ(StartAndStop(MidiSynthOptions{}, true), "");
  EXPECT_EQ(IdleSynthCount(), 1u);
  FreeIdleSynths();
}

TEST(SynthPool, GraphsStartAndStopOnSeveralThreadsAtOnce) {
  REQUIRE_SOUNDFONT();
  FreeIdleSynths();
  // Two and three graphs at a time use more synthesisers than the pool
  // keeps: the extra ones are freed, never handed to two elements.
  for (int threads : {2, 3}) {
    std::vector<std::string> errors(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([t, &errors] {
        for (int i = 0; i < 8 && errors[t].empty(); ++i)
          errors[t] = StartAndStop(MidiSynthOptions{}, i % 2 == 0);
      });
    for (auto &w : workers) w.join();
    for (const auto &e : errors) EXPECT_EQ(e, "");
    EXPECT_LE(IdleSynthCount(), kMaxIdleSynths);
  }
  EXPECT_EQ(FreeIdleSynths(), kMaxIdleSynths);
}

}  // namespace
