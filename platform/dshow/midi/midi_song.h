// A Standard MIDI File read into memory: its events in playing order and
// its tempo map, so a song can be measured, played and sought exactly.
//
// The reader is plain C++ (no GStreamer, no FluidSynth) and treats every
// file as untrusted: damaged input is refused with a message, never read
// past its end, and never allowed to allocate more than its size justifies.
#pragma once

#include "platform/win/windef.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One event of the song. Channel messages keep their status and data bytes;
// system exclusive (0xF0, 0xF7) and meta (0xFF) events keep their bytes in
// the song's payload store (see MidiSong::Payload).
struct MidiEvent {
  std::int64_t tick = 0;         // position on the song's tick axis
  REFERENCE_TIME time = 0;       // 100 ns units from the start of the song
  std::uint32_t dataOffset = 0;  // payload of sysex and meta events
  std::uint32_t dataLength = 0;
  std::uint16_t track = 0;  // index of the track chunk it came from
  std::uint8_t status = 0;  // 0x80..0xEF, 0xF0, 0xF7 or 0xFF
  std::uint8_t data1 = 0;   // first data byte; the type of a meta event
  std::uint8_t data2 = 0;   // second data byte (0 when there is none)

  bool IsChannelMessage() const { return status >= 0x80 && status < 0xF0; }
  bool IsMeta() const { return status == 0xFF; }
  bool IsSysEx() const { return status == 0xF0 || status == 0xF7; }
  std::uint8_t Channel() const { return status & 0x0F; }
  std::uint8_t Command() const { return status & 0xF0; }
};

inline constexpr std::uint8_t kMidiMetaEndOfTrack = 0x2F;
inline constexpr std::uint8_t kMidiMetaTempo = 0x51;

// Files larger than this are refused; no MIDI song comes near it, and it
// bounds what a hostile file can make the reader allocate.
inline constexpr std::size_t kMaxMidiFileSize = 16u * 1024u * 1024u;

// Songs longer than this are refused as damaged (and it keeps every sample
// position of the synthesiser within 64 bits).
inline constexpr REFERENCE_TIME kMaxMidiSongLength = 1000LL * 3600LL * 10000000LL;

class MidiSong {
 public:
  // 0, 1 or 2 as written in the header.
  int Format() const { return m_format; }
  // Number of track chunks read.
  int TrackCount() const { return m_trackCount; }
  // The header's division word as written: ticks per quarter note, or,
  // when the high byte is negative, SMPTE frames per second and ticks per
  // frame.
  std::uint16_t Division() const { return m_division; }
  bool IsSmpte() const { return (m_division & 0x8000) != 0; }

  // The song's exact length: the time of its last event (an end-of-track
  // event included) with every tempo change applied. For a format 2 file
  // the tracks are independent sequences played one after another, each
  // starting at the default tempo, so its length is the sum of theirs.
  REFERENCE_TIME Length() const { return m_length; }
  std::int64_t LengthTicks() const { return m_lengthTicks; }

  // Tick -> time, rounded down to 100 ns. Ticks before 0 give 0; ticks
  // past the end continue at the last tempo.
  REFERENCE_TIME TickToTime(std::int64_t tick) const;
  // Time -> the last tick that has started by that time (the inverse of
  // TickToTime: TickToTime(TimeToTick(t)) <= t < TickToTime(TimeToTick(t)+1)).
  std::int64_t TimeToTick(REFERENCE_TIME time) const;

  // Every event of every track, in playing order: by time, and events at
  // the same tick in track order, then in file order.
  const std::vector<MidiEvent> &Events() const { return m_events; }
  // The bytes of a sysex or meta event exactly as they followed the
  // length in the file (an F0 event's bytes usually end with its F7).
  std::span<const std::uint8_t> Payload(const MidiEvent &e) const;

  // One piece of the tempo map: from `tick` on, each tick lasts
  // numerPerTick / denominator hundred-nanosecond units.
  struct TempoSegment {
    std::int64_t tick = 0;
    __int128 numer = 0;  // time(tick) * denominator, exact
    std::int64_t numerPerTick = 0;
  };
  const std::vector<TempoSegment> &TempoMap() const { return m_tempo; }
  std::int64_t TempoDenominator() const { return m_denominator; }

 private:
  friend class MidiFileParser;
  int m_format = 0;
  int m_trackCount = 0;
  std::uint16_t m_division = 0;
  REFERENCE_TIME m_length = 0;
  std::int64_t m_lengthTicks = 0;
  std::int64_t m_denominator = 1;
  std::vector<TempoSegment> m_tempo;
  std::vector<MidiEvent> m_events;
  std::vector<std::uint8_t> m_payload;
};

// Reads a MIDI song from a file: a Standard MIDI File (MThd) or a RIFF RMID
// file holding one. On failure returns null and, when `error` is given,
// stores a one-line reason ("track 3 is truncated", ...).
std::shared_ptr<const MidiSong> ReadMidiFile(const std::string &path, std::string *error);

// The same, from bytes in memory.
std::shared_ptr<const MidiSong> ReadMidiData(const void *data, std::size_t size,
                                             std::string *error);

// True when the file begins like a MIDI song (MThd, or RIFF....RMID), so a
// caller can choose the MIDI source before reading it in full.
bool LooksLikeMidiFile(const std::string &path);
bool LooksLikeMidiData(const void *data, std::size_t size);
