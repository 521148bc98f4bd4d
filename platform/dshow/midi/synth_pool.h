// Loaded FluidSynth synthesisers kept for the next MIDI source that starts.
//
// Parsing the default SoundFont takes about 64 ms, nearly all of what opening
// a song costs once the program runs. A source element that stops gives its
// synthesiser back here, silenced, and the next element that starts with the
// same SoundFont file and sample rate takes it instead of loading again.
//
// - Keyed by the SoundFont path, the file's identity (device, inode, size,
//   modification and change times) and the sample rate: a SoundFont that was
//   replaced or rewritten since is loaded afresh, and the stale synthesisers
//   of that path are freed.
// - At most kMaxIdleSynths wait here (each holds the parsed SoundFont and the
//   samples of the presets its channels select, some megabytes); the oldest
//   goes when another comes back.
// - Safe from any thread. A synthesiser is driven by one element at a time.
// - The pool lives until the process ends and is never destroyed, so idle
//   synthesisers stay reachable (leak checkers count them as in use) and no
//   element stopping late on another thread can meet a destroyed pool.
//   FreeIdleSynths() frees them on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <fluidsynth.h>
#include <sys/types.h>

// One: the program plays one song at a time, and every synthesiser kept
// holds memory (a conversion's peak has to stay near 110 MB).
inline constexpr std::size_t kMaxIdleSynths = 1;

// What tells one SoundFont file from another at the same path.
struct SoundFontIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool operator==(const SoundFontIdentity &) const = default;
};

// Follows symbolic links (default-GM.sf2 is one). False when it cannot stat.
bool ReadSoundFontIdentity(const std::string &path, SoundFontIdentity *identity);

// One synthesiser with its SoundFont loaded, lent to one element.
class PooledSynth {
 public:
  ~PooledSynth();
  PooledSynth(const PooledSynth &) = delete;
  PooledSynth &operator=(const PooledSynth &) = delete;

  fluid_synth_t *get() const { return m_synth; }

  // Renders interleaved stereo; all rendering goes through here so the
  // synthesiser can be given back on one of FluidSynth's block boundaries.
  void Render(float *out, std::int64_t frames);

  // For state that a system reset leaves behind (tunings defined by
  // system exclusive messages): this synthesiser is freed, not pooled.
  void MarkNotReusable() { m_reusable = false; }

 private:
  friend class SynthPool;
  PooledSynth() = default;

  fluid_settings_t *m_settings = nullptr;
  fluid_synth_t *m_synth = nullptr;
  std::string m_path;
  SoundFontIdentity m_identity;
  int m_sampleRate = 0;
  std::uint64_t m_framesRendered = 0;
  bool m_reusable = true;
};

enum class SynthFailure { None, Setup, SoundFont };

// An idle synthesiser for this SoundFont and rate, reset (all sound off,
// programs and controllers at their defaults) and set to `gain`, or a new
// one that loads the SoundFont (with dynamic sample loading). Null on
// failure, with *failure saying whether FluidSynth could not be set up or
// the SoundFont could not be loaded. The caller checks the file first.
std::unique_ptr<PooledSynth> TakeSynth(const std::string &soundFontPath, int sampleRate,
                                       double gain, SynthFailure *failure);

// Gives a synthesiser back: silenced (voices, reverb and chorus tails) and
// kept when it may be reused, freed otherwise. Null is ignored.
void ReturnSynth(std::unique_ptr<PooledSynth> synth);

// Frees every idle synthesiser; returns how many there were.
std::size_t FreeIdleSynths();
std::size_t IdleSynthCount();
// How many times this process has loaded a SoundFont into a synthesiser.
std::uint64_t SoundFontLoadCount();
