// Where the program's audio renderer plays: to the output whose loop-back
// line is being recorded, so that the song is heard on the line that
// records it whatever output is the desktop's default; to the default
// output while no loop-back line is chosen.
//
// A capture filter in a graph names the output its enabled loop-back line
// monitors (the newest naming wins) and withdraws it when another kind of
// line is enabled, when it leaves its graph or when its device goes.
#pragma once

#include <string>

namespace quavix::pulse {

// Names the output (a sink name) for `owner`; "" withdraws what it named.
void RoutePlaybackTo(const void *owner, const std::string &sink);
// The output the renderer should play to; "" means the default output.
std::string PlaybackOutput();

}  // namespace quavix::pulse
