// Temporary folders and environment variables for tests, undone on scope exit
// (tests/support), so no test touches the person's own folders or settings,
// and reading, writing and waiting for files.
#pragma once

#include "tests/support/file_contents.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace quavix::test {

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
