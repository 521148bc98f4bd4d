// Small files written by the tests themselves, so their exact content and
// length are known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

// A type-0 Standard MIDI File: `ticksPerQuarter`, a tempo of
// `microsPerQuarter`, one note from tick 0 to `noteTicks`, end of track at
// `endTicks`.
std::vector<std::uint8_t> TinyMidi(int ticksPerQuarter, int microsPerQuarter, int noteTicks,
                                   int endTicks);

bool WriteFile(const std::string &path, const void *data, size_t size);

}  // namespace engine_test
