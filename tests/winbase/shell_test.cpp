#include "platform/win/files.h"
#include "platform/win/lasterror.h"
#include "platform/win/shell.h"
#include "tests/winbase/test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using quavix::test::ReadWholeFile;
using quavix::test::ScopedEnv;
using quavix::test::TempDir;
using quavix::test::WaitForFile;
using quavix::test::WriteWholeFile;

namespace {

std::string MusicFolder(HRESULT *hr) {
  char buf[MAX_PATH];
  *hr = SHGetFolderPathA(nullptr, CSIDL_MYMUSIC, nullptr, 0, buf);
  return buf;
}

TEST(MusicFolder, FollowsUserDirsAndFailsWhenMissing) {
  TempDir dir;
  std::string home = dir.File("home"), config = dir.File("config");
  fs::create_directories(home);
  fs::create_directories(config);
  ScopedEnv h("HOME", home);
  ScopedEnv c("XDG_CONFIG_HOME", config);
  HRESULT hr;

  // No user-dirs.dirs: $HOME/Music, which does not exist yet.
  EXPECT_EQ(MusicFolder(&hr), "");
  EXPECT_EQ(hr, E_FAIL);
  fs::create_directories(home + "/Music");
  EXPECT_EQ(MusicFolder(&hr), home + "/Music");
  EXPECT_EQ(hr, S_OK);

  WriteWholeFile(config + "/user-dirs.dirs",
                 "# written by xdg-user-dirs-update\n"
                 "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                 "XDG_MUSIC_DIR=\"$HOME/Musik/\"\n");
  EXPECT_EQ(MusicFolder(&hr), "");  // named but missing
  EXPECT_EQ(hr, E_FAIL);
  fs::create_directories(home + "/Musik");
  EXPECT_EQ(MusicFolder(&hr), home + "/Musik");
  EXPECT_EQ(hr, S_OK);

  std::string odd = dir.File("my \"tunes\" $x");
  fs::create_directories(odd);
  WriteWholeFile(config + "/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Musik\"\n  XDG_MUSIC_DIR=\"" +
                                                 dir.path() + "/my \\\"tunes\\\" \\$x\"\n");
  EXPECT_EQ(MusicFolder(&hr), odd);
  EXPECT_EQ(hr, S_OK);

  // Too long for MAX_PATH: refused rather than cut.
  std::string deep = home + "/" + std::string(200, 'd') + "/" + std::string(100, 'e');
  fs::create_directories(deep);
  WriteWholeFile(config + "/user-dirs.dirs", "XDG_MUSIC_DIR=\"" + deep + "\"\n");
  EXPECT_EQ(MusicFolder(&hr), "");
  EXPECT_EQ(hr, E_FAIL);

  char buf[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathA(nullptr, 5 /* CSIDL_PERSONAL */, nullptr, 0, buf), E_INVALIDARG);
}

// A stand-in for the desktop opener and the media player: records its
// arguments, one per line of a NUL-separated file, and does nothing else.
class StartProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = dir_.File("bin");
    work_ = dir_.File("work");
    fs::create_directories(bin_);
    fs::create_directories(work_);
    for (const char *name : {"xdg-open", "player"}) {
      std::string script = bin_ + "/" + name;
      WriteWholeFile(script,
                     "#!/bin/sh\n"
                     "printf '%s\\0' \"$0\" \"$@\" > \"$QUAVIX_TEST_RECORD.part\"\n"
                     "mv \"$QUAVIX_TEST_RECORD.part\" \"$QUAVIX_TEST_RECORD\"\n");
      chmod(script.c_str(), 0755);
    }
    record_ = dir_.File("record");
    path_.emplace("PATH", bin_ + ":/usr/bin:/bin");
    recordEnv_.emplace("QUAVIX_TEST_RECORD", record_);
    oldCwd_ = fs::current_path();
    fs::current_path(work_);
  }
  void TearDown() override { fs::current_path(oldCwd_); }

  // The arguments the stand-in received, its own path first.
  std::vector<std::string> Recorded() {
    std::vector<std::string> args;
    if (!WaitForFile(record_)) return args;
    std::string text = ReadWholeFile(record_);
    size_t start = 0;
    for (size_t p; (p = text.find('\0', start)) != std::string::npos; start = p + 1)
      args.push_back(text.substr(start, p - start));
    fs::remove(record_);
    return args;
  }

  // A name full of characters a shell would act on.
  const std::string evil_ = "My $(touch x) `touch y` \"q\" 'q' ; touch z | & * ~  two  blanks.wma";
  TempDir dir_;
  std::string bin_, work_, record_;
  std::optional<ScopedEnv> path_, recordEnv_;
  fs::path oldCwd_;
};

TEST_F(StartProgramTest, HelpCommandLineOpensTheInstalledPage) {
  UINT rc = WinExec("hh.exe /opt/quavix dir/help.chm::/Introduction.htm", 5);
  EXPECT_GT(rc, 31u);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{bin_ + "/xdg-open",
                                                  "/opt/quavix dir/help/Introduction.htm"}));
}

TEST_F(StartProgramTest, HelpFallsBackToTheInstalledDataFolder) {
  // Installed: the program in <prefix>/bin, its help in <prefix>/share/vorlinta/help.
  const std::string prefix = work_ + "/prefix";
  fs::create_directories(prefix + "/bin");
  fs::create_directories(prefix + "/share/vorlinta/help");
  WriteWholeFile(prefix + "/share/vorlinta/help/Introduction.htm", "<html></html>");
  UINT rc = WinExec(("hh.exe " + prefix + "/bin/help.chm::/Introduction.htm").c_str(), 5);
  EXPECT_GT(rc, 31u);
  EXPECT_EQ(Recorded(),
            (std::vector<std::string>{bin_ + "/xdg-open",
                                      prefix + "/bin/../share/vorlinta/help/Introduction.htm"}));
}

TEST_F(StartProgramTest, CommandLineIsProgramAndOneArgumentAndRunsNoShell) {
  const std::string output = work_ + "/" + evil_;
  UINT rc = WinExec((bin_ + "/player " + output).c_str(), 5);
  EXPECT_GT(rc, 31u);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{bin_ + "/player", output}));

  // A bare program name is looked up on PATH.
  rc = WinExec("player", 5);
  EXPECT_GT(rc, 31u);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{bin_ + "/player"}));

  EXPECT_EQ(WinExec("no-such-program-here /x", 5), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  for (const char *planted : {"x", "y", "z"})
    EXPECT_FALSE(fs::exists(work_ + "/" + planted)) << planted;

  // The started programs were not left as our zombies.
  int status;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(StartProgramTest, ShellOpenPassesTheFileAsOneArgument) {
  const std::string file = work_ + "/" + evil_;
  WriteWholeFile(file, "not really audio");
  HINSTANCE rc = ShellExecuteA(nullptr, "open", file.c_str(), nullptr, nullptr, 1);
  EXPECT_GT(reinterpret_cast<INT_PTR>(rc), 32);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{bin_ + "/xdg-open", file}));

  // A relative name starting with '-' is not taken for an option.
  WriteWholeFile(work_ + "/-n.wma", "");
  rc = ShellExecuteA(nullptr, nullptr, "-n.wma", nullptr, work_.c_str(), 1);
  EXPECT_GT(reinterpret_cast<INT_PTR>(rc), 32);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{bin_ + "/xdg-open", "./-n.wma"}));

  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteA(
                nullptr, "open", (work_ + "/missing.wma").c_str(), nullptr, nullptr, 1)),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "print", file.c_str(), nullptr, nullptr, 1)),
      SE_ERR_NOASSOC);
  ScopedEnv noOpener("PATH", dir_.File("empty"));
  EXPECT_LE(
      reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", file.c_str(), nullptr, nullptr, 1)),
      32);
  for (const char *planted : {"x", "y", "z"})
    EXPECT_FALSE(fs::exists(work_ + "/" + planted)) << planted;
}

TEST(DeleteFile, RemovesLinksNotTheirTargets) {
  TempDir dir;
  std::string target = dir.File("target.wma"), link = dir.File("link.wma");
  WriteWholeFile(target, "keep me");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_TRUE(DeleteFileA(link.c_str()));
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(ReadWholeFile(target), "keep me");

  EXPECT_TRUE(DeleteFileA(target.c_str()));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(DeleteFileA(target.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA(dir.path().c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

}  // namespace
