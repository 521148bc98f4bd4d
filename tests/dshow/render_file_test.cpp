// RenderFile on real files: what it learns without playing, what it
// refuses, and playback through a private sound server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <thread>

#include "platform/com/olestr.h"
#include "tests/dshow/test_filters.h"
#include "tests/support/private_pulse.h"

using namespace dshow_test;
using quavix::test::RunProcess;
using quavix::test::WriteToneWav;

namespace {

// A MIDI song of exactly 1.5 s: 480 ticks at 120 bpm (0.5 s), a tempo
// change to 60 bpm, 480 more ticks (1.0 s).
std::vector<unsigned char> SongBytes() {
  const unsigned char track[] = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000 us
                                 0x00, 0x90, 0x3C, 0x64,                    // note on
                                 0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42,
                                 0x40,                          // +480: tempo 1000000 us
                                 0x83, 0x60, 0x80, 0x3C, 0x40,  // +480: note off
                                 0x00, 0xFF, 0x2F, 0x00};       // end of track
  std::vector<unsigned char> b = {'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
                                  1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, sizeof track};
  b.insert(b.end(), track, track + sizeof track);
  return b;
}
constexpr REFERENCE_TIME kSongLength = 15000000;

std::vector<unsigned char> RmidBytes(const std::vector<unsigned char> &smf) {
  auto le32 = [](std::vector<unsigned char> &v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
  };
  std::vector<unsigned char> b = {'R', 'I', 'F', 'F'};
  le32(b, static_cast<std::uint32_t>(4 + 8 + smf.size()));
  b.insert(b.end(), {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'});
  le32(b, static_cast<std::uint32_t>(smf.size()));
  b.insert(b.end(), smf.begin(), smf.end());
  return b;
}

void WriteBytes(const std::string &path, const std::vector<unsigned char> &b) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

bool GstLaunch(std::vector<std::string> args) {
  args.insert(args.begin(), {"gst-launch-1.0", "-q"});
  auto r = RunProcess(args, 60000);
  return r.started && r.exit_code == 0;
}

class GraphOnFile {
 public:
  GraphOnFile() {
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.OutVoid()),
              S_OK);
    graph->QueryInterface(IID_IMediaSeeking, seeking.OutVoid());
    graph->QueryInterface(IID_IMediaControl, control.OutVoid());
    graph->QueryInterface(IID_IMediaEventEx, events.OutVoid());
  }
  HRESULT Render(const std::string &path) { return graph->RenderFile(Wide(path).c_str(), nullptr); }
  int FilterCount() {
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.Out());
    int n = 0;
    IBaseFilter *f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
      f->Release();
      ++n;
    }
    return n;
  }
  // The first event within timeoutMs, skipping none.
  std::optional<long> NextEvent(long timeoutMs, LONG_PTR *param1 = nullptr) {
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&code, &p1, &p2, timeoutMs) != S_OK) return std::nullopt;
    events->FreeEventParams(code, p1, p2);
    if (param1) *param1 = p1;
    return code;
  }
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaSeeking> seeking;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
};

// Examining a file must not need a sound server: the server named here
// does not exist, so any attempt to reach one would fail the render.
class RenderFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_live = CRefCounted::LiveObjects();
    m_noServer.emplace();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoUninitialize();
    m_noServer.reset();
    EXPECT_EQ(CRefCounted::LiveObjects(), m_live) << "graph objects leaked";
  }
  long m_live = 0;
  std::optional<quavix::test::UnreachablePulse> m_noServer;
  TempDir m_dir;
};

TEST_F(RenderFileTest, WavFileGivesItsDurationAndNoVideo) {
  std::string wav = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(wav, 440.0, 2.0));
  GraphOnFile g;
  ASSERT_EQ(g.Render(wav), S_OK);
  LONGLONG duration = 0, stop = 0;
  ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
  EXPECT_NEAR(static_cast<double>(duration), 20000000.0, 10000.0);
  ASSERT_EQ(g.seeking->GetStopPosition(&stop), S_OK);
  EXPECT_EQ(stop, duration);
  DWORD caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration;
  EXPECT_EQ(g.seeking->CheckCapabilities(&caps), S_OK);

  ComPtr<IVideoWindow> vw;
  ComPtr<IBasicVideo> bv;
  ASSERT_EQ(g.graph->QueryInterface(IID_IVideoWindow, vw.OutVoid()), S_OK);
  ASSERT_EQ(g.graph->QueryInterface(IID_IBasicVideo, bv.OutVoid()), S_OK);
  long visible = 0, w = 0, h = 0;
  EXPECT_EQ(vw->get_Visible(&visible), E_NOINTERFACE);
  EXPECT_EQ(bv->GetVideoSize(&w, &h), E_NOINTERFACE);
  EXPECT_EQ(g.FilterCount(), 2);  // the file's source and the audio renderer
  ComPtr<IBaseFilter> renderer;
  EXPECT_EQ(g.graph->FindFilterByName(u"Default DirectSound Device", renderer.Out()), S_OK);
}

TEST_F(RenderFileTest, OggVorbisIsMeasured) {
  std::string ogg = m_dir.File("tone.ogg");
  ASSERT_TRUE(
      GstLaunch({"audiotestsrc", "num-buffers=43", "samplesperbuffer=1024", "!", "audioconvert",
                 "!", "vorbisenc", "!", "oggmux", "!", "filesink", "location=" + ogg}));
  GraphOnFile g;
  ASSERT_EQ(g.Render(ogg), S_OK);
  LONGLONG duration = 0;
  ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
  EXPECT_NEAR(static_cast<double>(duration), 44032.0 / 44100.0 * 1e7, 0.05e7);
}

TEST_F(RenderFileTest, VideoFileHasItsNativeSize) {
  std::string ogv = m_dir.File("clip.ogv");
  ASSERT_TRUE(GstLaunch({"videotestsrc", "num-buffers=30", "!",
                         "video/x-raw,width=320,height=240,framerate=30/1", "!", "theoraenc", "!",
                         "oggmux", "!", "filesink", "location=" + ogv}));
  GraphOnFile g;
  ASSERT_EQ(g.Render(ogv), S_OK);
  ComPtr<IVideoWindow> vw;
  ComPtr<IBasicVideo> bv;
  ASSERT_EQ(g.graph->QueryInterface(IID_IVideoWindow, vw.OutVoid()), S_OK);
  ASSERT_EQ(g.graph->QueryInterface(IID_IBasicVideo, bv.OutVoid()), S_OK);
  long w = 0, h = 0, visible = 1;
  ASSERT_EQ(bv->GetVideoSize(&w, &h), S_OK);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_EQ(vw->get_Visible(&visible), S_OK);
  REFTIME frame = 0;
  EXPECT_EQ(bv->get_AvgTimePerFrame(&frame), S_OK);
  EXPECT_NEAR(frame, 1.0 / 30.0, 1e-6);
  EXPECT_EQ(vw->SetWindowPosition(0, 0, 320, 240), S_OK);
  long l, t, ww, hh;
  EXPECT_EQ(vw->GetWindowPosition(&l, &t, &ww, &hh), S_OK);
  EXPECT_EQ(ww, 320);
  EXPECT_EQ(vw->put_Visible(5), E_INVALIDARG);
  ComPtr<IBaseFilter> renderer;
  EXPECT_EQ(g.graph->FindFilterByName(u"Video Renderer", renderer.Out()), S_OK);
  EXPECT_EQ(g.graph->FindFilterByName(u"Default DirectSound Device", renderer.Out()),
            VFW_E_NOT_FOUND)
      << "the clip has no sound";
}

TEST_F(RenderFileTest, WhatCannotBePlayedIsRefusedAndLeavesNothingBehind) {
  std::string noise = m_dir.File("noise.mid.bin"), empty = m_dir.File("empty.wav"),
              text = m_dir.File("notes.txt");
  std::mt19937 rng(1234);
  std::vector<unsigned char> bytes(8192);
  for (auto &b : bytes) b = static_cast<unsigned char>(rng());
  bytes[0] = 'X';  // surely no signature
  WriteBytes(noise, bytes);
  WriteBytes(empty, {});
  { std::ofstream(text) << "This is not music.\n"; }

  GraphOnFile g;
  EXPECT_EQ(g.Render(m_dir.File("missing.mid")), VFW_E_NOT_FOUND);
  EXPECT_EQ(g.Render(""), VFW_E_NOT_FOUND);
  EXPECT_TRUE(FAILED(g.Render(m_dir.path())));  // a folder
  EXPECT_EQ(g.Render(noise), VFW_E_UNSUPPORTED_STREAM);
  EXPECT_TRUE(FAILED(g.Render(empty)));
  EXPECT_TRUE(FAILED(g.Render(text)));
  EXPECT_EQ(g.graph->RenderFile(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(g.FilterCount(), 0);
  LONGLONG stop = 0;
  EXPECT_TRUE(FAILED(g.seeking->GetStopPosition(&stop)));
}

TEST_F(RenderFileTest, MidiSongStopsAtItsExactLength) {
  std::string mid = m_dir.File("song.mid"), rmi = m_dir.File("song.rmi");
  WriteBytes(mid, SongBytes());
  WriteBytes(rmi, RmidBytes(SongBytes()));
  for (const auto &path : {mid, rmi}) {
    GraphOnFile g;
    ASSERT_EQ(g.Render(path), S_OK) << path;
    LONGLONG stop = 0, duration = 0, pos = -1;
    ASSERT_EQ(g.seeking->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, kSongLength) << path;
    ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, kSongLength);
    EXPECT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
    EXPECT_EQ(pos, 0);
    ComPtr<IVideoWindow> vw;
    ASSERT_EQ(g.graph->QueryInterface(IID_IVideoWindow, vw.OutVoid()), S_OK);
    long visible = 0;
    EXPECT_EQ(vw->get_Visible(&visible), E_NOINTERFACE);
  }
}

TEST_F(RenderFileTest, DamagedMidiFileIsRefused) {
  std::vector<unsigned char> b = SongBytes();
  b.resize(b.size() - 10);  // the track chunk claims more than there is
  std::string mid = m_dir.File("cut.mid");
  WriteBytes(mid, b);
  GraphOnFile g;
  EXPECT_EQ(g.Render(mid), VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(g.FilterCount(), 0);
}

// ---- playback through a private sound server -----------------------------

class PlaybackTest : public quavix::test::PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoUninitialize();
    PrivatePulseTest::TearDown();
  }
  TempDir m_dir;
};

TEST_F(PlaybackTest, FilePlaysToTheEndThenRewindsCuesAndPlaysAgain) {
  std::string wav = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(wav, 440.0, 1.0));
  GraphOnFile g;
  ASSERT_EQ(g.Render(wav), S_OK);
  ASSERT_TRUE(SUCCEEDED(g.control->Run())) << pulse_.Log();
  ASSERT_EQ(g.NextEvent(30000), std::optional<long>(EC_COMPLETE));
  LONGLONG pos = 0, duration = 0;
  g.seeking->GetDuration(&duration);
  ASSERT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
  EXPECT_GT(pos, duration / 2);
  EXPECT_LE(pos, duration);

  // What the player does on Stop: stop, rewind, cue.
  ASSERT_EQ(g.control->Stop(), S_OK);
  LONGLONG zero = 0;
  ASSERT_EQ(g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
            S_OK);
  ASSERT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
  EXPECT_EQ(pos, 0);
  ASSERT_TRUE(SUCCEEDED(g.control->Pause()));
  OAFilterState state = -1;
  EXPECT_EQ(g.control->GetState(5000, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
  EXPECT_LT(pos, 1000000) << "cued at the start";

  // A seek while paused lands where asked.
  LONGLONG half = 5000000;
  ASSERT_EQ(g.seeking->SetPositions(&half, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
            S_OK);
  ASSERT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
  EXPECT_NEAR(static_cast<double>(pos), 5000000.0, 500000.0);

  ASSERT_EQ(g.seeking->SetRate(1.0), S_OK);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(g.NextEvent(30000), std::optional<long>(EC_COMPLETE));
  EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(PlaybackTest, VolumeIsInHundredthsOfADecibel) {
  std::string wav = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(wav, 440.0, 0.5));
  GraphOnFile g;
  ASSERT_EQ(g.Render(wav), S_OK);
  ComPtr<IBasicAudio> ba;
  ASSERT_EQ(g.graph->QueryInterface(IID_IBasicAudio, ba.OutVoid()), S_OK);
  EXPECT_EQ(ba->put_Volume(-600), S_OK);
  long v = 0;
  EXPECT_EQ(ba->get_Volume(&v), S_OK);
  EXPECT_EQ(v, -600);
  EXPECT_EQ(ba->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(ba->put_Volume(-10001), E_INVALIDARG);
}

// A recording graph on the default output's loop-back: capture -> WAV ->
// file, as the program records a conversion.
class LoopBackRecording {
 public:
  explicit LoopBackRecording(std::string path) : path_(std::move(path)) {}

  // Everything made and connected; false (with a failure reported) if not.
  bool Build() {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph_.OutVoid())))
      return false;
    graph_->QueryInterface(IID_IMediaControl, control.OutVoid());
    source_ = Hold(new CMonitorSourceFilter("quavix_a.monitor"));
    wavDest_ = Hold(new CWavEncoderFilter);
    ComPtr<IFileSinkFilter2> sink;
    if (FAILED(
            CoCreateInstance(CLSID_FileWriter, nullptr, 3, IID_IFileSinkFilter2, sink.OutVoid())))
      return false;
    sink->QueryInterface(IID_IBaseFilter, writer_.OutVoid());
    EXPECT_EQ(graph_->AddFilter(source_.Get(), u"Audio Capture"), S_OK);
    EXPECT_EQ(graph_->AddFilter(wavDest_.Get(), u"WAV Dest"), S_OK);
    EXPECT_EQ(graph_->AddFilter(writer_.Get(), u"File Writer"), S_OK);
    sink->SetMode(AM_FILE_OVERWRITE);
    EXPECT_EQ(sink->SetFileName(Wide(path_).c_str(), nullptr), S_OK);
    ComPtr<IPin> out;
    EXPECT_EQ(source_->FindPin(u"Capture", out.Out()), S_OK);
    return out && graph_->Render(out.Get()) == S_OK && control;
  }

  // Records while player plays to its end, then stops both.
  void RecordWhilePlaying(GraphOnFile &player, const std::string &serverLog) {
    ASSERT_TRUE(SUCCEEDED(control->Run())) << serverLog;
    ASSERT_TRUE(SUCCEEDED(player.control->Run()));
    ASSERT_EQ(player.NextEvent(30000), std::optional<long>(EC_COMPLETE));
    player.control->Stop();
    EXPECT_EQ(control->StopWhenReady(), S_OK);
  }

  WavInfo Result() const { return ReadWav(path_); }

  ComPtr<IMediaControl> control;

 private:
  std::string path_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IBaseFilter> source_, wavDest_, writer_;
};

TEST_F(PlaybackTest, WhatOneGraphPlaysAnotherRecordsFromTheLoopBack) {
  std::string wav = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(wav, 440.0, 1.5));
  LoopBackRecording recording(m_dir.File("kqzttemp.wav"));
  ASSERT_TRUE(recording.Build());

  GraphOnFile player;
  ASSERT_EQ(player.Render(wav), S_OK);
  ASSERT_NO_FATAL_FAILURE(recording.RecordWhilePlaying(player, pulse_.Log()));

  WavInfo w = recording.Result();
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.chunksEnd, w.fileSize);
  std::vector<std::int16_t> tone = LoudPart(w.left, 2000);
  ASSERT_GT(tone.size(), 44100u) << "the tone was recorded";
  EXPECT_NEAR(EstimateFrequency(tone, w.rate), 440.0, 3.0);
}

TEST_F(PlaybackTest, AFileCuedLongBeforeItPlaysSoundsAtOnce) {
  // The player cues a song when it stops, and the next conversion runs it
  // whenever the person presses Convert: the wait must not come out as
  // silence at the start of the recording.
  constexpr auto kCued = std::chrono::seconds(3);
  std::string wav = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(wav, 440.0, 1.0));
  GraphOnFile player;
  ASSERT_EQ(player.Render(wav), S_OK);
  ASSERT_TRUE(SUCCEEDED(player.control->Pause())) << pulse_.Log();
  OAFilterState state = -1;
  ASSERT_EQ(player.control->GetState(5000, &state), S_OK);
  ASSERT_EQ(state, State_Paused);
  std::this_thread::sleep_for(kCued);

  LoopBackRecording recording(m_dir.File("kqzttemp.wav"));
  ASSERT_TRUE(recording.Build());
  ASSERT_NO_FATAL_FAILURE(recording.RecordWhilePlaying(player, pulse_.Log()));

  WavInfo w = recording.Result();
  ASSERT_TRUE(w.ok) << w.error;
  std::size_t onset = 0;
  while (onset < w.left.size() && std::abs(w.left[onset]) <= 2000) ++onset;
  ASSERT_LT(onset, w.left.size()) << "the tone was recorded";
  // Half of the cue's wait: far above a busy machine's start, far below
  // the wait.
  EXPECT_LT(static_cast<double>(onset) / w.rate, 1.5)
      << "the tone starts " << static_cast<double>(onset) / w.rate << " s into the recording";
  // All of it, from where it was cued.
  EXPECT_GT(LoudPart(w.left, 2000).size(), static_cast<std::size_t>(w.rate * 9 / 10));
}

TEST_F(PlaybackTest, MidiSongPlaysThroughTheSynthesiserToTheEnd) {
  if (access("/usr/share/sounds/sf2/default-GM.sf2", R_OK) != 0)
    GTEST_SKIP() << "no General MIDI SoundFont";
  std::string mid = m_dir.File("song.mid");
  WriteBytes(mid, SongBytes());
  GraphOnFile g;
  ASSERT_EQ(g.Render(mid), S_OK);
  ASSERT_TRUE(SUCCEEDED(g.control->Run())) << pulse_.Log();
  LONG_PTR hr = 0;
  ASSERT_EQ(g.NextEvent(30000, &hr), std::optional<long>(EC_COMPLETE));
  EXPECT_EQ(hr, S_OK);
  LONGLONG pos = 0;
  ASSERT_EQ(g.seeking->GetCurrentPosition(&pos), S_OK);
  EXPECT_EQ(pos, kSongLength) << "past the song's end the position stays at its length";
  EXPECT_EQ(g.control->Stop(), S_OK);
}

}  // namespace
