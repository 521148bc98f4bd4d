#include "cli/song_report.h"

#include <cmath>

namespace {

std::string Number(double v) {
  if (!(v >= 0)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

std::string Clock(double seconds) {
  if (!(seconds >= 0) || seconds > 360000) return "--:--";
  const long s = std::lround(seconds);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string JsonString(const std::string &text) {
  std::string out = "\"";
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    std::size_t len = c < 0x80                       ? 1
                      : (c >> 5) == 0x6 && c >= 0xC2 ? 2
                      : (c >> 4) == 0xE              ? 3
                      : (c >> 3) == 0x1E             ? 4
                                                     : 0;
    bool valid = len > 0 && i + len <= n;
    for (std::size_t k = 1; valid && k < len; ++k) valid = (s[i + k] & 0xC0) == 0x80;
    if (!valid) {
      // A file name need not be UTF-8; its byte is kept readable and the line valid.
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out + "\"";
}

std::string JsonReportLine(const SongOutcome &o) {
  std::string line = "{\"input\":" + JsonString(o.input);
  line += ",\"output\":" + (o.output.empty() ? std::string("null") : JsonString(o.output));
  line += std::string(",\"status\":\"") + (o.converted ? "converted" : "failed") + "\"";
  line += ",\"reason\":" + (o.reason.empty() ? std::string("null") : JsonString(o.reason));
  line += std::string(",\"numbered\":") + (o.numbered ? "true" : "false");
  line += ",\"note\":" + (o.note.empty() ? std::string("null") : JsonString(o.note));
  line += ",\"song_seconds\":" + Number(o.songSeconds);
  line += ",\"cpu_seconds\":" + Number(o.cpuSeconds) + "}";
  return line;
}

std::string HumanReportLine(const SongOutcome &o) {
  if (!o.converted) return "failed: " + o.input + ": " + o.reason;
  char figures[96];
  std::snprintf(figures, sizeof figures, " (%s of song, %.1f s of CPU)",
                Clock(o.songSeconds).c_str(), o.cpuSeconds);
  std::string line = "converted: " + o.input + " -> " + o.output + figures;
  if (!o.note.empty()) line += "; " + o.note;
  return line;
}

std::string ProgressBarLine(int done, int total, double fraction, double secondsLeft, int width) {
  if (fraction < 0) fraction = 0;
  if (fraction > 1) fraction = 1;
  const int filled = static_cast<int>(fraction * width);
  std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  char text[128];
  std::snprintf(text, sizeof text, " %d/%d songs %3d%%  %s left", done, total,
                static_cast<int>(fraction * 100), Clock(secondsLeft).c_str());
  return bar + text;
}
