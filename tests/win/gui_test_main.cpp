// Entry of the window-layer tests: a headless toolkit application, and
// private configuration and runtime folders so nothing of a person's desktop
// is read or written.
#include <QApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {
std::string MakeTempDir(const char *pattern) {
  std::string path = std::string("/tmp/") + pattern;
  if (mkdtemp(path.data()) == nullptr) std::abort();
  return path;
}
}  // namespace

int main(int argc, char **argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string config = MakeTempDir("quavix-gui-config-XXXXXX");
  std::string runtime = MakeTempDir("quavix-gui-runtime-XXXXXX");
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  unsetenv("PULSE_SERVER");

  ::testing::InitGoogleTest(&argc, argv);
  int rc = 0;
  {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    rc = RUN_ALL_TESTS();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::string cleanup = "rm -rf '" + config + "' '" + runtime + "'";
  if (std::system(cleanup.c_str()) != 0) return rc ? rc : 1;
  return rc;
}
