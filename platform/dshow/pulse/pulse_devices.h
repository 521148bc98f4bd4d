// Capture devices as the program sees them, built from what the sound
// server lists. A device is a sound card (or a sink or source that belongs to
// no card, such as a virtual output); its lines are what can be recorded
// from it: first the loop-back (monitor) of each of its outputs, the default
// output's first, then its real inputs. Plain data, no server connection, so
// the grouping rules can be checked on any listing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quavix::pulse {

inline constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;  // PA_INVALID_INDEX

struct CaptureLine {
  std::string source;       // the server's source name: what pulsesrc records
  std::string description;  // e.g. "Monitor of Null Output"
  bool loopback = false;    // a monitor of one of the device's outputs
  std::string output;       // for a loop-back line: the sink name it monitors
};

struct CaptureDevice {
  // Stable across unplug and replug and across server restarts: "card:",
  // "sink:" or "source:" followed by the server's name of the object.
  std::string id;
  std::string description;  // the friendly name
  std::vector<CaptureLine> lines;
};

// What the server listed, in its own (index) order.
struct ServerCard {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string description;  // may be empty: the name is shown then
};
struct ServerSink {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string description;
  std::uint32_t card = kNoIndex;
  std::uint32_t monitor_source = kNoIndex;
};
struct ServerSource {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string description;
  std::uint32_t card = kNoIndex;
  std::uint32_t monitor_of_sink = kNoIndex;  // kNoIndex: a real input
};
struct ServerListing {
  std::string default_sink;  // name; may be empty
  std::vector<ServerCard> cards;
  std::vector<ServerSink> sinks;
  std::vector<ServerSource> sources;
};

// Devices in a stable order, by the server's names (never its indices):
// cards, then sinks without a card, then real inputs without a card, each
// group by name. A device with nothing to record is left out. A loop-back
// line whose description holds none of the words a search for the
// loop-back line looks for ("stereo", "mix", "output", ...) is named with
// " (output)" added, so such a search never prefers a microphone to it.
std::vector<CaptureDevice> GroupCaptureDevices(const ServerListing &listing);

}  // namespace quavix::pulse
