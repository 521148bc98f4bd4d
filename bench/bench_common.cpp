#include "bench/bench_common.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char **environ;

namespace quavix::bench {

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Max(const std::vector<double> &v) {
  return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

static double TimevalSeconds(const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; }

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return TimevalSeconds(ru.ru_utime) + TimevalSeconds(ru.ru_stime);
}

double PeakResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

ChildRun RunChild(const std::vector<std::string> &argv, bool keepStderr,
                  const std::vector<std::string> &extraEnv) {
  ChildRun r;
  if (argv.empty()) return r;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return r;
  std::vector<std::string> envStore;
  for (char **e = environ; *e; ++e) envStore.emplace_back(*e);
  for (const auto &kv : extraEnv) {
    std::string key = kv.substr(0, kv.find('=') + 1);
    std::erase_if(envStore, [&](const std::string &s) { return s.rfind(key, 0) == 0; });
    envStore.push_back(kv);
  }
  std::vector<char *> args, env;
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  for (auto &e : envStore) env.push_back(e.data());
  env.push_back(nullptr);

  double start = NowSeconds();
  pid_t pid = fork();
  if (pid < 0) {
    close(out[0]);
    close(out[1]);
    return r;
  }
  if (pid == 0) {
    dup2(out[1], 1);
    int devnull = open("/dev/null", O_RDWR);
    if (!keepStderr)
      dup2(devnull, 2);
    else
      dup2(out[1], 2);
    dup2(devnull, 0);
    execvpe(args[0], args.data(), env.data());
    _exit(127);
  }
  close(out[1]);
  r.started = true;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  rusage ru{};
  while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
  }
  r.wallSeconds = NowSeconds() - start;
  r.cpuSeconds = TimevalSeconds(ru.ru_utime) + TimevalSeconds(ru.ru_stime);
  r.peakMiB = ru.ru_maxrss / 1024.0;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (r.exitCode == 127) r.started = false;
  return r;
}

std::vector<std::string> BenchSongs() {
  const char *env = std::getenv("QUAVIX_BENCH_SONGS");
  std::string dir = env && *env ? env : "/usr/share/games/openttd/baseset/openmsx";
  std::vector<std::string> songs;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(dir, ec)) {
    std::string p = e.path().string();
    if (e.is_regular_file() && p.size() > 4 && p.compare(p.size() - 4, 4, ".mid") == 0)
      songs.push_back(p);
  }
  std::sort(songs.begin(), songs.end());
  return songs;
}

std::string BaseName(const std::string &path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Figures::Add(const std::string &name, double value, const std::string &unit) {
  m_figures.push_back({name, value, unit});
}

void Figures::Print() const {
  std::printf("\n");
  for (const auto &f : m_figures)
    std::printf("%s %.6g %s\n", f.name.c_str(), f.value, f.unit.c_str());
  std::fflush(stdout);
}

ScratchDir::ScratchDir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quavix-bench-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  if (mkdtemp(buf.data())) m_path = buf.data();
}

ScratchDir::~ScratchDir() {
  if (m_path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

const char *Verdict(bool met) { return met ? "ok" : "MISSED"; }

}  // namespace quavix::bench
