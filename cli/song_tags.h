// The tags an output file carries, taken from the song itself.
#pragma once

#include <string>

class MidiSong;

struct SongTags {
  std::string title;      // the sequence or track name, else the file's name
  std::string copyright;  // the copyright event's text, "" when none
  std::string comment;    // names the SoundFont the song was played with
};

// Title: the first sequence/track name event of the first track that has one
// (the sequence name of a format 0 or 1 file), else the file name without its
// extension. Texts in files are in no stated encoding: valid UTF-8 is kept,
// anything else is read as Latin-1. Control characters become blanks.
SongTags ReadSongTags(const MidiSong &song, const std::string &songPath,
                      const std::string &soundFontPath);

// The text of a meta event's bytes as UTF-8 (see above), trimmed.
std::string MidiTextToUtf8(const unsigned char *bytes, std::size_t size);
