// The main of the test programs; see test_main.h. Built with
// QUAVIX_TEST_MAIN_TOOLKIT for the programs that drive windows, with
// QUAVIX_TEST_MAIN_GSTREAMER for those that build pipelines themselves.
#include "tests/support/test_main.h"

#include "tests/support/private_home.h"

#include <gtest/gtest.h>

#ifdef QUAVIX_TEST_MAIN_TOOLKIT
#include <QApplication>
#endif
#ifdef QUAVIX_TEST_MAIN_GSTREAMER
#include <gst/gst.h>
#endif

#include <cstdlib>
#include <optional>
#include <vector>

namespace quavix::test {

namespace {

// Filled by static initializers, so built on first use.
struct Registered {
  std::vector<TestMainStep> atStart, beforeTests, afterTests;
  ChildEntry child = nullptr;
};
Registered &Steps() {
  static Registered steps;
  return steps;
}

void RunAll(const std::vector<TestMainStep> &steps) {
  for (TestMainStep step : steps) step();
}

}  // namespace

bool AtProcessStart(TestMainStep step) {
  Steps().atStart.push_back(step);
  return true;
}
bool BeforeTests(TestMainStep step) {
  Steps().beforeTests.push_back(step);
  return true;
}
bool AfterTests(TestMainStep step) {
  Steps().afterTests.push_back(step);
  return true;
}
bool RegisterChildEntry(ChildEntry entry) {
  Steps().child = entry;
  return true;
}

}  // namespace quavix::test

int main(int argc, char **argv) {
  using namespace quavix::test;
  RunAll(Steps().atStart);
  const bool child = std::getenv("QUAVIX_TEST_CHILD") != nullptr && Steps().child;
  std::optional<PrivateHome> home;
  if (!child) {
    home.emplace();
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("PULSE_SERVER");
  }
#ifdef QUAVIX_TEST_MAIN_GSTREAMER
  // One plugin registry in the build folder for every test process, instead
  // of a scan of all plugins into each private home.
  ::setenv("GST_REGISTRY", QUAVIX_TEST_GST_REGISTRY, 1);
  gst_init(&argc, &argv);
#endif
  int result = 0;
  {
#ifdef QUAVIX_TEST_MAIN_TOOLKIT
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#endif
    RunAll(Steps().beforeTests);
    if (child) return Steps().child(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
    RunAll(Steps().afterTests);
  }
#ifdef QUAVIX_TEST_MAIN_GSTREAMER
  gst_deinit();
#endif
  return result;
}
