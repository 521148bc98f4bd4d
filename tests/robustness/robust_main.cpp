// The robustness tests run in a mount namespace of their own when they can
// (as root), so the full and read-only disks and the hidden SoundFont they
// make are seen by no other process on the machine. Home, settings and
// runtime folders are the process's own, as in every window test.
#include "tests/player/player_test_support.h"
#include "tests/robustness/robust_support.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdlib>

int main(int argc, char **argv) {
  // Before any thread exists.
  robust::SetHavePrivateMounts(::unshare(CLONE_NEWNS) == 0 &&
                               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  player_test::TempDir home;
  if (!::getenv("QUAVIX_ROBUST_CHILD")) {
    std::string config = home.path() + "/config", runtime = home.path() + "/runtime";
    ::mkdir(config.c_str(), 0700);
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ::unsetenv("DISPLAY");
  QApplication app(argc, argv);
  if (::getenv("QUAVIX_ROBUST_CHILD") && robust::RegisteredChildEntry())
    return robust::RegisteredChildEntry()();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
