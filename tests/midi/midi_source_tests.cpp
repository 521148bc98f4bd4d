// The FluidSynth source element in real GStreamer pipelines, compared with
// FluidSynth's own offline rendering of the same songs. No sound server is
// involved: the element is a plain source rendered as fast as it can go.
#include "platform/dshow/midi/midi_source.h"
#include "platform/dshow/midi/synth_pool.h"
#include "tests/midi/midi_test_files.h"
#include "tests/support/process_counts.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace miditest;

namespace {

constexpr int kRate = 44100;
constexpr double kSecond = 10000000.0;
const std::string kSongs = "/usr/share/games/openttd/baseset/openmsx/";

bool HaveSongsAndSoundFont() {
  return std::filesystem::exists(kSongs + "be_sharp_bw_redfarn.mid") &&
         std::filesystem::exists(kDefaultSoundFontPath);
}

#define REQUIRE_SONGS()                                                                            \
  do {                                                                                             \
    if (!HaveSongsAndSoundFont()) GTEST_SKIP() << "openttd-openmsx or fluid-soundfont-gm missing"; \
  } while (0)

// Interleaved stereo float audio.
struct Audio {
  std::vector<float> samples;
  std::size_t Frames() const { return samples.size() / 2; }
  double Seconds() const { return double(Frames()) / kRate; }
};

struct RunResult {
  bool ok = false;
  std::string error;  // text of the first error message on the bus
};

// Plays `pipeline` to its end (or first error), after an optional flush
// seek done while paused.
RunResult RunPipeline(GstElement *pipeline, gint64 seekNs = -1) {
  RunResult r;
  GstBus *bus = gst_element_get_bus(pipeline);
  auto waitFor = [&](GstMessageType types) -> GstMessage * {
    return gst_bus_timed_pop_filtered(bus, 300 * GST_SECOND,
                                      GstMessageType(types | GST_MESSAGE_ERROR));
  };
  auto fail = [&](GstMessage *m) {
    if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
      GError *err = nullptr;
      gst_message_parse_error(m, &err, nullptr);
      r.error = err ? err->message : "error";
      g_clear_error(&err);
    } else if (!m) {
      r.error = "timed out";
    }
  };
  if (seekNs >= 0) {
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND) !=
            GST_STATE_CHANGE_SUCCESS) {
      GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
      fail(m);
      if (m) gst_message_unref(m);
      if (r.error.empty()) r.error = "could not pause";
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_object_unref(bus);
      return r;
    }
    if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                 GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                 seekNs)) {
      r.error = "seek refused";
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_object_unref(bus);
      return r;
    }
    gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND);
  }
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    fail(m);
    if (m) gst_message_unref(m);
    if (r.error.empty()) r.error = "could not start";
  } else {
    GstMessage *m = waitFor(GST_MESSAGE_EOS);
    r.ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (!r.ok) fail(m);
    if (m) gst_message_unref(m);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  return r;
}

std::shared_ptr<const MidiSong> LoadSong(const std::string &path) {
  std::string error;
  auto song = ReadMidiFile(path, &error);
  EXPECT_TRUE(song) << path << ": " << error;
  return song;
}

// A pipeline named `name` in which `src` feeds a new element of
// `sinkFactory`, not held to the clock; null when they cannot be linked.
GstElement *PipelineInto(const char *name, GstElement *src, const char *sinkFactory,
                         GstElement **sinkOut = nullptr) {
  GstElement *pipeline = gst_pipeline_new(name);
  GstElement *sink = gst_element_factory_make(sinkFactory, nullptr);
  EXPECT_TRUE(src && sink);
  if (!src || !sink) {
    if (src) gst_object_unref(gst_object_ref_sink(src));
    if (sink) gst_object_unref(gst_object_ref_sink(sink));
    gst_object_unref(pipeline);
    return nullptr;
  }
  g_object_set(sink, "sync", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
  if (!gst_element_link(src, sink)) {
    ADD_FAILURE() << "the source does not link to " << sinkFactory;
    gst_object_unref(pipeline);
    return nullptr;
  }
  if (sinkOut) *sinkOut = sink;
  return pipeline;
}

// Renders through the element into an appsink; buffers are placed by their
// timestamps relative to `seekNs`, so what arrives is checked for gaps.
Audio RenderToMemory(const std::shared_ptr<const MidiSong> &song, const MidiSynthOptions &options,
                     gint64 seekNs = -1, RunResult *result = nullptr) {
  Audio audio;
  GstElement *sink = nullptr;
  GstElement *pipeline =
      PipelineInto("render", CreateMidiSourceElement(song, options), "appsink", &sink);
  if (!pipeline) return audio;
  g_object_set(sink, "emit-signals", FALSE, "max-buffers", 0, nullptr);
  struct Collect {
    Audio *audio;
    gint64 base;
    int gaps = 0;
  } collect{&audio, std::max<gint64>(seekNs, 0)};
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = [](GstAppSink *appsink, gpointer data) -> GstFlowReturn {
    auto *c = static_cast<Collect *>(data);
    GstSample *sample = gst_app_sink_pull_sample(appsink);
    if (!sample) return GST_FLOW_EOS;
    GstBuffer *buf = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (gst_buffer_map(buf, &map, GST_MAP_READ)) {
      gint64 pts = gint64(GST_BUFFER_PTS(buf));
      if (pts >= c->base) {  // a buffer prerolled before the seek is dropped
        std::size_t frame =
            std::size_t(gst_util_uint64_scale_round(guint64(pts - c->base), kRate, GST_SECOND));
        if (frame != c->audio->Frames()) c->gaps++;
        const float *f = reinterpret_cast<const float *>(map.data);
        c->audio->samples.resize(frame * 2);
        c->audio->samples.insert(c->audio->samples.end(), f, f + map.size / sizeof(float));
      }
      gst_buffer_unmap(buf, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
  };
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &collect, nullptr);
  RunResult r = RunPipeline(pipeline, seekNs);
  gst_object_unref(pipeline);
  EXPECT_EQ(collect.gaps, 0) << "buffers did not follow each other";
  if (result)
    *result = r;
  else
    EXPECT_TRUE(r.ok) << r.error;
  return audio;
}

// Reads a RIFF WAVE file of 16-bit PCM or 32-bit float stereo.
Audio ReadWav(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Audio audio;
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
      std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
    ADD_FAILURE() << path << " is not a WAV file";
    return audio;
  }
  auto le16 = [&](std::size_t p) { return int(b[p] | (b[p + 1] << 8)); };
  auto le32 = [&](std::size_t p) {
    return std::uint32_t(le16(p)) | (std::uint32_t(le16(p + 2)) << 16);
  };
  int format = 0, channels = 0, bits = 0;
  for (std::size_t pos = 12; pos + 8 <= b.size();) {
    std::uint32_t size = le32(pos + 4);
    std::size_t body = pos + 8;
    std::size_t avail = std::min<std::size_t>(size, b.size() - body);
    if (std::memcmp(b.data() + pos, "fmt ", 4) == 0) {
      format = le16(body);
      channels = le16(body + 2);
      bits = le16(body + 14);
      if (format == 0xFFFE) format = le16(body + 24);
    } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
      EXPECT_EQ(channels, 2) << path;
      if (format == 1 && bits == 16) {
        for (std::size_t i = 0; i + 1 < avail; i += 2)
          audio.samples.push_back(float(std::int16_t(le16(body + i))) / 32768.0f);
      } else if (format == 3 && bits == 32) {
        audio.samples.resize(avail / 4);
        std::memcpy(audio.samples.data(), b.data() + body, audio.samples.size() * 4);
      } else {
        ADD_FAILURE() << path << ": unexpected sample format " << format << "/" << bits;
      }
      break;
    }
    pos = body + size + (size & 1);
  }
  return audio;
}

// FluidSynth's own command-line renderer: an independent rendering of the
// same song with the same SoundFont and gain.
Audio OfflineRender(const std::string &midi, double gain) {
  std::string out = TempDir() + "/offline-" + std::filesystem::path(midi).stem().string() + ".wav";
  std::string gainText = std::to_string(gain);
  std::vector<std::string> args = {
      "fluidsynth",          "-ni", "-q", "-F", out, "-r", std::to_string(kRate), "-g", gainText,
      kDefaultSoundFontPath, midi};
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&pid, "fluidsynth", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start fluidsynth";
    return {};
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return ReadWav(out);
}

// Loudness envelope: RMS of the mono mix over 50 ms windows, from `fromSec`.
std::vector<double> Envelope(const Audio &a, double fromSec = 0.0) {
  const std::size_t window = kRate / 20;
  std::vector<double> env;
  for (std::size_t start = std::size_t(fromSec * kRate); start + window <= a.Frames();
       start += window) {
    double sum = 0;
    for (std::size_t i = start; i < start + window; ++i) {
      double m = 0.5 * (a.samples[2 * i] + a.samples[2 * i + 1]);
      sum += m * m;
    }
    env.push_back(std::sqrt(sum / window));
  }
  return env;
}

double Correlation(const std::vector<double> &a, const std::vector<double> &b, std::size_t offset) {
  std::size_t n = std::min(a.size(), b.size() - std::min(b.size(), offset));
  if (n < 10) return 0;
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < n; ++i) ma += a[i], mb += b[i + offset];
  ma /= double(n), mb /= double(n);
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    double x = a[i] - ma, y = b[i + offset] - mb;
    sab += x * y, saa += x * x, sbb += y * y;
  }
  return (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0;
}

// The two renderers may start a block apart; the best of a few small
// alignments is taken (each window is 50 ms).
double BestCorrelation(const std::vector<double> &mine, const std::vector<double> &reference) {
  double best = -1;
  for (std::size_t lag = 0; lag <= 2; ++lag) {
    best = std::max(best, Correlation(mine, reference, lag));
    best = std::max(best, Correlation(reference, mine, lag));
  }
  return best;
}

double PeakDbfs(const Audio &a) {
  float peak = 0;
  for (float s : a.samples) peak = std::max(peak, std::fabs(s));
  return 20.0 * std::log10(std::max(peak, 1e-9f));
}

Track Chord(std::uint32_t ticks) {
  Track t;
  t.Event(0, {0xC0, 0})
      .Event(0, {0x90, 60, 100})
      .Event(0, {0x90, 64, 100})
      .Event(0, {0x90, 67, 100});
  t.Event(ticks, {0x80, 60, 0}).Event(0, {0x80, 64, 0}).Event(0, {0x80, 67, 0}).End(0);
  return t;
}

}  // namespace

TEST(MidiSourceLength, TempoChangingSongRendersItsLengthPlusAShortTail) {
  REQUIRE_SONGS();
  // 18 tempo changes in a format 1 file; written through wavenc to a file
  // and read back, as the conversion writes its temporary WAV.
  const std::string midi = kSongs + "be_sharp_bw_redfarn.mid";
  auto song = LoadSong(midi);
  ASSERT_TRUE(song);
  std::string wav = TempDir() + "/be_sharp.wav";
  GstElement *pipeline = gst_pipeline_new("to-file");
  GstElement *src = CreateMidiSourceElement(song, MidiSynthOptions{});
  GstElement *enc = gst_element_factory_make("wavenc", nullptr);
  GstElement *sink = gst_element_factory_make("filesink", nullptr);
  ASSERT_TRUE(src && enc && sink);
  g_object_set(sink, "location", wav.c_str(), "sync", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(pipeline), src, enc, sink, nullptr);
  ASSERT_TRUE(gst_element_link_many(src, enc, sink, nullptr));

  // Duration is known before playing, once the element is paused.
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);
  gint64 duration = -1;
  ASSERT_TRUE(gst_element_query_duration(src, GST_FORMAT_TIME, &duration));
  EXPECT_EQ(duration, song->Length() * 100);
  RunResult r = RunPipeline(pipeline);
  ASSERT_TRUE(r.ok) << r.error;
  gint64 position = -1;
  EXPECT_TRUE(gst_element_query_position(src, GST_FORMAT_TIME, &position));
  gst_object_unref(pipeline);

  Audio audio = ReadWav(wav);
  const double length = double(song->Length()) / kSecond;
  EXPECT_NEAR(length, 139.359, 0.01);
  EXPECT_GE(audio.Seconds(), length - 0.05);
  EXPECT_LE(audio.Seconds(), length + 2.0 + 0.05);
  EXPECT_NEAR(double(position) / GST_SECOND, audio.Seconds(), 0.05);
}

TEST(MidiSourceLength, SilentTailEndsAsSoonAsTheVoicesAreGone) {
  REQUIRE_SONGS();
  // A one-second chord released at 1 s, then 3 s of nothing before the end
  // of the track: the song is 4 s long and the voices die long before.
  Track t = Chord(480);
  Track quiet;
  quiet.End(240 * 8);
  Bytes smf = Smf(1, 240, {t, quiet});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  ASSERT_EQ(song->Length(), 4 * 10000000);
  Audio audio = RenderToMemory(song, MidiSynthOptions{});
  EXPECT_GE(audio.Seconds(), 4.0);
  EXPECT_LE(audio.Seconds(), 4.0 + 0.1);
  // Sound during the chord, none a while after the release.
  Audio head{std::vector<float>(audio.samples.begin(), audio.samples.begin() + 2 * kRate)};
  EXPECT_GT(PeakDbfs(head), -30);
}

TEST(MidiSourceSound, EnvelopeFollowsFluidSynthsOwnRendering) {
  REQUIRE_SONGS();
  const std::string midi = kSongs + "midnight_snow_run.mid";  // 65 tempo changes
  auto song = LoadSong(midi);
  ASSERT_TRUE(song);
  MidiSynthOptions options;
  Audio mine = RenderToMemory(song, options);
  Audio reference = OfflineRender(midi, options.gain);
  ASSERT_GT(reference.Seconds(), 100);
  // FluidSynth's render goes on while notes still sound; the source stops
  // at most 2 s after the song's length.
  const double length = double(song->Length()) / kSecond;
  EXPECT_GE(mine.Seconds(), length);
  EXPECT_LE(mine.Seconds(), length + 2.0 + 0.01);
  ASSERT_GE(reference.Seconds(), length);
  // Every event starts on the block FluidSynth's own player starts it on,
  // so the two are the same sound sample for sample, through all 65 tempo
  // changes: what differs is the reference's 16-bit dither and the
  // limiter's touch on the loudest peaks. Started a block apart, or an
  // event on its exact frame, the difference came within 10 dB.
  const std::size_t frames = std::size_t(length * kRate);
  double diff = 0, signal = 0;
  for (std::size_t i = 0; i < 2 * frames; ++i) {
    const double d = double(mine.samples[i]) - reference.samples[i];
    diff += d * d;
    signal += double(reference.samples[i]) * reference.samples[i];
  }
  EXPECT_LT(10 * std::log10(diff / signal), -50.0);
  Audio songPart{std::vector<float>(mine.samples.begin(), mine.samples.begin() + 2 * frames)};
  Audio referencePart{
      std::vector<float>(reference.samples.begin(), reference.samples.begin() + 2 * frames)};
  EXPECT_GE(Correlation(Envelope(songPart), Envelope(referencePart), 0), 0.999);
}

TEST(MidiSourceSound, SeekToTheMiddleSoundsLikeTheSongFromThere) {
  REQUIRE_SONGS();
  const std::string midi = kSongs + "chuggachugga.mid";  // tempo changes and program changes
  auto song = LoadSong(midi);
  ASSERT_TRUE(song);
  MidiSynthOptions options;
  const double middle = std::floor(double(song->Length()) / kSecond / 2);
  RunResult r;
  Audio mine = RenderToMemory(song, options, gint64(middle * GST_SECOND), &r);
  ASSERT_TRUE(r.ok) << r.error;
  Audio reference = OfflineRender(midi, options.gain);
  double expectedSeconds = reference.Seconds() - middle;
  EXPECT_NEAR(mine.Seconds(), expectedSeconds, 2.5);
  double corr = BestCorrelation(Envelope(mine), Envelope(reference, middle));
  EXPECT_GE(corr, 0.95);
  // And a rewind to 0 after that plays the whole song again.
  Audio again = RenderToMemory(song, options, 0);
  EXPECT_GE(BestCorrelation(Envelope(again), Envelope(reference)), 0.95);
}

TEST(MidiSourceSound, SeekWithAStopEndsThere) {
  if (!std::filesystem::exists(kDefaultSoundFontPath)) GTEST_SKIP() << "fluid-soundfont-gm missing";
  Bytes smf = Smf(0, 480, {Chord(480 * 8)});  // a four-second chord
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  Audio audio;
  GstElement *sink = nullptr;
  GstElement *pipeline =
      PipelineInto("stop", CreateMidiSourceElement(song, MidiSynthOptions{}), "appsink", &sink);
  ASSERT_NE(pipeline, nullptr);
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);
  ASSERT_TRUE(gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                               GST_SEEK_TYPE_SET, GST_SECOND, GST_SEEK_TYPE_SET, 2 * GST_SECOND));
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstClockTime first = GST_CLOCK_TIME_NONE, end = 0;
  while (GstSample *sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
    GstBuffer *buf = gst_sample_get_buffer(sample);
    if (!GST_CLOCK_TIME_IS_VALID(first)) first = GST_BUFFER_PTS(buf);
    end = GST_BUFFER_PTS(buf) + GST_BUFFER_DURATION(buf);
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(buf, &map, GST_MAP_READ));
    const float *f = reinterpret_cast<const float *>(map.data);
    audio.samples.insert(audio.samples.end(), f, f + map.size / sizeof(float));
    gst_buffer_unmap(buf, &map);
    gst_sample_unref(sample);
  }
  EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(sink)));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  EXPECT_EQ(first, GST_SECOND);
  EXPECT_NEAR(double(end) / GST_SECOND, 2.0, 0.001);
  EXPECT_NEAR(audio.Seconds(), 1.0, 0.001);
  // The chord began before the target, so the seek starts silent: notes are
  // not restarted in the middle.
  EXPECT_LT(PeakDbfs(audio), -40);
}

TEST(MidiSourceSound, PeaksSitJustBelowFullScale) {
  REQUIRE_SONGS();
  // The last one would reach +3.5 dBFS unlimited.
  for (const char *name : {"5432gone_redfarn.mid", "city_blues_redfarn.mid",
                           "be_sharp_bw_redfarn.mid", "ttsong_iii_imuh3.mid"}) {
    auto song = LoadSong(kSongs + name);
    ASSERT_TRUE(song);
    Audio audio = RenderToMemory(song, MidiSynthOptions{});
    double peak = PeakDbfs(audio);
    EXPECT_GE(peak, -6.0) << name;
    EXPECT_LE(peak, -1.0 + 0.01) << name;
  }
}

TEST(MidiSourceSound, LimiterKeepsAnOverdrivenSongUnderTheCeiling) {
  REQUIRE_SONGS();
  // A loud cluster at ten times the usual gain would clip far beyond full scale.
  Track t;
  t.Event(0, {0xC0, 30});
  for (std::uint8_t n = 40; n < 80; n += 3) t.Event(0, {0x90, n, 127});
  t.Event(960, {0xB0, 123, 0}).End(0);
  Bytes smf = Smf(0, 480, {t});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  MidiSynthOptions options;
  options.gain = 2.0;
  Audio audio = RenderToMemory(song, options);
  ASSERT_GT(audio.Frames(), std::size_t(kRate));
  EXPECT_LE(PeakDbfs(audio), 20 * std::log10(options.ceiling) + 0.01);
  EXPECT_GT(PeakDbfs(audio), -3.0);  // limited, not silenced
}

TEST(MidiSourceElement, CreatingDoesNotOpenTheSoundFont) {
  Track t = Chord(480);
  Bytes smf = Smf(0, 480, {t});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  MidiSynthOptions options;
  options.soundFontPath = TempDir() + "/no-such-soundfont.sf2";
  GstElement *src = CreateMidiSourceElement(song, options);
  ASSERT_NE(src, nullptr);  // creation succeeds without the file
  EXPECT_EQ(GetMidiSourceSong(src), song);
  gint64 duration = -1;
  EXPECT_TRUE(gst_element_query_duration(src, GST_FORMAT_TIME, &duration));
  EXPECT_EQ(duration, song->Length() * 100);

  GstElement *pipeline = PipelineInto("missing", src, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  RunResult r = RunPipeline(pipeline);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(options.soundFontPath), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("fluid-soundfont-gm"), std::string::npos) << r.error;
  gst_object_unref(pipeline);

  // A file that is there but is no SoundFont fails the same clear way.
  options.soundFontPath = WriteTempFile("not-a-soundfont.sf2", {'n', 'o', 'p', 'e'});
  pipeline = PipelineInto("bad", CreateMidiSourceElement(song, options), "fakesink");
  ASSERT_NE(pipeline, nullptr);
  r = RunPipeline(pipeline);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not-a-soundfont.sf2"), std::string::npos) << r.error;
  gst_object_unref(pipeline);
}

TEST(MidiSourceElement, PlaysAgainAfterGoingBackToNull) {
  // The graph stops by taking the pipeline to NULL and starts again later.
  if (!std::filesystem::exists(kDefaultSoundFontPath)) GTEST_SKIP() << "fluid-soundfont-gm missing";
  Bytes smf = Smf(0, 480, {Chord(480)});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  GstElement *src = CreateMidiSourceElement(song, MidiSynthOptions{});
  GstElement *pipeline = PipelineInto("again", src, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  struct Count {
    guint64 bytes = 0;
    float peak = 0;
  } count;
  GstPad *pad = gst_element_get_static_pad(src, "src");
  gst_pad_add_probe(
      pad, GST_PAD_PROBE_TYPE_BUFFER,
      [](GstPad *, GstPadProbeInfo *info, gpointer data) {
        auto *c = static_cast<Count *>(data);
        GstBuffer *buf = GST_PAD_PROBE_INFO_BUFFER(info);
        GstMapInfo map;
        if (gst_buffer_map(buf, &map, GST_MAP_READ)) {
          c->bytes += map.size;
          const float *f = reinterpret_cast<const float *>(map.data);
          for (std::size_t i = 0; i < map.size / sizeof(float); ++i)
            c->peak = std::max(c->peak, std::fabs(f[i]));
          gst_buffer_unmap(buf, &map);
        }
        return GST_PAD_PROBE_OK;
      },
      &count, nullptr);
  gst_object_unref(pad);
  RunResult first = RunPipeline(pipeline);
  ASSERT_TRUE(first.ok) << first.error;
  Count once = count;
  count = Count{};
  RunResult second = RunPipeline(pipeline);
  ASSERT_TRUE(second.ok) << second.error;
  gst_object_unref(pipeline);
  EXPECT_GE(once.bytes / 8, std::uint64_t(kRate));  // at least the one-second chord
  EXPECT_EQ(count.bytes, once.bytes);
  // Both starts may take a synthesiser from the pool, whose reverb
  // modulation has run on by however much was played before: the peak
  // moves by up to about 0.1 dB (synth_pool_tests compares whole renderings).
  EXPECT_NEAR(count.peak, once.peak, once.peak * 0.05f);
  EXPECT_GT(once.peak, 0.01f);
}

TEST(MidiSourceElement, StartingLoadsOnlyTheSamplesInUse) {
  REQUIRE_SONGS();
  // The default SoundFont holds about 140 MB of samples; a song with a
  // piano chord needs a few of them.
  if (std::filesystem::file_size(std::filesystem::canonical(kDefaultSoundFontPath)) < 100'000'000)
    GTEST_SKIP() << "the default SoundFont is not the large one this test is about";
  FreeIdleSynths();  // else the start takes a synthesiser loaded by an earlier test
  Bytes smf = Smf(0, 480, {Chord(480)});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  GstElement *pipeline =
      PipelineInto("memory", CreateMidiSourceElement(song, MidiSynthOptions{}), "fakesink");
  ASSERT_NE(pipeline, nullptr);
  long before = quavix::test::ResidentKiB();
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);
  long after = quavix::test::ResidentKiB();
  EXPECT_LT(after - before, 80'000)
      << "kB more resident after loading; the whole SoundFont is about 140000";
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

TEST(MidiSourceElement, RefusesBadOptionsAndOtherRates) {
  Bytes smf = Smf(0, 480, {Chord(480)});
  auto song = ReadMidiData(smf.data(), smf.size(), nullptr);
  ASSERT_TRUE(song);
  EXPECT_EQ(CreateMidiSourceElement(nullptr, MidiSynthOptions{}), nullptr);
  MidiSynthOptions bad;
  bad.sampleRate = 100;
  EXPECT_EQ(CreateMidiSourceElement(song, bad), nullptr);
  bad = MidiSynthOptions{};
  bad.gain = -1;
  EXPECT_EQ(CreateMidiSourceElement(song, bad), nullptr);
  EXPECT_EQ(GetMidiSourceSong(nullptr), nullptr);
  GstElement *other = gst_element_factory_make("fakesrc", nullptr);
  EXPECT_EQ(GetMidiSourceSong(other), nullptr);
  gst_object_unref(gst_object_ref_sink(other));

  // Made by its factory name, the element has no song: it refuses to start.
  RegisterMidiSourceElement();
  GstElement *byName = gst_element_factory_make(kMidiSourceFactoryName, nullptr);
  ASSERT_NE(byName, nullptr);
  gst_object_ref_sink(byName);
  EXPECT_EQ(gst_element_set_state(byName, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
  gst_element_set_state(byName, GST_STATE_NULL);
  gst_object_unref(byName);

  if (!std::filesystem::exists(kDefaultSoundFontPath)) GTEST_SKIP() << "fluid-soundfont-gm missing";
  GstElement *src = CreateMidiSourceElement(song, MidiSynthOptions{});
  GstElement *pipeline = PipelineInto("rate", src, "fakesink");
  ASSERT_NE(pipeline, nullptr);
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);
  EXPECT_FALSE(gst_element_seek(pipeline, 2.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                                GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, -1));
  EXPECT_TRUE(gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                               GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, -1));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}
