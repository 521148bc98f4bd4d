#include "platform/dshow/pulse/pulse_devices.h"

#include <algorithm>
#include <map>

namespace quavix::pulse {
namespace {

template <class T>
std::vector<T> ByName(std::vector<T> v) {
  std::stable_sort(v.begin(), v.end(), [](const T &a, const T &b) { return a.name < b.name; });
  return v;
}

std::string Shown(const std::string &description, const std::string &name) {
  return description.empty() ? name : description;
}

// Programs that look for the loop-back line by its name (as the sound
// cards of another system name it: "Stereo Mix", "Wave Out Mix", ...) look
// for these words, ASCII letters compared without case.
const char *const kLoopbackWords[] = {"wave", "stereo", "mix", "mixer", "what u hear", "output"};

bool HasLoopbackWord(const std::string &name) {
  std::string lowered = name;
  for (char &c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return std::any_of(std::begin(kLoopbackWords), std::end(kLoopbackWords),
                     [&](const char *w) { return lowered.find(w) != std::string::npos; });
}

// A monitor's own description may carry none of those words (a 5.1 or Pro
// Audio profile, HDMI, a renamed output) while a microphone's does
// ("Built-in Audio Analog Stereo"): the name then says what it is.
std::string LoopbackName(const std::string &description) {
  return HasLoopbackWord(description) ? description : description + " (output)";
}

}  // namespace

std::vector<CaptureDevice> GroupCaptureDevices(const ServerListing &listing) {
  // Names, not the server's indices: a card that is unplugged and plugged
  // in again, or a server that restarts, hands out new indices, and the
  // order decides which device a remembered position names.
  const auto cards = ByName(listing.cards);
  const auto sinks = ByName(listing.sinks);
  const auto sources = ByName(listing.sources);

  std::map<std::uint32_t, const ServerSource *> source_by_index;
  for (const auto &s : sources) source_by_index[s.index] = &s;

  // The monitor of a sink, found from either side: the sink names its
  // monitor, and the monitor names its sink.
  auto monitor_of = [&](const ServerSink &sink) -> const ServerSource * {
    if (auto it = source_by_index.find(sink.monitor_source); it != source_by_index.end())
      return it->second;
    for (const auto &s : sources)
      if (s.monitor_of_sink == sink.index) return &s;
    return nullptr;
  };

  // Loop-back lines of a group of sinks: the default sink's monitor first,
  // then the others by name.
  auto loopback_lines = [&](const std::vector<const ServerSink *> &group) {
    std::vector<const ServerSink *> ordered = group;
    std::stable_partition(ordered.begin(), ordered.end(), [&](const ServerSink *s) {
      return !listing.default_sink.empty() && s->name == listing.default_sink;
    });
    std::vector<CaptureLine> lines;
    for (const ServerSink *sink : ordered)
      if (const ServerSource *m = monitor_of(*sink))
        lines.push_back({m->name, LoopbackName(Shown(m->description, m->name)), true, sink->name});
    return lines;
  };
  auto input_line = [](const ServerSource &s) {
    return CaptureLine{s.name, Shown(s.description, s.name), false, {}};
  };

  std::vector<CaptureDevice> devices;
  for (const auto &card : cards) {
    std::vector<const ServerSink *> card_sinks;
    for (const auto &s : sinks)
      if (s.card == card.index) card_sinks.push_back(&s);
    CaptureDevice d{"card:" + card.name, Shown(card.description, card.name),
                    loopback_lines(card_sinks)};
    for (const auto &s : sources)
      if (s.card == card.index && s.monitor_of_sink == kNoIndex) d.lines.push_back(input_line(s));
    if (!d.lines.empty()) devices.push_back(std::move(d));
  }

  auto has_card = [&](std::uint32_t card) {
    return card != kNoIndex && std::any_of(cards.begin(), cards.end(),
                                           [&](const ServerCard &c) { return c.index == card; });
  };
  for (const auto &sink : sinks) {
    if (has_card(sink.card)) continue;
    CaptureDevice d{"sink:" + sink.name, Shown(sink.description, sink.name),
                    loopback_lines({&sink})};
    if (!d.lines.empty()) devices.push_back(std::move(d));
  }
  for (const auto &s : sources) {
    if (has_card(s.card) || s.monitor_of_sink != kNoIndex) continue;
    devices.push_back({"source:" + s.name, Shown(s.description, s.name), {input_line(s)}});
  }
  // "card:" < "sink:" < "source:": cards, then outputs, then inputs of no
  // card, each group by name.
  std::stable_sort(devices.begin(), devices.end(),
                   [](const CaptureDevice &a, const CaptureDevice &b) { return a.id < b.id; });
  return devices;
}

}  // namespace quavix::pulse
