// Entry of the window-layer tests: a headless toolkit application, and
// private configuration and runtime folders so nothing of a person's desktop
// is read or written.
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  quavix::test::TempDir config("quavix-gui-config"), runtime("quavix-gui-runtime");
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  unsetenv("PULSE_SERVER");

  ::testing::InitGoogleTest(&argc, argv);
  int rc = 0;
  {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    rc = RUN_ALL_TESTS();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return rc;
}
