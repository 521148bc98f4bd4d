// The toolkit application for the window tests: headless, and with a home
// and runtime folder of the process's own until each test sets its own.
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char **argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  UiTestEnvironment processEnvironment;
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
