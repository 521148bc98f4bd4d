// `vorlinta --convert` as people run it: the real program binary on real
// songs (the openttd-openmsx set) and hostile files, with no display and no
// sound server reachable, the outputs decoded back and compared with
// FluidSynth's own offline render.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench/audio_analysis.h"
#include "bench/gst_decode.h"
#include "tests/support/file_contents.h"
#include "tests/support/private_pulse.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using quavix::bench::DecodedAudio;
using quavix::bench::DecodeToMono;
using quavix::test::ProcessResult;
using quavix::test::RunProcess;

namespace {

const std::string kProgram = std::string(QUAVIX_BINARY_DIR) + "/vorlinta";
const std::string kOpenMsx = "/usr/share/games/openttd/baseset/openmsx/";
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr int kRate = 22050;
constexpr int kLongTimeoutMs = 600000;
// The source starts every event on the block FluidSynth's own player starts
// it on, so the song is the same sound as `fluidsynth -F` renders.
constexpr double kAgainstFluidSynth = 0.999;

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// The songs' files left behind in a folder that are not final outputs.
std::vector<std::string> LeftoverParts(const std::string &folder) {
  std::vector<std::string> parts;
  for (const auto &e : fs::directory_iterator(folder))
    if (e.path().extension() == ".part") parts.push_back(e.path().string());
  return parts;
}

class ConvertProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gst_init(nullptr, nullptr);
    // Nothing of a desktop: no display, a sound server address that leads
    // nowhere, a private home.
    home_ = new quavix::test::TempDir("quavix-cli");
    ::setenv("HOME", home_->path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home_->File("config").c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::setenv("PULSE_SERVER", "unix:/nonexistent/quavix-no-server", 1);
    ::setenv("QUAVIX_MODULE_DIR", QUAVIX_BINARY_DIR, 1);
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  void SetUp() override {
    dir_ = home_->File(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }

  ProcessResult Convert(std::vector<std::string> args, bool keepStderr = true) {
    args.insert(args.begin(), {kProgram, "--convert"});
    return RunProcess(args, kLongTimeoutMs, keepStderr);
  }

  static quavix::test::TempDir *home_;
  std::string dir_;
};
quavix::test::TempDir *ConvertProgramTest::home_ = nullptr;

// How many samples b lags behind a (within 100 ms), by their 1 ms envelopes:
// the WMA decodes 46.4 ms late (the codec's own delay), and a lag read to
// the nearest 10 ms would leave enough of that to cost the 50 ms envelopes
// their last few thousandths.
long LagOf(const DecodedAudio &a, const DecodedAudio &b) {
  const std::size_t step = kRate / 1000;
  return quavix::bench::BestLag(quavix::bench::RmsEnvelope(a.mono, step),
                                quavix::bench::RmsEnvelope(b.mono, step), 100) *
         static_cast<long>(step);
}

// The correlation of the 50 ms loudness envelopes of the first `seconds`,
// b shifted by `lag` samples.
double EnvelopeCorrelation(const DecodedAudio &a, const DecodedAudio &b, long lag, double seconds) {
  const std::size_t n = std::min(a.mono.size(), static_cast<std::size_t>(seconds * kRate));
  std::vector<float> x(a.mono.begin(), a.mono.begin() + n), y(n, 0.0f);
  for (std::size_t i = 0; i < n; ++i) {
    const long j = static_cast<long>(i) + lag;
    if (j >= 0 && j < static_cast<long>(b.mono.size())) y[i] = b.mono[j];
  }
  return quavix::bench::Pearson(quavix::bench::RmsEnvelope(x, kRate / 20),
                                quavix::bench::RmsEnvelope(y, kRate / 20));
}

TEST_F(ConvertProgramTest, TheOpenMsxSongsSoundLikeFluidSynthsOwnRender) {
  // Three songs of the set: slow and quiet, busy, and one with many tempo changes.
  const std::vector<std::string> songs = {kOpenMsx + "5432gone_redfarn.mid",
                                          kOpenMsx + "be_sharp_bw_redfarn.mid",
                                          kOpenMsx + "boogi_marabi_redfarn.mid"};
  for (const auto &s : songs) ASSERT_TRUE(fs::exists(s)) << s;
  // WMA, as the window writes it, and WAV, which keeps every sample's time.
  std::string report;
  for (const char *format : {"wma", "wav"}) {
    std::vector<std::string> args = {"-q", "--report", "json", "-j",      "2",
                                     "-f", format,     "-o",   dir_ + "/"};
    args.insert(args.end(), songs.begin(), songs.end());
    ProcessResult run = Convert(args, false);
    ASSERT_EQ(run.exit_code, 0) << run.output;
    ASSERT_EQ(Lines(run.output).size(), songs.size()) << run.output;
    report += run.output;
  }

  for (const std::string &song : songs) {
    const std::string name = fs::path(song).stem().string();
    SCOPED_TRACE(name);
    const std::string ref = dir_ + "/" + name + ".reference.wav";
    ProcessResult render =
        RunProcess({"fluidsynth", "-ni", "-F", ref, "-r", "44100", "-g", "0.3", kSoundFont, song},
                   kLongTimeoutMs, true);
    ASSERT_EQ(render.exit_code, 0) << render.output;
    DecodedAudio reference, wma, wav;
    std::string error;
    ASSERT_TRUE(DecodeToMono(ref, kRate, &reference, &error)) << error;
    ASSERT_TRUE(DecodeToMono(dir_ + "/" + name + ".wma", kRate, &wma, &error)) << error;
    ASSERT_TRUE(DecodeToMono(dir_ + "/" + name + ".wav", kRate, &wav, &error)) << error;

    double songSeconds = 0;
    for (const auto &l : Lines(report))
      if (l.find(name + ".mid") != std::string::npos) {
        EXPECT_NE(l.find("\"status\":\"converted\""), std::string::npos) << l;
        const auto at = l.find("\"song_seconds\":");
        ASSERT_NE(at, std::string::npos) << l;
        songSeconds = std::atof(l.c_str() + at + 15);
      }
    ASSERT_GT(songSeconds, 10) << report;
    // FluidSynth's render holds the song and a longer tail of its own.
    ASSERT_GE(reference.Seconds(), songSeconds - 0.02);

    // The WAV: the song from its first sample, then at most the release tail.
    EXPECT_GE(wav.Seconds(), songSeconds - 0.02);
    EXPECT_LE(wav.Seconds(), songSeconds + 2.0 + 0.02);
    const long wavLag = LagOf(reference, wav);
    EXPECT_LE(std::labs(wavLag), kRate / 50) << wavLag * 1000.0 / kRate << " ms";
    EXPECT_GE(EnvelopeCorrelation(reference, wav, wavLag, songSeconds), kAgainstFluidSynth);

    // The WMA: the same sound, behind the encoder's start delay (2048
    // frames, 46 ms, as GStreamer decodes it; ffmpeg's own WMA of the same
    // WAV has it too).
    EXPECT_GE(wma.Seconds(), songSeconds - 0.02);
    EXPECT_LE(wma.Seconds(), songSeconds + 2.0 + 0.1);
    const long wmaLag = LagOf(reference, wma);
    EXPECT_LE(std::labs(wmaLag), kRate / 10) << wmaLag * 1000.0 / kRate << " ms";
    EXPECT_GE(EnvelopeCorrelation(reference, wma, wmaLag, songSeconds), kAgainstFluidSynth)
        << "lag " << wmaLag * 1000.0 / kRate << " ms";
    // Against the same render written as WAV, only the codec's own loss.
    const long codecLag = LagOf(wav, wma);
    EXPECT_GE(EnvelopeCorrelation(wav, wma, codecLag, songSeconds), 0.999);
  }
}

TEST_F(ConvertProgramTest, EveryFormatDecodesToTheSongAndCarriesItsTags) {
  const std::string song = kOpenMsx + "5432gone_redfarn.mid";  // title and copyright events
  for (const char *format : {"wma", "wav", "flac", "ogg", "mp3"}) {
    SCOPED_TRACE(format);
    const std::string out = dir_ + "/song." + format;
    // The format comes from the output's extension.
    ProcessResult run = Convert({"-q", "-o", out, song});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    DecodedAudio audio;
    std::string error;
    ASSERT_TRUE(DecodeToMono(out, kRate, &audio, &error)) << error;
    EXPECT_GE(audio.Seconds(), 60.0 - 0.03);
    EXPECT_LE(audio.Seconds(), 62.0 + 0.1);
    double peak = 0;
    for (float v : audio.mono) peak = std::max(peak, static_cast<double>(std::fabs(v)));
    EXPECT_GT(peak, 0.05) << "the song is heard";

    ProcessResult probe =
        RunProcess({"ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of",
                    "default=noprint_wrappers=1", out},
                   60000);
    const std::string tags = probe.output;
    EXPECT_NE(tags.find("5432Gone"), std::string::npos) << tags;
    EXPECT_NE(tags.find("Jim Redfarn"), std::string::npos) << tags;
    // (id3v2mux writes the comment as a COMM frame that ffprobe calls "c0".)
    EXPECT_NE(tags.find("default-GM.sf2"), std::string::npos) << tags;
  }
  // -f wins over the name's extension.
  ProcessResult forced = Convert({"-q", "-f", "flac", "-o", dir_ + "/named.wav", song});
  ASSERT_EQ(forced.exit_code, 0) << forced.output;
  EXPECT_EQ(quavix::test::ReadWholeFile(dir_ + "/named.wav").substr(0, 4), "fLaC");
}

TEST_F(ConvertProgramTest, SameNamesAreNumberedAndExistingFilesNeedForce) {
  const std::string song = std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid";
  fs::create_directories(dir_ + "/one");
  fs::create_directories(dir_ + "/two");
  fs::copy_file(song, dir_ + "/one/a.mid");
  fs::copy_file(song, dir_ + "/two/a.mid");
  const std::string out = dir_ + "/out/";  // made by the program
  ProcessResult run =
      Convert({"--report", "json", "-o", out, dir_ + "/one/a.mid", dir_ + "/two/a.mid"}, false);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(fs::exists(out + "a.wma"));
  EXPECT_TRUE(fs::exists(out + "a (2).wma"));
  EXPECT_NE(run.output.find("\"output\":\"" + out + "a (2).wma\",\"status\":\"converted\""),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\"numbered\":true"), std::string::npos);

  // Again without --force: both exist, both are reported and left untouched.
  std::ofstream(out + "a.wma", std::ios::trunc) << "keep me";
  ProcessResult again =
      Convert({"--report", "json", "-o", out, dir_ + "/one/a.mid", dir_ + "/two/a.mid"}, false);
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_EQ(quavix::test::ReadWholeFile(out + "a.wma"), "keep me");
  EXPECT_NE(again.output.find("exists (--force replaces it)"), std::string::npos) << again.output;
  // With --force they are replaced.
  ProcessResult forced = Convert({"-q", "--force", "-o", out, dir_ + "/one/a.mid"});
  EXPECT_EQ(forced.exit_code, 0) << forced.output;
  EXPECT_NE(quavix::test::ReadWholeFile(out + "a.wma"), "keep me");
  EXPECT_TRUE(LeftoverParts(out).empty());
  // Not even --force writes over the song being converted.
  const std::string before = quavix::test::ReadWholeFile(dir_ + "/one/a.mid");
  ProcessResult self =
      Convert({"--force", "-f", "wav", "-o", dir_ + "/one/a.mid", dir_ + "/one/a.mid"});
  EXPECT_EQ(self.exit_code, 1);
  EXPECT_NE(self.output.find("is the song itself"), std::string::npos) << self.output;
  EXPECT_EQ(quavix::test::ReadWholeFile(dir_ + "/one/a.mid"), before);
}

TEST_F(ConvertProgramTest, BadSongsAreReportedAndTheBatchGoesOn) {
  const std::string good = std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid";
  const std::string bytes = quavix::test::ReadWholeFile(kOpenMsx + "5432gone_redfarn.mid");
  std::ofstream(dir_ + "/garbage.mid") << "this is no song at all";
  std::ofstream(dir_ + "/empty.mid");
  std::ofstream(dir_ + "/cut.mid", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  std::ofstream(dir_ + "/header-only.mid", std::ios::binary) << bytes.substr(0, 14);
  fs::create_directories(dir_ + "/folder.mid");
  ASSERT_EQ(mkfifo((dir_ + "/fifo.mid").c_str(), 0600), 0);
  const std::vector<std::string> bad = {"garbage.mid", "empty.mid", "cut.mid",    "header-only.mid",
                                        "folder.mid",  "fifo.mid",  "missing.mid"};
  // The list mixes bad songs with good ones, read from a file and from
  // standard input.
  {
    std::ofstream list(dir_ + "/list.txt");
    for (const auto &b : bad) list << dir_ << "/" << b << "\n";
    list << good << "\n";
  }
  const std::string out = dir_ + "/out/";
  ProcessResult run =
      Convert({"--report", "json", "-o", out, "--from-list", dir_ + "/list.txt"}, false);
  EXPECT_EQ(run.exit_code, 1);
  const auto lines = Lines(run.output);
  ASSERT_EQ(lines.size(), bad.size() + 1) << run.output;
  for (const auto &b : bad) {
    bool found = false;
    for (const auto &l : lines)
      if (l.find("\"input\":\"" + dir_ + "/" + b + "\"") != std::string::npos) {
        found = true;
        EXPECT_NE(l.find("\"status\":\"failed\",\"reason\":\""), std::string::npos) << l;
      }
    EXPECT_TRUE(found) << b;
  }
  EXPECT_TRUE(fs::exists(out + "FrereJacques.wma"));
  EXPECT_TRUE(LeftoverParts(out).empty());
  for (const auto &b : bad)
    EXPECT_FALSE(fs::exists(out + fs::path(b).stem().string() + ".wma")) << b;

  ProcessResult piped = RunProcess(
      {"sh", "-c", "printf '%s\\n' \"$1\" | \"$0\" --convert -q --force -o \"$2\" --from-list -",
       kProgram, good, out},
      kLongTimeoutMs, true);
  EXPECT_EQ(piped.exit_code, 0) << piped.output;
}

TEST_F(ConvertProgramTest, UsageErrorsHelpAndVersion) {
  EXPECT_EQ(RunProcess({kProgram, "--convert"}, 30000).exit_code, 2);
  EXPECT_EQ(RunProcess({kProgram, "--convert", "-f", "aiff", "x.mid"}, 30000).exit_code, 2);
  // Several songs into one file name cannot be done.
  std::ofstream(dir_ + "/file.wma") << "x";
  EXPECT_EQ(RunProcess({kProgram, "--convert", "-o", dir_ + "/file.wma", "a.mid", "b.mid"}, 30000)
                .exit_code,
            2);
  EXPECT_EQ(quavix::test::ReadWholeFile(dir_ + "/file.wma"), "x");
  EXPECT_EQ(RunProcess({kProgram, "--convert", "--from-list", dir_ + "/none.txt"}, 30000).exit_code,
            2);
  ProcessResult help = RunProcess({kProgram, "--help"}, 30000);
  EXPECT_EQ(help.exit_code, 0);
  for (const char *option : {"--output", "--format", "--jobs", "--soundfont", "--force",
                             "--from-list", "--report json", "--quiet", "Exit status"})
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
  ProcessResult version = RunProcess({kProgram, "--version"}, 30000);
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.output.rfind("vorlinta ", 0), 0u) << version.output;
  // Another SoundFont that is not one is refused before anything is written.
  std::ofstream(dir_ + "/fake.sf2") << "not a soundfont";
  ProcessResult sf =
      RunProcess({kProgram, "--convert", "--soundfont", dir_ + "/fake.sf2", "-o", dir_ + "/",
                  std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid"},
                 30000, true);
  EXPECT_EQ(sf.exit_code, 2) << sf.output;
  EXPECT_FALSE(fs::exists(dir_ + "/FrereJacques.wma"));
}

TEST_F(ConvertProgramTest, OnATerminalAProgressBarElseOneLinePerSong) {
  const std::string song = std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid";
  // Through a pseudo-terminal (script(1)): the bar, redrawn in place.
  ProcessResult tty = RunProcess(
      {"script", "-qec", "'" + kProgram + "' --convert -o '" + dir_ + "/tty/' '" + song + "'",
       "/dev/null"},
      kLongTimeoutMs, true);
  ASSERT_EQ(tty.exit_code, 0) << tty.output;
  EXPECT_NE(tty.output.find("\r\033[K["), std::string::npos) << tty.output;
  EXPECT_NE(tty.output.find("0/1 songs"), std::string::npos) << tty.output;
  EXPECT_NE(tty.output.find(" left"), std::string::npos);
  EXPECT_NE(tty.output.find("1 of 1 songs converted"), std::string::npos);
  // Into a pipe: one plain line for the song, no bar.
  ProcessResult piped = Convert({"-o", dir_ + "/pipe/", song});
  ASSERT_EQ(piped.exit_code, 0) << piped.output;
  EXPECT_EQ(piped.output.find('\r'), std::string::npos) << piped.output;
  const auto lines = Lines(piped.output);
  ASSERT_EQ(lines.size(), 1u) << piped.output;
  EXPECT_EQ(lines[0].rfind("converted: " + song + " -> " + dir_ + "/pipe/FrereJacques.wma", 0), 0u)
      << lines[0];
}

TEST_F(ConvertProgramTest, AnInterruptedBatchLeavesNoFileUnderAFinalName) {
  const std::string song = kOpenMsx + "5432gone_redfarn.mid";
  for (int sig : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sig);
    const std::string out = dir_ + "/out" + std::to_string(sig) + "/";
    fs::create_directories(out);
    // WAV at one job: the slowest to finish of the formats, so the kill comes mid-song.
    quavix::test::ChildProcess child(
        {kProgram, "--convert", "-q", "-j", "1", "-f", "wav", "-o", out, song, song});
    ASSERT_TRUE(child.running());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline && child.running()) {
      for (const auto &p : LeftoverParts(out)) writing = writing || fs::file_size(p) > 100000;
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(writing) << "the conversion never started writing";
    kill(child.pid(), sig);
    child.Wait(30000);
    EXPECT_FALSE(fs::exists(out + "5432gone_redfarn.wav"));
    // A handled signal also removes the unfinished file.
    if (sig == SIGTERM) {
      EXPECT_TRUE(LeftoverParts(out).empty());
    }
  }
}

}  // namespace
