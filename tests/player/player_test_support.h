// Shared helpers of the player tests: songs written byte by byte, reference
// lengths from an independent reader (python3-mido), a recording owner
// window, and pumping the window layer's events until something happened.
#pragma once

#include "platform/win/windef.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace player_test {

// One note of a song: starting tick, length in ticks, key.
struct Note {
  uint32_t tick, length;
  uint8_t key;
};
// A tempo change: tick and microseconds per quarter note.
struct Tempo {
  uint32_t tick, usPerQuarter;
};

// A type 1 file: a tempo track and one note track on channel 0 with the
// given General MIDI program.
std::string MakeType1Song(uint16_t ticksPerQuarter, const std::vector<Tempo> &tempi,
                          const std::vector<Note> &notes, uint8_t program = 0);

// MidiFile(path).length from /usr/bin/python3 with mido, for each path; an
// empty optional when mido refuses the file.
std::vector<std::optional<double>> MidoLengths(const std::vector<std::string> &paths);

// Runs the toolkit's event loop until `done` holds or `timeoutMs` passed;
// returns `done()`.
bool PumpUntil(const std::function<bool()> &done, int timeoutMs);
void PumpFor(int ms);

// A hidden top-level window that records every message its procedure gets.
struct RecordedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
class RecordingOwner {
 public:
  RecordingOwner();
  ~RecordingOwner();
  HWND hwnd() const { return hwnd_; }
  int Count(UINT message, std::optional<WPARAM> wParam = std::nullopt) const;
  const std::vector<RecordedMessage> &messages() const;
  void Clear();

 private:
  HWND hwnd_ = nullptr;
};

using quavix::test::ReadWholeFile;
using quavix::test::TempDir;
using quavix::test::WindowText;
using quavix::test::WriteWholeFile;

}  // namespace player_test
