#include "writer/asf_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quavix::writer {
namespace {

constexpr std::uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::uint8_t kSimpleIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

constexpr std::size_t kHeaderObjectFixed = 30;  // GUID, size, object count, two reserved bytes
constexpr std::size_t kDataObjectFixed = 50;    // GUID, size, file id, packet count, reserved
constexpr std::uint64_t kMaxHeaderSize = 1 << 20;
constexpr std::uint32_t kBroadcastFlag = 0x01;
constexpr std::uint32_t kSeekableFlag = 0x02;

std::size_t FieldSize(unsigned type) {
  static constexpr std::size_t kSizes[4] = {0, 1, 2, 4};
  return kSizes[type & 3];
}

std::uint64_t ReadLe(const std::uint8_t *p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = n; i > 0; --i) v = (v << 8) | p[i - 1];
  return v;
}

void WriteLe(std::uint8_t *p, std::size_t n, std::uint64_t v) {
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void AppendLe(std::vector<std::uint8_t> *out, std::size_t n, std::uint64_t v) {
  for (std::size_t i = 0; i < n; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The fixed part of a data packet header, as far as the send time.
struct PacketFields {
  std::uint8_t lengthFlags = 0;
  std::uint8_t propertyFlags = 0;
  std::size_t lengthAt = 0, lengthSize = 0;
  std::size_t paddingAt = 0, paddingSize = 0;
  std::size_t sendTimeAt = 0;  // followed by the duration (WORD)
};

bool ReadPacketFields(const std::uint8_t *data, std::size_t size, PacketFields *f) {
  if (!data || size < 2) return false;
  std::size_t pos = 0;
  if (data[0] & 0x80) {
    // Error correction data: its length sits in the low nibble, and only the
    // length type 0 (no length field) is defined.
    if (data[0] & 0x60) return false;
    pos = 1 + (data[0] & 0x0F);
  }
  if (pos + 2 > size) return false;
  f->lengthFlags = data[pos];
  f->propertyFlags = data[pos + 1];
  if (f->lengthFlags & 0x80) return false;  // a second error-correction flag is malformed
  pos += 2;
  f->lengthAt = pos;
  f->lengthSize = FieldSize(f->lengthFlags >> 5);
  const std::size_t seqSize = FieldSize(f->lengthFlags >> 1);
  f->paddingAt = pos + f->lengthSize + seqSize;
  f->paddingSize = FieldSize(f->lengthFlags >> 3);
  f->sendTimeAt = f->paddingAt + f->paddingSize;
  return f->sendTimeAt + 6 <= size;
}

bool PreadAll(int fd, void *buf, std::size_t n, off_t at) {
  auto *p = static_cast<std::uint8_t *>(buf);
  while (n > 0) {
    const ssize_t got = pread(fd, p, n, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
    at += got;
  }
  return true;
}

bool PwriteAll(int fd, const void *buf, std::size_t n, off_t at) {
  const auto *p = static_cast<const std::uint8_t *>(buf);
  while (n > 0) {
    const ssize_t put = pwrite(fd, p, n, at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
    at += put;
  }
  return true;
}

// The latest presentation time (ms, preroll included) among the payloads of
// the packet at `data`, and the shortest step between two of them (an
// estimate of one frame's duration); false when none carries a time.
bool LastPresentationTime(const std::uint8_t *data, std::size_t size, std::uint64_t *lastMs,
                          std::uint64_t *stepMs) {
  PacketFields f;
  if (!ReadPacketFields(data, size, &f)) return false;
  const std::uint64_t padding = f.paddingSize ? ReadLe(data + f.paddingAt, f.paddingSize) : 0;
  if (padding >= size) return false;
  const std::size_t end = size - static_cast<std::size_t>(padding);
  std::size_t pos = f.sendTimeAt + 6;
  std::size_t count = 1, payloadLengthSize = 0;
  const bool multiple = (f.lengthFlags & 0x01) != 0;
  if (multiple) {
    if (pos >= end) return false;
    count = data[pos] & 0x3F;
    payloadLengthSize = FieldSize(data[pos] >> 6);
    ++pos;
  }
  const std::size_t objectSize = FieldSize(f.propertyFlags >> 4);
  const std::size_t offsetSize = FieldSize(f.propertyFlags >> 2);
  const std::size_t replicatedLengthSize = FieldSize(f.propertyFlags);
  bool found = false;
  std::uint64_t last = 0, previous = 0, step = 0;
  for (std::size_t i = 0; i < count; ++i) {
    pos += 1 + objectSize + offsetSize;
    if (pos + replicatedLengthSize > end) return found;
    const std::uint64_t replicated = ReadLe(data + pos, replicatedLengthSize);
    pos += replicatedLengthSize;
    if (replicated > end - pos) return found;
    if (replicated >= 8) {
      const std::uint64_t t = ReadLe(data + pos + 4, 4);
      if (found && t > previous && (step == 0 || t - previous < step)) step = t - previous;
      previous = t;
      last = std::max(last, t);
      found = true;
    }
    pos += static_cast<std::size_t>(replicated);
    std::uint64_t length = end - pos;
    if (multiple) {
      if (pos + payloadLengthSize > end) return found;
      length = ReadLe(data + pos, payloadLengthSize);
      pos += payloadLengthSize;
    }
    if (length > end - pos) break;
    pos += static_cast<std::size_t>(length);
  }
  if (found) {
    *lastMs = last;
    *stepMs = step;
  }
  return found;
}

}  // namespace

bool ParseAsfPacket(const std::uint8_t *data, std::size_t size, AsfPacketInfo *out) {
  PacketFields f;
  if (!ReadPacketFields(data, size, &f)) return false;
  out->sendTime = static_cast<std::uint32_t>(ReadLe(data + f.sendTimeAt, 4));
  std::size_t pos = f.sendTimeAt + 6;
  if (f.lengthFlags & 0x01) ++pos;  // payload flags of a packet with several payloads
  // First payload: stream number, media object number, offset into the
  // media object, replicated data length.
  const std::size_t objectSize = FieldSize(f.propertyFlags >> 4);
  const std::size_t offsetSize = FieldSize(f.propertyFlags >> 2);
  const std::size_t replicatedSize = FieldSize(f.propertyFlags);
  const std::size_t offsetAt = pos + 1 + objectSize;
  if (offsetAt + offsetSize + replicatedSize > size) return false;
  const std::uint64_t offset = ReadLe(data + offsetAt, offsetSize);
  const std::uint64_t replicated = ReadLe(data + offsetAt + offsetSize, replicatedSize);
  // Replicated length 1 marks compressed payloads, whose "offset" field is a
  // presentation time: they always start whole objects.
  out->firstPayloadContinues = replicated != 1 && offset != 0;
  return true;
}

bool RepairShortAsfPacket(std::uint8_t *data, std::size_t size) {
  PacketFields f;
  if (!ReadPacketFields(data, size, &f)) return false;
  if (f.lengthSize == 0 || f.paddingSize == 0) return false;
  const std::uint64_t packetLength = ReadLe(data + f.lengthAt, f.lengthSize);
  const std::uint64_t padding = ReadLe(data + f.paddingAt, f.paddingSize);
  if (packetLength >= size) return false;
  if (packetLength + padding != size) return false;
  if (f.lengthSize < 4 && size >= (std::size_t{1} << (8 * f.lengthSize))) return false;
  WriteLe(data + f.lengthAt, f.lengthSize, size);
  return true;
}

std::vector<std::uint8_t> BuildAsfSimpleIndex(const std::uint8_t fileId[16],
                                              std::uint64_t interval100ns, std::uint64_t prerollMs,
                                              std::uint64_t playDuration100ns,
                                              const std::vector<AsfPacketInfo> &packets) {
  std::vector<std::uint8_t> out;
  if (interval100ns == 0 || packets.empty()) return out;
  const std::uint64_t entries =
      std::max<std::uint64_t>(1, (playDuration100ns + interval100ns - 1) / interval100ns);
  std::vector<std::pair<std::uint32_t, std::uint16_t>> table;
  table.reserve(entries);
  std::uint16_t maxCount = 1;
  std::size_t k = 0;
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t atMs = i * interval100ns / 10000;
    const std::uint64_t mediaMs = atMs > prerollMs ? atMs - prerollMs : 0;
    while (k + 1 < packets.size() && packets[k + 1].sendTime <= mediaMs) ++k;
    // A packet that opens with the tail of an earlier frame: start one packet
    // sooner so the decoder gets that frame whole.
    std::uint32_t packet = static_cast<std::uint32_t>(k);
    std::uint16_t count = 1;
    if (packets[k].firstPayloadContinues && k > 0) {
      --packet;
      count = 2;
    }
    maxCount = std::max(maxCount, count);
    table.emplace_back(packet, count);
  }
  out.insert(out.end(), kSimpleIndexGuid, kSimpleIndexGuid + 16);
  AppendLe(&out, 8, 56 + 6 * table.size());
  out.insert(out.end(), fileId, fileId + 16);
  AppendLe(&out, 8, interval100ns);
  AppendLe(&out, 4, maxCount);
  AppendLe(&out, 4, table.size());
  for (const auto &[packet, count] : table) {
    AppendLe(&out, 4, packet);
    AppendLe(&out, 2, count);
  }
  return out;
}

// Reads the whole header object of an ASF file and finds its File
// Properties object (file id at 24, file size at 40, play duration at 64,
// preroll at 80, flags at 88, packet sizes at 92 and 96 of it). False for
// anything that is not a regular file with a whole, bounded header.
static bool ReadAsfHeader(int fd, std::uint64_t *fileSize, std::vector<std::uint8_t> *header,
                          std::size_t *props) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *fileSize = static_cast<std::uint64_t>(st.st_size);

  std::uint8_t top[kHeaderObjectFixed];
  if (*fileSize < sizeof top || !PreadAll(fd, top, sizeof top, 0)) return false;
  if (std::memcmp(top, kHeaderGuid, 16) != 0) return false;
  const std::uint64_t headerSize = ReadLe(top + 16, 8);
  if (headerSize < kHeaderObjectFixed || headerSize > kMaxHeaderSize ||
      headerSize + kDataObjectFixed > *fileSize)
    return false;
  header->assign(headerSize, 0);
  if (!PreadAll(fd, header->data(), header->size(), 0)) return false;

  *props = 0;
  for (std::size_t pos = kHeaderObjectFixed; pos + 24 <= header->size();) {
    const std::uint64_t size = ReadLe(&(*header)[pos] + 16, 8);
    if (size < 24 || size > header->size() - pos) return false;
    if (std::memcmp(&(*header)[pos], kFilePropertiesGuid, 16) == 0 && size >= 104) {
      *props = pos;
      break;
    }
    pos += size;
  }
  return *props != 0;
}

bool AppendAsfIndex(int fd) {
  std::uint64_t fileSize = 0;
  std::vector<std::uint8_t> header;
  std::size_t props = 0;
  if (!ReadAsfHeader(fd, &fileSize, &header, &props)) return false;
  const std::uint64_t headerSize = header.size();
  const std::uint8_t *fp = &header[props];
  const std::uint64_t playDuration = ReadLe(fp + 64, 8);
  const std::uint64_t preroll = ReadLe(fp + 80, 8);
  const auto flags = static_cast<std::uint32_t>(ReadLe(fp + 88, 4));
  const auto packetSize = static_cast<std::uint32_t>(ReadLe(fp + 92, 4));
  // Only a header written at a clean end carries the duration; a broadcast
  // header means the run never finished, and nothing is added to it.
  if ((flags & kBroadcastFlag) || playDuration == 0) return false;
  if (packetSize == 0 || packetSize != ReadLe(fp + 96, 4)) return false;

  std::uint8_t data[kDataObjectFixed];
  if (!PreadAll(fd, data, sizeof data, static_cast<off_t>(headerSize))) return false;
  if (std::memcmp(data, kDataGuid, 16) != 0) return false;
  const std::uint64_t dataSize = ReadLe(data + 16, 8);
  const std::uint64_t packetCount = ReadLe(data + 40, 8);
  if (packetCount == 0 || headerSize + dataSize != fileSize ||
      dataSize != kDataObjectFixed + packetCount * packetSize)
    return false;

  std::vector<AsfPacketInfo> packets(packetCount);
  std::uint8_t head[64];
  const std::size_t headLen = std::min<std::size_t>(sizeof head, packetSize);
  for (std::uint64_t i = 0; i < packetCount; ++i) {
    const auto at = static_cast<off_t>(headerSize + kDataObjectFixed + i * packetSize);
    if (!PreadAll(fd, head, headLen, at) || !ParseAsfPacket(head, headLen, &packets[i]))
      return false;
  }
  const std::vector<std::uint8_t> index =
      BuildAsfSimpleIndex(data + 24, 10000000, preroll, playDuration, packets);
  if (index.empty()) return false;

  std::uint8_t newSize[8];
  WriteLe(newSize, 8, fileSize + index.size());
  if (!PwriteAll(fd, index.data(), index.size(), static_cast<off_t>(fileSize)) ||
      !PwriteAll(fd, newSize, sizeof newSize, static_cast<off_t>(props + 40))) {
    // Leave the file as the muxer finished it: complete, only without index.
    if (ftruncate(fd, static_cast<off_t>(fileSize)) == 0) {
      WriteLe(newSize, 8, fileSize);
      PwriteAll(fd, newSize, sizeof newSize, static_cast<off_t>(props + 40));
    }
    return false;
  }
  return true;
}

}  // namespace quavix::writer

namespace quavix::writer {

bool FinishCutAsfFile(int fd) {
  std::uint64_t fileSize = 0;
  std::vector<std::uint8_t> header;
  std::size_t props = 0;
  if (!ReadAsfHeader(fd, &fileSize, &header, &props)) return false;
  const std::uint64_t headerSize = header.size();
  const std::uint8_t *fp = &header[props];
  const std::uint64_t preroll = ReadLe(fp + 80, 8);
  const auto flags = static_cast<std::uint32_t>(ReadLe(fp + 88, 4));
  const auto packetSize = static_cast<std::uint32_t>(ReadLe(fp + 92, 4));
  // Only the header the muxer writes at the start says "broadcast"; one
  // rewritten at the end of the stream needs nothing.
  if (!(flags & kBroadcastFlag)) return false;
  if (packetSize == 0 || packetSize != ReadLe(fp + 96, 4)) return false;
  std::uint8_t data[kDataObjectFixed];
  if (!PreadAll(fd, data, sizeof data, static_cast<off_t>(headerSize))) return false;
  if (std::memcmp(data, kDataGuid, 16) != 0) return false;

  // Whole packets only: a packet cut by a failed write is left out.
  const std::uint64_t packets = (fileSize - headerSize - kDataObjectFixed) / packetSize;
  if (packets == 0) return false;
  std::vector<std::uint8_t> packet(packetSize);
  std::uint64_t endMs = 0, stepMs = 0;
  bool timed = false;
  for (std::uint64_t i = packets; i > 0 && !timed; --i) {
    const auto at = static_cast<off_t>(headerSize + kDataObjectFixed + (i - 1) * packetSize);
    if (!PreadAll(fd, packet.data(), packet.size(), at)) return false;
    timed = LastPresentationTime(packet.data(), packet.size(), &endMs, &stepMs);
  }
  if (!timed) return false;
  endMs += stepMs;  // the last frame lasts about as long as one step
  const std::uint64_t dataSize = kDataObjectFixed + packets * packetSize;
  const std::uint64_t newFileSize = headerSize + dataSize;
  if (newFileSize < fileSize && ftruncate(fd, static_cast<off_t>(newFileSize)) != 0) return false;

  std::vector<std::uint8_t> newProps(fp + 40, fp + 92);
  WriteLe(&newProps[0], 8, newFileSize);
  WriteLe(&newProps[16], 8, packets);
  WriteLe(&newProps[24], 8, endMs * 10000);                                    // play duration
  WriteLe(&newProps[32], 8, endMs > preroll ? (endMs - preroll) * 10000 : 0);  // send duration
  WriteLe(&newProps[48], 4, (flags & ~kBroadcastFlag) | kSeekableFlag);
  std::uint8_t newData[16];
  WriteLe(newData, 8, dataSize);
  WriteLe(newData + 8, 8, packets);
  // The data object first: a header that claims completeness is written last.
  return PwriteAll(fd, newData, 8, static_cast<off_t>(headerSize + 16)) &&
         PwriteAll(fd, newData + 8, 8, static_cast<off_t>(headerSize + 40)) &&
         PwriteAll(fd, newProps.data(), newProps.size(), static_cast<off_t>(props + 40));
}

}  // namespace quavix::writer
