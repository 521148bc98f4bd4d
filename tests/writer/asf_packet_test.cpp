#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "writer/asf_file.h"

using namespace quavix::writer;

namespace {

// A packet as asfmux starts one: no error correction, several payloads, WORD
// packet length and padding, send time, duration, payload flags, then the
// first payload's stream, object number (BYTE), offset (DWORD) and
// replicated data length (BYTE).
std::vector<std::uint8_t> Packet(std::uint16_t length, std::uint16_t padding,
                                 std::uint32_t sendTime = 0, std::uint32_t offset = 0) {
  std::vector<std::uint8_t> p(4800, 0x4E);
  const std::uint8_t head[] = {0x51,
                               0x5D,
                               std::uint8_t(length),
                               std::uint8_t(length >> 8),
                               std::uint8_t(padding),
                               std::uint8_t(padding >> 8),
                               std::uint8_t(sendTime),
                               std::uint8_t(sendTime >> 8),
                               std::uint8_t(sendTime >> 16),
                               std::uint8_t(sendTime >> 24),
                               0,
                               0,
                               0x87,
                               0x81,
                               3,
                               std::uint8_t(offset),
                               std::uint8_t(offset >> 8),
                               0,
                               0,
                               8};
  std::copy(std::begin(head), std::end(head), p.begin());
  return p;
}

std::uint64_t Le(const std::vector<std::uint8_t> &v, std::size_t at, std::size_t n) {
  std::uint64_t x = 0;
  for (std::size_t i = n; i > 0; --i) x = (x << 8) | v[at + i - 1];
  return x;
}

TEST(AsfPacket, RepairsOnlyALengthThatLeavesOutItsPadding) {
  auto last = Packet(1713, 3087);
  EXPECT_TRUE(RepairShortAsfPacket(last.data(), last.size()));
  EXPECT_EQ(Le(last, 2, 2), 4800u);
  EXPECT_EQ(Le(last, 4, 2), 3087u);
  EXPECT_FALSE(RepairShortAsfPacket(last.data(), last.size()));  // consistent now
  for (auto p : {Packet(4800, 0), Packet(1000, 100)}) {          // whole, or not ours to guess
    const auto before = p;
    EXPECT_FALSE(RepairShortAsfPacket(p.data(), p.size()));
    EXPECT_EQ(p, before);
  }
  // An ASF header object (its GUID starts 30 26 B2 75) is left alone.
  std::vector<std::uint8_t> header(4800, 0);
  header[0] = 0x30, header[1] = 0x26, header[2] = 0xB2, header[3] = 0x75;
  EXPECT_FALSE(RepairShortAsfPacket(header.data(), header.size()));
  // Error correction data in front (flags 0x82: two bytes) is skipped.
  auto ec = Packet(272, 4800 - 272);
  ec.insert(ec.begin(), {0x82, 0, 0});
  ec.resize(4800);
  EXPECT_TRUE(RepairShortAsfPacket(ec.data(), ec.size()));
  EXPECT_EQ(Le(ec, 5, 2), 4800u);
}

TEST(AsfPacket, ReadsSendTimeAndWhetherTheFirstPayloadContinues) {
  AsfPacketInfo info;
  auto start = Packet(4800, 0, 2600, 0);
  ASSERT_TRUE(ParseAsfPacket(start.data(), 64, &info));
  EXPECT_EQ(info.sendTime, 2600u);
  EXPECT_FALSE(info.firstPayloadContinues);
  auto rest = Packet(4800, 0, 278, 210);
  ASSERT_TRUE(ParseAsfPacket(rest.data(), 64, &info));
  EXPECT_EQ(info.sendTime, 278u);
  EXPECT_TRUE(info.firstPayloadContinues);
  rest[19] = 1;  // compressed payload: the "offset" is a presentation time
  ASSERT_TRUE(ParseAsfPacket(rest.data(), 64, &info));
  EXPECT_FALSE(info.firstPayloadContinues);
  EXPECT_FALSE(ParseAsfPacket(start.data(), 16, &info));  // cut before the payload header
}

TEST(AsfSimpleIndex, EntriesPointAtThePacketWhereTheirTimeBegins) {
  const std::uint8_t fileId[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::vector<AsfPacketInfo> packets = {
      {0, false}, {300, true}, {600, false}, {900, true}, {1200, false}};
  // Half-second entries over 2.5 s of presentation time, 1 s of it preroll.
  const auto index = BuildAsfSimpleIndex(fileId, 5000000, 1000, 25000000, packets);
  ASSERT_EQ(index.size(), 56u + 6u * 5u);
  EXPECT_EQ(Le(index, 0, 4), 0x33000890u);
  EXPECT_EQ(Le(index, 16, 8), index.size());
  EXPECT_TRUE(std::equal(fileId, fileId + 16, index.begin() + 24));
  EXPECT_EQ(Le(index, 40, 8), 5000000u);
  EXPECT_EQ(Le(index, 48, 4), 2u);  // largest packet count
  EXPECT_EQ(Le(index, 52, 4), 5u);
  // 0, 0.5 and 1 s lie in the preroll; 1.5 s (500 ms of audio) is in packet
  // 1 and 2 s in packet 3, which both open with the tail of an earlier frame,
  // so the entries start a packet sooner and span two.
  const std::uint64_t expected[5][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 2}, {2, 2}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Le(index, 56 + 6 * i, 4), expected[i][0]) << i;
    EXPECT_EQ(Le(index, 60 + 6 * i, 2), expected[i][1]) << i;
  }
  EXPECT_TRUE(BuildAsfSimpleIndex(fileId, 5000000, 1000, 25000000, {}).empty());
}

}  // namespace
