// Huffman coding against a test-side T.81 bit writer (whose tables libjpeg-turbo's DHT confirms).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "entropy_test_util.h"
#include "primitives/entropy_decode.h"
#include "primitives/entropy_encode.h"
#include "primitives/huffman_tables.h"
#include "primitives/tables.h"

namespace {

using namespace vv;
using test::BitSink;

struct Block {
  int16_t c[64];
};

// Catches faults of code emission (ZRL, EOB, value bits, stuffing, padding) and DC prediction; decoding
// is held to libjpeg-turbo.
TEST(SequentialEncoding, StandardTablesBitForBit) {
  const uint8_t *dcBits = kStdDcLuminanceBits, *dcVals = kStdDcLuminanceValues,
                *acBits = kStdAcLuminanceBits, *acVals = kStdAcLuminanceValues;
  const std::vector<test::Code> dcCodes = test::CanonicalCodes(dcBits, dcVals),
                                acCodes = test::CanonicalCodes(acBits, acVals);
  HuffmanEncodeSpec dcEncode, acEncode;
  ASSERT_EQ(BuildHuffmanEncodeSpec(dcBits, dcVals, &dcEncode), StatusOk);
  ASSERT_EQ(BuildHuffmanEncodeSpec(acBits, acVals, &acEncode), StatusOk);

  // Random blocks, mostly zeros, sometimes a long zero run or a value at 63.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(-1023, 1023), pct(0, 99);
  std::vector<Block> blocks(2000);
  for (Block& b : blocks) {
    b = Block{};
    b.c[0] = static_cast<int16_t>(value(rng));
    const int density = pct(rng) < 20 ? 0 : pct(rng) / 3;
    for (int k = 1; k < 64; ++k)
      if (pct(rng) < density) b.c[kZigzagToNatural[k]] = static_cast<int16_t>(value(rng));
    if (pct(rng) < 10) b.c[kZigzagToNatural[63]] = static_cast<int16_t>(value(rng) | 1);
  }

  // T.81 F.1.2 on the test side.
  BitSink sink;
  int16_t refDc = 0;
  for (const Block& b : blocks) {
    const int32_t diff = b.c[0] - refDc;
    refDc = b.c[0];
    sink.Put(dcCodes[BitSink::Category(diff)]);
    sink.PutValue(diff, BitSink::Category(diff));
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      const int v = b.c[kZigzagToNatural[k]];
      if (v == 0) {
        ++run;
        continue;
      }
      for (; run >= 16; run -= 16) sink.Put(acCodes[0xF0]);
      sink.Put(acCodes[run << 4 | BitSink::Category(v)]);
      sink.PutValue(v, BitSink::Category(v));
      run = 0;
    }
    if (run > 0) sink.Put(acCodes[0x00]);
  }
  sink.Pad();

  std::vector<uint8_t> bytes(blocks.size() * 200 + 16);
  HuffmanEncodeState encodeState;
  ASSERT_EQ(InitHuffmanEncodeState(&encodeState), StatusOk);
  int32_t offset = 0;
  int16_t lastDc = 0;
  const int32_t capacity = static_cast<int32_t>(bytes.size());
  for (const Block& b : blocks)
    ASSERT_EQ(EncodeHuffmanBlock8x8(b.c, bytes.data(), capacity, &offset, &lastDc, &dcEncode, &acEncode,
                                    &encodeState, 0), StatusOk);
  ASSERT_EQ(EncodeHuffmanBlock8x8(nullptr, bytes.data(), capacity, &offset, nullptr, nullptr, nullptr,
                                  &encodeState, 1), StatusOk);
  bytes.resize(offset);
  ASSERT_EQ(bytes, sink.bytes);

  // Each block alone into exactly the room it needs, then one byte less: the same bytes, or
  // StatusBufferEnd, and never a write past the capacity. Dense blocks of long codes and 0xFF-making
  // values included, so that a writer trusting a too-small size bound shows.
  for (int n = 0; n < 64; ++n) {
    Block b{};
    for (int k = 0; k < 64; ++k) b.c[k] = static_cast<int16_t>(n < 32 ? value(rng) : (k % 2 ? -1023 : 1023));
    std::vector<uint8_t> alone(2048);
    HuffmanEncodeState state{};
    offset = lastDc = 0;
    ASSERT_EQ(EncodeHuffmanBlock8x8(b.c, alone.data(), 2048, &offset, &lastDc, &dcEncode, &acEncode, &state, 0), StatusOk);
    const int32_t needed = offset;
    for (int32_t room : {needed, needed - 1}) {
      std::vector<uint8_t> tight(room + 64, 0xAB);
      state = HuffmanEncodeState{};
      offset = lastDc = 0;
      const int32_t status = EncodeHuffmanBlock8x8(b.c, tight.data(), room, &offset, &lastDc, &dcEncode, &acEncode, &state, 0);
      EXPECT_EQ(status, room == needed ? StatusOk : StatusBufferEnd) << n;
      if (room == needed) {
        EXPECT_TRUE(std::equal(tight.begin(), tight.begin() + room, alone.begin())) << n;
      }
      EXPECT_TRUE(std::all_of(tight.begin() + room, tight.end(), [](uint8_t v) { return v == 0xAB; })) << n;
    }
  }

  // Values whose category has no AC code (11, and 16 for -32768) are refused.
  for (int16_t big : {int16_t{2047}, int16_t{-32768}}) {
    Block b{};
    b.c[1] = big;
    HuffmanEncodeState fresh{};
    offset = lastDc = 0;
    EXPECT_EQ(EncodeHuffmanBlock8x8(b.c, bytes.data(), capacity, &offset, &lastDc, &dcEncode, &acEncode,
                                    &fresh, 0), StatusBadTable);
  }
}

// Stuffed 0xFF is data and FF FF D0 a marker; each DC refinement call reads one bit.
TEST(DecodeStream, StuffedFfIsDataAndFfFfD0IsAMarker) {
  const struct {
    std::vector<uint8_t> bytes;
    const char* bits;
    int32_t endStatus, endOffset;
    uint32_t marker;
  } cases[] = {
      {{0xFF, 0x00}, "11111111", StatusBufferEnd, 2, 0},
      {{0x80, 0xFF, 0xFF, 0xD0, 0x12}, "10000000", StatusBadValue, 4, 0xD0},
      {{0xA5, 0xFF, 0x00, 0x0F, 0xFF, 0xD9}, "101001011111111100001111", StatusBadValue, 6, 0xD9},
      // The source ends inside a 0xFF sequence: the offset stays on it.
      {{0x01, 0xFF, 0xFF}, "00000001", StatusBufferEnd, 1, 0},
      {{0xFF, 0x01}, "", StatusBadValue, 2, 0x01},  // every non-zero byte is a marker
  };
  for (const auto& c : cases) {
    HuffmanDecodeState state;
    InitHuffmanDecodeState(&state);
    int32_t offset = 0, status;
    uint32_t marker = 0;
    std::string bits;
    int16_t coefficients[64] = {};
    while ((status = DecodeHuffmanDcRefine(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), &offset,
                                           coefficients, &marker, 0, &state)) == StatusOk) {
      bits += coefficients[0] ? '1' : '0';
      coefficients[0] = 0;
    }
    EXPECT_EQ(bits, c.bits);
    EXPECT_EQ(status, c.endStatus);
    EXPECT_EQ(offset, c.endOffset);
    EXPECT_EQ(marker, c.marker);
  }
}

TEST(TableBuilders, RejectOverfullTables) {
  uint8_t tooMany[16] = {}, overflow[16] = {3}, vals[256] = {};  // 257 codes; three 1-bit codes
  tooMany[15] = 255;
  tooMany[14] = 2;
  HuffmanDecodeSpec d;
  HuffmanEncodeSpec e;
  EXPECT_EQ(BuildHuffmanDecodeSpec(tooMany, vals, &d), StatusBadTable);
  EXPECT_EQ(BuildHuffmanEncodeSpec(overflow, vals, &e), StatusBadTable);
}

}  // namespace
