// Where the source starts each event: on the block FluidSynth's own MIDI
// player starts it on. The expected frames are worked out by hand from that
// player's rules (a run at the start of every 64-frame block, the time in
// whole milliseconds, ticks rounded to the nearest, effect from the next
// block) at 44.1 kHz.
#include "platform/dshow/midi/player_schedule.h"
#include "tests/midi/midi_test_files.h"

#include <gtest/gtest.h>

using namespace miditest;

namespace {

constexpr int kRate = 44100;

std::shared_ptr<const MidiSong> Read(const Bytes &bytes) {
  std::string error;
  auto song = ReadMidiData(bytes.data(), bytes.size(), &error);
  if (!song) ADD_FAILURE() << "refused: " << error;
  return song;
}

// The frame the schedule gives the song's first event with this status
// and first data byte.
std::int64_t FrameOf(const MidiSong &song, const PlayerSchedule &s, std::uint8_t status,
                     std::uint8_t data1) {
  for (std::size_t k = 0; k < s.order.size(); ++k) {
    const MidiEvent &e = song.Events()[s.order[k]];
    if (e.status == status && e.data1 == data1) return s.frames[k];
  }
  ADD_FAILURE() << "no such event";
  return -1;
}

}  // namespace

TEST(PlayerSchedule, EventsStartOnThePlayersBlockOneBlockLate) {
  // 480 ticks a quarter at 120 bpm: a tick lasts 1.0417 ms.
  Track t;
  t.Event(0, {0x90, 60, 100}).Event(480, {0x90, 62, 100}).End(0);
  auto song = Read(Smf(0, 480, {t}));
  ASSERT_TRUE(song);
  PlayerSchedule s = SchedulePlayerEvents(*song, kRate);
  EXPECT_TRUE(s.followsPlayer);
  ASSERT_EQ(s.order.size(), song->Events().size());
  // Sent in the first run, heard from the second block.
  EXPECT_EQ(FrameOf(*song, s, 0x90, 60), 64);
  // Tick 480 is due at 0.5 s (frame 22050). The player's count reaches
  // 480 once the rounded time is 500 ms: block 345 (500.68 ms); block 344
  // reads 499 ms, 479 ticks. Heard from block 346.
  EXPECT_EQ(FrameOf(*song, s, 0x90, 62), 346 * 64);
  for (std::size_t k = 1; k < s.frames.size(); ++k) EXPECT_LE(s.frames[k - 1], s.frames[k]);
}

TEST(PlayerSchedule, ATempoChangeCountsOnFromTheBlockItWasSentIn) {
  // Tick 100 at 120 bpm is sent in block 72 (104 ms, count 100); from
  // there a tick lasts 2.0833 ms. Tick 580 is 480 ticks on: the count
  // reaches it at 1104 ms (block 761; block 760 reads 1102 ms). Exactly
  // timed it would be due at 1104.17 ms, frame 48694.
  Track t;
  t.Tempo(100, 1000000).Event(480, {0x90, 64, 100}).End(0);
  auto song = Read(Smf(0, 480, {t}));
  ASSERT_TRUE(song);
  PlayerSchedule s = SchedulePlayerEvents(*song, kRate);
  ASSERT_TRUE(s.followsPlayer);
  EXPECT_EQ(FrameOf(*song, s, 0x90, 64), 762 * 64);
}

TEST(PlayerSchedule, OneRunSendsTrackByTrack) {
  // 960 ticks a quarter: about three ticks a block. The run of block 1
  // (1 ms, count 2) sends ticks 1 and 2; it goes through track 0 first, so
  // track 0's event at tick 2 comes before track 1's at tick 1.
  Track first, second;
  first.Event(2, {0x91, 70, 100}).End(0);
  second.Event(1, {0x92, 71, 100}).End(0);
  auto song = Read(Smf(1, 960, {first, second}));
  ASSERT_TRUE(song);
  PlayerSchedule s = SchedulePlayerEvents(*song, kRate);
  std::vector<std::uint8_t> statuses;
  for (std::size_t k = 0; k < s.order.size(); ++k) {
    const MidiEvent &e = song->Events()[s.order[k]];
    if (e.IsChannelMessage()) {
      statuses.push_back(e.status);
      EXPECT_EQ(s.frames[k], 2 * 64);
    }
  }
  EXPECT_EQ(statuses, (std::vector<std::uint8_t>{0x91, 0x92}));
}

TEST(PlayerSchedule, SongsThePlayerWouldMistimeKeepTheirExactFrames) {
  // Format 2 (the player would play the tracks at once) and SMPTE time
  // (which it does not read): each event on the block of its exact frame.
  Track a, b;
  a.Event(0, {0x90, 60, 100}).Event(480, {0x80, 60, 0}).End(0);
  b.Event(0, {0x90, 67, 100}).End(240);
  auto two = Read(Smf(2, 480, {a, b}));
  ASSERT_TRUE(two);
  PlayerSchedule s = SchedulePlayerEvents(*two, kRate);
  EXPECT_FALSE(s.followsPlayer);
  EXPECT_EQ(FrameOf(*two, s, 0x90, 60), 0);
  // The second track starts after the first: at 0.5 s, frame 22050, whose
  // block starts at 22080.
  EXPECT_EQ(FrameOf(*two, s, 0x90, 67), 22080);

  Track smpte;
  smpte.Event(0, {0x90, 60, 100}).Event(25, {0x80, 60, 0}).End(0);
  // 25 frames a second, 40 ticks a frame: a tick is 1 ms.
  auto timed = Read(Smf(0, std::uint16_t(((256 - 25) << 8) | 40), {smpte}));
  ASSERT_TRUE(timed);
  s = SchedulePlayerEvents(*timed, kRate);
  EXPECT_FALSE(s.followsPlayer);
  // 25 ms is frame 1102.5 -> 1102, on the block from 1152.
  EXPECT_EQ(FrameOf(*timed, s, 0x80, 60), 1152);
}
