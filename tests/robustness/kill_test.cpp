// Kills in the middle of a run: of the sound server (the program goes on and
// finds the devices again once the server is back) and of the program itself
// (what it wrote plays up to the kill, the settings file is whole); and two
// copies of the program at once.
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/robustness/robust_support.h"
#include "tests/support/test_main.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
using quavix::test::ChildProcess;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// ---- the child: the real window, converting one song -----------------------
//
// QUAVIX_ROBUST_SONG is converted into QUAVIX_ROBUST_WMA; once Convert was
// clicked the file QUAVIX_ROBUST_MARK appears. With QUAVIX_ROBUST_RUN_MS the
// run is stopped after that long and the program exits (0 when the run went
// without a message); without it the child converts until it is killed.
int ChildMain(int, char **) {
  const char *song = std::getenv("QUAVIX_ROBUST_SONG");
  const char *wma = std::getenv("QUAVIX_ROBUST_WMA");
  const char *mark = std::getenv("QUAVIX_ROBUST_MARK");
  const char *runMs = std::getenv("QUAVIX_ROBUST_RUN_MS");
  if (!song || !wma || !mark) return 2;
  int result = 3;
  CConverterApp *app = ConverterApp();
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  app->SetNamesFromExecutable(exe);
  std::vector<std::string> messages;
  bool opened = false;
  SetUiSeamForTest([&](const UiRequest &r) {
    UiAnswer a;
    if (r.kind == UiRequestKind::MessageBox) {
      messages.push_back(r.text);
      // A question (replace the output?) is answered as a person going on would.
      a.button = (r.type & 0xF) == MB_YESNO ? IDYES : IDOK;
    } else if (r.kind == UiRequestKind::OpenFile) {
      a.path = song;
    } else if (r.kind == UiRequestKind::SaveFile) {
      a.cancel = true;
    } else if (r.kind == UiRequestKind::ModalDialog && r.dialogId == IDD_CONVERTER_DIALOG &&
               !opened) {
      opened = true;
      auto &dlg = *static_cast<CConverterDlg *>(app->m_pMainWnd);
      HWND h = dlg.m_hWnd;
      auto click = [&](int id) {
        QTest::mouseClick(quavix::win::WidgetOf(GetDlgItem(h, id)), Qt::LeftButton);
      };
      click(IDC_OPEN);
      TypeInto(h, IDC_OUTPUT_PATH, wma);
      // The clock is the system's monotonic one, the same in the parent: it
      // learns when recording could have begun and when it surely had.
      auto now = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
      const auto before = now();
      click(IDC_CONVERT);
      const auto after = now();
      std::ofstream(mark + std::string(".tmp"))
          << (dlg.m_bConverting ? "converting " : "not-converting ") << before << " " << after;
      std::rename((mark + std::string(".tmp")).c_str(), mark);
      if (!runMs) {
        for (;;) PumpFor(1000);
      }
      PumpFor(std::atoi(runMs));
      bool wasConverting = dlg.m_bConverting != 0;
      click(IDC_STOP);
      result = wasConverting && messages.empty() ? 0 : 4;
      for (auto &m : messages) fprintf(stderr, "message: %s\n", m.c_str());
      click(IDC_EXIT);
    }
    return a;
  });
  app->InitInstance();
  return result;
}
const bool registered = quavix::test::RegisterChildEntry(&ChildMain);

std::string SelfExe() {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  return exe;
}

bool WaitForFile(const std::string &path, int timeoutMs) {
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    if (fs::exists(path)) return true;
    usleep(50 * 1000);
  }
  return false;
}

// The child's environment: ours (private home, settings, sound server) and
// what it is to do.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string> &extra) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) env.push_back(*e);
  env.push_back("QUAVIX_TEST_CHILD=1");
  for (auto &[k, v] : extra) env.push_back(k + "=" + v);
  return env;
}

class KillTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    song_ = env_->root + "/long song.mid";
    WriteWholeFile(song_, MakeType1Song(480, {{0, 500000}},
                                        {{0, 480 * 60, 60}, {480 * 60, 480 * 60, 67}}));  // 60 s
  }
  std::string song_;
};

TEST_F(KillTest, AProgramKilledMidRunLeavesAWmaThatPlaysUpToTheKill) {
  ASSERT_TRUE(registered);
  std::string wma = music_ + "killed.wma", mark = env_->root + "/converting";
  ChildProcess child({SelfExe()},
                     ChildEnvironment({{"QUAVIX_ROBUST_SONG", song_},
                                       {"QUAVIX_ROBUST_WMA", wma},
                                       {"QUAVIX_ROBUST_MARK", mark}}),
                     env_->root + "/child.log");
  ASSERT_TRUE(child.running());
  ASSERT_TRUE(WaitForFile(mark, 60000)) << ReadWholeFile(env_->root + "/child.log");
  std::istringstream marked(ReadWholeFile(mark));
  std::string state;
  Clock::rep clickedAt = 0, returnedAt = 0;
  marked >> state >> clickedAt >> returnedAt;
  ASSERT_EQ(state, "converting") << ReadWholeFile(env_->root + "/child.log");
  usleep(4000 * 1000);
  ASSERT_EQ(::kill(child.pid(), SIGKILL), 0);
  const auto killed = Clock::now().time_since_epoch();
  child.Wait(10000);
  auto secondsSince = [&](Clock::rep t) {
    return std::chrono::duration<double>(killed - Clock::duration(t)).count();
  };

  std::string error;
  double seconds = DecodedSeconds(wma, &error);
  EXPECT_GT(seconds, secondsSince(returnedAt) - 1.0)
      << "the file plays to within a second of the kill: " << error;
  EXPECT_LE(seconds, secondsSince(clickedAt) + 0.5) << "no more than was recorded";
  std::string registry = env_->config + "/quavix/registry";
  EXPECT_TRUE(RegistryFileIsWhole(registry, &error)) << error;
  EXPECT_NE(ReadWholeFile(registry).find("killed.wma"), std::string::npos)
      << "the run's hand-off is there";

  // The next start finds everything in order and converts again.
  std::string after = music_ + "after kill.wma", mark2 = env_->root + "/again";
  ChildProcess again({SelfExe()},
                     ChildEnvironment({{"QUAVIX_ROBUST_SONG", song_},
                                       {"QUAVIX_ROBUST_WMA", after},
                                       {"QUAVIX_ROBUST_MARK", mark2},
                                       {"QUAVIX_ROBUST_RUN_MS", "1500"}}),
                     env_->root + "/again.log");
  EXPECT_EQ(again.Wait(60000), 0) << ReadWholeFile(env_->root + "/again.log");
  EXPECT_GT(DecodedSeconds(after, &error), 0.8) << error;
  EXPECT_TRUE(RegistryFileIsWhole(registry, &error)) << error;
}

TEST_F(KillTest, TwoCopiesAtOnceBothConvertAndKeepTheSettingsWhole) {
  std::string wmaA = music_ + "copy a.wma", wmaB = music_ + "copy b.wma";
  std::string songB = env_->root + "/other song.mid";
  WriteWholeFile(songB, MakeType1Song(240, {{0, 400000}}, {{0, 240 * 30, 72}}, 40));
  ChildProcess a({SelfExe()},
                 ChildEnvironment({{"QUAVIX_ROBUST_SONG", song_},
                                   {"QUAVIX_ROBUST_WMA", wmaA},
                                   {"QUAVIX_ROBUST_MARK", env_->root + "/a"},
                                   {"QUAVIX_ROBUST_RUN_MS", "4000"}}),
                 env_->root + "/a.log");
  // The second copy starts while the first is recording.
  ASSERT_TRUE(WaitForFile(env_->root + "/a", 60000)) << ReadWholeFile(env_->root + "/a.log");
  ChildProcess b({SelfExe()},
                 ChildEnvironment({{"QUAVIX_ROBUST_SONG", songB},
                                   {"QUAVIX_ROBUST_WMA", wmaB},
                                   {"QUAVIX_ROBUST_MARK", env_->root + "/b"},
                                   {"QUAVIX_ROBUST_RUN_MS", "2000"}}),
                 env_->root + "/b.log");
  EXPECT_EQ(a.Wait(60000), 0) << ReadWholeFile(env_->root + "/a.log");
  EXPECT_EQ(b.Wait(60000), 0) << ReadWholeFile(env_->root + "/b.log");
  std::string error;
  EXPECT_GT(DecodedSeconds(wmaA, &error), 3.0) << error;
  EXPECT_GT(DecodedSeconds(wmaB, &error), 1.5) << error;
  std::string registry = env_->config + "/quavix/registry";
  EXPECT_TRUE(RegistryFileIsWhole(registry, &error)) << error;
  for (auto &e : fs::directory_iterator(env_->config + "/quavix")) {
    std::string name = e.path().filename().string();
    EXPECT_EQ(name.find("damaged"), std::string::npos) << name;
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

// The sound server's process, found by the configuration file it was given.
pid_t ServerPid(const std::string &folder) {
  pid_t found = -1;
  DIR *d = opendir("/proc");
  if (!d) return -1;
  while (dirent *e = readdir(d)) {
    pid_t pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::string cmdline = ReadWholeFile("/proc/" + std::string(e->d_name) + "/cmdline");
    if (cmdline.find(folder + "/default.pa") != std::string::npos) found = pid;
  }
  closedir(d);
  return found;
}

TEST_F(KillTest, TheSoundServerKilledMidRunStopsTheRunAndItsReturnIsFound) {
  std::string wma = music_ + "server gone.wma";
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, song_);
    TypeInto(h, IDC_OUTPUT_PATH, wma);
    Click(h, IDC_CONVERT);
    ASSERT_EQ(dlg.m_bConverting, 1);
    PumpFor(3000);
    pid_t server = ServerPid(pulse_.folder());
    ASSERT_GT(server, 0);
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    // The streams' own errors and the device's loss race each other; either
    // may be told first, but the loss is told and the disk is not blamed.
    auto told = [&](const char *words) {
      for (const auto &box : boxes_)
        if (box.text.find(words) != std::string::npos) return true;
      return false;
    };
    ASSERT_TRUE(PumpUntil([&] { return told("removed"); }, 15000)) << "the user is told";
    EXPECT_FALSE(told("disk")) << boxes_[0].text;
    EXPECT_TRUE(PumpUntil([&] { return dlg.m_bConverting == 0; }, 5000)) << "the run stopped";
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    std::string error;
    EXPECT_GT(DecodedSeconds(wma, &error), 2.0) << "what was recorded plays: " << error;

    // Convert without a server is refused with a message, not a hang.
    boxes_.clear();
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(boxes_.size(), 1u);

    // The server comes back: the devices are found again without a restart.
    // (The line hint that a device's return brings up was silenced earlier.)
    dlg.m_bOnlyOnce = 1;
    pulse_.Stop();
    std::string startError;
    ASSERT_TRUE(pulse_.Start(Sinks(), &startError)) << startError;
    boxes_.clear();
    ASSERT_TRUE(PumpUntil([&] { return !boxes_.empty(); }, 15000)) << "the return is noticed";
    EXPECT_NE(boxes_[0].text.find("reattached"), std::string::npos) << boxes_[0].text;
    boxes_.clear();
    std::string again = music_ + "server back.wma";
    TypeInto(h, IDC_OUTPUT_PATH, again);
    Click(h, IDC_CONVERT);
    EXPECT_EQ(dlg.m_bConverting, 1);
    PumpFor(1500);
    Click(h, IDC_STOP);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    EXPECT_GT(DecodedSeconds(again, &error), 0.8) << error;
    ExitProgram(dlg);
  });
}

}  // namespace
