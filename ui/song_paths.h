// Checks on the paths the song commands and the conversion run work with.
#pragma once

#include "platform/win/windef.h"

#include <sys/stat.h>

#include <cstring>

// True when writing outputPath would overwrite the song at midiPath: the same
// text, or two names of one file (a link, "./", a relative name). A run must
// refuse such an output, or it deletes the song it is playing.
inline bool OutputPathIsTheOpenSong(LPCSTR outputPath, LPCSTR midiPath) {
  if (outputPath == nullptr || midiPath == nullptr || outputPath[0] == 0 || midiPath[0] == 0)
    return false;
  if (strcmp(outputPath, midiPath) == 0) return true;
  struct stat out {
  }, song{};
  if (stat(outputPath, &out) != 0 || stat(midiPath, &song) != 0) return false;
  return out.st_dev == song.st_dev && out.st_ino == song.st_ino;
}

// The message shown when Convert is refused for that reason.
inline constexpr const char *kOutputIsTheSongMessage =
    "The output file is the opened MIDI file itself.\nChoose another output file.";
