// The Standard MIDI File reader: timing, structure and refusal of damaged
// files, on tiny files built here and on real songs measured by mido.
#include "platform/dshow/midi/midi_song.h"
#include "tests/midi/midi_test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace miditest;

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

std::shared_ptr<const MidiSong> Read(const Bytes &bytes, std::string *error = nullptr) {
  std::string local;
  auto song = ReadMidiData(bytes.data(), bytes.size(), error ? error : &local);
  if (!song && !error) ADD_FAILURE() << "refused: " << local;
  return song;
}

std::string Refusal(const Bytes &bytes) {
  std::string error;
  auto song = ReadMidiData(bytes.data(), bytes.size(), &error);
  EXPECT_EQ(song, nullptr);
  EXPECT_FALSE(error.empty());
  return error;
}

// Two quarter notes at 120 bpm with 480 ticks a quarter: one second.
Track TwoNotes() {
  Track t;
  t.Event(0, {0xC0, 5})
      .Event(0, {0x90, 60, 100})
      .Event(480, {0x80, 60, 0})
      .Event(0, {0x90, 62, 100});
  t.Event(480, {0x80, 62, 0}).End(0);
  return t;
}

}  // namespace

TEST(MidiReaderTiming, FormatZeroAtDefaultTempo) {
  auto song = Read(Smf(0, 480, {TwoNotes()}));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->Format(), 0);
  EXPECT_EQ(song->TrackCount(), 1);
  EXPECT_EQ(song->Length(), 1 * kSecond);
  EXPECT_EQ(song->LengthTicks(), 960);
  const auto &ev = song->Events();
  ASSERT_EQ(ev.size(), 6u);
  EXPECT_EQ(ev[0].status, 0xC0);
  EXPECT_EQ(ev[0].data1, 5);
  EXPECT_EQ(ev[3].status, 0x90);
  EXPECT_EQ(ev[3].data1, 62);
  EXPECT_EQ(ev[3].time, kSecond / 2);
  EXPECT_TRUE(ev[5].IsMeta());
  EXPECT_EQ(ev[5].data1, kMidiMetaEndOfTrack);
  EXPECT_EQ(ev[5].time, kSecond);
}

TEST(MidiReaderTiming, TempoChangeInAnotherTrackAppliesToAll) {
  Track conductor;
  conductor.Tempo(0, 500000).Tempo(960, 250000).End(0);  // 120 bpm, then 240 bpm from 1 s on
  Track notes;
  notes.Event(0, {0x90, 60, 100}).Event(1920, {0x80, 60, 0}).End(0);
  Track late;
  late.Event(2400, {0x90, 64, 100}).End(0);
  auto song = Read(Smf(1, 480, {conductor, notes, late}));
  ASSERT_TRUE(song);
  // 960 ticks at 0.5 s a quarter, then 960 at 0.25 s a quarter.
  EXPECT_EQ(song->TickToTime(1920), 15000000);
  EXPECT_EQ(song->TickToTime(2400), 17500000);
  EXPECT_EQ(song->Length(), 17500000);
  for (const auto &e : song->Events())
    if (e.status == 0x80) {
      EXPECT_EQ(e.time, 15000000);
    }
}

TEST(MidiReaderTiming, EventsMergeInTimeThenTrackOrder) {
  Track a, b;
  a.Event(10, {0x90, 1, 1}).Event(10, {0x90, 2, 1}).End(0);
  b.Event(5, {0x91, 3, 1}).Event(5, {0x91, 4, 1}).Event(10, {0x91, 5, 1}).End(0);
  auto song = Read(Smf(1, 96, {a, b}));
  ASSERT_TRUE(song);
  std::vector<int> notes;
  for (const auto &e : song->Events())
    if (e.IsChannelMessage()) notes.push_back(e.data1);
  EXPECT_EQ(notes, (std::vector<int>{3, 1, 4, 2, 5}));
  for (std::size_t i = 1; i < song->Events().size(); ++i)
    EXPECT_LE(song->Events()[i - 1].time, song->Events()[i].time);
}

TEST(MidiReaderTiming, LaterTrackWinsTempoAtTheSameTick) {
  Track a, b;
  a.Tempo(0, 1000000).End(480);
  b.Tempo(0, 250000).End(480);
  auto song = Read(Smf(1, 480, {a, b}));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->Length(), kSecond / 4);
}

TEST(MidiReaderTiming, FormatTwoPlaysTracksOneAfterAnother) {
  Track first, second;
  first.Tempo(0, 250000).Event(0, {0x90, 60, 100}).Event(480, {0x80, 60, 0}).End(0);  // 0.25 s
  second.Event(0, {0x90, 62, 100}).Event(480, {0x80, 62, 0}).End(0);  // default tempo: 0.5 s
  auto song = Read(Smf(2, 480, {first, second}));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->Format(), 2);
  EXPECT_EQ(song->Length(), 7500000);
  EXPECT_EQ(song->LengthTicks(), 960);
  for (const auto &e : song->Events()) {
    if (e.IsChannelMessage() && e.data1 == 62 && e.status == 0x90) {
      EXPECT_EQ(e.time, 2500000);
    }
    if (e.IsChannelMessage() && e.data1 == 62 && e.status == 0x80) {
      EXPECT_EQ(e.time, 7500000);
    }
  }
}

TEST(MidiReaderTiming, SmpteDivisionIgnoresTempo) {
  // 25 frames a second, 40 ticks a frame: 1000 ticks a second.
  std::uint16_t division = std::uint16_t((std::uint8_t(-25) << 8) | 40);
  Track t;
  t.Tempo(0, 100000).Event(1000, {0x90, 60, 1}).End(1500);
  auto song = Read(Smf(0, division, {t}));
  ASSERT_TRUE(song);
  EXPECT_TRUE(song->IsSmpte());
  EXPECT_EQ(song->Length(), 25000000);
  EXPECT_EQ(song->TickToTime(1000), kSecond);
  EXPECT_EQ(song->TimeToTick(kSecond), 1000);
}

TEST(MidiReaderTiming, SmpteDropFrameRunsAtNtscRate) {
  std::uint16_t division = std::uint16_t((std::uint8_t(-29) << 8) | 100);
  Track t;
  t.End(2997);
  auto song = Read(Smf(0, division, {t}));
  ASSERT_TRUE(song);
  // 2997 ticks at 30000/1001 frames of 100 ticks: 0.999999 s.
  EXPECT_EQ(song->Length(), 9999990);
}

TEST(MidiReaderTiming, TickAndTimeAreInverse) {
  Track t;
  t.Tempo(0, 600000)
      .Tempo(77, 333333)
      .Tempo(500, 1200000)
      .Tempo(501, 16777215)
      .Tempo(3, 1)
      .End(1000);
  auto song = Read(Smf(1, 97, {t}));
  ASSERT_TRUE(song);
  for (std::int64_t tick = 0; tick < 1700; ++tick) {
    REFERENCE_TIME time = song->TickToTime(tick);
    ASSERT_LE(time, song->TickToTime(tick + 1)) << tick;
    std::int64_t back = song->TimeToTick(time);
    ASSERT_LE(song->TickToTime(back), time) << tick;
    ASSERT_GT(song->TickToTime(back + 1), time) << tick;
    ASSERT_GE(back, tick) << tick;  // several ticks may share one time; the last is returned
  }
  for (REFERENCE_TIME time = 0; time < song->Length() + kSecond; time += 123457) {
    std::int64_t tick = song->TimeToTick(time);
    ASSERT_LE(song->TickToTime(tick), time);
    ASSERT_GT(song->TickToTime(tick + 1), time);
  }
  EXPECT_EQ(song->TimeToTick(-5), 0);
  EXPECT_EQ(song->TickToTime(-5), 0);
}

TEST(MidiReaderStructure, RunningStatusAcrossMetaEvents) {
  Track t;
  t.Event(0, {0x93, 60, 100}).Event(10, {62, 90}).Meta(0, 0x01, {'h', 'i'}).Event(10, {64, 80});
  t.Event(0, {0xC3, 7}).Event(1, {9}).End(0);
  auto song = Read(Smf(0, 96, {t}));
  ASSERT_TRUE(song);
  std::vector<std::pair<int, int>> got;
  for (const auto &e : song->Events())
    if (e.IsChannelMessage()) got.push_back({e.status, e.data1});
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{
                     {0x93, 60}, {0x93, 62}, {0x93, 64}, {0xC3, 7}, {0xC3, 9}}));
  EXPECT_EQ(song->Events()[1].data2, 90);
  auto text = std::find_if(song->Events().begin(), song->Events().end(),
                           [](auto &e) { return e.IsMeta() && e.data1 == 1; });
  ASSERT_NE(text, song->Events().end());
  auto bytes = song->Payload(*text);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hi");
}

TEST(MidiReaderStructure, SysExAndEscapesKeepTheirBytes) {
  Track t;
  t.SysEx(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});  // General MIDI on
  t.SysEx(5, 0xF7, {0xF8});                          // escape: any bytes
  t.Event(5, {0x90, 60, 1}).End(0);
  auto song = Read(Smf(0, 96, {t}));
  ASSERT_TRUE(song);
  const auto &ev = song->Events();
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(ev[0].status, 0xF0);
  auto p0 = song->Payload(ev[0]);
  EXPECT_EQ(Bytes(p0.begin(), p0.end()), (Bytes{0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  EXPECT_EQ(ev[1].status, 0xF7);
  auto p1 = song->Payload(ev[1]);
  EXPECT_EQ(Bytes(p1.begin(), p1.end()), (Bytes{0xF8}));
  EXPECT_EQ(ev[2].tick, 10);
}

TEST(MidiReaderStructure, RmidContainerAndUnknownChunks) {
  Track conductor;
  conductor.Tempo(0, 400000).End(0);
  Bytes smf = Smf(1, 480, {conductor, TwoNotes()});
  // An unknown chunk between the tracks is skipped and not counted.
  Bytes alien = Chunk("XFIH", {1, 2, 3});
  Bytes withAlien = Smf(1, 480, {conductor});
  withAlien.insert(withAlien.end(), alien.begin(), alien.end());
  Bytes second = Chunk("MTrk", TwoNotes().bytes());
  withAlien.insert(withAlien.end(), second.begin(), second.end());
  withAlien[11] = 2;  // two tracks

  auto plain = Read(smf);
  auto rmid = Read(Rmid(smf));
  auto skipped = Read(withAlien);
  ASSERT_TRUE(plain && rmid && skipped);
  EXPECT_EQ(plain->Length(), 8000000);
  EXPECT_EQ(rmid->Length(), plain->Length());
  EXPECT_EQ(skipped->Length(), plain->Length());
  EXPECT_EQ(rmid->Events().size(), plain->Events().size());
  EXPECT_EQ(skipped->TrackCount(), 2);
  EXPECT_TRUE(LooksLikeMidiData(Rmid(smf).data(), Rmid(smf).size()));
  EXPECT_TRUE(LooksLikeMidiData(smf.data(), smf.size()));
  Bytes wav{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  EXPECT_FALSE(LooksLikeMidiData(wav.data(), wav.size()));
}

TEST(MidiReaderStructure, TrackEndsAtEndOfTrackOrChunkEnd) {
  Track noEnd;  // no end-of-track event: the last event ends it
  noEnd.Event(0, {0x90, 60, 1}).Event(960, {0x80, 60, 0});
  Track junkAfterEnd;  // bytes after the end of the track are not part of it
  junkAfterEnd.Event(0, {0x90, 60, 1}).End(480).Raw({0x83, 0x60, 0x90, 0x40});
  auto a = Read(Smf(0, 480, {noEnd}));
  auto b = Read(Smf(0, 480, {junkAfterEnd}));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Length(), kSecond);
  EXPECT_EQ(b->Length(), kSecond / 2);
  EXPECT_EQ(b->Events().size(), 2u);
}

TEST(MidiReaderStructure, ReadsFromDiskAndNamesMissingFiles) {
  std::string path = WriteTempFile("two-notes.mid", Smf(0, 480, {TwoNotes()}));
  std::string error;
  auto song = ReadMidiFile(path, &error);
  ASSERT_TRUE(song) << error;
  EXPECT_EQ(song->Length(), kSecond);
  EXPECT_TRUE(LooksLikeMidiFile(path));

  std::string missing = TempDir() + "/no-such.mid";
  EXPECT_EQ(ReadMidiFile(missing, &error), nullptr);
  EXPECT_NE(error.find(missing), std::string::npos);
  EXPECT_FALSE(LooksLikeMidiFile(missing));
  EXPECT_EQ(ReadMidiFile(TempDir(), &error), nullptr);  // a folder
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  // A named pipe with no writer must be refused, not waited on.
  std::string fifo = TempDir() + "/pipe.mid";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadMidiFile(fifo, &error), nullptr);
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  EXPECT_FALSE(LooksLikeMidiFile(fifo));
}

TEST(MidiReaderRefusal, DamagedHeaders) {
  Bytes good = Smf(0, 480, {TwoNotes()});
  EXPECT_NE(Refusal({}).find("MThd"), std::string::npos);
  EXPECT_NE(Refusal(Bytes(good.begin(), good.begin() + 10)).find("MThd"), std::string::npos);
  Bytes shortHeader = good;
  shortHeader[7] = 5;
  EXPECT_NE(Refusal(shortHeader).find("too short"), std::string::npos);
  Bytes hugeHeader = good;
  hugeHeader[4] = 0x7F;
  EXPECT_NE(Refusal(hugeHeader).find("header is truncated"), std::string::npos);
  EXPECT_NE(Refusal(Smf(3, 480, {TwoNotes()})).find("format 3"), std::string::npos);
  EXPECT_NE(Refusal(Smf(1, 480, {}, 0)).find("no tracks"), std::string::npos);
  EXPECT_NE(Refusal(Smf(0, 0, {TwoNotes()})).find("division is zero"), std::string::npos);
  EXPECT_NE(Refusal(Smf(0, 0xE700, {TwoNotes()})).find("division is zero"),
            std::string::npos);  // SMPTE, 0 ticks a frame
  EXPECT_NE(Refusal(Smf(0, 0xE928, {TwoNotes()})).find("SMPTE frame rate 23"), std::string::npos);
}

TEST(MidiReaderRefusal, ImpossibleCounts) {
  // 65535 tracks declared, far more than the bytes can hold.
  EXPECT_NE(Refusal(Smf(1, 480, {TwoNotes()}, 65535)).find("too short for its 65535 tracks"),
            std::string::npos);
  // Three declared, two present (room for the third's header is faked with padding).
  Bytes two = Smf(1, 480, {TwoNotes(), TwoNotes()}, 3);
  two.insert(two.end(), 8, 0);
  std::string e = Refusal(two);
  EXPECT_TRUE(e.find("runs past the end") != std::string::npos ||
              e.find("2 of 3") != std::string::npos)
      << e;
}

TEST(MidiReaderRefusal, TruncatedChunksAndEvents) {
  Bytes good = Smf(0, 480, {TwoNotes()});
  Bytes cut(good.begin(), good.end() - 3);
  EXPECT_NE(Refusal(cut).find("track 1 runs past the end of the file"), std::string::npos);

  Track t;
  t.Event(0, {0x90, 60});  // note on missing its velocity at the chunk's end
  EXPECT_NE(Refusal(Smf(0, 480, {t})).find("track 1 is truncated"), std::string::npos);
  Track sysex;
  sysex.Event(0, {0xF0, 0x20, 1, 2});  // says 32 bytes, holds 2
  EXPECT_NE(Refusal(Smf(0, 480, {sysex})).find("truncated"), std::string::npos);
  Track meta;
  meta.Event(0, {0xFF});
  EXPECT_NE(Refusal(Smf(0, 480, {TwoNotes(), meta})).find("track 2 is truncated"),
            std::string::npos);
  Track delta;
  delta.Event(0, {0x90, 60, 1}).Raw({0x81});  // a delta time cut in the middle
  EXPECT_NE(Refusal(Smf(0, 480, {delta})).find("truncated"), std::string::npos);
}

TEST(MidiReaderRefusal, MalformedEvents) {
  Track longDelta;
  longDelta.Raw({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 1});
  EXPECT_NE(Refusal(Smf(0, 480, {longDelta})).find("longer than 4 bytes"), std::string::npos);
  Track longLength;
  longLength.Raw({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_NE(Refusal(Smf(0, 480, {longLength})).find("longer than 4 bytes"), std::string::npos);
  Track hugeLength;  // a four-byte length far beyond the chunk
  hugeLength.Raw({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01});
  EXPECT_NE(Refusal(Smf(0, 480, {hugeLength})).find("truncated"), std::string::npos);
  Track noStatus;
  noStatus.Event(0, {60, 100}).End(0);
  EXPECT_NE(Refusal(Smf(0, 480, {noStatus})).find("running status before any status"),
            std::string::npos);
  Track badData;
  badData.Event(0, {0x90, 0x85, 100}).End(0);
  EXPECT_NE(Refusal(Smf(0, 480, {badData})).find("out of range"), std::string::npos);
}

TEST(MidiReaderRefusal, ImplausiblyLongSong) {
  Track t;
  t.Tempo(0, 0xFFFFFF);
  for (int i = 0; i < 4; ++i) t.Event(0x0FFFFFFF, {0x90, 60, 1});
  EXPECT_NE(Refusal(Smf(0, 1, {t})).find("implausibly long"), std::string::npos);
  // Format 2 adds the tracks' lengths; many long tracks must not overflow.
  std::vector<Track> many(2000,
                          Track().Event(0x0FFFFFFF, {0x90, 1, 1}).Event(0x0FFFFFFF, {0x90, 1, 1}));
  EXPECT_NE(Refusal(Smf(2, 1, many)).find("implausibly long"), std::string::npos);
}

TEST(MidiReaderRefusal, DamagedRmid) {
  Bytes smf = Smf(0, 480, {TwoNotes()});
  Bytes rmid = Rmid(smf);
  Bytes cut(rmid.begin(), rmid.end() - 4);
  EXPECT_NE(Refusal(cut).find("RIFF chunk is truncated"), std::string::npos);
  Bytes tiny = rmid;
  std::fill(tiny.begin() + 4, tiny.begin() + 8, 0);
  tiny[4] = 2;
  EXPECT_NE(Refusal(tiny).find("RIFF container is truncated"), std::string::npos);
  // A RIFF size that also counts its own header is read up to the file's end.
  Bytes generous = rmid;
  std::uint32_t size = std::uint32_t(rmid.size());
  for (int i = 0; i < 4; ++i) generous[4 + i] = std::uint8_t(size >> (8 * i));
  std::string error;
  auto song = ReadMidiData(generous.data(), generous.size(), &error);
  ASSERT_TRUE(song) << error;
  EXPECT_EQ(song->Length(), 10000000);
  Bytes noData = rmid;
  std::size_t pos = 12 + 8 + 15 + 1;  // after the padded LIST chunk
  ASSERT_EQ(std::string(noData.begin() + long(pos), noData.begin() + long(pos) + 4), "data");
  noData[pos] = 'x';
  EXPECT_NE(Refusal(noData).find("holds no MIDI data"), std::string::npos);
  Bytes longChunk = rmid;
  longChunk[pos + 7] = 0x70;  // the data chunk claims far more than the file
  EXPECT_NE(Refusal(longChunk).find("RIFF chunk is truncated"), std::string::npos);
}

TEST(MidiReaderRefusal, OversizedFileIsNotRead) {
  std::string path = TempDir() + "/huge.mid";
  {
    std::ofstream f(path, std::ios::binary);
    f << "MThd";
  }
  ASSERT_EQ(truncate(path.c_str(), off_t(kMaxMidiFileSize) + 1), 0);  // sparse: costs no disk
  std::string error;
  EXPECT_EQ(ReadMidiFile(path, &error), nullptr);
  EXPECT_NE(error.find("too large"), std::string::npos);
  std::filesystem::remove(path);
}

// Every file of the seed corpus (real songs and damaged ones) is read or
// refused without harm; the reader also survives every cut of a real song.
TEST(MidiReaderRefusal, EveryPrefixOfARealSongIsHandled) {
  const char *corpus = QUAVIX_MIDI_CORPUS_DIR;
  std::size_t read = 0, refused = 0;
  for (const auto &entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream f(entry.path(), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string error;
    auto song = ReadMidiData(bytes.data(), bytes.size(), &error);
    (song ? read : refused)++;
    if (song) {
      EXPECT_GE(song->Length(), 0);
      for (std::size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 200) {
        auto part = ReadMidiData(bytes.data(), cut, &error);
        if (part) {
          EXPECT_LE(part->Events().size(), song->Events().size());
        }
      }
    }
  }
  EXPECT_GT(read, 0u);
}

// Lengths agree with an independent reader (python3-mido) on real songs.
TEST(MidiReaderReference, LengthsMatchMidoOnOpenmsxSongs) {
  const std::string folder = "/usr/share/games/openttd/baseset/openmsx";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "openttd-openmsx is not installed";
  // Isolated (-I: no user site or environment) and leaving no bytecode behind (-B).
  std::string python =
      std::string(std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3") +
      " -I -B";
  if (std::system((python + " -c 'import mido' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "python3-mido is not installed";
  std::string cmd = python + " -c 'import glob,mido\nfor f in sorted(glob.glob(\"" + folder +
                    "/*.mid\")): print(\"%.9f %s\" % (mido.MidiFile(f).length, f))'";
  FILE *pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::map<std::string, double> expected;
  char line[4096];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream in(line);
    double seconds;
    std::string path;
    in >> seconds >> path;
    expected[path] = seconds;
  }
  ASSERT_EQ(pclose(pipe), 0);
  ASSERT_EQ(expected.size(), 31u);
  for (const auto &[path, seconds] : expected) {
    std::string error;
    auto song = ReadMidiFile(path, &error);
    ASSERT_TRUE(song) << path << ": " << error;
    EXPECT_NEAR(double(song->Length()) / kSecond, seconds, 0.001) << path;
    EXPECT_EQ(song->Format(), 1) << path;
  }
}
