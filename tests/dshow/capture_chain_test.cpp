// The whole recording chain as the program builds it, with the real parts:
// the sound server's capture device, the writer module found beside the
// program, the File Writer, all in one graph rendered from the capture
// output; and a second graph playing into the output being recorded.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/com/olestr.h"
#include "platform/dshow/gst_filter.h"
#include "platform/reg/registry.h"
#include "tests/dshow/test_filters.h"
#include "tests/support/audio_measures.h"
#include "tests/support/machine_load.h"
#include "tests/support/private_pulse.h"
#include "tests/support/scoped_env.h"

using namespace dshow_test;
using quavix::test::RunProcess;
using quavix::test::WriteToneWav;

namespace {

std::string ReadFriendlyName(IMoniker *m) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) return {};
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  std::string name;
  if (SUCCEEDED(bag->Read(u"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR)
    name = Utf16ToUtf8(v.bstrVal);
  VariantClear(&v);
  return name;
}

class CaptureChainTest : public quavix::test::PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    m_config.emplace("XDG_CONFIG_HOME", m_dir.path());  // the hand-off's registry file
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoUninitialize();
    m_config.reset();
    PrivatePulseTest::TearDown();
  }

  // The device whose friendly name is given, bound to its capture filter.
  ComPtr<IBaseFilter> CaptureFilterOf(const std::string &friendly) {
    ComPtr<ICreateDevEnum> devices;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                               CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_ICreateDevEnum,
                               devices.OutVoid()),
              S_OK);
    if (!devices) return {};
    ComPtr<IEnumMoniker> e;
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, e.Out(), 0), S_OK);
    if (!e) return {};
    IMoniker *m = nullptr;
    while (e->Next(1, &m, nullptr) == S_OK) {
      ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(m);
      if (ReadFriendlyName(m) != friendly) continue;
      ComPtr<IBaseFilter> f;
      EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.OutVoid()), S_OK);
      return f;
    }
    return {};
  }

  // One run as the program makes it: the hand-off, the writer chain rendered
  // from the capture output, Run, `played` played into "Test Output A",
  // then StopWhenReady and the chain taken out.
  void RecordWhilePlaying(const std::string &played, const std::string &wma,
                          const std::string &temp) {
    RunGraph g;
    ASSERT_NO_FATAL_FAILURE(BuildRunGraph("Test Output A", wma, temp, &g));

    // Played by another process, which the loads below leave alone: what
    // is judged is the recording process.
    ASSERT_TRUE(SUCCEEDED(g.mc->Run())) << pulse_.Log();
    quavix::test::ChildProcess player(
        {"paplay", "--server=" + pulse_.server(), "--device=quavix_a", played});
    ASSERT_TRUE(player.running());
    // Generous: a stalled or starved process records slowly.
    EXPECT_EQ(player.Wait(120000), 0);
    EXPECT_EQ(g.mc->StopWhenReady(), S_OK);
    EXPECT_EQ(g.gb->RemoveFilter(g.wavDest.Get()), S_OK);
    EXPECT_EQ(g.gb->RemoveFilter(g.fileWriter.Get()), S_OK);
  }

  // The graph of a run as the program builds it: the capture filter of the
  // device named `device`, the hand-off naming `wma`, and the writer chain
  // into `temp` rendered from the capture output.
  struct RunGraph {
    ComPtr<IGraphBuilder> gb;
    ComPtr<IMediaControl> mc;
    ComPtr<IMediaEventEx> me;
    ComPtr<IBaseFilter> capture, wavDest, fileWriter;
  };
  void BuildRunGraph(const std::string &device, const std::string &wma, const std::string &temp,
                     RunGraph *g) {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, g->gb.OutVoid()),
              S_OK);
    ASSERT_EQ(g->gb->QueryInterface(IID_IMediaControl, g->mc.OutVoid()), S_OK);
    ASSERT_EQ(g->gb->QueryInterface(IID_IMediaEventEx, g->me.OutVoid()), S_OK);
    g->capture = CaptureFilterOf(device);
    ASSERT_TRUE(g->capture);
    ASSERT_EQ(g->gb->AddFilter(g->capture.Get(), u"Audio Capture"), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(key, "OutputWMAName", REG_SZ, wma.c_str(), 0), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(
        CoCreateInstance(CLSID_WavDestWriter, nullptr, 3, IID_IBaseFilter, g->wavDest.OutVoid()),
        S_OK);
    ComPtr<IFileSinkFilter2> sink;
    ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, 3, IID_IFileSinkFilter2, sink.OutVoid()),
              S_OK);
    ASSERT_EQ(sink->QueryInterface(IID_IBaseFilter, g->fileWriter.OutVoid()), S_OK);
    ASSERT_EQ(g->gb->AddFilter(g->wavDest.Get(), u"WAV Dest"), S_OK);
    ASSERT_EQ(g->gb->AddFilter(g->fileWriter.Get(), u"File Writer"), S_OK);
    sink->SetMode(AM_FILE_OVERWRITE);
    ASSERT_EQ(sink->SetFileName(Wide(temp).c_str(), nullptr), S_OK);
    ComPtr<IPin> out;
    ASSERT_EQ(g->capture->FindPin(u"Capture", out.Out()), S_OK);
    ASSERT_EQ(g->gb->Render(out.Get()), S_OK);
  }

  // The decoded WMA's first channel, 44.1 kHz.
  std::vector<std::int16_t> DecodeWma(const std::string &wma) {
    const std::string decoded = m_dir.File("decoded.wav");
    auto r = RunProcess({"gst-launch-1.0", "-q", "filesrc", "location=" + wma, "!", "decodebin",
                         "!", "audioconvert", "!", "audioresample", "!",
                         "audio/x-raw,format=S16LE,rate=44100,channels=2", "!", "wavenc", "!",
                         "filesink", "location=" + decoded},
                        60000);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    WavInfo d = ReadWav(decoded);
    EXPECT_TRUE(d.ok) << d.error;
    return d.left;
  }

  // The invariant of a run, whatever the load: the WMA decodes to the audio
  // of the temporary WAV (length within 50 ms, the same loudness over time,
  // the same pitch), and the WAV holds the whole tune without holes.
  void ExpectWmaHoldsWhatTheWavHolds(const std::string &wma, const std::string &temp,
                                     double playedSeconds) {
    WavInfo w = ReadWav(temp);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.chunksEnd, w.fileSize);
    std::vector<std::int16_t> wmaAudio = DecodeWma(wma);
    ASSERT_FALSE(wmaAudio.empty());
    const double wavSeconds = static_cast<double>(w.left.size()) / 44100;
    const double wmaSeconds = static_cast<double>(wmaAudio.size()) / 44100;
    EXPECT_NEAR(wmaSeconds, wavSeconds, 0.05) << "WAV " << wavSeconds << " s, WMA " << wmaSeconds;
    const double correlation = quavix::test::EnvelopeCorrelation(w.left, wmaAudio, 44100);
    EXPECT_GE(correlation, 0.99);
    const double wavPitch = quavix::test::MedianPeriodFrequency(LoudPart(w.left, 1000), 44100);
    const double wmaPitch = quavix::test::MedianPeriodFrequency(LoudPart(wmaAudio, 1000), 44100);
    EXPECT_NEAR(wavPitch, 440.0, 2.0);
    EXPECT_NEAR(wmaPitch, wavPitch, 1.0);
    // Nothing lost: the tune is there whole (its onset may come late, never
    // early), and no stretch of it reads as silence.
    const std::vector<std::int16_t> loud = LoudPart(w.left, 1000);
    EXPECT_GE(static_cast<double>(loud.size()) / 44100, playedSeconds - 0.1);
    // The tune is played once Run has returned, so the recording must open
    // with silence: a recording that opens loud missed the tune's start.
    const auto firstLoud = std::find_if(w.left.begin(), w.left.end(),
                                        [](std::int16_t v) { return std::abs(v) >= 1000; });
    EXPECT_GE(static_cast<double>(firstLoud - w.left.begin()) / 44100, 0.02)
        << "the recording began after the tune had started";
    EXPECT_EQ(quavix::test::SamplesInHoles(w.left, 1000, 441), 0u)
        << "the recording has holes of silence (audio lost by the capture)";
  }

  std::optional<quavix::test::ScopedEnv> m_config;
  TempDir m_dir;
};

// A 440 Hz tone whose loudness steps between two levels at uneven times, so
// that its envelope identifies it; never silent, so a hole shows.
bool WriteSteppedToneWav(const std::string &path, double seconds) {
  const int rate = 44100;
  const auto frames = static_cast<std::uint32_t>(seconds * rate);
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + frames * 4);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(rate * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(frames * 4);
  static const double kSteps[] = {0.15, 0.4, 0.25, 0.3, 0.55, 0.2, 0.35, 0.45};
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    double at = 0;
    int step = 0;
    while (at + kSteps[step % 8] <= t) at += kSteps[step++ % 8];
    const double level = step % 2 ? 0.15 : 0.5;
    const auto v = static_cast<std::int16_t>(32767 * level * std::sin(2 * M_PI * 440 * t));
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v));
  }
  return static_cast<bool>(out);
}

TEST_F(CaptureChainTest, ARunRecordsTheLoopBackIntoTheWmaAndTheTemporaryWav) {
  const std::string wma = m_dir.File("song.wma"), temp = m_dir.File("kqzttemp.wav"),
                    tone = m_dir.File("tone.wav");
  ASSERT_TRUE(WriteToneWav(tone, 440.0, 2.0));

  // The capture graph, built as at start-up.
  ComPtr<IGraphBuilder> gb;
  ComPtr<ICaptureGraphBuilder2> builder;
  ComPtr<IMediaControl> mc;
  ComPtr<IMediaEventEx> me;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, gb.OutVoid()), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, 3, IID_ICaptureGraphBuilder2,
                             builder.OutVoid()),
            S_OK);
  ASSERT_EQ(builder->SetFiltergraph(gb.Get()), S_OK);
  ASSERT_EQ(gb->QueryInterface(IID_IMediaControl, mc.OutVoid()), S_OK);
  ASSERT_EQ(gb->QueryInterface(IID_IMediaEventEx, me.OutVoid()), S_OK);
  ComPtr<IBaseFilter> capture = CaptureFilterOf("Test Output A");
  ASSERT_TRUE(capture) << "the test output is not listed as a capture device";
  ASSERT_EQ(gb->AddFilter(capture.Get(), u"Audio Capture"), S_OK);

  // The hand-off, then the writer chain of one run.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueA(key, "OutputWMAName", REG_SZ, wma.c_str(), 0), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueA(key, "OUTPUTWAVE", REG_SZ, "0", 0), ERROR_SUCCESS);
  RegCloseKey(key);
  ComPtr<IBaseFilter> wavDest, fileWriter;
  ASSERT_EQ(CoCreateInstance(CLSID_WavDestWriter, nullptr, 3, IID_IBaseFilter, wavDest.OutVoid()),
            S_OK)
      << "the writer module was not found beside the test program";
  ComPtr<IFileSinkFilter2> sink;
  ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, 3, IID_IFileSinkFilter2, sink.OutVoid()),
            S_OK);
  ASSERT_EQ(sink->QueryInterface(IID_IBaseFilter, fileWriter.OutVoid()), S_OK);
  ASSERT_EQ(gb->AddFilter(wavDest.Get(), u"WAV Dest"), S_OK);
  ASSERT_EQ(gb->AddFilter(fileWriter.Get(), u"File Writer"), S_OK);
  sink->SetMode(AM_FILE_OVERWRITE);
  ASSERT_EQ(sink->SetFileName(Wide(temp).c_str(), nullptr), S_OK);
  ComPtr<IPin> out;
  {
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(capture->EnumPins(pins.Out()), S_OK);
    IPin *p = nullptr;
    while (!out && pins->Next(1, &p, nullptr) == S_OK) {
      PIN_DIRECTION d = static_cast<PIN_DIRECTION>(3);
      p->QueryDirection(&d);
      if (d == PINDIR_OUTPUT)
        out = ComPtr<IPin>::Attach(p);
      else
        p->Release();
    }
  }
  ASSERT_TRUE(out);
  ASSERT_EQ(gb->Render(out.Get()), S_OK);

  // Run: record while another graph plays into the recorded output.
  ComPtr<IGraphBuilder> player;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             player.OutVoid()),
            S_OK);
  ASSERT_EQ(player->RenderFile(Wide(tone).c_str(), nullptr), S_OK);
  ComPtr<IMediaControl> playerControl;
  ComPtr<IMediaEventEx> playerEvents;
  player->QueryInterface(IID_IMediaControl, playerControl.OutVoid());
  player->QueryInterface(IID_IMediaEventEx, playerEvents.OutVoid());
  // The recording has begun when Run returns; the writers finish their own
  // start as data reaches them, so the music started next is not held back.
  ASSERT_EQ(mc->Run(), S_FALSE) << pulse_.Log();
  ASSERT_TRUE(SUCCEEDED(playerControl->Run()));
  OAFilterState state = State_Stopped;
  EXPECT_EQ(mc->GetState(5000, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  long code = 0;
  LONG_PTR p1, p2;
  ASSERT_EQ(playerEvents->GetEvent(&code, &p1, &p2, 30000), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  playerControl->Stop();

  // The writer's element, watched until it is finalised.
  gpointer writerElement = nullptr;
  {
    ComPtr<IGstFilter> gst;
    ASSERT_EQ(wavDest->QueryInterface(IID_IGstFilter, gst.OutVoid()), S_OK);
    writerElement = gst->GetGstElement();
    ASSERT_NE(writerElement, nullptr);
    g_object_add_weak_pointer(G_OBJECT(writerElement), &writerElement);
  }

  // Stop: drain, then take the writer chain out.
  EXPECT_EQ(mc->StopWhenReady(), S_OK);
  EXPECT_EQ(gb->RemoveFilter(wavDest.Get()), S_OK);
  EXPECT_EQ(gb->RemoveFilter(fileWriter.Get()), S_OK);
  wavDest.Reset();
  fileWriter.Reset();
  sink.Reset();
  // Released with the filter, and with it the descriptors it holds.
  EXPECT_EQ(writerElement, nullptr) << "the writer's encoder bin is still alive";
  if (writerElement) g_object_remove_weak_pointer(G_OBJECT(writerElement), &writerElement);

  WavInfo w = ReadWav(temp);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.chunksEnd, w.fileSize);
  std::vector<std::int16_t> loud = LoudPart(w.left, 2000);
  ASSERT_GT(loud.size(), 44100u);
  EXPECT_NEAR(EstimateFrequency(loud, w.rate), 440.0, 3.0);

  // The WMA decodes back to the same tone.
  const std::string decoded = m_dir.File("decoded.wav");
  auto r = RunProcess(
      {"gst-launch-1.0", "-q", "filesrc", "location=" + wma, "!", "decodebin", "!", "audioconvert",
       "!", "audioresample", "!", "audio/x-raw,format=S16LE,rate=44100,channels=2", "!", "wavenc",
       "!", "filesink", "location=" + decoded},
      60000);
  ASSERT_EQ(r.exit_code, 0);
  WavInfo d = ReadWav(decoded);
  ASSERT_TRUE(d.ok) << d.error;
  loud = LoudPart(d.left, 2000);
  ASSERT_GT(loud.size(), 44100u);
  EXPECT_NEAR(EstimateFrequency(loud, d.rate), 440.0, 3.0);

  // The capture filter stays for the next run.
  ComPtr<IBaseFilter> still;
  EXPECT_EQ(gb->FindFilterByName(u"Audio Capture", still.Out()), S_OK);
  IPin *peer = nullptr;
  EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
}

TEST_F(CaptureChainTest, DeviceUnpluggedMidRunStillLeavesCompleteFiles) {
  const std::string wma = m_dir.File("song.wma"), temp = m_dir.File("kqzttemp.wav");
  RunGraph g;
  ASSERT_NO_FATAL_FAILURE(BuildRunGraph("Test Output B", wma, temp, &g));

  auto tone = pulse_.PlayTone("quavix_b", 440.0);
  ASSERT_TRUE(SUCCEEDED(g.mc->Run())) << pulse_.Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  // The filter reports the loss; the program then stops the run.
  bool lost = false;
  long code;
  LONG_PTR p1, p2;
  while (!lost && g.me->GetEvent(&code, &p1, &p2, 10000) == S_OK)
    lost = code == EC_DEVICE_LOST && p2 == 0;
  EXPECT_TRUE(lost);
  EXPECT_EQ(g.mc->StopWhenReady(), S_OK) << "the streams did not end";
  g.gb->RemoveFilter(g.wavDest.Get());
  g.gb->RemoveFilter(g.fileWriter.Get());

  WavInfo w = ReadWav(temp);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.chunksEnd, w.fileSize);
  EXPECT_GT(w.left.size(), 44100u / 2) << "what was recorded before the loss is kept";
}

// The loads of a busy machine, each made on purpose. Whatever the load, both
// files of a run hold the same audio and the capture loses none of it.
constexpr double kPlayedSeconds = 5.0;
// A whole conversion, synthesis included, takes about 6 % of a core here
// (docs/PERFORMANCE.md); the sanitizers make the process a few times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kStarvedPercent = 25;
#else
constexpr int kStarvedPercent = 10;
#endif

TEST_F(CaptureChainTest, StallsOfTheProcessLoseNothingAndTheWmaHoldsTheWav) {
  const std::string played = m_dir.File("played.wav");
  ASSERT_TRUE(WriteSteppedToneWav(played, kPlayedSeconds));
  const std::string wma = m_dir.File("stalled.wma"), temp = m_dir.File("stalled.wav");
  {
    // Stopped for 300 ms out of every 500 ms: far longer than a capture
    // fragment, and more than the whole capture buffer used to be.
    quavix::test::ProcessStalls stalls(300, 200);
    ASSERT_TRUE(stalls.started());
    RecordWhilePlaying(played, wma, temp);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(stalls.count(), 5) << "the process was hardly stalled";
  }
  ExpectWmaHoldsWhatTheWavHolds(wma, temp, kPlayedSeconds);
}

TEST_F(CaptureChainTest, AProcessHeldToASmallShareOfACoreLosesNothingAndTheWmaHoldsTheWav) {
  const std::string played = m_dir.File("played.wav");
  ASSERT_TRUE(WriteSteppedToneWav(played, kPlayedSeconds));
  const std::string wma = m_dir.File("starved.wma"), temp = m_dir.File("starved.wav");
  {
    quavix::test::CpuLimit limit(kStarvedPercent);
    if (!limit.failure().empty()) GTEST_SKIP() << limit.failure();
    RecordWhilePlaying(played, wma, temp);
    ASSERT_FALSE(HasFatalFailure());
  }
  ExpectWmaHoldsWhatTheWavHolds(wma, temp, kPlayedSeconds);
}

TEST_F(CaptureChainTest, BusyProcessesOnEveryCoreLoseNothingAndTheWmaHoldsTheWav) {
  const std::string played = m_dir.File("played.wav");
  ASSERT_TRUE(WriteSteppedToneWav(played, kPlayedSeconds));
  const std::string wma = m_dir.File("busy.wma"), temp = m_dir.File("busy.wav");
  {
    quavix::test::BusyProcesses busy;
    ASSERT_GT(busy.running(), 0);
    RecordWhilePlaying(played, wma, temp);
    ASSERT_FALSE(HasFatalFailure());
  }
  ExpectWmaHoldsWhatTheWavHolds(wma, temp, kPlayedSeconds);
}

}  // namespace
