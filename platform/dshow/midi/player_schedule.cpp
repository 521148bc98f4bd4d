#include "platform/dshow/midi/player_schedule.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr std::int64_t kDefaultTempoUs = 500000;

std::int64_t TempoOf(const MidiSong &song, const MidiEvent &e) {
  auto p = song.Payload(e);
  return (std::int64_t(p[0]) << 16) | (std::int64_t(p[1]) << 8) | p[2];
}

bool IsTempo(const MidiEvent &e) {
  return e.IsMeta() && e.data1 == kMidiMetaTempo && e.dataLength >= 3;
}

// The player's clock as it stands after its last tempo change.
class PlayerClock {
 public:
  PlayerClock(int division, int rate) : m_division(division), m_rate(rate) {
    SetTempo(kDefaultTempoUs, 0, 0);
  }

  // The player's millisecond count at the start of block `block`.
  std::int64_t MsecOf(std::int64_t block) const {
    return std::int64_t(1000.0 * double(block * kSynthBlockFrames) / m_rate);
  }

  // The tick count the player reaches at the start of `block`.
  std::int64_t TicksAt(std::int64_t block) const {
    const double elapsed = double(MsecOf(block) - m_startMsec);
    return m_startTicks + std::int64_t(elapsed / double(m_msPerTick) + 0.5);
  }

  // The first block from `from` on whose tick count reaches `tick`.
  std::int64_t FirstBlockReaching(std::int64_t tick, std::int64_t from) const {
    if (TicksAt(from) >= tick) return from;
    std::int64_t lo = from, hi = from + 1, step = 1;  // TicksAt(lo) < tick
    while (TicksAt(hi) < tick) {
      lo = hi;
      step *= 2;
      hi = from + step;
    }
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      (TicksAt(mid) >= tick ? hi : lo) = mid;
    }
    return hi;
  }

  // A tempo change sent in `block`: counting restarts from that block's time
  // and tick count, whatever tick the change itself was on.
  void SetTempo(std::int64_t tempoUs, std::int64_t msec, std::int64_t ticks) {
    // Single precision, as the player computes it.
    m_msPerTick = float(tempoUs) / float(m_division) / 1000.0f;
    m_startMsec = msec;
    m_startTicks = ticks;
  }

 private:
  int m_division;
  int m_rate;
  float m_msPerTick = 0;
  std::int64_t m_startMsec = 0;
  std::int64_t m_startTicks = 0;
};

bool PlayerTimesLikeTheReader(const MidiSong &song) {
  if (song.IsSmpte() || song.Format() == 2 || song.Division() == 0) return false;
  for (const MidiEvent &e : song.Events())
    if (IsTempo(e) && TempoOf(song, e) == 0) return false;
  return true;
}

}  // namespace

PlayerSchedule SchedulePlayerEvents(const MidiSong &song, int sampleRate) {
  const auto &events = song.Events();
  PlayerSchedule s;
  s.order.resize(events.size());
  std::iota(s.order.begin(), s.order.end(), 0u);
  std::vector<std::int64_t> block(events.size(), 0);  // by event index

  s.followsPlayer = sampleRate > 0 && PlayerTimesLikeTheReader(song);
  if (!s.followsPlayer) {
    for (std::size_t i = 0; i < events.size(); ++i) {
      const std::int64_t frame = std::int64_t(events[i].time) * sampleRate / 10000000;
      block[i] = (frame + kSynthBlockFrames - 1) / kSynthBlockFrames;
    }
  } else {
    PlayerClock clock(song.Division(), sampleRate);
    std::int64_t current = 0;
    std::int64_t reached = clock.TicksAt(0);
    const MidiEvent *lastTempo = nullptr;  // the one of the current block that wins
    for (std::size_t i = 0; i < events.size(); ++i) {
      const MidiEvent &e = events[i];
      if (e.tick > reached) {
        // The tempo changes of the block just finished take effect now;
        // the player goes through tracks in order, so the last one in
        // track order is what remains.
        if (lastTempo) clock.SetTempo(TempoOf(song, *lastTempo), clock.MsecOf(current), reached);
        lastTempo = nullptr;
        current = clock.FirstBlockReaching(e.tick, current + 1);
        reached = clock.TicksAt(current);
      }
      block[i] = current;
      if (IsTempo(e) && (!lastTempo || e.track >= lastTempo->track)) lastTempo = &e;
    }
  }

  // Sent in the player's order: block by block, each track in turn.
  std::stable_sort(s.order.begin(), s.order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (block[a] != block[b]) return block[a] < block[b];
    return events[a].track < events[b].track;
  });
  s.frames.resize(events.size());
  // What the player sends during a block sounds from the next one; exact
  // frames already name the block they start on.
  const std::int64_t delay = s.followsPlayer ? 1 : 0;
  for (std::size_t k = 0; k < s.order.size(); ++k)
    s.frames[k] = (block[s.order[k]] + delay) * kSynthBlockFrames;
  return s;
}
