// The toolkit application for the drawing and control tests: headless, with
// a home, configuration and runtime folder of the process's own, so nothing
// of the person's settings is read or written.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

int main(int argc, char **argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string root = (std::filesystem::temp_directory_path() / "quavix-controls-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 2;
  for (const char *sub : {"/home", "/config", "/runtime"}) {
    std::filesystem::create_directories(root + sub);
    ::chmod((root + sub).c_str(), 0700);
  }
  ::setenv("HOME", (root + "/home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
  int result = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return result;
}
