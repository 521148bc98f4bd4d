// Loads that a busy machine puts on a recording, made on purpose: busy
// processes on every core, the test process held to a share of one core
// (the cpu cgroup; needs root), and the test process stopped and continued
// over and over. Each undoes itself when it goes out of scope.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/private_pulse.h"

namespace quavix::test {

// `count` processes that spin (python3 -c "while True: pass"); count 0 means
// one per core.
class BusyProcesses {
 public:
  explicit BusyProcesses(int count = 0);
  ~BusyProcesses();
  BusyProcesses(const BusyProcesses &) = delete;
  BusyProcesses &operator=(const BusyProcesses &) = delete;
  int running();

 private:
  std::vector<std::unique_ptr<ChildProcess>> spinners_;
};

// Holds this process to `percent` of one core with a cpu cgroup of its own
// (cgroup v1 "cpu" or v2 "cpu.max"), and puts it back where it was at the end.
class CpuLimit {
 public:
  explicit CpuLimit(int percent);
  ~CpuLimit();
  CpuLimit(const CpuLimit &) = delete;
  CpuLimit &operator=(const CpuLimit &) = delete;
  // Empty when the limit holds, else why it could not be set.
  const std::string &failure() const { return failure_; }

 private:
  std::string group_, home_, failure_;
};

// A child that stops this process (SIGSTOP) for `stopMs`, lets it run for
// `runMs`, and so on until it is destroyed; it always continues the process
// before it exits.
class ProcessStalls {
 public:
  ProcessStalls(int stopMs, int runMs);
  ~ProcessStalls();
  ProcessStalls(const ProcessStalls &) = delete;
  ProcessStalls &operator=(const ProcessStalls &) = delete;
  bool started() const { return child_ > 0; }
  // How many stalls there were so far.
  int count() const;

 private:
  pid_t child_ = -1;
  int *counter_ = nullptr;  // shared with the child
};

}  // namespace quavix::test
