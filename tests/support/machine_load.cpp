#include "tests/support/machine_load.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace quavix::test {
namespace {

bool WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

bool Exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// This process's group in the hierarchy of `controller` ("" for v2), from
// /proc/self/cgroup.
std::string OwnGroup(const std::string &controller) {
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    const auto a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    const std::string names = line.substr(a + 1, b - a - 1);
    std::stringstream list(names);
    std::string name;
    bool match = controller.empty() && names.empty();
    while (!match && std::getline(list, name, ',')) match = name == controller;
    if (match) return line.substr(b + 1);
  }
  return "/";
}

volatile sig_atomic_t g_stallsEnd = 0;
void EndStalls(int) { g_stallsEnd = 1; }

void SleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && !g_stallsEnd) {
  }
}

}  // namespace

BusyProcesses::BusyProcesses(int count) {
  if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
  if (count <= 0) count = 2;
  for (int i = 0; i < count; ++i)
    spinners_.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"python3", "-c", "while True: pass"}));
}

BusyProcesses::~BusyProcesses() {
  for (auto &s : spinners_) s->Stop(500);
}

int BusyProcesses::running() {
  int n = 0;
  for (auto &s : spinners_) n += s->running() ? 1 : 0;
  return n;
}

CpuLimit::CpuLimit(int percent) {
  const std::string name = "quavix-test-" + std::to_string(getpid());
  const std::string self = std::to_string(getpid());
  if (Exists("/sys/fs/cgroup/cpu/cpu.cfs_quota_us")) {
    const std::string root = "/sys/fs/cgroup/cpu";
    home_ = root + OwnGroup("cpu");
    group_ = root + "/" + name;
    if (mkdir(group_.c_str(), 0755) != 0 && errno != EEXIST) {
      failure_ = "cannot create " + group_ + " (not root?)";
      group_.clear();
      return;
    }
    if (!WriteText(group_ + "/cpu.cfs_period_us", "100000") ||
        !WriteText(group_ + "/cpu.cfs_quota_us", std::to_string(1000 * percent)))
      failure_ = "cannot set the quota of " + group_;
  } else if (Exists("/sys/fs/cgroup/cgroup.controllers")) {
    const std::string root = "/sys/fs/cgroup";
    home_ = root + OwnGroup("");
    group_ = root + "/" + name;
    WriteText(root + "/cgroup.subtree_control", "+cpu");
    if (mkdir(group_.c_str(), 0755) != 0 && errno != EEXIST) {
      failure_ = "cannot create " + group_ + " (not root?)";
      group_.clear();
      return;
    }
    if (!WriteText(group_ + "/cpu.max", std::to_string(1000 * percent) + " 100000"))
      failure_ = "cannot set cpu.max of " + group_;
  } else {
    failure_ = "no cpu cgroup controller is mounted";
    return;
  }
  if (failure_.empty() && !WriteText(group_ + "/cgroup.procs", self))
    failure_ = "cannot move the process into " + group_;
}

CpuLimit::~CpuLimit() {
  if (group_.empty()) return;
  WriteText(home_ + "/cgroup.procs", std::to_string(getpid()));
  // The group empties as the kernel moves the threads; a few tries.
  for (int i = 0; i < 50 && rmdir(group_.c_str()) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

ProcessStalls::ProcessStalls(int stopMs, int runMs) {
  void *shared =
      mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return;
  counter_ = static_cast<int *>(shared);
  *counter_ = 0;
  const pid_t target = getpid();
  child_ = fork();
  if (child_ == 0) {
    // Only async-signal-safe calls from here: the parent has threads.
    struct sigaction sa {};
    sa.sa_handler = EndStalls;
    sigaction(SIGTERM, &sa, nullptr);
    while (!g_stallsEnd) {
      kill(target, SIGSTOP);
      __atomic_add_fetch(counter_, 1, __ATOMIC_RELAXED);
      SleepMs(stopMs);
      kill(target, SIGCONT);
      if (!g_stallsEnd) SleepMs(runMs);
    }
    kill(target, SIGCONT);
    _exit(0);
  }
}

ProcessStalls::~ProcessStalls() {
  if (child_ > 0) {
    kill(child_, SIGTERM);
    int status = 0;
    waitpid(child_, &status, 0);
  }
  if (counter_) munmap(counter_, sizeof(int));
}

int ProcessStalls::count() const {
  return counter_ ? __atomic_load_n(counter_, __ATOMIC_RELAXED) : 0;
}

}  // namespace quavix::test
