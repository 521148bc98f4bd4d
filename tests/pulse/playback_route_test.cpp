// Where the player's audio renderer plays: to the output whose loop-back
// line the capture filter records, with several outputs and the default
// output not the first; to the default output when no loop-back line is
// recorded. Checked on the server's own list of playback streams.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/pulse/playback_route.h"
#include "tests/support/capture_device.h"
#include "tests/support/private_pulse.h"

namespace quavix::pulse {
namespace {

using Clock = std::chrono::steady_clock;

class PlaybackRouteTest : public test::PrivatePulseTest {
 protected:
  std::vector<test::NullSink> Sinks() const override {
    // quavix_b is made the default below; it is listed second.
    return {{"quavix_a", "Test Output A"},
            {"quavix_b", "Test Output B"},
            {"quavix_c", "Test Output C"}};
  }
  void SetUp() override {
    PrivatePulseTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(pulse_.SetDefaultSink("quavix_b"));
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_ = true;
    song_ = pulse_.folder() + "/tone.wav";
    ASSERT_TRUE(test::WriteToneWav(song_, 440.0, 20.0));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                               reinterpret_cast<void **>(&capture_)),
              S_OK);
  }
  void TearDown() override {
    if (capture_) capture_->Release();
    if (com_) CoUninitialize();
    PrivatePulseTest::TearDown();
  }

  // Plays the song in a graph of its own, as the player does, and returns
  // the name of the output the server plays it on ("" if none in time).
  std::string PlayAndFindTheOutput() {
    IGraphBuilder *player = nullptr;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                         reinterpret_cast<void **>(&player)) != S_OK)
      return "no graph";
    std::string where;
    IMediaControl *control = nullptr;
    const std::u16string file = Utf8ToUtf16(song_);
    if (SUCCEEDED(player->RenderFile(file.c_str(), nullptr)) &&
        player->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control)) == S_OK &&
        SUCCEEDED(control->Run())) {
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      while (where.empty() && Clock::now() < deadline) {
        where = OutputOfOurStream();
        if (where.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      control->Stop();
    }
    if (control) control->Release();
    player->Release();
    return where;
  }

  // The output of the playback stream of client "Quavix".
  std::string OutputOfOurStream() {
    auto inputs = pulse_.Pactl({"list", "sink-inputs"}).output;
    static const std::regex block(R"(Sink Input #\d+[\s\S]*?(?=Sink Input #|$))");
    static const std::regex sink_line(R"(\n\s*Sink: (\d+))");
    for (std::sregex_iterator it(inputs.begin(), inputs.end(), block), end; it != end; ++it) {
      const std::string b = it->str();
      std::smatch m;
      if (b.find("application.name = \"Quavix\"") == std::string::npos ||
          !std::regex_search(b, m, sink_line))
        continue;
      std::istringstream sinks(pulse_.Pactl({"list", "short", "sinks"}).output);
      std::string index, name, rest;
      while (sinks >> index >> name && std::getline(sinks, rest))
        if (index == m[1].str()) return name;
    }
    return {};
  }

  void EnableLine(IBaseFilter *filter, int line) {
    IEnumPins *pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    IPin *pin = nullptr;
    int n = 0;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      PIN_DIRECTION dir;
      pin->QueryDirection(&dir);
      if (dir == PINDIR_INPUT) {
        IAMAudioInputMixer *mixer = nullptr;
        if (pin->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void **>(&mixer)) ==
            S_OK) {
          mixer->put_Enable(n == line ? TRUE : FALSE);
          mixer->Release();
        }
        ++n;
      }
      pin->Release();
    }
    pins->Release();
  }

  // The device's filter in the recording graph with its first line
  // enabled, as when the person picks it; null when it cannot be bound.
  IBaseFilter *RecordFrom(const std::string &device) {
    IBaseFilter *filter = test::BindCaptureDevice(device);
    if (!filter) return nullptr;
    if (capture_->AddFilter(filter, u"Audio Capture") != S_OK) {
      filter->Release();
      return nullptr;
    }
    EnableLine(filter, 0);
    return filter;
  }

  bool com_ = false;
  std::string song_;
  IGraphBuilder *capture_ = nullptr;
};

TEST_F(PlaybackRouteTest, TheSongPlaysOnTheOutputWhoseLoopbackIsRecorded) {
  EXPECT_EQ(PlayAndFindTheOutput(), "quavix_b") << "no capture device: the default output";

  IBaseFilter *a = RecordFrom("Test Output A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(PlaybackOutput(), "quavix_a");
  EXPECT_EQ(PlayAndFindTheOutput(), "quavix_a");

  // Another device chosen: its filter joins a graph of its own (the
  // program rebuilds the graph), and the song follows it.
  ASSERT_EQ(capture_->RemoveFilter(a), S_OK);
  EXPECT_EQ(PlaybackOutput(), "");
  IBaseFilter *c = test::BindCaptureDevice("Test Output C");
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(capture_->AddFilter(c, u"Audio Capture"), S_OK);
  EXPECT_EQ(PlayAndFindTheOutput(), "quavix_c");

  // The recording device gone: the default output until it is back.
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_c"));
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!PlaybackOutput().empty() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(PlaybackOutput(), "");
  EXPECT_EQ(PlayAndFindTheOutput(), "quavix_b");

  ASSERT_EQ(capture_->RemoveFilter(c), S_OK);
  c->Release();
  a->Release();
}

TEST_F(PlaybackRouteTest, ARecordedInputThatIsNoLoopbackLeavesTheDefaultOutput) {
  ASSERT_GE(pulse_.LoadNullSource({"quavix_mic", "Test Microphone"}), 0);
  IBaseFilter *mic = RecordFrom("Test Microphone");
  ASSERT_NE(mic, nullptr);
  EXPECT_EQ(PlaybackOutput(), "");
  EXPECT_EQ(PlayAndFindTheOutput(), "quavix_b");
  ASSERT_EQ(capture_->RemoveFilter(mic), S_OK);
  mic->Release();
}

}  // namespace
}  // namespace quavix::pulse
