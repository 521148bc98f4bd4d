// When each event of a song takes effect in the synthesiser, on the grid
// FluidSynth's own MIDI file player uses.
//
// Some SoundFont presets (echoes, detuned layers, the chorus) sound
// noticeably different when a note starts a millisecond earlier or later:
// shifting a whole song by one tick moved its 50 ms loudness envelope to a
// correlation of 0.93 with itself. To sound as FluidSynth's own render of
// the same song (`fluidsynth -F`), the source has to start every event on
// the very block that player starts it on, and in the same order:
//
// - The player runs once per synthesiser block (64 frames), at the block's
//   start, with the time rounded down to a whole millisecond; it sends every
//   event whose tick the rounded tick count of that moment has reached
//   (ticks count from the last tempo change, rounded to the nearest tick).
// - What it sends sounds from the next block on.
// - Within one run it goes through the tracks in order.
// - A tempo change restarts the count from that run's time and tick count,
//   so every change moves the rest of the song by a fraction of a block.
//
// Songs the player would time differently from the reader (format 2, SMPTE
// divisions, a tempo of 0) keep their exact frames, rounded up to the block
// the synthesiser can start them on.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dshow/midi/midi_song.h"

// FluidSynth's internal block, in frames (FLUID_BUFSIZE).
inline constexpr std::int64_t kSynthBlockFrames = 64;

struct PlayerSchedule {
  // Indexes into MidiSong::Events() in the order the events are sent.
  std::vector<std::uint32_t> order;
  // frames[k]: the frame from which order[k] takes effect; never decreasing,
  // always a multiple of kSynthBlockFrames.
  std::vector<std::int64_t> frames;
  // Whether FluidSynth's player timing was followed (else exact frames).
  bool followsPlayer = false;
};

PlayerSchedule SchedulePlayerEvents(const MidiSong &song, int sampleRate);
