// Headless toolkit, GStreamer for decoding the files written, and a home of
// the process's own until each test sets its own.
#include "ui_test_env.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char **argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  UiTestEnvironment processEnvironment;
  QApplication app(argc, argv);
  gst_init(nullptr, nullptr);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
