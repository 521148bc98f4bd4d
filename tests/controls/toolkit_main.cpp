// The toolkit application for the drawing and control tests: headless, with
// a home, configuration and runtime folder of the process's own, so nothing
// of the person's settings is read or written.
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

int main(int argc, char **argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  quavix::test::TempDir root("quavix-controls");
  for (const char *sub : {"home", "config", "runtime"}) {
    std::filesystem::create_directories(root.File(sub));
    ::chmod(root.File(sub).c_str(), 0700);
  }
  ::setenv("HOME", root.File("home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", root.File("config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", root.File("runtime").c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
