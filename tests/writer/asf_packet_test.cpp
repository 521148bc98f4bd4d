#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "writer/asf_file.h"

using quavix::writer::AsfPacketInfo;
using quavix::writer::BuildAsfSimpleIndex;
using quavix::writer::ParseAsfPacket;
using quavix::writer::RepairShortAsfPacket;

namespace {

// A data packet laid out as asfmux writes it: no error correction, multiple
// payloads, WORD packet length and WORD padding, then send time and duration.
std::vector<std::uint8_t> Packet(std::size_t size, std::uint16_t length, std::uint16_t padding) {
  std::vector<std::uint8_t> p(size, 0x4E);
  p[0] = 0x51;
  p[1] = 0x5D;
  p[2] = length & 0xFF;
  p[3] = length >> 8;
  p[4] = padding & 0xFF;
  p[5] = padding >> 8;
  return p;
}

std::uint16_t Length(const std::vector<std::uint8_t>& p, std::size_t at = 2) {
  return static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8));
}

TEST(AsfPacketRepair, LastPacketGetsTheFullPacketLength) {
  auto p = Packet(4800, 1713, 3087);
  EXPECT_TRUE(RepairShortAsfPacket(p.data(), p.size()));
  EXPECT_EQ(Length(p), 4800);
  EXPECT_EQ(Length(p, 4), 3087);  // padding untouched
  EXPECT_FALSE(RepairShortAsfPacket(p.data(), p.size()));  // now consistent
}

TEST(AsfPacketRepair, LeavesConsistentAndUnknownPacketsAlone) {
  auto full = Packet(4800, 4800, 0);
  EXPECT_FALSE(RepairShortAsfPacket(full.data(), full.size()));
  EXPECT_EQ(Length(full), 4800);
  // A short length whose padding does not make up the rest is not ours to guess.
  auto odd = Packet(4800, 1000, 100);
  EXPECT_FALSE(RepairShortAsfPacket(odd.data(), odd.size()));
  EXPECT_EQ(Length(odd), 1000);
  // No explicit packet length field at all.
  auto noLen = Packet(4800, 0, 0);
  noLen[0] = 0x11;
  EXPECT_FALSE(RepairShortAsfPacket(noLen.data(), noLen.size()));
  // An ASF header object (GUID 75B22630-...) is not a data packet.
  std::vector<std::uint8_t> header = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
  header.resize(4800, 0);
  const auto before = header;
  EXPECT_FALSE(RepairShortAsfPacket(header.data(), header.size()));
  EXPECT_EQ(header, before);
  EXPECT_FALSE(RepairShortAsfPacket(nullptr, 0));
  std::uint8_t tiny[3] = {0x51, 0x5D, 0x01};
  EXPECT_FALSE(RepairShortAsfPacket(tiny, sizeof tiny));
}

TEST(AsfPacketRepair, SkipsErrorCorrectionData) {
  // Error correction flag byte 0x82 with two bytes of data, then the fields.
  std::vector<std::uint8_t> p(4800, 0);
  p[0] = 0x82;
  p[3] = 0x51;
  p[4] = 0x5D;
  p[5] = 0x10;  // length 0x0110 = 272
  p[6] = 0x01;
  const std::uint16_t pad = 4800 - 272;
  p[7] = pad & 0xFF;
  p[8] = pad >> 8;
  EXPECT_TRUE(RepairShortAsfPacket(p.data(), p.size()));
  EXPECT_EQ(Length(p, 5), 4800);
}

TEST(AsfPacketRepair, ByteWideLengthThatCannotHoldThePacketSizeIsLeft) {
  // Packet length type 1 (BYTE): 4800 does not fit, so nothing is written.
  std::vector<std::uint8_t> p(4800, 0);
  p[0] = 0x31;  // length BYTE, padding WORD
  p[2] = 200;
  const std::uint16_t pad = 4600;
  p[3] = pad & 0xFF;
  p[4] = pad >> 8;
  EXPECT_FALSE(RepairShortAsfPacket(p.data(), p.size()));
  EXPECT_EQ(p[2], 200);
}

// The start of an asfmux packet with several payloads whose first payload
// carries `offset` as its offset into the media object.
std::vector<std::uint8_t> PayloadPacket(std::uint32_t sendTime, std::uint32_t offset,
                                        std::uint8_t replicatedLength = 8) {
  auto p = Packet(64, 4800, 0);
  for (int i = 0; i < 4; ++i) p[6 + i] = static_cast<std::uint8_t>(sendTime >> (8 * i));
  p[10] = p[11] = 0;  // duration
  p[12] = 0x87;       // seven payloads, WORD payload lengths
  p[13] = 0x81;       // stream 1, key frame
  p[14] = 3;          // media object number (BYTE)
  for (int i = 0; i < 4; ++i) p[15 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
  p[19] = replicatedLength;
  return p;
}

TEST(AsfPacketHeader, ReadsSendTimeAndWhetherTheFirstPayloadContinues) {
  AsfPacketInfo info;
  auto start = PayloadPacket(2600, 0);
  ASSERT_TRUE(ParseAsfPacket(start.data(), start.size(), &info));
  EXPECT_EQ(info.sendTime, 2600u);
  EXPECT_FALSE(info.firstPayloadContinues);
  auto rest = PayloadPacket(278, 210);
  ASSERT_TRUE(ParseAsfPacket(rest.data(), rest.size(), &info));
  EXPECT_EQ(info.sendTime, 278u);
  EXPECT_TRUE(info.firstPayloadContinues);
  // Compressed payloads put a presentation time where the offset would be.
  auto compressed = PayloadPacket(500, 5500, 1);
  ASSERT_TRUE(ParseAsfPacket(compressed.data(), compressed.size(), &info));
  EXPECT_FALSE(info.firstPayloadContinues);
  // A single payload has no payload flags byte in front of it.
  auto single = PayloadPacket(700, 0);
  single[0] = 0x50;
  single.erase(single.begin() + 12);
  single[14] = 9;  // offset 9
  ASSERT_TRUE(ParseAsfPacket(single.data(), single.size(), &info));
  EXPECT_EQ(info.sendTime, 700u);
  EXPECT_TRUE(info.firstPayloadContinues);
  // Too short to hold the first payload's header.
  EXPECT_FALSE(ParseAsfPacket(start.data(), 16, &info));
  EXPECT_FALSE(ParseAsfPacket(nullptr, 0, &info));
}

std::uint64_t Le(const std::vector<std::uint8_t>& v, std::size_t at, std::size_t n) {
  std::uint64_t x = 0;
  for (std::size_t i = n; i > 0; --i) x = (x << 8) | v[at + i - 1];
  return x;
}

TEST(AsfSimpleIndex, EntriesPointAtThePacketWhereTheirTimeBegins) {
  const std::uint8_t fileId[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::vector<AsfPacketInfo> packets = {
      {0, false}, {300, true}, {600, false}, {900, true}, {1200, false}};
  // Half-second entries over 2.5 s of presentation time, 1 s of it preroll.
  const auto index = BuildAsfSimpleIndex(fileId, 5000000, 1000, 25000000, packets);
  ASSERT_EQ(index.size(), 56u + 6u * 5u);
  EXPECT_EQ(Le(index, 0, 4), 0x33000890u);  // Simple Index Object
  EXPECT_EQ(Le(index, 16, 8), index.size());
  EXPECT_TRUE(std::equal(fileId, fileId + 16, index.begin() + 24));
  EXPECT_EQ(Le(index, 40, 8), 5000000u);
  EXPECT_EQ(Le(index, 48, 4), 2u);  // largest packet count
  EXPECT_EQ(Le(index, 52, 4), 5u);
  // Times 0, 0.5 and 1.0 s fall in the preroll: packet 0. 1.5 s is 500 ms of
  // media, inside packet 1, which opens with the tail of a frame from packet
  // 0; 2.0 s is 1000 ms, inside packet 3, which does the same.
  const std::uint64_t expected[5][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 2}, {2, 2}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Le(index, 56 + 6 * i, 4), expected[i][0]) << "entry " << i;
    EXPECT_EQ(Le(index, 60 + 6 * i, 2), expected[i][1]) << "entry " << i;
  }
  EXPECT_TRUE(BuildAsfSimpleIndex(fileId, 5000000, 1000, 25000000, {}).empty());
  EXPECT_TRUE(BuildAsfSimpleIndex(fileId, 0, 1000, 25000000, packets).empty());
}

}  // namespace
