// A long session: two hundred open, convert, stop and close cycles in one
// program run. Every run leaves a file that decodes, and neither memory nor
// descriptors nor threads grow (the address sanitizer's leak check covers
// what is left at the end).
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/robustness/robust_support.h"
#include "tests/support/process_counts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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
using namespace robust;
namespace fs = std::filesystem;

namespace {

class LongSessionTest : public MainWindowFixture {};

TEST_F(LongSessionTest, TwoHundredCyclesKeepMemoryDescriptorsAndThreadsLevel) {
  std::string song = env_->root + "/short.mid";
  WriteWholeFile(song,
                 MakeType1Song(480, {{0, 500000}}, {{0, 240, 60}, {240, 240, 64}, {480, 480, 67}}));
  std::string wma = music_ + "short.wma";
  // QUAVIX_ROBUST_CYCLES runs fewer (or more) cycles, for looking into a failure.
  const char *cyclesEnv = std::getenv("QUAVIX_ROBUST_CYCLES");
  const int kCycles = cyclesEnv ? std::max(std::atoi(cyclesEnv), 25) : 200;
  constexpr int kWarmUp = 20;
  std::string fdsAtWarmUp;
  int fds = 0, threads = 0;
  long memory = 0;
  int maxThreads = 0;
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      SCOPED_TRACE(cycle);
      // From the second run on, the earlier run's file is there: asked, and replaced.
      ASSERT_NO_FATAL_FAILURE(ConvertAndStop(dlg, song, cycle > 0, 200));
      Click(h, IDC_CLOSE_BTN);
      ASSERT_TRUE(PumpUntil([] { return g_pPlayer == nullptr; }, 5000));
      ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
      ASSERT_TRUE(fs::exists(wma));
      if (cycle % 50 == 49) {
        std::string error;
        EXPECT_GT(DecodedSeconds(wma, &error), 0.0)
            << "run " << cycle << " left a file that decodes: " << error;
      }
      maxThreads = std::max(maxThreads, quavix::test::ThreadCount());
      if (cycle == kWarmUp - 1) {
        PumpFor(300);
        fds = quavix::test::OpenDescriptors();
        fdsAtWarmUp = quavix::test::DescribeDescriptors();
        threads = quavix::test::ThreadCount();
        memory = quavix::test::ResidentKiB();
      }
    }
    PumpFor(500);
    EXPECT_LE(quavix::test::ThreadCount(), threads + 2) << "threads left running by the cycles";
    EXPECT_LE(maxThreads, threads + 16) << "threads pile up during the session";
    const int fdGrowth = quavix::test::OpenDescriptors() - fds;
    const long memoryGrowth = quavix::test::ResidentKiB() - memory;
    // The cycles after the warm-up: a leak of even a few KiB per cycle adds
    // up beyond what the allocators' caches move.
    EXPECT_LE(fdGrowth, 2) << "descriptors left behind over " << kCycles - kWarmUp
                           << " cycles; after the warm-up:\n"
                           << fdsAtWarmUp << "now:\n"
                           << quavix::test::DescribeDescriptors();
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(memoryGrowth, 24 * 1024) << "KiB kept over " << kCycles - kWarmUp << " cycles";
#else
    // The address sanitizer keeps freed memory in quarantine (up to 256 MiB),
    // so the resident size grows anyway; its leak check at exit stands in.
    (void)memoryGrowth;
#endif
    ExitProgram(dlg);
  });
}

}  // namespace
