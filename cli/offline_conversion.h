// One song rendered into one file, without a window, a sound server or a
// clock: the MIDI file source, then the WMA writer module (as the window
// uses it) or a stock encoder, then the file. Runs on the calling thread.
#pragma once

#include <atomic>
#include <string>

#include "cli/options.h"
#include "cli/song_tags.h"

struct OfflineConversion {
  std::string song;
  std::string file;  // written as it is: the caller renames it when complete
  OutputFormat format = OutputFormat::Wma;
  std::string soundFont;
  SongTags tags;
  // Song time rendered so far, in 100 ns units, for the progress display.
  std::atomic<long long> *position = nullptr;
};

// True when the file was written to the end of the song; otherwise *reason
// says why (one line) and the file may be partly written or absent.
bool RunOfflineConversion(const OfflineConversion &job, std::string *reason);
