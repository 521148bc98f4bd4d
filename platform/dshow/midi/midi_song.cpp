#include "platform/dshow/midi/midi_song.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 bpm
// Tick positions past this could overflow the tempo arithmetic; no real song
// comes anywhere near it.
constexpr std::int64_t kMaxTick = std::int64_t(1) << 56;

std::uint32_t ReadBe32(const std::uint8_t *p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         p[3];
}
std::uint16_t ReadBe16(const std::uint8_t *p) { return std::uint16_t((p[0] << 8) | p[1]); }
std::uint32_t ReadLe32(const std::uint8_t *p) {
  return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) |
         p[0];
}

// Data bytes that follow a channel status byte.
int ChannelDataLength(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    default: return 2;
  }
}

// Data bytes of the system common and real-time messages, which have no
// place in a file but are skipped rather than refused when they occur.
int SystemDataLength(std::uint8_t status) {
  switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0;
  }
}

struct ParsedTrack {
  std::vector<MidiEvent> events;
  std::int64_t endTick = 0;  // tick of its last event (end of track included)
};

}  // namespace

class MidiFileParser {
 public:
  MidiFileParser(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

  std::shared_ptr<const MidiSong> Parse(std::string *error) {
    auto song = std::make_shared<MidiSong>();
    m_song = song.get();
    if (!ParseFile()) {
      if (error) *error = m_error;
      return nullptr;
    }
    if (error) error->clear();
    return song;
  }

 private:
  bool Fail(std::string message) {
    m_error = std::move(message);
    return false;
  }

  bool ParseFile() {
    if (m_size > kMaxMidiFileSize) return Fail("the file is too large to be a MIDI song");
    if (m_size >= 12 && std::memcmp(m_data, "RIFF", 4) == 0 &&
        std::memcmp(m_data + 8, "RMID", 4) == 0)
      return ParseRmid();
    return ParseSmf(m_data, m_size);
  }

  // RIFF RMID: a RIFF file whose "data" chunk holds the Standard MIDI File.
  bool ParseRmid() {
    // Some writers count the RIFF header in its size; a size past the end
    // of the file is therefore read as "up to the end", and only a chunk
    // that does not fit counts as truncation.
    std::uint64_t riffSize = ReadLe32(m_data + 4);
    if (riffSize < 4) return Fail("the RIFF container is truncated");
    std::size_t end = std::size_t(std::min<std::uint64_t>(8 + riffSize, m_size));
    std::size_t pos = 12;
    while (pos + 8 <= end) {
      std::uint64_t chunkSize = ReadLe32(m_data + pos + 4);
      if (chunkSize > end - pos - 8) return Fail("a RIFF chunk is truncated");
      if (std::memcmp(m_data + pos, "data", 4) == 0)
        return ParseSmf(m_data + pos + 8, std::size_t(chunkSize));
      pos += 8 + std::size_t(chunkSize) + (chunkSize & 1);
    }
    return Fail("the RIFF RMID file holds no MIDI data");
  }

  bool ParseSmf(const std::uint8_t *data, std::size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0)
      return Fail("not a Standard MIDI File (no MThd header)");
    std::uint32_t headerLength = ReadBe32(data + 4);
    if (headerLength < 6) return Fail("the MIDI header is too short");
    if (headerLength > size - 8) return Fail("the MIDI header is truncated");
    int format = ReadBe16(data + 8);
    int tracks = ReadBe16(data + 10);
    std::uint16_t division = ReadBe16(data + 12);
    if (format > 2) return Fail("unknown MIDI file format " + std::to_string(format));
    if (tracks == 0) return Fail("the MIDI file holds no tracks");
    // Every track chunk takes at least its 8-byte header.
    if (std::uint64_t(tracks) * 8 > size - 8 - headerLength)
      return Fail("the MIDI file is too short for its " + std::to_string(tracks) + " tracks");
    if (!SetDivision(division)) return false;
    m_song->m_format = format;
    m_song->m_division = division;

    std::vector<ParsedTrack> parsed;
    parsed.reserve(std::size_t(tracks));
    std::size_t pos = 8 + std::size_t(headerLength);
    while (int(parsed.size()) < tracks) {
      if (size - pos < 8)
        return Fail("the MIDI file ends after " + std::to_string(parsed.size()) + " of " +
                    std::to_string(tracks) + " tracks");
      std::uint32_t chunkSize = ReadBe32(data + pos + 4);
      if (chunkSize > size - pos - 8) {
        if (std::memcmp(data + pos, "MTrk", 4) == 0)
          return Fail("track " + std::to_string(parsed.size() + 1) +
                      " runs past the end of the file");
        return Fail("a chunk runs past the end of the file");
      }
      if (std::memcmp(data + pos, "MTrk", 4) == 0) {
        ParsedTrack track;
        if (!ParseTrack(data + pos + 8, chunkSize, std::uint16_t(parsed.size()), track))
          return false;
        parsed.push_back(std::move(track));
      }
      pos += 8 + std::size_t(chunkSize);
    }
    m_song->m_trackCount = tracks;
    return BuildTimeline(parsed);
  }

  bool SetDivision(std::uint16_t division) {
    if (division & 0x8000) {
      int fps = -int(std::int8_t(division >> 8));
      int ticksPerFrame = division & 0xFF;
      // 29 stands for 30 drop-frame, which runs at 30000/1001 frames a second.
      std::int64_t fpsNum = 0, fpsDen = 1;
      switch (fps) {
        case 24:
        case 25:
        case 30: fpsNum = fps; break;
        case 29:
          fpsNum = 30000;
          fpsDen = 1001;
          break;
        default: return Fail("unknown SMPTE frame rate " + std::to_string(fps));
      }
      if (ticksPerFrame == 0) return Fail("the MIDI division is zero");
      m_smpte = true;
      m_smpteNumerPerTick = 10000000LL * fpsDen;
      m_song->m_denominator = fpsNum * ticksPerFrame;
    } else {
      if (division == 0) return Fail("the MIDI division is zero");
      m_song->m_denominator = division;
    }
    return true;
  }

  // Reads a variable-length quantity of at most 4 bytes.
  bool ReadVlq(const std::uint8_t *data, std::size_t size, std::size_t &pos, std::uint32_t &value,
               int trackNo) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos >= size) return Fail("track " + std::to_string(trackNo) + " is truncated");
      std::uint8_t b = data[pos++];
      value = (value << 7) | (b & 0x7F);
      if (!(b & 0x80)) return true;
    }
    return Fail("track " + std::to_string(trackNo) +
                " holds a variable-length number longer than 4 bytes");
  }

  bool ParseTrack(const std::uint8_t *data, std::size_t size, std::uint16_t index,
                  ParsedTrack &track) {
    const int trackNo = index + 1;
    std::size_t pos = 0;
    std::int64_t tick = 0;
    std::uint8_t running = 0;
    auto truncated = [&] { return Fail("track " + std::to_string(trackNo) + " is truncated"); };
    while (pos < size) {
      std::uint32_t delta;
      if (!ReadVlq(data, size, pos, delta, trackNo)) return false;
      tick += delta;
      if (tick > kMaxTick) return Fail("track " + std::to_string(trackNo) + " is implausibly long");
      if (pos >= size) return truncated();
      std::uint8_t status = data[pos];
      MidiEvent e;
      e.tick = tick;
      e.track = index;
      if (status < 0x80) {
        if (!running)
          return Fail("track " + std::to_string(trackNo) +
                      " uses running status before any status byte");
        status = running;
      } else {
        ++pos;
      }
      e.status = status;
      if (status < 0xF0) {
        // Sysex and meta events leave the running status alone: files
        // in the wild rely on it continuing across them.
        running = status;
        int n = ChannelDataLength(status);
        if (size - pos < std::size_t(n)) return truncated();
        for (int i = 0; i < n; ++i)
          if (data[pos + i] & 0x80)
            return Fail("track " + std::to_string(trackNo) + " holds a data byte out of range");
        e.data1 = data[pos];
        e.data2 = n == 2 ? data[pos + 1] : 0;
        pos += std::size_t(n);
        track.events.push_back(e);
      } else if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        if (status == 0xFF) {
          if (pos >= size) return truncated();
          e.data1 = data[pos++];
        }
        std::uint32_t length;
        if (!ReadVlq(data, size, pos, length, trackNo)) return false;
        if (length > size - pos) return truncated();
        e.dataOffset = std::uint32_t(m_song->m_payload.size());
        e.dataLength = length;
        m_song->m_payload.insert(m_song->m_payload.end(), data + pos, data + pos + length);
        pos += length;
        track.events.push_back(e);
        if (status == 0xFF && e.data1 == kMidiMetaEndOfTrack)
          break;  // what follows is not part of the track
      } else {
        std::size_t n = std::size_t(SystemDataLength(status));
        if (size - pos < n) return truncated();
        pos += n;
      }
    }
    track.endTick = tick;
    return true;
  }

  // Puts the tracks on one tick axis, builds the tempo map and gives every
  // event its time.
  bool BuildTimeline(std::vector<ParsedTrack> &tracks) {
    MidiSong &song = *m_song;
    auto &tempo = song.m_tempo;
    auto tempoNumer = [](std::int64_t usPerQuarter) {
      return std::max<std::int64_t>(usPerQuarter, 1) * 10;
    };
    std::int64_t lengthTicks = 0;
    std::size_t total = 0;
    for (auto &t : tracks) total += t.events.size();

    if (m_smpte) {
      tempo.push_back({0, 0, m_smpteNumerPerTick});
      for (auto &t : tracks) lengthTicks = std::max(lengthTicks, t.endTick);
      if (song.m_format == 2) {
        lengthTicks = 0;
        for (auto &t : tracks) {
          for (auto &e : t.events) e.tick += lengthTicks;
          lengthTicks += t.endTick;
          if (lengthTicks > kMaxTick) return Fail("the song is implausibly long");
        }
      }
    } else if (song.m_format == 2) {
      // Each track is a sequence of its own, starting at the default
      // tempo; they play one after another.
      std::int64_t offset = 0;
      for (auto &t : tracks) {
        if (tempo.empty() || tempo.back().tick != offset) tempo.push_back({offset, 0, 0});
        tempo.back().numerPerTick = tempoNumer(kDefaultTempo);
        for (auto &e : t.events) {
          e.tick += offset;
          if (e.IsMeta() && e.data1 == kMidiMetaTempo && e.dataLength >= 3)
            AddTempo(e.tick, tempoNumer(TempoOf(e)));
        }
        offset += t.endTick;
        if (offset > kMaxTick) return Fail("the song is implausibly long");
      }
      lengthTicks = offset;
    } else {
      // Tempo changes in any track apply to the whole song.
      std::vector<std::pair<std::int64_t, std::int64_t>> changes;
      for (auto &t : tracks) {
        lengthTicks = std::max(lengthTicks, t.endTick);
        for (auto &e : t.events)
          if (e.IsMeta() && e.data1 == kMidiMetaTempo && e.dataLength >= 3)
            changes.push_back({e.tick, tempoNumer(TempoOf(e))});
      }
      // At one tick the last change (in track order) wins.
      std::stable_sort(changes.begin(), changes.end(),
                       [](const auto &a, const auto &b) { return a.first < b.first; });
      tempo.push_back({0, 0, tempoNumer(kDefaultTempo)});
      for (auto &c : changes) AddTempo(c.first, c.second);
    }
    if (lengthTicks > kMaxTick) return Fail("the song is implausibly long");
    // Fill in the exact start of each segment.
    for (std::size_t i = 1; i < tempo.size(); ++i)
      tempo[i].numer = tempo[i - 1].numer +
                       __int128(tempo[i].tick - tempo[i - 1].tick) * tempo[i - 1].numerPerTick;

    song.m_lengthTicks = lengthTicks;
    __int128 lengthNumer = NumerAt(lengthTicks);
    if (lengthNumer / song.m_denominator > kMaxMidiSongLength)
      return Fail("the song is implausibly long");
    song.m_length = REFERENCE_TIME(lengthNumer / song.m_denominator);

    song.m_events.reserve(total);
    for (auto &t : tracks) {
      song.m_events.insert(song.m_events.end(), t.events.begin(), t.events.end());
      std::vector<MidiEvent>().swap(t.events);
    }
    // Tracks were appended in order and each is in order, so a stable
    // sort by tick keeps track order, then file order, at equal ticks.
    std::stable_sort(song.m_events.begin(), song.m_events.end(),
                     [](const MidiEvent &a, const MidiEvent &b) { return a.tick < b.tick; });
    for (auto &e : song.m_events) e.time = song.TickToTime(e.tick);
    return true;
  }

  std::int64_t TempoOf(const MidiEvent &e) const {
    const std::uint8_t *p = m_song->m_payload.data() + e.dataOffset;
    return (std::int64_t(p[0]) << 16) | (std::int64_t(p[1]) << 8) | p[2];
  }

  void AddTempo(std::int64_t tick, std::int64_t numerPerTick) {
    auto &tempo = m_song->m_tempo;
    if (tempo.back().tick == tick)
      tempo.back().numerPerTick = numerPerTick;
    else
      tempo.push_back({tick, 0, numerPerTick});
  }

  __int128 NumerAt(std::int64_t tick) const {
    const auto &tempo = m_song->m_tempo;
    auto it = std::upper_bound(
        tempo.begin(), tempo.end(), tick,
        [](std::int64_t t, const MidiSong::TempoSegment &s) { return t < s.tick; });
    const auto &seg = *(it - 1);
    return seg.numer + __int128(tick - seg.tick) * seg.numerPerTick;
  }

  const std::uint8_t *m_data;
  std::size_t m_size;
  MidiSong *m_song = nullptr;
  std::string m_error;
  bool m_smpte = false;
  std::int64_t m_smpteNumerPerTick = 0;
};

namespace {

const MidiSong::TempoSegment &SegmentAtTick(const std::vector<MidiSong::TempoSegment> &tempo,
                                            std::int64_t tick) {
  auto it =
      std::upper_bound(tempo.begin(), tempo.end(), tick,
                       [](std::int64_t t, const MidiSong::TempoSegment &s) { return t < s.tick; });
  return *(it - 1);
}

}  // namespace

REFERENCE_TIME MidiSong::TickToTime(std::int64_t tick) const {
  if (tick <= 0 || m_tempo.empty()) return 0;
  tick = std::min(tick, kMaxTick);
  const TempoSegment &seg = SegmentAtTick(m_tempo, tick);
  __int128 numer = seg.numer + __int128(tick - seg.tick) * seg.numerPerTick;
  __int128 time = numer / m_denominator;
  return time > INT64_MAX ? INT64_MAX : REFERENCE_TIME(time);
}

std::int64_t MidiSong::TimeToTick(REFERENCE_TIME time) const {
  if (time < 0 || m_tempo.empty()) return 0;
  // The last segment that starts at or before `time`.
  __int128 limit =
      (__int128(time) + 1) * m_denominator - 1;  // largest numer with floor(numer / den) <= time
  auto it = std::upper_bound(m_tempo.begin(), m_tempo.end(), limit,
                             [](__int128 n, const TempoSegment &s) { return n < s.numer; });
  const TempoSegment &seg = *(it - 1);
  __int128 tick = seg.tick + (limit - seg.numer) / seg.numerPerTick;
  return tick > kMaxTick ? kMaxTick : std::int64_t(tick);
}

std::span<const std::uint8_t> MidiSong::Payload(const MidiEvent &e) const {
  if (std::size_t(e.dataOffset) + e.dataLength > m_payload.size()) return {};
  return {m_payload.data() + e.dataOffset, e.dataLength};
}

std::shared_ptr<const MidiSong> ReadMidiData(const void *data, std::size_t size,
                                             std::string *error) {
  if (!data && size) {
    if (error) *error = "no data";
    return nullptr;
  }
  MidiFileParser parser(static_cast<const std::uint8_t *>(data), size);
  return parser.Parse(error);
}

namespace {

// Reads a whole regular file, refusing anything larger than a MIDI song can
// be. Opened without blocking, so a named pipe or device given as a song is
// refused instead of waiting forever for a writer.
bool ReadWholeFile(const std::string &path, std::vector<std::uint8_t> &out, std::string *error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error) *error = path + " is not a regular file";
    return false;
  }
  if (std::uint64_t(st.st_size) > kMaxMidiFileSize) {
    ::close(fd);
    if (error) *error = "the file is too large to be a MIDI song";
    return false;
  }
  out.resize(std::size_t(st.st_size));
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += std::size_t(n);
  }
  ::close(fd);
  out.resize(got);  // a file that shrank while being read is parsed as it was read
  return true;
}

}  // namespace

std::shared_ptr<const MidiSong> ReadMidiFile(const std::string &path, std::string *error) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, error)) return nullptr;
  return ReadMidiData(bytes.data(), bytes.size(), error);
}

bool LooksLikeMidiData(const void *data, std::size_t size) {
  const auto *p = static_cast<const std::uint8_t *>(data);
  if (size >= 4 && std::memcmp(p, "MThd", 4) == 0) return true;
  return size >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "RMID", 4) == 0;
}

bool LooksLikeMidiFile(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  std::uint8_t head[12];
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  return n > 0 && LooksLikeMidiData(head, std::size_t(n));
}
