// A GStreamer source element that plays a MidiSong through FluidSynth.
//
// The element produces interleaved stereo 32-bit float audio at the chosen
// rate, timestamped from 0 at the start of the song. It is a plain (not
// live) source: played into an audio sink it runs in real time at the
// sink's clock; into a file it runs as fast as the synthesiser can.
//
// - The SoundFont is opened when the element starts (READY -> PAUSED), not
//   when it is created; a missing or unreadable SoundFont fails that state
//   change with a RESOURCE error naming the file and the package.
// - Duration query: the song's length. Position query: what has been
//   rendered so far.
// - Seeks in TIME format at rate 1.0 (other rates are refused): notes off,
//   synthesiser reset, then the programs, controllers, pitch bends and
//   system exclusive messages before the target are replayed so the song
//   sounds right from there.
// - End of stream once the last event has played and the voices have died
//   away, at most kMidiMaxReleaseTail after the song's length.
#pragma once

#include "platform/dshow/midi/midi_song.h"

#include <memory>
#include <string>

typedef struct _GstElement GstElement;

// A fixed synthesiser gain, measured on the 31 songs of openttd-openmsx with
// the default SoundFont: at FluidSynth's own default (0.2) their peaks range
// from -17 to 0 dBFS, half of them below -8 dBFS; at 0.3 most songs peak
// between -6 and -1 dBFS. The loudest few would pass full scale (up to
// +3.5 dBFS), so the element limits its output to `ceiling` instead of
// clipping.
inline constexpr double kMidiDefaultGain = 0.3;

inline constexpr REFERENCE_TIME kMidiMaxReleaseTail = 2 * 10000000LL;

inline constexpr const char *kDefaultSoundFontPath = "/usr/share/sounds/sf2/default-GM.sf2";

// Whether the SoundFont at `path` can be used: it exists, can be read, and
// begins as a SoundFont does (RIFF ... sfbk). Cheap (reads 12 bytes), so a
// caller can ask when a song is opened rather than learn of it when the
// element starts. On failure *message (when given) says what is wrong and
// which Debian package to install; the element's start reports the same text.
bool CheckSoundFont(const std::string &path, std::string *message);

struct MidiSynthOptions {
  std::string soundFontPath = kDefaultSoundFontPath;
  int sampleRate = 44100;
  double gain = kMidiDefaultGain;
  // The limiter's ceiling in linear full scale (0.891 = -1 dBFS).
  float ceiling = 0.891f;
};

// Name of the registered element type's factory ("quavixmidisrc"). The type
// is registered once per process, by RegisterMidiSourceElement or the first
// CreateMidiSourceElement. An element made by that name has no song and
// refuses to start; the factory is there for inspection tools and logs.
inline constexpr const char *kMidiSourceFactoryName = "quavixmidisrc";
void RegisterMidiSourceElement();

// Creates a source element for `song` (a new floating reference, as
// gst_element_factory_make gives). Returns null when `song` is null or the
// options are out of range (sample rate 8000..192000, gain 0..10).
// gst_init must have been called.
GstElement *CreateMidiSourceElement(std::shared_ptr<const MidiSong> song,
                                    const MidiSynthOptions &options);

// The song an element made by CreateMidiSourceElement plays (null for any
// other element).
std::shared_ptr<const MidiSong> GetMidiSourceSong(GstElement *element);
