// The program's entry through the framework, in a process of its own.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
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

// A private home, configuration and runtime folder for each run, so the
// program reads and writes nothing of a person's desktop.
class PrivateFolders {
 public:
  PrivateFolders() {
    char pattern[] = "/tmp/quavix-entry-XXXXXX";
    if (mkdtemp(pattern) != nullptr) root_ = pattern;
  }
  ~PrivateFolders() {
    if (!root_.empty()) std::system(("rm -rf '" + root_ + "'").c_str());
  }
  std::string Environment() const {
    return "HOME='" + root_ + "' XDG_CONFIG_HOME='" + root_ + "/config' XDG_RUNTIME_DIR='" + root_ +
           "/runtime' ";
  }
  bool Ready() const {
    return !root_.empty() &&
           std::system(
               ("mkdir -p -m 0700 '" + root_ + "/config' '" + root_ + "/runtime'").c_str()) == 0;
  }

 private:
  std::string root_;
};

Outcome RunProgram(const std::string &mode) {
  PrivateFolders folders;
  Outcome outcome;
  if (!folders.Ready()) return outcome;
  std::string command =
      "env -u PULSE_SERVER -u DISPLAY -u WAYLAND_DISPLAY " + folders.Environment() +
      "QT_QPA_PLATFORM=offscreen '" QUAVIX_ENTRY_PROGRAM "' " + mode + " 2>/dev/null";
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
