#include "platform/dshow/pulse/pulse_devices.h"

#include <algorithm>
#include <map>

namespace quavix::pulse {
namespace {

template <class T>
std::vector<T> ByIndex(std::vector<T> v) {
  std::stable_sort(v.begin(), v.end(), [](const T &a, const T &b) { return a.index < b.index; });
  return v;
}

std::string Shown(const std::string &description, const std::string &name) {
  return description.empty() ? name : description;
}

}  // namespace

std::vector<CaptureDevice> GroupCaptureDevices(const ServerListing &listing) {
  const auto cards = ByIndex(listing.cards);
  const auto sinks = ByIndex(listing.sinks);
  const auto sources = ByIndex(listing.sources);

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
  // then the others in the server's order.
  auto loopback_lines = [&](const std::vector<const ServerSink *> &group) {
    std::vector<const ServerSink *> ordered = group;
    std::stable_partition(ordered.begin(), ordered.end(), [&](const ServerSink *s) {
      return !listing.default_sink.empty() && s->name == listing.default_sink;
    });
    std::vector<CaptureLine> lines;
    for (const ServerSink *sink : ordered)
      if (const ServerSource *m = monitor_of(*sink))
        lines.push_back({m->name, Shown(m->description, m->name), true});
    return lines;
  };
  auto input_line = [](const ServerSource &s) {
    return CaptureLine{s.name, Shown(s.description, s.name), false};
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
  return devices;
}

}  // namespace quavix::pulse
