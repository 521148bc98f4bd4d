// Small MIDI files built byte by byte, so each test states exactly what the
// reader gets, and helpers for the temporary files the tests write.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace miditest {

using Bytes = std::vector<std::uint8_t>;

Bytes Vlq(std::uint32_t value);

// Builds the body of one MTrk chunk.
class Track {
 public:
  // An event after `delta` ticks with the given bytes (status included or,
  // for running status, left out).
  Track &Event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes);
  Track &Tempo(std::uint32_t delta, std::uint32_t usPerQuarter);
  Track &SysEx(std::uint32_t delta, std::uint8_t kind, const Bytes &payload);
  Track &Meta(std::uint32_t delta, std::uint8_t type, const Bytes &payload);
  Track &End(std::uint32_t delta);
  Track &Raw(const Bytes &bytes);
  const Bytes &bytes() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

// A whole Standard MIDI File; `trackCount` < 0 writes the number of tracks given.
Bytes Smf(int format, std::uint16_t division, const std::vector<Track> &tracks,
          int trackCount = -1);
Bytes Chunk(const char id[4], const Bytes &body);
// A RIFF RMID file around `smf`, with a LIST chunk of odd size before the
// data chunk (as RMID writers add) to exercise the chunk padding.
Bytes Rmid(const Bytes &smf);

// A private temporary folder for the test process, removed at exit.
std::string TempDir();
std::string WriteTempFile(const std::string &name, const Bytes &bytes);

}  // namespace miditest
