// Open, convert, stop and close, fifty times in one program run: every run
// completes its file, and neither memory nor file descriptors grow (the
// address sanitizer's leak check covers what is left at the end).
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/support/process_counts.h"

#include <filesystem>
#include <fstream>
#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace player_test;
using quavix::test::MainWindowFixture;
namespace fs = std::filesystem;

namespace {

class RepeatedRunsTest : public MainWindowFixture {};

TEST_F(RepeatedRunsTest, FiftyRunsLeaveNoDescriptorsOrMemoryBehind) {
  std::string song = env_->root + "/short song.mid";
  WriteWholeFile(song,
                 MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}, {480, 480, 64}, {960, 480, 67}}));
  std::string wma = music_ + "short song.wma";
  int fdsAfterWarmUp = 0;
  long memoryAfterWarmUp = 0;
  RunProgram([&](CConverterDlg &dlg) {
    for (int run = 0; run < 50; ++run) {
      SCOPED_TRACE(run);
      // From the second run on, the earlier run's file is there: asked, and replaced.
      ASSERT_NO_FATAL_FAILURE(ConvertAndStop(dlg, song, run > 0, 300));
      // The song's window closed: the main window forgets the song.
      SendMessageA(g_pPlayer->m_hWnd, WM_CLOSE, 0, 0);
      ASSERT_TRUE(PumpUntil([] { return g_pPlayer == nullptr; }, 5000));
      ASSERT_TRUE(fs::exists(wma));
      ASSERT_GT(fs::file_size(wma), 0u);
      ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
      if (run == 9) {
        PumpFor(200);
        fdsAfterWarmUp = quavix::test::OpenDescriptors();
        memoryAfterWarmUp = quavix::test::ResidentKiB();
      }
    }
    PumpFor(200);
    EXPECT_LE(quavix::test::OpenDescriptors(), fdsAfterWarmUp)
        << "descriptors left open by the runs:\n"
        << quavix::test::DescribeDescriptors();
    // Forty runs; a leak of even a small buffer per run would add up far
    // beyond what allocator caches move.
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(quavix::test::ResidentKiB() - memoryAfterWarmUp, 16 * 1024)
        << "memory grew by that many KiB";
#else
    // The address sanitizer keeps freed memory in quarantine, so the resident
    // size grows anyway; its leak check at exit judges memory instead.
    (void)memoryAfterWarmUp;
#endif
    ExitProgram(dlg);
  });
}

// Closing the song's window in the middle of a run finishes the run first,
// so the recording stops and its file is complete, instead of recording on
// with Stop disabled.
TEST_F(RepeatedRunsTest, ClosingTheSongDuringARunFinishesTheRun) {
  std::string song = env_->root + "/long.mid";
  WriteWholeFile(song, MakeType1Song(480, {{0, 500000}}, {{0, 480 * 40, 60}}));  // 20 s
  std::string wma = music_ + "long.wma";
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, song);
    Click(h, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    PumpFor(1500);
    SendMessageA(g_pPlayer->m_hWnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return g_pPlayer == nullptr; }, 5000));
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    EXPECT_EQ(WindowText(h), "Quavix");
    int size = static_cast<int>(fs::file_size(wma));
    PumpFor(1500);
    EXPECT_EQ(static_cast<int>(fs::file_size(wma)), size) << "nothing records any more";
    EXPECT_GT(size, 0);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    ExitProgram(dlg);
  });
}

// Convert refuses an output that is the opened song itself, which it would
// otherwise delete before recording.
TEST_F(RepeatedRunsTest, ConvertRefusesToOverwriteTheOpenedSong) {
  std::string song = env_->root + "/keep.mid";
  WriteWholeFile(song, MakeType1Song(480, {{0, 500000}}, {{0, 480, 60}}));
  std::string bytes;
  {
    std::ifstream in(song, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  fs::create_symlink(song, env_->root + "/alias.mid");
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, song);
    for (const std::string &target : {song, env_->root + "/alias.mid"}) {
      SCOPED_TRACE(target);
      boxes_.clear();
      QWidget *w = quavix::win::WidgetOf(GetDlgItem(h, IDC_OUTPUT_PATH));
      w->setFocus();
      QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(w, QString::fromStdString(target));
      Click(h, IDC_CONVERT);
      ASSERT_EQ(boxes_.size(), 1u);
      EXPECT_EQ(boxes_[0].caption, "Error");
      EXPECT_EQ(dlg.m_bConverting, 0);
      std::ifstream in(song, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes)
          << "the song is untouched";
    }
    ExitProgram(dlg);
  });
}

}  // namespace
