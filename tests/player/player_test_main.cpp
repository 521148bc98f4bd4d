// Headless toolkit for the player tests, with a home, configuration and
// runtime folder of the process's own so no person's settings are touched.
#include "tests/player/player_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <sys/stat.h>

#include <cstdlib>

int main(int argc, char **argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  player_test::TempDir home;
  std::string config = home.path() + "/config", runtime = home.path() + "/runtime";
  ::mkdir(config.c_str(), 0700);
  ::mkdir(runtime.c_str(), 0700);
  ::setenv("HOME", home.path().c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ::unsetenv("DISPLAY");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
