#include "platform/dshow/pulse/playback_route.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace quavix::pulse {
namespace {

std::mutex g_routeLock;
// Oldest first; the last entry is the one that counts. Several can exist
// for a moment, e.g. while a new device's filter joins before the old one's
// graph is released.
std::vector<std::pair<const void *, std::string>> g_routes;

}  // namespace

void RoutePlaybackTo(const void *owner, const std::string &sink) {
  std::lock_guard<std::mutex> g(g_routeLock);
  auto it = std::find_if(g_routes.begin(), g_routes.end(),
                         [&](const auto &entry) { return entry.first == owner; });
  if (it != g_routes.end()) {
    // A filter that names the same output again keeps its place: re-enabling
    // a line must not take the route from a newer filter.
    if (!sink.empty() && it->second == sink) return;
    g_routes.erase(it);
  }
  if (!sink.empty()) g_routes.emplace_back(owner, sink);
}

std::string PlaybackOutput() {
  std::lock_guard<std::mutex> g(g_routeLock);
  return g_routes.empty() ? std::string() : g_routes.back().second;
}

}  // namespace quavix::pulse
