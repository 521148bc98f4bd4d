#include "cli/song_tags.h"

#include "platform/dshow/midi/midi_song.h"

namespace {

constexpr std::uint8_t kMetaCopyright = 0x02;
constexpr std::uint8_t kMetaTrackName = 0x03;

bool IsValidUtf8(const unsigned char *s, std::size_t n) {
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 0;
    if (len == 0 || i + len > n) return false;
    if (len == 2 && c < 0xC2) return false;  // overlong
    for (std::size_t k = 1; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

std::string Trim(const std::string &s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string BaseNameWithoutExtension(const std::string &path) {
  const auto slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

std::string MidiTextToUtf8(const unsigned char *bytes, std::size_t size) {
  // A terminating zero, which some writers include, ends the text.
  std::size_t n = 0;
  while (n < size && bytes[n] != 0) ++n;
  std::string out;
  const bool utf8 = IsValidUtf8(bytes, n);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = bytes[i];
    if (c < 0x20 || c == 0x7F) {
      out += ' ';
    } else if (c < 0x80 || utf8) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return Trim(out);
}

SongTags ReadSongTags(const MidiSong &song, const std::string &songPath,
                      const std::string &soundFontPath) {
  SongTags tags;
  int titleTrack = -1;
  for (const MidiEvent &e : song.Events()) {
    if (!e.IsMeta()) continue;
    auto payload = song.Payload(e);
    if (e.data1 == kMetaTrackName && (titleTrack < 0 || e.track < titleTrack)) {
      std::string text = MidiTextToUtf8(payload.data(), payload.size());
      if (!text.empty()) {
        tags.title = text;
        titleTrack = e.track;
      }
    } else if (e.data1 == kMetaCopyright && tags.copyright.empty()) {
      tags.copyright = MidiTextToUtf8(payload.data(), payload.size());
    }
  }
  if (tags.title.empty()) tags.title = BaseNameWithoutExtension(songPath);
  const auto slash = soundFontPath.rfind('/');
  tags.comment = "Rendered with the SoundFont " +
                 (slash == std::string::npos ? soundFontPath : soundFontPath.substr(slash + 1));
  return tags;
}
