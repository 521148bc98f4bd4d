// What the writer does to the ASF file that asfmux produces: it mends the
// last data packet and, at a clean end, appends an index and records the
// final file size in the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quavix::writer {

// The parts of one data packet's header that indexing needs.
struct AsfPacketInfo {
  std::uint32_t sendTime = 0;          // ms, without the preroll
  bool firstPayloadContinues = false;  // begins with the rest of an earlier object
};

// Reads the header of the data packet at `data` (its first `size` bytes, at
// least the packet's header). False when the bytes are not a packet header
// that this writer knows how to read.
bool ParseAsfPacket(const std::uint8_t *data, std::size_t size, AsfPacketInfo *out);

// asfmux gives the last, partly filled data packet of a run a packet length
// that leaves out its padding while the padding field still counts it; some
// demuxers then reject that packet and lose the end of the song. When the
// packet at `data` (exactly one fixed-size packet of `size` bytes) has that
// fault, its packet length is set to the packet size. Returns true when the
// packet was changed.
bool RepairShortAsfPacket(std::uint8_t *data, std::size_t size);

// A Simple Index Object with one entry per `interval` (100 ns units) of
// presentation time, preroll included, as the demuxers look it up: entry i
// names the packet where the audio at i * interval - preroll begins.
std::vector<std::uint8_t> BuildAsfSimpleIndex(const std::uint8_t fileId[16],
                                              std::uint64_t interval100ns, std::uint64_t prerollMs,
                                              std::uint64_t playDuration100ns,
                                              const std::vector<AsfPacketInfo> &packets);

// For a complete ASF file open at `fd` (its header rewritten at the end of
// stream, nothing after the data object): appends a Simple Index Object and
// updates the file size in the File Properties Object. Leaves the file as it
// was and returns false when the file is not such a file or a write fails.
bool AppendAsfIndex(int fd);

// For an ASF file whose stream never reached its end (the header the muxer
// wrote at the start, which says "broadcast" and holds no duration): cuts
// off a partly written last packet and fills in what the muxer would have
// written at the end, from the packets in the file: sizes, packet count,
// play and send duration (from the last presentation time), the seekable
// flag. AppendAsfIndex can follow. Returns false, with the file unchanged,
// when it is not such a file or holds no packet.
bool FinishCutAsfFile(int fd);

}  // namespace quavix::writer
