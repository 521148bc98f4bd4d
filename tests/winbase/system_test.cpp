#include "platform/win/lasterror.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "tests/winbase/test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using quavix::test::ScopedEnv;
using quavix::test::TempDir;

namespace {

std::string TempPath() {
  char buf[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, buf);
  if (n == 0 || n >= MAX_PATH) return "";
  EXPECT_EQ(n, std::strlen(buf));
  return buf;
}

// The recording's temporary WAV grows by about 10 MB a minute: it goes to
// the user's cache folder on disk, never to the runtime folder (memory).
TEST(TempPath, UsesAPrivateFolderInTheUsersCache) {
  TempDir dir;
  std::string runtime = dir.File("runtime");
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  ScopedEnv rt("XDG_RUNTIME_DIR", runtime);
  std::string cache = dir.File("cache");
  {
    ScopedEnv xdg("XDG_CACHE_HOME", cache + "//");
    EXPECT_EQ(TempPath(), cache + "/quavix/");
    struct stat st;
    ASSERT_EQ(lstat((cache + "/quavix").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(lstat(cache.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a cache folder made for us is private too";

    // Win32 size rules: too small a buffer gets the size needed, terminator included.
    const size_t length = cache.size() + std::string("/quavix/").size();
    char small[4] = "xyz";
    EXPECT_EQ(GetTempPathA(sizeof small, small), length + 1);
    EXPECT_STREQ(small, "xyz");
    EXPECT_EQ(GetTempPathA(0, nullptr), length + 1);
  }
  // Without XDG_CACHE_HOME (or with a relative one): ~/.cache.
  std::string home = dir.File("home");
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  ScopedEnv h("HOME", home);
  for (const char *xdg : {static_cast<const char *>(nullptr), "relative/cache"}) {
    ScopedEnv x("XDG_CACHE_HOME", xdg);
    EXPECT_EQ(TempPath(), home + "/.cache/quavix/");
  }
}

TEST(TempPath, RefusesCacheFoldersThatAreLinksOrOpenToOthers) {
  TempDir dir;
  std::string cache = dir.File("cache");
  ASSERT_EQ(mkdir(cache.c_str(), 0700), 0);
  ScopedEnv xdg("XDG_CACHE_HOME", cache);
  std::string fallbackBase = dir.File("tmp");
  ASSERT_EQ(mkdir(fallbackBase.c_str(), 0755), 0);
  ScopedEnv tmp("TMPDIR", fallbackBase);
  const std::string fallback = fallbackBase + "/quavix-" + std::to_string(geteuid()) + "/";
  const std::string mine = cache + "/quavix";

  // A link planted where our folder belongs is not followed.
  std::string elsewhere = dir.File("elsewhere");
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), mine.c_str()), 0);
  EXPECT_EQ(TempPath(), fallback);
  ASSERT_EQ(unlink(mine.c_str()), 0);

  // A folder others may enter.
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  ASSERT_EQ(chmod(mine.c_str(), 0777), 0);
  EXPECT_EQ(TempPath(), fallback);
  ASSERT_EQ(chmod(mine.c_str(), 0700), 0);
  EXPECT_EQ(TempPath(), mine + "/");

  // A folder that belongs to someone else (only root can make one here).
  if (geteuid() == 0) {
    ASSERT_EQ(chown(mine.c_str(), 4242, 4242), 0);
    EXPECT_EQ(TempPath(), fallback);
  }
  struct stat st;
  ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(TempPath, RefusesAPlantedFallbackFolder) {
  TempDir dir;
  // No cache folder to be had: the fallback under $TMPDIR is used.
  ScopedEnv xdg("XDG_CACHE_HOME", nullptr);
  ScopedEnv home("HOME", nullptr);
  ScopedEnv tmp("TMPDIR", dir.path());
  const std::string mine = dir.File("quavix-" + std::to_string(geteuid()));

  // A link planted where our folder belongs.
  std::string elsewhere = dir.File("elsewhere");
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), mine.c_str()), 0);
  SetLastError(0);
  EXPECT_EQ(GetTempPathA(MAX_PATH, std::string(MAX_PATH, '\0').data()), 0u);
  EXPECT_NE(GetLastError(), 0u);
  ASSERT_EQ(unlink(mine.c_str()), 0);

  // A folder everybody may write into.
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  ASSERT_EQ(chmod(mine.c_str(), 0777), 0);
  EXPECT_EQ(TempPath(), "");
  ASSERT_EQ(chmod(mine.c_str(), 0700), 0);
  EXPECT_EQ(TempPath(), mine + "/");

  // A folder that belongs to someone else (only root can make one here).
  if (geteuid() == 0) {
    ASSERT_EQ(chown(mine.c_str(), 4242, 4242), 0);
    EXPECT_EQ(TempPath(), "");
  }
}

TEST(Version, ReportsTenUnlessToldOtherwise) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(&info));
  info.dwOSVersionInfoSize = sizeof info;
  {
    ScopedEnv none("QUAVIX_WINDOWS_MAJOR", nullptr);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  }
  ScopedEnv five("QUAVIX_WINDOWS_MAJOR", "5");
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
}

TEST(Module, ExecutablePathAndBufferRules) {
  const std::string exe = fs::canonical("/proc/self/exe").string();
  char buf[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), exe.size());
  EXPECT_EQ(std::string(buf), exe);
  HMODULE self = GetModuleHandleA(nullptr);
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(GetModuleFileNameA(self, buf, sizeof buf), exe.size());

  char small[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), exe.substr(0, 7));
}

TEST(Module, Shell32IsBuiltInAndPathsLoadSharedObjects) {
  HMODULE shell = LoadLibraryA("SHELL32.DLL");
  ASSERT_NE(shell, nullptr);
  using SHGetFolderPathFn = HRESULT (*)(HWND, int, HANDLE, DWORD, LPSTR);
  auto fn = reinterpret_cast<SHGetFolderPathFn>(GetProcAddress(shell, "SHGetFolderPathA"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn, &SHGetFolderPathA);
  EXPECT_EQ(GetProcAddress(shell, "SHGetFolderPathW"), nullptr);
  EXPECT_TRUE(FreeLibrary(shell));

  EXPECT_EQ(LoadLibraryA("kernel32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA("libm.so.6"), nullptr);  // bare names are never searched for

  std::string libm;
  for (const char *p : {"/lib/x86_64-linux-gnu/libm.so.6", "/usr/lib/x86_64-linux-gnu/libm.so.6",
                        "/lib64/libm.so.6"})
    if (fs::exists(p)) libm = p;
  ASSERT_FALSE(libm.empty());
  HMODULE m = LoadLibraryA(libm.c_str());
  ASSERT_NE(m, nullptr);
  using CosFn = double (*)(double);
  auto cosFn = reinterpret_cast<CosFn>(GetProcAddress(m, "cos"));
  ASSERT_NE(cosFn, nullptr);
  EXPECT_DOUBLE_EQ(cosFn(0.0), 1.0);
  char name[4096];
  ASSERT_GT(GetModuleFileNameA(m, name, sizeof name), 0u);
  EXPECT_EQ(fs::canonical(name), fs::canonical(libm));
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
