// How server objects become devices and lines: cards, card-less outputs and
// inputs, loop-back lines first with the default output's monitor leading.
#include "platform/dshow/pulse/pulse_devices.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quavix::pulse {
namespace {

std::vector<std::string> Sources(const CaptureDevice &d) {
  std::vector<std::string> v;
  for (const auto &l : d.lines) v.push_back(l.source);
  return v;
}

// A sound card with two outputs (analog, HDMI) and a microphone, plus a
// virtual output and a virtual input that belong to no card.
ServerListing Desktop() {
  ServerListing s;
  s.cards = {{3, "alsa_card.pci", "Built-in Audio"}};
  s.sinks = {{0, "analog", "Analog Stereo", 3, 10},
             {1, "hdmi", "HDMI Output", 3, 11},
             {2, "null", "Null Output", kNoIndex, 12}};
  s.sources = {{10, "analog.monitor", "Monitor of Analog Stereo", 3, 0},
               {11, "hdmi.monitor", "Monitor of HDMI Output", 3, 1},
               {12, "null.monitor", "Monitor of Null Output", kNoIndex, 2},
               {13, "mic", "Microphone", 3, kNoIndex},
               {14, "virt_in", "Virtual Input", kNoIndex, kNoIndex}};
  return s;
}

TEST(GroupCaptureDevices, CardsThenCardlessOutputsThenCardlessInputs) {
  ServerListing s = Desktop();
  s.default_sink = "analog";
  auto devices = GroupCaptureDevices(s);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].id, "card:alsa_card.pci");
  EXPECT_EQ(devices[0].description, "Built-in Audio");
  EXPECT_EQ(Sources(devices[0]),
            (std::vector<std::string>{"analog.monitor", "hdmi.monitor", "mic"}));
  EXPECT_TRUE(devices[0].lines[0].loopback);
  EXPECT_TRUE(devices[0].lines[1].loopback);
  EXPECT_FALSE(devices[0].lines[2].loopback);
  EXPECT_EQ(devices[0].lines[1].description, "Monitor of HDMI Output");

  EXPECT_EQ(devices[1].id, "sink:null");
  EXPECT_EQ(devices[1].description, "Null Output");
  EXPECT_EQ(Sources(devices[1]), (std::vector<std::string>{"null.monitor"}));

  EXPECT_EQ(devices[2].id, "source:virt_in");
  EXPECT_EQ(Sources(devices[2]), (std::vector<std::string>{"virt_in"}));
  EXPECT_FALSE(devices[2].lines[0].loopback);
}

TEST(GroupCaptureDevices, DefaultOutputsMonitorComesFirstOnItsCard) {
  ServerListing s = Desktop();
  s.default_sink = "hdmi";
  auto devices = GroupCaptureDevices(s);
  ASSERT_FALSE(devices.empty());
  EXPECT_EQ(Sources(devices[0]),
            (std::vector<std::string>{"hdmi.monitor", "analog.monitor", "mic"}));
}

TEST(GroupCaptureDevices, OrderFollowsNamesNotTheServersIndices) {
  ServerListing s = Desktop();
  std::swap(s.sinks[0], s.sinks[2]);
  std::swap(s.sources[0], s.sources[4]);
  s.cards.push_back({1, "usb", "USB Headset"});
  s.sinks.push_back({5, "usb_out", "", 1, 15});
  s.sources.push_back({15, "usb_out.monitor", "", 1, 5});
  auto devices = GroupCaptureDevices(s);
  ASSERT_EQ(devices.size(), 4u);
  // "usb" has the lower index, "alsa_card.pci" the earlier name.
  EXPECT_EQ(devices[0].id, "card:alsa_card.pci");
  EXPECT_EQ(Sources(devices[0]),
            (std::vector<std::string>{"analog.monitor", "hdmi.monitor", "mic"}));
  EXPECT_EQ(devices[1].id, "card:usb");
  // Without a description the name is shown, never an empty entry.
  EXPECT_EQ(devices[1].lines[0].description, "usb_out.monitor (output)");

  // The same devices after a replug or a server restart: every index new.
  ServerListing again = s;
  for (auto &c : again.cards) c.index += 100;
  for (auto &k : again.sinks) {
    k.index += 200;
    if (k.card != kNoIndex) k.card += 100;
    if (k.monitor_source != kNoIndex) k.monitor_source += 300;
  }
  for (auto &o : again.sources) {
    o.index += 300;
    if (o.card != kNoIndex) o.card += 100;
    if (o.monitor_of_sink != kNoIndex) o.monitor_of_sink += 200;
  }
  std::reverse(again.cards.begin(), again.cards.end());
  auto after = GroupCaptureDevices(again);
  ASSERT_EQ(after.size(), devices.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].id, devices[i].id) << i;
    EXPECT_EQ(Sources(after[i]), Sources(devices[i])) << i;
  }
}

TEST(GroupCaptureDevices, EveryLoopbackLineIsNamedSoTheLoopbackSearchFindsIt) {
  // A 5.1 profile and a Pro Audio profile: the monitors' descriptions
  // hold no searched word, the microphone's does ("stereo").
  ServerListing s;
  s.cards = {{0, "alsa_card.pci", "Built-in Audio"}};
  s.sinks = {{0, "surround51", "Built-in Audio Surround 5.1", 0, 1}, {2, "pro", "Pro 1", 0, 3}};
  s.sources = {{1, "surround51.monitor", "Monitor of Built-in Audio Surround 5.1", 0, 0},
               {3, "pro.monitor", "Monitor of Pro 1", 0, 2},
               {4, "mic", "Built-in Audio Analog Stereo", 0, kNoIndex}};
  s.default_sink = "pro";
  auto devices = GroupCaptureDevices(s);
  ASSERT_EQ(devices.size(), 1u);
  ASSERT_EQ(devices[0].lines.size(), 3u);
  EXPECT_EQ(devices[0].lines[0].description, "Monitor of Pro 1 (output)");
  EXPECT_EQ(devices[0].lines[0].output, "pro");
  EXPECT_EQ(devices[0].lines[1].description, "Monitor of Built-in Audio Surround 5.1 (output)");
  EXPECT_EQ(devices[0].lines[1].output, "surround51");
  // Inputs and names that already carry a word stay as the server has them.
  EXPECT_EQ(devices[0].lines[2].description, "Built-in Audio Analog Stereo");
  EXPECT_EQ(devices[0].lines[2].output, "");
  EXPECT_EQ(GroupCaptureDevices(Desktop())[0].lines[0].description, "Monitor of Analog Stereo");
  EXPECT_EQ(GroupCaptureDevices(Desktop())[1].lines[0].description, "Monitor of Null Output");
}

TEST(GroupCaptureDevices, DevicesWithNothingToRecordAreLeftOut) {
  ServerListing s;
  s.cards = {{0, "off_card", "Card With Profile Off"}};
  // A sink whose monitor is not (or not yet) listed offers no line.
  s.sinks = {{0, "lonely", "Lonely", kNoIndex, 7}};
  EXPECT_TRUE(GroupCaptureDevices(s).empty());
  EXPECT_TRUE(GroupCaptureDevices(ServerListing{}).empty());
}

TEST(GroupCaptureDevices, MonitorFoundFromTheSourceSideToo) {
  ServerListing s;
  s.sinks = {{4, "out", "Out", kNoIndex, kNoIndex}};
  s.sources = {{9, "out.monitor", "Monitor of Out", kNoIndex, 4}};
  auto devices = GroupCaptureDevices(s);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].id, "sink:out");
  EXPECT_EQ(Sources(devices[0]), (std::vector<std::string>{"out.monitor"}));
}

TEST(GroupCaptureDevices, ASinkNamingAnUnlistedCardIsADeviceOfItsOwn) {
  ServerListing s;
  s.sinks = {{0, "orphan", "Orphan", 42, 1}};
  s.sources = {{1, "orphan.monitor", "Monitor of Orphan", 42, 0}};
  auto devices = GroupCaptureDevices(s);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].id, "sink:orphan");
}

}  // namespace
}  // namespace quavix::pulse
