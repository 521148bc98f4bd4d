// How the batch tells what became of each song: a progress bar on a
// terminal, else one line per song; and, with --report json, one JSON
// object per line on standard output.
#pragma once

#include <cstdio>
#include <string>

struct SongOutcome {
  std::string input;
  std::string output;
  bool converted = false;
  std::string reason;  // why it failed, "" when converted
  std::string note;    // e.g. the numbered name's reason
  bool numbered = false;
  double songSeconds = 0;  // -1 when unknown
  double cpuSeconds = 0;
};

// {"input":...,"output":...,"status":"converted"|"failed","reason":...,
//  "numbered":bool,"song_seconds":n,"cpu_seconds":n,"note":...}
std::string JsonReportLine(const SongOutcome &o);
// JSON string literal of UTF-8 text (invalid bytes escaped as \u00XX of
// their Latin-1 reading, so the line stays valid JSON).
std::string JsonString(const std::string &text);

// The line printed for a song when there is no progress bar.
std::string HumanReportLine(const SongOutcome &o);

// "[#####.....]  3/31 songs  42%  1:05 left"
std::string ProgressBarLine(int done, int total, double fraction, double secondsLeft, int width);
