// Output paths that cannot be written: each is refused or stopped with a
// message, the song is never touched, nothing is left behind that claims to
// be a whole WMA, and the window converts again afterwards.
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/robustness/robust_support.h"

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

class OutputPathTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    song_ = env_->root + "/song.mid";
    WriteWholeFile(song_, MakeType1Song(480, {{0, 500000}}, {{0, 480 * 20, 60}}));  // 10 s
    songBytes_ = ReadWholeFile(song_);
  }

  // Types `output`, clicks Convert, lets a run (if one starts) go on for
  // `runMs`, then stops it. Returns the message boxes that came up.
  std::vector<UiRequest> ConvertTo(CConverterDlg &dlg, const std::string &output, int runMs = 800) {
    boxes_.clear();
    TypeInto(dlg.m_hWnd, IDC_OUTPUT_PATH, output);
    Click(dlg.m_hWnd, IDC_CONVERT);
    PumpUntil([&] { return !boxes_.empty() || !dlg.m_bConverting; }, runMs);
    if (dlg.m_bConverting) Click(dlg.m_hWnd, IDC_STOP);
    PumpFor(100);  // a stop posted by a failed start
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_STATUS), "Status : Ready");
    EXPECT_EQ(ReadWholeFile(song_), songBytes_) << "the song is untouched";
    return boxes_;
  }

  // After a refusal the window still converts into a good path.
  void ConvertsAgain(CConverterDlg &dlg) {
    std::string good = music_ + "after.wma";
    boxes_.clear();
    TypeInto(dlg.m_hWnd, IDC_OUTPUT_PATH, good);
    Click(dlg.m_hWnd, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    PumpFor(1500);
    Click(dlg.m_hWnd, IDC_STOP);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    std::string error;
    EXPECT_GT(DecodedSeconds(good, &error), 0.5) << error;
  }

  std::string song_, songBytes_;
};

TEST_F(OutputPathTest, FoldersThatAreMissingOrAFileOrTheSongAreRefused) {
  std::string folderAsPath = env_->root + "/a folder.wma";
  fs::create_directory(folderAsPath);
  std::string fileAsFolder = env_->root + "/plain";
  WriteWholeFile(fileAsFolder, "not a folder");
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song_);
    ASSERT_TRUE(boxes_.empty());
    struct Case {
      std::string name, path;
    } cases[] = {
        {"missing folder", env_->root + "/no such folder/out.wma"},
        {"path is a folder", folderAsPath},
        {"a file used as a folder", fileAsFolder + "/out.wma"},
        {"the song through a detour", env_->root + "/./sub/../song.mid"},
        {"the song with a doubled slash", env_->root + "//song.mid"},
    };
    fs::create_directory(env_->root + "/sub");
    for (const Case &c : cases) {
      SCOPED_TRACE(c.name);
      auto shown = ConvertTo(dlg, c.path);
      ASSERT_EQ(shown.size(), 1u) << "exactly one clear message";
      EXPECT_FALSE(shown[0].text.empty());
    }
    EXPECT_TRUE(fs::is_directory(folderAsPath)) << "the folder is left as it was";
    EXPECT_TRUE(fs::is_empty(folderAsPath));
    EXPECT_EQ(ReadWholeFile(fileAsFolder), "not a folder");
    EXPECT_FALSE(fs::exists(env_->root + "/no such folder"));
    ConvertsAgain(dlg);
    ExitProgram(dlg);
  });
}

TEST_F(OutputPathTest, APathLongerThanTheBuffersIsRefusedUncut) {
  // 300 bytes: longer than the hand-off's 256 and than MAX_PATH's 260.
  std::string deep = env_->root + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
  fs::create_directories(deep);
  std::string longPath = deep + "/" + std::string(300 - deep.size() - 5, 'x') + ".wma";
  ASSERT_GE(longPath.size(), 300u);
  // What a cut path would name: it must not appear.
  std::string cut = longPath.substr(0, 255);
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song_);
    auto shown = ConvertTo(dlg, longPath);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].text.find("too long"), std::string::npos) << shown[0].text;
    EXPECT_TRUE(fs::is_empty(deep)) << "neither the whole nor a cut path was written";
    EXPECT_FALSE(fs::exists(cut));
    ConvertsAgain(dlg);
    ExitProgram(dlg);
  });
}

TEST_F(OutputPathTest, AReadOnlyFolderIsRefused) {
  if (!HavePrivateMounts()) GTEST_SKIP() << "needs a private mount namespace (root)";
  std::string folder = env_->root + "/read-only";
  ScopedTmpfs mount(folder, "size=1m,mode=0755");
  ASSERT_TRUE(mount.ok());
  WriteWholeFile(folder + "/old.wma", "an older file the user keeps");
  ASSERT_TRUE(mount.MakeReadOnly());
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song_);
    for (const std::string &target : {folder + "/new.wma", folder + "/old.wma"}) {
      SCOPED_TRACE(target);
      auto shown = ConvertTo(dlg, target);
      // The file that exists is asked about first (and agreed to).
      const size_t asked = target == folder + "/old.wma" ? 1 : 0;
      ASSERT_EQ(shown.size(), 1u + asked);
      if (asked) {
        EXPECT_NE(shown[0].text.find("already exists"), std::string::npos);
      }
      EXPECT_FALSE(shown.back().text.empty());
    }
    EXPECT_FALSE(fs::exists(folder + "/new.wma"));
    EXPECT_EQ(ReadWholeFile(folder + "/old.wma"), "an older file the user keeps");
    ConvertsAgain(dlg);
    ExitProgram(dlg);
  });
}

// A disk that fills up during the run: the run ends with a message rather
// than recording on into nothing, and what is left is either gone or a file
// that decodes.
TEST_F(OutputPathTest, ADiskThatFillsUpStopsTheRunWithAMessage) {
  if (!HavePrivateMounts()) GTEST_SKIP() << "needs a private mount namespace (root)";
  std::string folder = env_->root + "/tiny";
  ScopedTmpfs mount(folder, "size=64k,mode=0755");
  ASSERT_TRUE(mount.ok());
  std::string wma = folder + "/full.wma";
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song_);
    boxes_.clear();
    TypeInto(dlg.m_hWnd, IDC_OUTPUT_PATH, wma);
    Click(dlg.m_hWnd, IDC_CONVERT);
    // 64 KiB hold about 4 s at 128 kbit/s.
    bool told = PumpUntil([&] { return !boxes_.empty(); }, 8000);
    bool stoppedByItself = !dlg.m_bConverting;
    if (told) {
      EXPECT_NE(boxes_[0].text.find("disk may be full"), std::string::npos) << boxes_[0].text;
    }
    if (dlg.m_bConverting) Click(dlg.m_hWnd, IDC_STOP);
    EXPECT_EQ(ReadWholeFile(song_), songBytes_);
    if (fs::exists(wma)) {
      std::string error;
      EXPECT_GT(DecodedSeconds(wma, &error), 1.0) << "what was written still plays: " << error;
    }
    ConvertsAgain(dlg);
    ExitProgram(dlg);
    EXPECT_TRUE(told) << "the person is told that the run stopped";
    EXPECT_TRUE(stoppedByItself) << "the run ends instead of recording on into nothing";
  });
}

}  // namespace
