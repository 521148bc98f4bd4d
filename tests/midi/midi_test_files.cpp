#include "tests/midi/midi_test_files.h"

#include "tests/support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace miditest {

Bytes Vlq(std::uint32_t value) {
  Bytes out{std::uint8_t(value & 0x7F)};
  while (value >>= 7) out.insert(out.begin(), std::uint8_t(0x80 | (value & 0x7F)));
  return out;
}

Track &Track::Event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
  Bytes d = Vlq(delta);
  m_bytes.insert(m_bytes.end(), d.begin(), d.end());
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  return *this;
}

Track &Track::Tempo(std::uint32_t delta, std::uint32_t us) {
  return Meta(delta, 0x51, {std::uint8_t(us >> 16), std::uint8_t(us >> 8), std::uint8_t(us)});
}

Track &Track::SysEx(std::uint32_t delta, std::uint8_t kind, const Bytes &payload) {
  Event(delta, {kind});
  Bytes n = Vlq(std::uint32_t(payload.size()));
  m_bytes.insert(m_bytes.end(), n.begin(), n.end());
  m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
  return *this;
}

Track &Track::Meta(std::uint32_t delta, std::uint8_t type, const Bytes &payload) {
  Event(delta, {0xFF, type});
  Bytes n = Vlq(std::uint32_t(payload.size()));
  m_bytes.insert(m_bytes.end(), n.begin(), n.end());
  m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
  return *this;
}

Track &Track::End(std::uint32_t delta) { return Meta(delta, 0x2F, {}); }

Track &Track::Raw(const Bytes &bytes) {
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes Chunk(const char id[4], const Bytes &body) {
  Bytes out(id, id + 4);
  std::uint32_t n = std::uint32_t(body.size());
  out.insert(out.end(),
             {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Smf(int format, std::uint16_t division, const std::vector<Track> &tracks, int trackCount) {
  int n = trackCount < 0 ? int(tracks.size()) : trackCount;
  Bytes out = Chunk("MThd", {0, std::uint8_t(format), std::uint8_t(n >> 8), std::uint8_t(n),
                             std::uint8_t(division >> 8), std::uint8_t(division)});
  for (const auto &t : tracks) {
    Bytes c = Chunk("MTrk", t.bytes());
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

namespace {
void PutLe32(Bytes &out, std::uint32_t n) {
  out.insert(out.end(),
             {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)});
}
}  // namespace

Bytes Rmid(const Bytes &smf) {
  Bytes body{'R', 'M', 'I', 'D'};
  Bytes info{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 0};
  body.insert(body.end(), {'L', 'I', 'S', 'T'});
  PutLe32(body, std::uint32_t(info.size()));
  body.insert(body.end(), info.begin(), info.end());
  if (info.size() & 1) body.push_back(0);
  body.insert(body.end(), {'d', 'a', 't', 'a'});
  PutLe32(body, std::uint32_t(smf.size()));
  body.insert(body.end(), smf.begin(), smf.end());
  if (smf.size() & 1) body.push_back(0);
  Bytes out{'R', 'I', 'F', 'F'};
  PutLe32(out, std::uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::string TempDir() {
  static quavix::test::TempDir folder("quavix-midi-test");
  return folder.path();
}

std::string WriteTempFile(const std::string &name, const Bytes &bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
  return path;
}

}  // namespace miditest
