// Shared pieces of the benchmark programs: clocks, statistics, child
// processes measured with their own CPU time, and the figure lines that
// end every program's output ("name value unit", one per line).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace quavix::bench {

inline double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Median of the values (mean of the two middle ones for an even count);
// 0 for none.
double Median(std::vector<double> v);
double Max(const std::vector<double> &v);

// CPU seconds (user + system) this process has used so far, all threads.
double ProcessCpuSeconds();
// Peak resident memory of this process (VmHWM) in MiB; -1 if unreadable.
double PeakResidentMiB();

// A child run to its end: exit status, wall time and its own CPU time
// (from wait4, so only that child and what it waited for).
struct ChildRun {
  bool started = false;
  int exitCode = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;  // the child's maximum resident set
  std::string output;  // standard output (and error when asked)
};
// Runs argv without a shell. extraEnv entries ("NAME=value") are added to
// the current environment.
ChildRun RunChild(const std::vector<std::string> &argv, bool keepStderr = false,
                  const std::vector<std::string> &extraEnv = {});

// The songs of the openttd-openmsx package, sorted by name (QUAVIX_BENCH_SONGS
// names another folder).
std::vector<std::string> BenchSongs();
std::string BaseName(const std::string &path);

// The figure lines, printed together at the end of a program so runs can be
// compared with a plain diff or a script.
class Figures {
 public:
  void Add(const std::string &name, double value, const std::string &unit);
  void Print() const;

 private:
  struct Figure {
    std::string name;
    double value;
    std::string unit;
  };
  std::vector<Figure> m_figures;
};

// A fresh 0700 folder under $TMPDIR (or /tmp), removed with its contents
// when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::string &path() const { return m_path; }
  std::string File(const std::string &name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// "ok" or "MISSED" for a figure against its goal.
const char *Verdict(bool met);

}  // namespace quavix::bench
