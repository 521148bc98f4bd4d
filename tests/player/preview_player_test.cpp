// The preview player on the real media graph: MIDI files rendered by our
// reader and FluidSynth into a private PulseAudio daemon, its hidden window on
// the headless toolkit, and the messages it posts to a recording owner.
#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/gui.h"
#include "player/preview_player.h"
#include "res/resource.h"
#include "tests/player/player_test_support.h"
#include "tests/support/private_pulse.h"
#include "tests/support/process_counts.h"

#include <gtest/gtest.h>

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace player_test;
using quavix::test::ChildProcess;
using quavix::test::PrivatePulseTest;

namespace {

constexpr const char *kCannotPlay =
    "Cannot play the file.  The file is either corrupt or\nthe player does not support the format "
    "you are trying "
    "to play.\nIf you want more decoders, please visit our website.";

LONGLONG Position(CPreviewPlayer &p) {
  LONGLONG pos = -1;
  if (p.pMS) p.pMS->GetCurrentPosition(&pos);
  return pos;
}

OAFilterState GraphState(CPreviewPlayer &p) {
  OAFilterState fs = -1;
  if (p.pMC) p.pMC->GetState(1000, &fs);
  return fs;
}

class PlayerTest : public PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    owner_ = std::make_unique<RecordingOwner>();
    previousSeam_ = SetUiSeamForTest([this](const UiRequest &r) {
      if (r.kind == UiRequestKind::MessageBox) boxes_.push_back(r);
      UiAnswer a;
      a.button = IDOK;
      a.cancel = true;
      return a;
    });
    // A short song: four quarter notes at 120 per minute, 2 s.
    shortSong_ = folder_.path() + "/short.mid";
    WriteWholeFile(shortSong_,
                   MakeType1Song(480, {{0, 500000}},
                                 {{0, 480, 60}, {480, 480, 64}, {960, 480, 67}, {1440, 480, 72}}));
  }

  void TearDown() override {
    for (auto &p : players_) {
      if (p->m_state != NoClip) p->Unload();
    }
    players_.clear();
    owner_.reset();
    SetUiSeamForTest(previousSeam_);
    CoUninitialize();
    PrivatePulseTest::TearDown();
  }

  CPreviewPlayer &NewPlayer(const std::string &path) {
    players_.push_back(std::make_unique<CPreviewPlayer>(nullptr, owner_->hwnd()));
    CPreviewPlayer &p = *players_.back();
    snprintf(p.m_szFile, sizeof p.m_szFile, "%s", path.c_str());
    return p;
  }

  TempDir folder_;
  std::unique_ptr<RecordingOwner> owner_;
  UiSeamHandler previousSeam_;
  std::vector<UiRequest> boxes_;
  std::vector<std::unique_ptr<CPreviewPlayer>> players_;
  std::string shortSong_;
};

TEST_F(PlayerTest, LoadingAMidiFileLeavesAHiddenStoppedPlayerThatTicks) {
  CPreviewPlayer &p = NewPlayer(shortSong_);
  EXPECT_EQ(p.m_state, NoClip);
  ASSERT_EQ(p.Load(), 1);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
  EXPECT_EQ(p.m_state, Stopped);
  EXPECT_EQ(p.m_bAudioOnly, 1) << "a MIDI graph has no video";
  EXPECT_EQ(p.m_bWindowShown, 0);
  EXPECT_TRUE(p.m_bWindowCreated);
  ASSERT_TRUE(IsWindow(p.m_hWnd));
  EXPECT_FALSE(IsWindowVisible(p.m_hWnd));
  EXPECT_EQ(WindowText(p.m_hWnd), "short.mid  ") << "the name part and two blanks";
  EXPECT_NE(GetFocus(), p.m_hWnd) << "the hidden window must not take the keys";
  for (void *i :
       {static_cast<void *>(p.pGB), static_cast<void *>(p.pMC), static_cast<void *>(p.pME),
        static_cast<void *>(p.pMS), static_cast<void *>(p.pVW), static_cast<void *>(p.pBV),
        static_cast<void *>(p.pBA)})
    EXPECT_NE(i, nullptr);
  EXPECT_EQ(GraphState(p), State_Stopped) << "loading never starts the song";

  // The tick refreshes the positions and reaches the owner once a second.
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_PLAYER_TICK) >= 2; }, 15000));
  EXPECT_EQ(p.m_rtStop, 20000000) << "the song's exact length, 2 s";
  EXPECT_EQ(p.m_rtPosition, 0);
  for (const auto &m : owner_->messages()) {
    if (m.message == WM_PLAYER_TICK) {
      EXPECT_EQ(m.wParam, 0u);
      EXPECT_EQ(m.lParam, 0);
    }
  }

  HWND hwnd = p.m_hWnd;
  p.Unload();
  EXPECT_EQ(p.m_state, NoClip);
  EXPECT_FALSE(IsWindow(hwnd)) << "the window goes with the file";
  EXPECT_EQ(p.m_hWnd, nullptr);
  EXPECT_EQ(p.m_szFile[0], '\0');
  EXPECT_EQ(p.pGB, nullptr);
  EXPECT_EQ(p.pMS, nullptr);
  int ticks = owner_->Count(WM_PLAYER_TICK);
  PumpFor(1500);
  EXPECT_EQ(owner_->Count(WM_PLAYER_TICK), ticks) << "no tick outlives the window";
  p.Unload();  // a second unload releases nothing and shows nothing
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(PlayerTest, ASongPlayedToItsEndStopsRewindsAndTellsTheOwnerOnce) {
  CPreviewPlayer &p = NewPlayer(shortSong_);
  ASSERT_EQ(p.Load(), 1);
  p.Play();
  EXPECT_EQ(p.m_state, Playing);
  EXPECT_EQ(GraphState(p), State_Running);
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_COMMAND, IDC_STOP) >= 1; }, 30000));
  EXPECT_EQ(p.m_state, Stopped) << "stopped before the owner handles the command";
  EXPECT_EQ(Position(p), 0) << "rewound";
  EXPECT_EQ(GraphState(p), State_Paused) << "cued at the start";
  EXPECT_EQ(WindowText(p.m_hWnd), "short.mid  ");
  PumpFor(2500);
  EXPECT_EQ(owner_->Count(WM_COMMAND, IDC_STOP), 1) << "exactly one end-of-song command";
  for (const auto &m : owner_->messages()) {
    if (m.message == WM_COMMAND) {
      EXPECT_EQ(m.lParam, 0);
    }
  }

  // Play after the end starts again from the beginning and ends again.
  p.Play();
  EXPECT_EQ(p.m_state, Playing);
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_COMMAND, IDC_STOP) >= 2; }, 30000));
  EXPECT_EQ(p.m_state, Stopped);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(PlayerTest, TransportRequestsChangeOnlyWhatTheirStateAllows) {
  CPreviewPlayer &p = NewPlayer(folder_.path() + "/tune.mid");
  WriteWholeFile(p.m_szFile, MakeType1Song(480, {{0, 500000}}, {{0, 480 * 20, 60}}));  // 10 s
  ASSERT_EQ(p.Load(), 1);
  p.Pause();
  EXPECT_EQ(p.m_state, Stopped) << "pause does nothing to a stopped file";
  EXPECT_EQ(GraphState(p), State_Stopped);
  p.Stop();
  EXPECT_EQ(p.m_state, Stopped);
  EXPECT_EQ(GraphState(p), State_Stopped) << "stop on a stopped file makes no graph call";

  p.Play();
  ASSERT_EQ(p.m_state, Playing);
  PumpFor(600);
  p.Play();
  EXPECT_EQ(p.m_state, Playing);
  EXPECT_GT(Position(p), 0) << "a second Play issues no new start";
  p.Pause();
  EXPECT_EQ(p.m_state, Paused);
  EXPECT_EQ(GraphState(p), State_Paused);
  EXPECT_EQ(WindowText(p.m_hWnd), "tune.mid  (Paused)");
  LONGLONG paused = Position(p);
  EXPECT_GT(paused, 0);
  p.Pause();
  EXPECT_EQ(p.m_state, Paused) << "pause does not resume";
  p.Play();
  EXPECT_EQ(p.m_state, Playing);
  EXPECT_EQ(WindowText(p.m_hWnd), "tune.mid  ");
  p.Stop();
  EXPECT_EQ(p.m_state, Stopped);
  EXPECT_EQ(Position(p), 0);
  EXPECT_EQ(GraphState(p), State_Paused);
  EXPECT_EQ(WindowText(p.m_hWnd), "tune.mid  ");
  EXPECT_EQ(owner_->Count(WM_COMMAND, IDC_STOP), 0) << "only the song's end tells the owner";
}

TEST_F(PlayerTest, TheWindowAsksTheOwnerToCloseAndRunsTheMenuCommands) {
  CPreviewPlayer &p = NewPlayer(folder_.path() + "/tune.mid");
  WriteWholeFile(p.m_szFile, MakeType1Song(480, {{0, 500000}}, {{0, 480 * 20, 60}}));
  ASSERT_EQ(p.Load(), 1);
  HWND hwnd = p.m_hWnd;

  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_COMMAND, IDC_CLOSE_BTN) == 1; }, 5000));
  EXPECT_TRUE(IsWindow(hwnd)) << "the owner's Close command destroys it, not the window itself";
  SendMessageA(hwnd, WM_COMMAND, ID_PLAYER_CLOSE, 0);
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_COMMAND, IDC_CLOSE_BTN) == 2; }, 5000));
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(SendMessageA(hwnd, WM_KEYUP, VK_ESCAPE, 0), 0);

  SendMessageA(hwnd, WM_COMMAND, ID_PLAYER_PLAY, 0);
  EXPECT_EQ(p.m_state, Playing);
  SendMessageA(hwnd, WM_COMMAND, ID_PLAYER_PAUSE, 0);
  EXPECT_EQ(p.m_state, Paused);
  EXPECT_EQ(WindowText(hwnd), "tune.mid  (Paused)");
  SendMessageA(hwnd, WM_COMMAND, ID_PLAYER_STOP, 0);
  EXPECT_EQ(p.m_state, Stopped);
  EXPECT_EQ(Position(p), 0);

  // Left clicks alternate what comes to the front, for every player alike.
  int before = s_bRaisePlayerNext;
  SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(s_bRaisePlayerNext, 1 - before);
  SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(s_bRaisePlayerNext, before);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(PlayerTest, FilesThatCannotBePlayedFailWithOneBoxAndLeaveNothingLoaded) {
  std::string random = folder_.path() + "/random.mid";
  std::string bytes;
  srand(7);
  for (int i = 0; i < 4000; ++i) bytes.push_back(static_cast<char>(rand() & 0xFF));
  WriteWholeFile(random, bytes);
  std::string truncated = folder_.path() + "/truncated.mid";
  std::string song = MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}, {480, 480, 64}});
  WriteWholeFile(truncated, song.substr(0, song.size() / 2));
  std::string empty = folder_.path() + "/empty.mid";
  WriteWholeFile(empty, "");
  std::string text = folder_.path() + "/notes.txt";
  WriteWholeFile(text, "not a song\n");

  for (const std::string &path :
       {random, truncated, empty, text, folder_.path(), folder_.path() + "/missing.mid"}) {
    SCOPED_TRACE(path);
    boxes_.clear();
    CPreviewPlayer &p = NewPlayer(path);
    EXPECT_EQ(p.Load(), 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kCannotPlay);
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].owner, nullptr);
    EXPECT_EQ(boxes_[0].type & 0xF, MB_OK);
    EXPECT_EQ(p.m_state, NoClip);
    EXPECT_EQ(p.m_hWnd, nullptr);
    EXPECT_EQ(p.m_szFile[0], '\0');
    EXPECT_EQ(p.pGB, nullptr);
  }
}

// A graph that cannot run (its sound server is gone): the song would not
// sound, so the owner is told, with the failure, instead of nothing at all.
TEST_F(PlayerTest, AGraphThatCannotRunTellsTheOwner) {
  CPreviewPlayer &p = NewPlayer(shortSong_);
  ASSERT_EQ(p.Load(), 1);
  pulse_.Stop();
  p.Play();
  EXPECT_EQ(p.m_state, Stopped) << "not playing";
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_PLAYER_FAILED) >= 1; }, 15000))
      << "the owner never heard of it";
  for (const auto &m : owner_->messages()) {
    if (m.message != WM_PLAYER_FAILED) continue;
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(static_cast<DWORD>(m.wParam)))) << m.wParam;
  }
  EXPECT_EQ(owner_->Count(WM_COMMAND), 0) << "no end of the song is reported";
}

TEST_F(PlayerTest, ASecondPlayerReusesTheWindowClassAndNamesAreSplitAtTheLastSlash) {
  std::string inner = folder_.path() + "/a b";
  ASSERT_EQ(::mkdir(inner.c_str(), 0700), 0);
  std::string song = inner + "/Chanson d'été.mid";
  WriteWholeFile(song, MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}}));
  CPreviewPlayer &first = NewPlayer(shortSong_);
  ASSERT_EQ(first.Load(), 1);
  first.Unload();
  CPreviewPlayer &second = NewPlayer(song);
  ASSERT_EQ(second.Load(), 1);
  EXPECT_EQ(WindowText(second.m_hWnd), "Chanson d'été.mid  ");
  // A name without any folder is the whole title.
  snprintf(second.m_szFile, sizeof second.m_szFile, "plain.mid");
  second.UpdateTitle();
  EXPECT_EQ(WindowText(second.m_hWnd), "plain.mid  ");
  second.m_szFile[0] = 0;
  second.UpdateTitle();
  EXPECT_EQ(WindowText(second.m_hWnd), "PREVIEW");
}

// Every song of the openmsx set: the stop position the player reads at each
// tick is the song's length as mido computes it, to the millisecond.
TEST_F(PlayerTest, TheLengthsOfRealSongsMatchAnIndependentReader) {
  glob_t g{};
  ASSERT_EQ(glob("/usr/share/games/openttd/baseset/openmsx/*.mid", 0, nullptr, &g), 0);
  std::vector<std::string> songs(g.gl_pathv, g.gl_pathv + g.gl_pathc);
  globfree(&g);
  ASSERT_EQ(songs.size(), 31u);
  auto reference = MidoLengths(songs);
  ASSERT_EQ(reference.size(), songs.size());
  for (size_t i = 0; i < songs.size(); ++i) {
    SCOPED_TRACE(songs[i]);
    ASSERT_TRUE(reference[i].has_value());
    CPreviewPlayer &p = NewPlayer(songs[i]);
    ASSERT_EQ(p.Load(), 1);
    ASSERT_EQ(p.OnTick(), 0);
    EXPECT_NEAR(p.m_rtStop / 1e7, *reference[i], 0.001);
    p.Unload();
  }
  EXPECT_TRUE(boxes_.empty());
}

// A type 1 song whose tempo changes twice: 1 s at 120 per minute, 4 beats at
// 30 (8 s), 4 beats at 240 (1 s). Any tempo read wrongly changes its length by
// 5 s or more. The sound recorded from the output's monitor lasts the song's
// length plus the synthesiser's release tail.
TEST_F(PlayerTest, ASongWithTempoChangesPlaysAtItsTrueTempo) {
  std::string song = folder_.path() + "/tempo.mid";
  std::vector<Note> notes;
  for (uint32_t beat = 0; beat < 10; ++beat)
    notes.push_back({beat * 480, 470, static_cast<uint8_t>(60 + beat)});
  WriteWholeFile(song, MakeType1Song(480, {{0, 500000}, {960, 2000000}, {2880, 250000}}, notes,
                                     19 /* organ */));
  auto reference = MidoLengths({song});
  ASSERT_EQ(reference.size(), 1u);
  ASSERT_TRUE(reference[0].has_value());
  ASSERT_NEAR(*reference[0], 10.0 - 10.0 / 480 * 0.25, 0.02);

  CPreviewPlayer &p = NewPlayer(song);
  ASSERT_EQ(p.Load(), 1);
  std::string raw = folder_.path() + "/played.raw";
  ChildProcess recorder({"parecord", "--raw", "--format=s16le", "--rate=8000", "--channels=1",
                         "--device=quavix_a.monitor", raw});
  PumpFor(700);  // the recorder connects
  p.Play();
  ASSERT_TRUE(PumpUntil([&] { return owner_->Count(WM_COMMAND, IDC_STOP) == 1; }, 60000));
  PumpFor(3000);  // the release tail
  recorder.Stop();

  std::ifstream in(raw, std::ios::binary);
  std::vector<int16_t> samples;
  int16_t s;
  while (in.read(reinterpret_cast<char *>(&s), sizeof s)) samples.push_back(s);
  ASSERT_GT(samples.size(), 8000u * 10);
  auto loud = [](int16_t v) { return std::abs(static_cast<int>(v)) > 300; };
  auto first = std::find_if(samples.begin(), samples.end(), loud);
  auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
  ASSERT_NE(first, samples.end()) << "nothing was heard";
  double seconds =
      static_cast<double>((samples.rend() - last) - (first - samples.begin())) / 8000.0;
  EXPECT_GE(seconds, *reference[0] - 0.2);
  EXPECT_LE(seconds, *reference[0] + 2.0);
}

}  // namespace

namespace {

// Loading, playing, stopping and unloading again and again releases the
// whole graph each time: its pipeline, sound server connection and synthesiser.
TEST_F(PlayerTest, RepeatedLoadsLeaveNoDescriptorsBehind) {
  int warm = 0;
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    CPreviewPlayer &p = NewPlayer(shortSong_);
    ASSERT_EQ(p.Load(), 1);
    p.Play();
    PumpFor(200);
    p.Stop();
    p.Unload();
    PumpFor(100);
    if (i == 1) warm = quavix::test::OpenDescriptors();
  }
  EXPECT_LE(quavix::test::OpenDescriptors(), warm);
}

}  // namespace
