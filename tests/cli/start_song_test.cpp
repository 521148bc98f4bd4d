// `vorlinta SONG`: the main window, headless, opens the song named on the
// command line as Open would, and the desktop entry hands the file over.
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/options.h"
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

class StartSongTest : public MainWindowFixture {};

TEST_F(StartSongTest, TheSongOpensAsIfChosenWithOpen) {
  const std::string song = env_->root + "/Frère Jacques.mid";
  fs::copy_file(std::string(QUAVIX_SOURCE_DIR) + "/help/FrereJacques.mid", song);
  const char *argv[] = {"vorlinta", song.c_str()};
  CommandLine cl = ParseCommandLine(2, argv);
  ASSERT_EQ(cl.action, CommandLineAction::OpenWindow);
  app_->SetStartSong(cl.startSong);
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_TRUE(PumpUntil([&] { return g_pPlayer != nullptr; }, 20000));
    EXPECT_EQ(WindowText(h).rfind("Frère Jacques.mid   00:00:", 0), 0u) << WindowText(h);
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), music_ + "Frère Jacques.wma");
    EXPECT_TRUE(Enabled(h, IDC_CONVERT));
    EXPECT_STREQ(dlg.m_szMidiPath, song.c_str());
    EXPECT_TRUE(fileDialogs_.empty()) << "no open dialog";
    EXPECT_TRUE(boxes_.empty());
    ExitProgram(dlg);
  });
  EXPECT_EQ(app_->TakeStartSong(), "") << "the song is opened once";
}

TEST_F(StartSongTest, ABadSongGetsOpensErrorBoxAndAnEmptyWindow) {
  const std::string bad = env_->root + "/not a song.mid";
  std::ofstream(bad) << "garbage";
  app_->SetStartSong(bad);
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 20000));
    EXPECT_EQ(boxes_.front().text,
              "Cannot open the file and get the total time. \nOr the file May be corrupt.");
    EXPECT_EQ(boxes_.front().caption, "Error");
    EXPECT_EQ(g_pPlayer, nullptr);
    EXPECT_FALSE(Enabled(h, IDC_CONVERT));
    EXPECT_EQ(dlg.m_szMidiPath[0], 0);
    ExitProgram(dlg);
  });
}

TEST(DesktopEntry, HandsTheChosenFileToTheProgram) {
  std::ifstream in(std::string(QUAVIX_SOURCE_DIR) + "/app/quavix.desktop");
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_NE(s.str().find("\nExec=vorlinta %f\n"), std::string::npos) << s.str();
  EXPECT_NE(s.str().find("MimeType=audio/midi;"), std::string::npos);
}

}  // namespace
