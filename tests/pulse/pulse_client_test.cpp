// The sound-server client against a real private PulseAudio daemon.
#include "platform/dshow/pulse/pulse_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "tests/support/private_pulse.h"

namespace quavix::pulse {
namespace {

using test::PrivatePulse;
using test::PrivatePulseTest;

// Collects device events from the client's thread.
class EventLog {
 public:
  PulseClient::DeviceCallback Callback() {
    return [this](const DeviceEvent &e) {
      std::lock_guard<std::mutex> l(m_);
      events_.push_back(e);
      cv_.notify_all();
    };
  }
  // Waits (bounded) until an event of this kind for this device arrived.
  bool WaitFor(DeviceEvent::Kind kind, const std::string &id) {
    std::unique_lock<std::mutex> l(m_);
    return cv_.wait_for(l, std::chrono::seconds(15), [&] { return Has(kind, id); });
  }
  int Count(DeviceEvent::Kind kind, const std::string &id) {
    std::lock_guard<std::mutex> l(m_);
    int n = 0;
    for (const auto &e : events_) n += (e.kind == kind && e.device_id == id);
    return n;
  }

 private:
  bool Has(DeviceEvent::Kind kind, const std::string &id) {
    for (const auto &e : events_)
      if (e.kind == kind && e.device_id == id) return true;
    return false;
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<DeviceEvent> events_;
};

class PulseClientTest : public PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    client_ = PulseClient::Shared();
    ASSERT_NE(client_, nullptr);
  }
  std::shared_ptr<PulseClient> client_;
};

TEST_F(PulseClientTest, ListsNullOutputsInServerOrderWithTheirMonitorLines) {
  std::vector<CaptureDevice> devices;
  ASSERT_EQ(client_->ListDevices(&devices), PulseStatus::kOk);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].id, "sink:quavix_a");
  EXPECT_EQ(devices[0].description, "Test Output A");
  EXPECT_EQ(devices[1].id, "sink:quavix_b");
  EXPECT_EQ(devices[1].description, "Test Output B");
  ASSERT_EQ(devices[0].lines.size(), 1u);
  EXPECT_EQ(devices[0].lines[0].source, "quavix_a.monitor");
  EXPECT_EQ(devices[0].lines[0].description, "Monitor of Test Output A");
  EXPECT_TRUE(devices[0].lines[0].loopback);
}

TEST_F(PulseClientTest, InputsWithoutCardAreDevicesAfterTheOutputs) {
  ASSERT_GE(pulse_.LoadNullSource({"quavix_mic", "Test Microphone"}), 0);
  std::vector<CaptureDevice> devices;
  ASSERT_EQ(client_->ListDevices(&devices), PulseStatus::kOk);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[2].id, "source:quavix_mic");
  EXPECT_EQ(devices[2].description, "Test Microphone");
  ASSERT_EQ(devices[2].lines.size(), 1u);
  EXPECT_EQ(devices[2].lines[0].source, "quavix_mic");
  EXPECT_FALSE(devices[2].lines[0].loopback);
}

TEST_F(PulseClientTest, LevelSetHereIsWhatTheServerShowsAndTheOtherWayRound) {
  ASSERT_EQ(client_->SetLevel("quavix_a.monitor", 0.5), PulseStatus::kOk);
  double level = -1;
  ASSERT_EQ(client_->GetLevel("quavix_a.monitor", &level), PulseStatus::kOk);
  EXPECT_DOUBLE_EQ(level, 0.5);
  auto percent = pulse_.SourceVolumePercent("quavix_a.monitor");
  ASSERT_TRUE(percent.has_value());
  EXPECT_NEAR(*percent, 50.0, 0.01);
  // The other output's line is untouched.
  EXPECT_NEAR(*pulse_.SourceVolumePercent("quavix_b.monitor"), 100.0, 0.01);

  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_a.monitor", "20%"}).exit_code, 0);
  ASSERT_EQ(client_->GetLevel("quavix_a.monitor", &level), PulseStatus::kOk);
  EXPECT_NEAR(level, 0.2, 1e-4);

  ASSERT_EQ(client_->SetLevel("quavix_a.monitor", 0.0), PulseStatus::kOk);
  ASSERT_EQ(client_->GetLevel("quavix_a.monitor", &level), PulseStatus::kOk);
  EXPECT_EQ(level, 0.0);
  ASSERT_EQ(client_->SetLevel("quavix_a.monitor", 1.0), PulseStatus::kOk);
  EXPECT_NEAR(*pulse_.SourceVolumePercent("quavix_a.monitor"), 100.0, 0.01);
}

TEST_F(PulseClientTest, LevelIsTheChannelAverageAndSettingItEvensTheChannels) {
  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_b.monitor", "20%", "60%"}).exit_code, 0);
  double level = -1;
  ASSERT_EQ(client_->GetLevel("quavix_b.monitor", &level), PulseStatus::kOk);
  EXPECT_NEAR(level, 0.4, 1e-4);
  ASSERT_EQ(client_->SetLevel("quavix_b.monitor", 0.75), PulseStatus::kOk);
  auto out = pulse_.Pactl({"get-source-volume", "quavix_b.monitor"}).output;
  EXPECT_NE(out.find("front-left: 49152 /  75%"), std::string::npos) << out;
  EXPECT_NE(out.find("front-right: 49152 /  75%"), std::string::npos) << out;
}

TEST_F(PulseClientTest, BoostAboveFullReadsAsFull) {
  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_a.monitor", "150%"}).exit_code, 0);
  double level = -1;
  ASSERT_EQ(client_->GetLevel("quavix_a.monitor", &level), PulseStatus::kOk);
  EXPECT_EQ(level, 1.0);
}

TEST_F(PulseClientTest, BadLevelsAndUnknownSourcesAreRefused) {
  EXPECT_EQ(client_->SetLevel("quavix_a.monitor", 1.01), PulseStatus::kInvalidArgument);
  EXPECT_EQ(client_->SetLevel("quavix_a.monitor", -0.1), PulseStatus::kInvalidArgument);
  EXPECT_EQ(client_->SetLevel("quavix_a.monitor", std::nan("")), PulseStatus::kInvalidArgument);
  EXPECT_NEAR(*pulse_.SourceVolumePercent("quavix_a.monitor"), 100.0, 0.01);
  double level = 0.77;
  EXPECT_EQ(client_->GetLevel("no_such_source", &level), PulseStatus::kNotFound);
  EXPECT_EQ(level, 0.77);
  EXPECT_EQ(client_->SetLevel("no_such_source", 0.5), PulseStatus::kNotFound);
}

TEST_F(PulseClientTest, UnloadingAnOutputReportsItsRemovalAndReloadingItsReturn) {
  EventLog log;
  int token = client_->AddDeviceListener(log.Callback());
  ASSERT_NE(token, 0);
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kRemoved, "sink:quavix_b"));
  ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kAdded, "sink:quavix_b"));
  // The untouched output was neither lost nor found.
  EXPECT_EQ(log.Count(DeviceEvent::kRemoved, "sink:quavix_a"), 0);
  EXPECT_EQ(log.Count(DeviceEvent::kAdded, "sink:quavix_a"), 0);
  EXPECT_EQ(log.Count(DeviceEvent::kRemoved, "sink:quavix_b"), 1);

  // The client stays usable while it watches.
  std::vector<CaptureDevice> devices;
  EXPECT_EQ(client_->ListDevices(&devices), PulseStatus::kOk);
  EXPECT_EQ(devices.size(), 2u);

  client_->RemoveDeviceListener(token);
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  // A change after removal must not reach the old callback: list once more
  // (the server answers in order, so any event would have been delivered).
  EXPECT_EQ(client_->ListDevices(&devices), PulseStatus::kOk);
  EXPECT_EQ(devices.size(), 1u);
  EXPECT_EQ(log.Count(DeviceEvent::kRemoved, "sink:quavix_b"), 1);
}

TEST_F(PulseClientTest, ServerGoingAwayAndComingBackIsSeenWithoutAsking) {
  EventLog log;
  int token = client_->AddDeviceListener(log.Callback());
  ASSERT_NE(token, 0);
  pulse_.Stop();
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kRemoved, "sink:quavix_a"));
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kRemoved, "sink:quavix_b"));
  std::string error;
  ASSERT_TRUE(pulse_.Start(Sinks(), &error)) << error;
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kAdded, "sink:quavix_a"));
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kAdded, "sink:quavix_b"));
  client_->RemoveDeviceListener(token);
}

TEST_F(PulseClientTest, CallsFromACallbackAreRefusedInsteadOfDeadlocking) {
  std::mutex m;
  std::condition_variable cv;
  bool called = false;
  PulseStatus seen = PulseStatus::kOk;
  int token = client_->AddDeviceListener([&](const DeviceEvent &) {
    std::vector<CaptureDevice> devices;
    PulseStatus st = client_->ListDevices(&devices);
    std::lock_guard<std::mutex> l(m);
    seen = st;
    called = true;
    cv.notify_all();
  });
  ASSERT_NE(token, 0);
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_a"));
  {
    std::unique_lock<std::mutex> l(m);
    ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(15), [&] { return called; }));
  }
  EXPECT_EQ(seen, PulseStatus::kWrongThread);
  client_->RemoveDeviceListener(token);
}

// No daemon at all: an empty list and an error, and no callback to watch.
TEST(PulseClientWithoutServer, NoServerGivesAnEmptyListAndAnError) {
  test::UnreachablePulse none;
  ASSERT_TRUE(none.ok());
  auto client = PulseClient::Shared();
  ASSERT_NE(client, nullptr);
  std::vector<CaptureDevice> devices{{"x", "stale", {}}};
  EXPECT_EQ(client->ListDevices(&devices), PulseStatus::kNoServer);
  EXPECT_TRUE(devices.empty());
  double level = 0.3;
  EXPECT_EQ(client->GetLevel("quavix_a.monitor", &level), PulseStatus::kNoServer);
  EXPECT_EQ(level, 0.3);
  EXPECT_EQ(client->SetLevel("quavix_a.monitor", 0.5), PulseStatus::kNoServer);
}

// Watching begun while no server answers hears the devices of a server
// that starts later, without anyone asking again.
TEST(PulseClientWithoutServer, AServerThatStartsLaterIsNoticed) {
  auto client = PulseClient::Shared();
  ASSERT_NE(client, nullptr);
  EventLog log;
  int token;
  {
    test::UnreachablePulse none;
    ASSERT_TRUE(none.ok());
    token = client->AddDeviceListener(log.Callback());
    ASSERT_NE(token, 0);
  }
  PrivatePulse pulse;
  std::string error;
  ASSERT_TRUE(pulse.Start({{"quavix_a", "Test Output A"}}, &error)) << error;
  EXPECT_TRUE(log.WaitFor(DeviceEvent::kAdded, "sink:quavix_a"));
  EXPECT_EQ(log.Count(DeviceEvent::kRemoved, "sink:quavix_a"), 0);
  client->RemoveDeviceListener(token);
}

// A socket that accepts connections but never answers: the bounded wait
// gives up instead of hanging.
TEST(PulseClientWithoutServer, ASilentServerTimesOut) {
  test::UnreachablePulse silent(test::UnreachablePulse::kSilent);
  ASSERT_TRUE(silent.ok());
  auto client = PulseClient::Shared();
  ASSERT_NE(client, nullptr);
  std::vector<CaptureDevice> devices;
  EXPECT_EQ(client->ListDevices(&devices), PulseStatus::kTimeout);
  EXPECT_TRUE(devices.empty());
  double level = 0.3;
  EXPECT_EQ(client->GetLevel("quavix_a.monitor", &level), PulseStatus::kTimeout);
  EXPECT_EQ(level, 0.3);
}

}  // namespace
}  // namespace quavix::pulse
