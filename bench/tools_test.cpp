// The benchmarks' tools: the excerpt writer the conversion's reference is
// rendered from, the song list, scratch folders and the figure lines that
// runs are compared by.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench/bench_common.h"
#include "platform/dshow/midi/midi_song.h"

namespace quavix::bench {
namespace {

constexpr const char *kSongDir = "/usr/share/games/openttd/baseset/openmsx/";

TEST(FigureLines, ComeLastOnePerLineAsNameValueUnit) {
  Figures f;
  f.Add("probe_median", 0.25, "ms");
  f.Add("dropouts", 0, "gaps");
  f.Add("big", 123456789.0, "x");
  testing::internal::CaptureStdout();
  f.Print();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\nprobe_median 0.25 ms\ndropouts 0 gaps\nbig 1.23457e+08 x\n");
}

TEST(SongList, HonoursTheFolderVariableAndListsOnlyMidiFilesInOrder) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  for (const char *name : {"b.mid", "a.mid", "notes.txt", "c.midi"})
    std::ofstream(dir.File(name)) << "x";
  std::filesystem::create_directory(dir.File("d.mid"));  // a folder is no song
  const char *old = std::getenv("QUAVIX_BENCH_SONGS");
  std::string saved = old ? old : "";
  setenv("QUAVIX_BENCH_SONGS", dir.path().c_str(), 1);
  auto songs = BenchSongs();
  if (old)
    setenv("QUAVIX_BENCH_SONGS", saved.c_str(), 1);
  else
    unsetenv("QUAVIX_BENCH_SONGS");
  ASSERT_EQ(songs.size(), 2u);
  EXPECT_EQ(songs[0], dir.File("a.mid"));
  EXPECT_EQ(songs[1], dir.File("b.mid"));
  EXPECT_EQ(BaseName(songs[1]), "b.mid");
  EXPECT_EQ(BaseName("plain"), "plain");
}

TEST(ScratchFolders, ArePrivateAndGoAwayWithTheirContents) {
  std::string path;
  {
    ScratchDir dir;
    path = dir.path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    std::filesystem::create_directories(dir.File("a/b"));
    std::ofstream(dir.File("a/b/file")) << "data";
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// The conversion's reference is FluidSynth's rendering of an excerpt cut by
// midi_excerpt.py: it must be exactly as long as the cut, keep every note
// that begins before it, and release all channels at the cut.
class Excerpt : public ::testing::TestWithParam<const char *> {};

TEST_P(Excerpt, IsExactlyTheCutWithEveryEarlierNoteAndAllNotesReleased) {
  std::string song = std::string(kSongDir) + GetParam();
  if (access(song.c_str(), R_OK) != 0) GTEST_SKIP() << "openttd-openmsx is not installed";
  ScratchDir dir;
  std::string out = dir.File("excerpt.mid");
  ChildRun r = RunChild(
      {"/usr/bin/python3", QUAVIX_BENCH_SOURCE_DIR "/midi_excerpt.py", song, out, "20"}, true);
  ASSERT_TRUE(r.started);
  if (r.exitCode != 0 && r.output.find("No module named 'mido'") != std::string::npos)
    GTEST_SKIP() << "python3-mido is not installed";
  ASSERT_EQ(r.exitCode, 0) << r.output;

  std::string error;
  auto original = ReadMidiFile(song, &error);
  ASSERT_TRUE(original) << error;
  auto excerpt = ReadMidiFile(out, &error);
  ASSERT_TRUE(excerpt) << error;
  EXPECT_EQ(excerpt->Format(), 0);
  // Ticks are whole: the cut lands within one tick of 20 s.
  const REFERENCE_TIME cut = 20 * 10000000LL;
  REFERENCE_TIME tick = excerpt->TickToTime(1) - excerpt->TickToTime(0);
  EXPECT_GE(excerpt->Length(), cut - tick);
  EXPECT_LE(excerpt->Length(), cut + tick);

  auto noteOns = [](const MidiSong &s, REFERENCE_TIME before) {
    int n = 0;
    for (const auto &e : s.Events())
      if (e.time < before && e.Command() == 0x90 && e.data2 > 0) ++n;
    return n;
  };
  // Every note that begins before the cut is kept, at its time, and none
  // is added; nothing begins after the cut.
  int before = noteOns(*original, cut - tick);
  EXPECT_GT(before, 0);
  EXPECT_EQ(noteOns(*excerpt, cut - tick), before);
  EXPECT_EQ(noteOns(*excerpt, excerpt->Length() + 1), noteOns(*excerpt, cut + tick));
  EXPECT_LE(noteOns(*excerpt, cut + tick), noteOns(*original, cut + tick));

  int released = 0;
  for (const auto &e : excerpt->Events())
    if (e.time >= excerpt->Length() && e.Command() == 0xB0 && e.data1 == 123) ++released;
  EXPECT_EQ(released, 16) << "all notes off on every channel at the cut";
}

INSTANTIATE_TEST_SUITE_P(OpenMsx, Excerpt,
                         ::testing::Values("5432gone_redfarn.mid", "be_sharp_bw_redfarn.mid",
                                           "tttheme2.mid"));

}  // namespace
}  // namespace quavix::bench
