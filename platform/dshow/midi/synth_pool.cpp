// The pool of loaded synthesisers. See synth_pool.h for what it promises.
#include "platform/dshow/midi/synth_pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <sys/stat.h>
#include <utility>
#include <vector>

bool ReadSoundFontIdentity(const std::string &path, SoundFontIdentity *identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  identity->device = st.st_dev;
  identity->inode = st.st_ino;
  identity->size = std::int64_t(st.st_size);
  identity->modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  identity->changedNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return true;
}

PooledSynth::~PooledSynth() {
  if (m_synth) delete_fluid_synth(m_synth);
  if (m_settings) delete_fluid_settings(m_settings);
}

void PooledSynth::Render(float *out, std::int64_t frames) {
  std::int64_t done = 0;
  while (done < frames) {
    int n = int(std::min<std::int64_t>(frames - done, 4096));
    fluid_synth_write_float(m_synth, n, out + 2 * done, 0, 2, out + 2 * done, 1, 2);
    done += n;
  }
  m_framesRendered += std::uint64_t(frames);
}

namespace {
std::atomic<std::uint64_t> g_loads{0};
}  // namespace

class SynthPool {
 public:
  static SynthPool &Instance() {
    // Never destroyed: see the header.
    static SynthPool *pool = new SynthPool;
    return *pool;
  }

  std::unique_ptr<PooledSynth> Take(const std::string &path, int rate, double gain,
                                    SynthFailure *failure);
  void Return(std::unique_ptr<PooledSynth> synth);
  std::size_t FreeIdle();
  std::size_t IdleCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_idle.size();
  }

 private:
  static std::unique_ptr<PooledSynth> Load(const std::string &path, int rate, double gain,
                                           SynthFailure *failure);
  static bool Silence(PooledSynth &p);

  std::mutex m_mutex;
  std::vector<std::unique_ptr<PooledSynth>> m_idle;  // oldest first
};

std::unique_ptr<PooledSynth> SynthPool::Load(const std::string &path, int rate, double gain,
                                             SynthFailure *failure) {
  std::unique_ptr<PooledSynth> p(new PooledSynth);
  p->m_path = path;
  p->m_sampleRate = rate;
  // Read before loading: if the file changes while it loads, the
  // synthesiser is filed under the older identity and never matches again.
  if (!ReadSoundFontIdentity(path, &p->m_identity)) p->m_reusable = false;
  {
    // The first new_fluid_synth of a process fills FluidSynth's global
    // state (the default modulators, dither, tables), and a second caller
    // meanwhile does not wait for them: two jobs of a batch starting at
    // once could render a whole song with half-made tables (seen under
    // load: one song's envelope 0.73 against its own render).
    static std::mutex creating;
    std::lock_guard<std::mutex> lock(creating);
    p->m_settings = new_fluid_settings();
    if (!p->m_settings) {
      *failure = SynthFailure::Setup;
      return nullptr;
    }
    fluid_settings_setnum(p->m_settings, "synth.sample-rate", rate);
    fluid_settings_setnum(p->m_settings, "synth.gain", gain);
    // Samples are read when a program first needs them: opening is quick
    // and a General MIDI song uses a small part of a 140 MB SoundFont.
    fluid_settings_setint(p->m_settings, "synth.dynamic-sample-loading", 1);
    p->m_synth = new_fluid_synth(p->m_settings);
  }
  if (!p->m_synth) {
    *failure = SynthFailure::Setup;
    return nullptr;
  }
  g_loads.fetch_add(1);
  if (fluid_synth_sfload(p->m_synth, path.c_str(), 1) == FLUID_FAILED) {
    *failure = SynthFailure::SoundFont;
    return nullptr;
  }
  SoundFontIdentity after;
  if (!ReadSoundFontIdentity(path, &after) || !(after == p->m_identity)) p->m_reusable = false;
  return p;
}

std::unique_ptr<PooledSynth> SynthPool::Take(const std::string &path, int rate, double gain,
                                             SynthFailure *failure) {
  *failure = SynthFailure::None;
  SoundFontIdentity identity;
  const bool known = ReadSoundFontIdentity(path, &identity);
  std::unique_ptr<PooledSynth> found;
  std::vector<std::unique_ptr<PooledSynth>> stale;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_idle.begin(); it != m_idle.end();) {
      PooledSynth &p = **it;
      if (p.m_path == path && (!known || !(p.m_identity == identity))) {
        stale.push_back(std::move(*it));
        it = m_idle.erase(it);
      } else if (!found && known && p.m_path == path && p.m_sampleRate == rate) {
        found = std::move(*it);
        it = m_idle.erase(it);
      } else {
        ++it;
      }
    }
  }
  stale.clear();  // freed outside the lock: deleting a synthesiser takes 10-18 ms
  if (!found) return Load(path, rate, gain, failure);
  fluid_synth_t *s = found->m_synth;
  fluid_synth_system_reset(s);
  fluid_synth_all_sounds_off(s, -1);
  fluid_synth_set_gain(s, float(gain));
  return found;
}

// Brings a used synthesiser to where a new one starts: its next rendered
// frame begins a fresh internal block, no voice sounds, the reverb and
// chorus hold nothing, and the chorus modulation starts over. False when it
// would not fall silent.
bool SynthPool::Silence(PooledSynth &p) {
  fluid_synth_t *s = p.m_synth;
  const int block = fluid_synth_get_internal_bufsize(s);
  if (block <= 0) return false;
  std::vector<float> scratch(2 * std::size_t(block));
  // FluidSynth renders whole blocks ahead of what was asked; the rest of
  // the last one belongs to the old song and would open the next one late.
  const int ahead = int((std::uint64_t(block) - p.m_framesRendered % std::uint64_t(block)) %
                        std::uint64_t(block));
  if (ahead > 0) p.Render(scratch.data(), ahead);
  // A system reset clears reverb and chorus, but the voices it cuts still
  // feed them one last block; each round leaves about 1/60 of the round
  // before (measured with FluidSynth 2.3), so a few rounds reach silence.
  constexpr int kMaxRounds = 32;
  constexpr float kSilent = 1e-6f;  // -120 dBFS
  bool silent = false;
  for (int round = 0; round < kMaxRounds && !silent; ++round) {
    fluid_synth_system_reset(s);
    fluid_synth_all_sounds_off(s, -1);
    p.Render(scratch.data(), block);
    float peak = 0.0f;
    for (float v : scratch) peak = std::max(peak, std::fabs(v));
    silent = round > 0 && peak < kSilent && fluid_synth_get_active_voice_count(s) == 0;
  }
  if (!silent) return false;
  fluid_synth_system_reset(s);
  fluid_synth_all_sounds_off(s, -1);
  // The reverb's delay lines are modulated, and that modulation runs on
  // through a reset: the next song's reverberated part would differ from a
  // new synthesiser's (about 38 dB under the music, enough to keep a song
  // from sounding exactly as FluidSynth's own render). Setting the sample
  // rate again is what restarts it in FluidSynth 2.3; the function is
  // deprecated only because changing the rate is not real-time safe, and
  // here the rate stays the same and nothing plays.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  fluid_synth_set_sample_rate(s, float(p.m_sampleRate));
#pragma GCC diagnostic pop
  // Setting the chorus again restarts its modulators at their initial
  // phases, as in a new synthesiser; left running, the chorused part of
  // the next song would differ audibly from a first open's.
  for (int group = 0; group < fluid_synth_count_effects_groups(s); ++group) {
    int nr = 0, type = 0;
    double level = 0, speed = 0, depth = 0;
    if (fluid_synth_get_chorus_group_nr(s, group, &nr) != FLUID_OK ||
        fluid_synth_get_chorus_group_level(s, group, &level) != FLUID_OK ||
        fluid_synth_get_chorus_group_speed(s, group, &speed) != FLUID_OK ||
        fluid_synth_get_chorus_group_depth(s, group, &depth) != FLUID_OK ||
        fluid_synth_get_chorus_group_type(s, group, &type) != FLUID_OK)
      return false;
    fluid_synth_set_chorus_group_nr(s, group, nr);
    fluid_synth_set_chorus_group_level(s, group, level);
    fluid_synth_set_chorus_group_speed(s, group, speed);
    fluid_synth_set_chorus_group_depth(s, group, depth);
    fluid_synth_set_chorus_group_type(s, group, type);
  }
  p.m_framesRendered = 0;
  return true;
}

void SynthPool::Return(std::unique_ptr<PooledSynth> synth) {
  if (!synth) return;
  SoundFontIdentity now;
  if (!synth->m_reusable || !ReadSoundFontIdentity(synth->m_path, &now) ||
      !(now == synth->m_identity) || !Silence(*synth))
    return;  // freed here, on the caller's thread, as before there was a pool
  std::unique_ptr<PooledSynth> evicted;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.push_back(std::move(synth));
    if (m_idle.size() > kMaxIdleSynths) {
      evicted = std::move(m_idle.front());
      m_idle.erase(m_idle.begin());
    }
  }
}

std::size_t SynthPool::FreeIdle() {
  std::vector<std::unique_ptr<PooledSynth>> idle;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    idle.swap(m_idle);
  }
  return idle.size();
}

std::unique_ptr<PooledSynth> TakeSynth(const std::string &soundFontPath, int sampleRate,
                                       double gain, SynthFailure *failure) {
  SynthFailure ignored;
  return SynthPool::Instance().Take(soundFontPath, sampleRate, gain, failure ? failure : &ignored);
}

void ReturnSynth(std::unique_ptr<PooledSynth> synth) {
  SynthPool::Instance().Return(std::move(synth));
}

std::size_t FreeIdleSynths() { return SynthPool::Instance().FreeIdle(); }

std::size_t IdleSynthCount() { return SynthPool::Instance().IdleCount(); }

std::uint64_t SoundFontLoadCount() { return g_loads.load(); }
