// The main of the test programs (test_main.cpp), built as two object
// libraries: quavix_test_main (GStreamer, no toolkit) and
// quavix_gui_test_main (a headless toolkit application). Before the tests it
// gives the process a PrivateHome and leaves no way to the person's display
// or sound server (DISPLAY, WAYLAND_DISPLAY and PULSE_SERVER unset).
//
// A program adds steps of its own from a static initializer in one of its
// files, e.g. `const bool kRegistered = quavix::test::BeforeTests(&Step);`.
// Each Register function returns true so that it can initialize a constant.
#pragma once

namespace quavix::test {

using TestMainStep = void (*)();
// Run first, before any folder, toolkit or thread exists (also in a child).
bool AtProcessStart(TestMainStep step);
// Run once the folders, the toolkit application and GStreamer are ready,
// before the tests (or the child entry).
bool BeforeTests(TestMainStep step);
// Run after the tests, while the toolkit application still exists.
bool AfterTests(TestMainStep step);

// A test program that its own tests start again with QUAVIX_TEST_CHILD set
// in the environment keeps the folders and variables it was given and runs
// this entry, with its command line, instead of its tests; the entry's
// result is the exit code.
using ChildEntry = int (*)(int argc, char **argv);
bool RegisterChildEntry(ChildEntry entry);

}  // namespace quavix::test
