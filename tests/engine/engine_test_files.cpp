#include "engine_test_files.h"

#include <cstdio>
#include <cstdlib>

namespace engine_test {

namespace {

void Be32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void VarLen(std::vector<std::uint8_t> &out, std::uint32_t v) {
  std::uint8_t bytes[5];
  int n = 0;
  bytes[n++] = v & 0x7F;
  while (v >>= 7) bytes[n++] = static_cast<std::uint8_t>(0x80 | (v & 0x7F));
  while (n) out.push_back(bytes[--n]);
}

}  // namespace

std::vector<std::uint8_t> TinyMidi(int ticksPerQuarter, int microsPerQuarter, int noteTicks,
                                   int endTicks) {
  std::vector<std::uint8_t> track;
  VarLen(track, 0);
  track.insert(track.end(), {0xFF, 0x51, 0x03});
  track.push_back(static_cast<std::uint8_t>(microsPerQuarter >> 16));
  track.push_back(static_cast<std::uint8_t>(microsPerQuarter >> 8));
  track.push_back(static_cast<std::uint8_t>(microsPerQuarter));
  VarLen(track, 0);
  track.insert(track.end(), {0x90, 60, 100});
  VarLen(track, static_cast<std::uint32_t>(noteTicks));
  track.insert(track.end(), {0x80, 60, 0});
  VarLen(track, static_cast<std::uint32_t>(endTicks - noteTicks));
  track.insert(track.end(), {0xFF, 0x2F, 0x00});

  std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
  Be32(file, 6);
  file.insert(file.end(), {0, 0, 0, 1});
  file.push_back(static_cast<std::uint8_t>(ticksPerQuarter >> 8));
  file.push_back(static_cast<std::uint8_t>(ticksPerQuarter));
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  Be32(file, static_cast<std::uint32_t>(track.size()));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

bool WriteFile(const std::string &path, const void *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace engine_test
