// A file's whole contents read or written in one call. Header-only: any test
// program may include it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace quavix::test {

// The bytes of the file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Replaces the file's contents with `bytes`.
inline void WriteWholeFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quavix::test
