#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "writer/encoder_bin.h"

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

}  // namespace
