// What this process holds, read from /proc/self: open descriptors, threads
// and resident memory. Tests that repeat work compare these after a warm-up
// with the end, so a leak shows as growth. Header-only: any test program may
// include it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>

namespace quavix::test {

namespace process_counts_detail {
inline int EntriesOf(const char *folder) {
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return 0;
  return static_cast<int>(std::distance(it, std::filesystem::directory_iterator()));
}
}  // namespace process_counts_detail

// Open descriptors, the one that reads them included.
inline int OpenDescriptors() { return process_counts_detail::EntriesOf("/proc/self/fd"); }

// How many descriptors are open on `path`.
inline int OpenDescriptorsOn(const std::string &path) {
  int n = 0;
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code linkError;
    auto target = std::filesystem::read_symlink(entry.path(), linkError);
    if (!linkError && target == path) ++n;
  }
  return n;
}

// What the open descriptors point at, counted by kind ("socket", "pipe",
// "anon_inode", a file's path), one line each, for a failure's message.
inline std::string DescribeDescriptors() {
  std::map<std::string, int> kinds;
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code linkError;
    std::string kind = std::filesystem::read_symlink(entry.path(), linkError).string();
    if (linkError) kind = "?";
    if (!kind.empty() && kind[0] != '/') kind = kind.substr(0, kind.find(':'));
    ++kinds[kind];
  }
  std::string text;
  for (const auto &[kind, n] : kinds) text += kind + " x" + std::to_string(n) + "\n";
  return text;
}

inline int ThreadCount() { return process_counts_detail::EntriesOf("/proc/self/task"); }

inline long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace quavix::test
