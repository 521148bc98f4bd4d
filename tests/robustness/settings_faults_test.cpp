// Settings files that are damaged, unreadable, read-only or locked, and a
// SoundFont that is missing or damaged: the program starts, works with
// defaults or the last good values, and never leaves a half-written file.
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/robustness/robust_support.h"

#include "platform/reg/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
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

class SettingsFaultTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    folder_ = env_->config + "/quavix";
    file_ = folder_ + "/registry";
    song_ = env_->root + "/song.mid";
    WriteWholeFile(song_, MakeType1Song(480, {{0, 500000}}, {{0, 480 * 8, 60}}));
  }

  // One session: the window comes up, converts for a moment, and exits.
  void ConvertBriefly(CConverterDlg &dlg, const std::string &wma) {
    OpenSong(dlg, song_);
    TypeInto(dlg.m_hWnd, IDC_OUTPUT_PATH, wma);
    Click(dlg.m_hWnd, IDC_CONVERT);
    PumpFor(1000);
    if (dlg.m_bConverting) Click(dlg.m_hWnd, IDC_STOP);
  }

  // A whole settings file as the program writes it, from one clean session.
  std::string GoodFile() {
    RunProgram([&](CConverterDlg &dlg) { ExitProgram(dlg); });
    std::string error;
    EXPECT_TRUE(RegistryFileIsWhole(file_, &error)) << error;
    return ReadWholeFile(file_);
  }

  std::vector<fs::path> SetAside() {
    std::vector<fs::path> r;
    for (auto &e : fs::directory_iterator(folder_))
      if (e.path().filename().string().rfind("registry.damaged-", 0) == 0) r.push_back(e.path());
    return r;
  }

  std::string folder_, file_, song_;
};

TEST_F(SettingsFaultTest, DamagedFilesAreSetAsideAndReplacedByWholeOnes) {
  std::string good = GoodFile();
  struct Case {
    std::string name, bytes;
  } cases[] = {
      {"garbage", std::string("\x89PNG\r\n\x1a\n\0\0\xff\xfe garbage \x01\x02", 24)},
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"empty", ""},
      {"a huge line", std::string(9 * 1024 * 1024, 'x')},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (auto &e : fs::directory_iterator(folder_)) fs::remove(e.path());
    WriteWholeFile(file_, c.bytes);
    std::string wma = music_ + "damaged.wma";
    RunProgram([&](CConverterDlg &dlg) {
      ConvertBriefly(dlg, wma);
      ExitProgram(dlg);
    });
    std::string error;
    EXPECT_TRUE(RegistryFileIsWhole(file_, &error)) << error;
    EXPECT_GT(DecodedSeconds(wma, &error), 0.3) << error;
    if (!c.bytes.empty()) {
      auto aside = SetAside();
      ASSERT_EQ(aside.size(), 1u) << "the damaged file is kept for the user";
      EXPECT_EQ(ReadWholeFile(aside[0].string()), c.bytes);
    }
  }
}

// A settings "file" that is a pipe or a folder: reading it must not block or
// crash, and nothing is written through it.
TEST_F(SettingsFaultTest, ASettingsFileThatIsAPipeOrAFolderGivesDefaults) {
  for (const std::string kind : {"pipe", "folder"}) {
    SCOPED_TRACE(kind);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (kind == "pipe")
      ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
    else
      fs::create_directory(file_);
    RunProgram([&](CConverterDlg &dlg) {
      EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_STATUS), "Status : Ready");
      OpenSong(dlg, song_);
      EXPECT_TRUE(Enabled(dlg.m_hWnd, IDC_CONVERT));
      ExitProgram(dlg);
    });
    if (kind == "pipe")
      EXPECT_TRUE(fs::is_fifo(file_));
    else
      EXPECT_TRUE(fs::is_directory(file_) && fs::is_empty(file_));
  }
}

// A read-only settings folder: the last good values are read, the file
// stays byte for byte as it was, and a run that cannot hand over its output
// path does not write into the path of an earlier run.
TEST_F(SettingsFaultTest, AReadOnlySettingsFolderKeepsTheLastGoodFile) {
  if (!HavePrivateMounts()) GTEST_SKIP() << "needs a private mount namespace (root)";
  std::string earlier = music_ + "earlier.wma";
  std::string later = music_ + "later.wma";
  // An earlier session converted into `earlier`; its hand-off stays behind.
  RunProgram([&](CConverterDlg &dlg) {
    ConvertBriefly(dlg, earlier);
    ExitProgram(dlg);
  });
  std::string good = ReadWholeFile(file_);
  std::string earlierBytes = ReadWholeFile(earlier);
  ASSERT_FALSE(earlierBytes.empty());
  ScopedTmpfs mount(folder_, "size=1m,mode=0700");
  ASSERT_TRUE(mount.ok());
  WriteWholeFile(file_, good);
  ASSERT_TRUE(mount.MakeReadOnly());
  bool handOffMixedUp = false;
  RunProgram([&](CConverterDlg &dlg) {
    ConvertBriefly(dlg, later);
    PumpFor(200);
    handOffMixedUp = ReadWholeFile(earlier) != earlierBytes;
    EXPECT_EQ(dlg.m_bConverting, 0);
    ExitProgram(dlg);
  });
  EXPECT_EQ(ReadWholeFile(file_), good) << "the settings file is untouched";
  EXPECT_FALSE(handOffMixedUp) << "the writer recorded into the previous run's path";
  EXPECT_EQ(ReadWholeFile(earlier), earlierBytes);
}

// Another copy holding the settings lock: a short hold is waited out; a
// holder that never lets go does not hang the program.
TEST_F(SettingsFaultTest, ALockHeldByAnotherCopyNeverHangsTheProgram) {
  GoodFile();
  std::string lockPath = folder_ + "/registry.lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  std::thread release([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::flock(fd, LOCK_UN);
  });
  std::string wma = music_ + "locked.wma";
  RunProgram([&](CConverterDlg &dlg) {
    ConvertBriefly(dlg, wma);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    ExitProgram(dlg);
  });
  release.join();
  std::string error;
  EXPECT_GT(DecodedSeconds(wma, &error), 0.3) << "the short hold was waited out: " << error;

  // Held for good: a settings write gives up instead of waiting forever.
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  std::string before = ReadWholeFile(file_);
  auto start = std::chrono::steady_clock::now();
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyA(HKEY_CURRENT_USER, "Software\\robust", &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  EXPECT_NE(rc, ERROR_SUCCESS);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "it gave up";
  EXPECT_EQ(ReadWholeFile(file_), before);
  ::close(fd);
}

// The SoundFont gone or damaged (hidden behind a private empty folder): the
// user is told what is missing and which package brings it.
TEST_F(SettingsFaultTest, AMissingOrDamagedSoundFontIsNamedWithItsPackage) {
  if (!HavePrivateMounts()) GTEST_SKIP() << "needs a private mount namespace (root)";
  const std::string sf2 = "/usr/share/sounds/sf2";
  for (const std::string kind : {"missing", "damaged"}) {
    SCOPED_TRACE(kind);
    ScopedTmpfs hide(sf2, "size=1m,mode=0755");
    ASSERT_TRUE(hide.ok());
    if (kind == "damaged")
      WriteWholeFile(sf2 + "/default-GM.sf2", "RIFF\x10\0\0\0sfbkLIST cut short");
    std::string wma = music_ + "nosound.wma";
    std::vector<UiRequest> atOpen, atConvert;
    RunProgram([&](CConverterDlg &dlg) {
      OpenSong(dlg, song_);
      atOpen = boxes_;
      boxes_.clear();
      Click(dlg.m_hWnd, IDC_CONVERT);
      PumpUntil([&] { return !boxes_.empty(); }, 3000);
      atConvert = boxes_;
      if (dlg.m_bConverting) Click(dlg.m_hWnd, IDC_STOP);
      EXPECT_EQ(dlg.m_bConverting, 0);
      ExitProgram(dlg);
    });
    auto names = [](const std::vector<UiRequest> &b) {
      for (auto &r : b)
        if (r.text.find("fluid-soundfont-gm") != std::string::npos) return true;
      return false;
    };
    EXPECT_TRUE(fs::is_regular_file(song_));
    EXPECT_TRUE(names(atOpen)) << "told when the song is opened, before any run";
  }
}

// The SoundFont goes after the song was opened (a package removed meanwhile):
// the song cannot sound, so the run ends at once with a message naming what
// is missing, instead of recording silence under "Converting" until Stop.
TEST_F(SettingsFaultTest, ASoundFontGoneAfterOpenEndsTheRunWithAMessage) {
  if (!HavePrivateMounts()) GTEST_SKIP() << "needs a private mount namespace (root)";
  const std::string wma = music_ + "nosound-late.wma";
  RunProgram([&](CConverterDlg &dlg) {
    OpenSong(dlg, song_);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_TRUE(Enabled(dlg.m_hWnd, IDC_CONVERT));
    ScopedTmpfs hide("/usr/share/sounds/sf2", "size=1m,mode=0755");
    ASSERT_TRUE(hide.ok());
    TypeInto(dlg.m_hWnd, IDC_OUTPUT_PATH, wma);
    Click(dlg.m_hWnd, IDC_CONVERT);
    EXPECT_TRUE(PumpUntil([&] { return !boxes_.empty() && dlg.m_bConverting == 0; }, 10000))
        << "the run went on without its song";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_NE(boxes_[0].text.find("the song could not be played"), std::string::npos)
        << boxes_[0].text;
    EXPECT_NE(boxes_[0].text.find("fluid-soundfont-gm"), std::string::npos) << boxes_[0].text;
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_STATUS), "Status : Ready");
    EXPECT_TRUE(Enabled(dlg.m_hWnd, IDC_CONVERT));
    ExitProgram(dlg);
  });
}

}  // namespace
