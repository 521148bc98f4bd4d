// Temporary folders and environment variables for tests, undone on scope exit,
// so no test touches the person's own folders or settings.
#pragma once

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace quavix::test {

class ScopedEnv {
 public:
  // value null: unset while in scope.
  ScopedEnv(const char *name, const char *value) : name_(name) {
    if (const char *old = getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

inline std::string ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteWholeFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Waits for a file that a detached program writes; false when it never comes
// (bounded so a broken start fails the test instead of hanging it).
inline bool WaitForFile(const std::string &path) {
  for (int i = 0; i < 3000; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace quavix::test
