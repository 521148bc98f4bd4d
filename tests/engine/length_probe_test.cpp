// The song length probe on the real media graph: songs of known length, the
// corpus songs against the MIDI reader and an independent reader, and the
// files it must refuse without touching what the caller holds.
#include "app/converter_app.h"
#include "engine/length_probe.h"
#include "engine_test_files.h"
#include "platform/com/combase.h"
#include "platform/dshow/midi/midi_song.h"
#include "tests/support/private_pulse.h"
#include "tests/support/temp_dir.h"
#include "ui/converter_dlg.h"
#include "tests/support/private_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace {

using namespace engine_test;

constexpr const char *kCorpus = "/usr/share/games/openttd/baseset/openmsx";

// The length an independent reader (mido) gives, in 100 ns units.
std::optional<LONGLONG> MidoLength(const std::string &path) {
  auto r = quavix::test::RunProcess(
      {"/usr/bin/python3", "-c", "import mido,sys; print(repr(mido.MidiFile(sys.argv[1]).length))",
       path},
      30000);
  if (r.exit_code != 0) return std::nullopt;
  return static_cast<LONGLONG>(std::stod(r.output) * 1e7 + 0.5);
}

class LengthProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.emplace();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    CoUninitialize();
    env_.reset();
  }
  std::string Write(const std::string &name, const std::vector<std::uint8_t> &bytes) {
    std::string path = dir_.File(name);
    EXPECT_TRUE(WriteFile(path, bytes.data(), bytes.size()));
    return path;
  }

  std::optional<quavix::test::PrivateHome> env_;
  quavix::test::TempDir dir_{"quavix-engine"};
};

TEST_F(LengthProbeTest, SongOfKnownLengthIsMeasuredExactly) {
  // 480 ticks a quarter at 0.5 s: end of track at 2.5 s, 5.0 s at half speed.
  struct Case {
    int tempo;
    LONGLONG expected;
  } cases[] = {{500000, 25000000}, {1000000, 50000000}};
  for (const Case &c : cases) {
    std::string path = Write("song.mid", TinyMidi(480, c.tempo, 960, 2400));
    LONGLONG stop = -1;
    ASSERT_EQ(ProbeStopPosition(path.c_str(), &stop), 1) << c.tempo;
    EXPECT_EQ(stop, c.expected) << c.tempo;
  }
}

TEST_F(LengthProbeTest, CorpusSongsMatchTheMidiReaderAndAnIndependentReader) {
  if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << "openttd-openmsx is not installed";
  int measured = 0;
  for (const auto &entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".mid" || measured >= 4) continue;
    const std::string path = entry.path().string();
    LONGLONG stop = -1;
    ASSERT_EQ(ProbeStopPosition(path.c_str(), &stop), 1) << path;
    std::string error;
    auto song = ReadMidiFile(path, &error);
    ASSERT_TRUE(song) << error;
    EXPECT_EQ(stop, song->Length()) << path;
    if (auto reference = MidoLength(path)) {
      EXPECT_NEAR(stop, *reference, 10000) << path << ": within 1 ms";
    }
    ++measured;
  }
  EXPECT_GT(measured, 0);
}

TEST_F(LengthProbeTest, FilesThatAreNoSongGiveZeroAndLeaveTheResultAlone) {
  std::string text = dir_.File("notes.txt");
  const char words[] = "this is no media file at all, only words\n";
  ASSERT_TRUE(WriteFile(text, words, sizeof words - 1));
  std::string empty = dir_.File("empty.mid");
  ASSERT_TRUE(WriteFile(empty, "", 0));
  std::string damaged = Write("damaged.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0});
  for (const std::string &path :
       {text, empty, damaged, dir_.path(), dir_.File("missing.mid"), std::string()}) {
    LONGLONG stop = 777;
    EXPECT_EQ(ProbeStopPosition(path.c_str(), &stop), 0) << "'" << path << "'";
    EXPECT_EQ(stop, 777) << "'" << path << "'";
  }
}

TEST_F(LengthProbeTest, MainWindowKeepsTheLengthOnlyWhenItWasRead) {
  ConverterApp();
  CConverterDlg dlg;
  std::string song = Write("short.mid", TinyMidi(480, 500000, 240, 1919));  // 1.999 s
  std::snprintf(dlg.m_szMidiPath, MAX_PATH, "%s", song.c_str());
  ASSERT_EQ(dlg.MeasureMidiLength(), 1);
  LONGLONG expected = 0;
  ASSERT_EQ(ProbeStopPosition(song.c_str(), &expected), 1);
  EXPECT_EQ(dlg.m_llDuration, expected);
  EXPECT_EQ(dlg.m_nDurationSec, 1) << "a fraction of a second is dropped, never rounded up";

  std::snprintf(dlg.m_szMidiPath, MAX_PATH, "%s", dir_.File("missing.mid").c_str());
  EXPECT_EQ(dlg.MeasureMidiLength(), 0);
  EXPECT_EQ(dlg.m_llDuration, expected);
  EXPECT_EQ(dlg.m_nDurationSec, 1);

  std::snprintf(dlg.m_szMidiPath, MAX_PATH, "%s", dir_.path().c_str());
  EXPECT_EQ(dlg.MeasureMidiLength(), 0);
  EXPECT_EQ(dlg.m_llDuration, expected);
}

}  // namespace
