// The program's entry through the framework, in a process of its own.
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#ifndef QUAVIX_ENTRY_PROGRAM
#error "QUAVIX_ENTRY_PROGRAM names the program under test"
#endif

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;
};

// Runs the program with a private home, configuration and runtime folder, so
// it reads and writes nothing of a person's desktop.
Outcome RunProgram(const std::string &mode) {
  quavix::test::TempDir home("quavix-entry");
  Outcome outcome;
  std::error_code ec;
  for (const char *sub : {"config", "runtime"}) {
    if (!std::filesystem::create_directory(home.File(sub), ec)) return outcome;
    std::filesystem::permissions(home.File(sub), std::filesystem::perms::owner_all, ec);
  }
  std::string command =
      "env -u PULSE_SERVER -u DISPLAY -u WAYLAND_DISPLAY HOME='" + home.path() +
      "' XDG_CONFIG_HOME='" + home.File("config") + "' XDG_RUNTIME_DIR='" + home.File("runtime") +
      "' QT_QPA_PLATFORM=offscreen '" QUAVIX_ENTRY_PROGRAM "' " + mode + " 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 256> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) outcome.output += buffer.data();
  int status = pclose(pipe);
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  return outcome;
}

TEST(ProgramEntry, NamesComeFromTheRunningExecutable) {
  Outcome o = RunProgram("names");
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.output,
            "app=quavix_afx_entry_program exe=quavix_afx_entry_program "
            "profile=quavix_afx_entry_program key=ZORVEKA\n");
}

TEST(ProgramEntry, ModalMainDialogIsTheProgram) {
  Outcome o = RunProgram("dialog-ok");
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.output, "result=1\n");
}

TEST(ProgramEntry, QuitDuringInitialisationEndsTheProgramWithItsCode) {
  Outcome o = RunProgram("dialog-quit");
  EXPECT_EQ(o.output, "result=-1\n");
  EXPECT_EQ(o.exitCode, 7);
}

TEST(ProgramEntry, MessageLoopRunsUntilQuit) {
  Outcome o = RunProgram("loop-quit");
  EXPECT_EQ(o.exitCode, 3);
}

}  // namespace
