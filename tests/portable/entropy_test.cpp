// Sequential entropy coding: the encoder against a test-side bit writer and
// encode/decode round trips with the Annex K tables (the encoder's only
// tables; the decoder meets other tables in the conformance corpus), codes
// missing from a table, and the decoder's handling of stuffing and markers.
// Corrupt data is the fuzz targets' work.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "entropy_test_util.h"
#include "primitives/entropy_decode.h"
#include "primitives/entropy_encode.h"
#include "primitives/tables.h"

namespace {

using namespace vv;
using test::BitSink;
using test::TableDef;

struct Block {
  int16_t c[64];
};

// Built both ways from one pair of table descriptions.
struct Tables {
  Tables(const TableDef& dc, const TableDef& ac)
      : dcCodes(test::CanonicalCodes(dc)), acCodes(test::CanonicalCodes(ac)) {
    EXPECT_EQ(BuildHuffmanDecodeSpec(dc.bits, dc.vals, &dcDecode), StatusOk);
    EXPECT_EQ(BuildHuffmanDecodeSpec(ac.bits, ac.vals, &acDecode), StatusOk);
    EXPECT_EQ(BuildHuffmanEncodeSpec(dc.bits, dc.vals, &dcEncode), StatusOk);
    EXPECT_EQ(BuildHuffmanEncodeSpec(ac.bits, ac.vals, &acEncode), StatusOk);
  }
  HuffmanDecodeSpec dcDecode, acDecode;
  HuffmanEncodeSpec dcEncode, acEncode;
  std::vector<test::Code> dcCodes, acCodes;
};

Tables StdLuminance() {
  return Tables(test::StdTable(kStdDcLuminanceBits, kStdDcLuminanceValues),
                test::StdTable(kStdAcLuminanceBits, kStdAcLuminanceValues));
}

int CategoryOf(int32_t v) {
  uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
  int s = 0;
  while (a >> s) ++s;
  return s;
}

// Random block in natural order: DC within +-maxDc, AC within +-maxAc,
// mostly zeros, sometimes a long zero run or a value at position 63.
Block RandomBlock(std::mt19937& rng, int maxDc, int maxAc) {
  Block b{};
  std::uniform_int_distribution<int> dc(-maxDc, maxDc), ac(-maxAc, maxAc), pct(0, 99);
  b.c[0] = static_cast<int16_t>(dc(rng));
  const int density = pct(rng) < 20 ? 0 : pct(rng) / 3;
  for (int k = 1; k < 64; ++k)
    if (pct(rng) < density) b.c[kZigzagToNatural[k]] = static_cast<int16_t>(ac(rng));
  if (pct(rng) < 10) b.c[kZigzagToNatural[63]] = static_cast<int16_t>(ac(rng) | 1);
  return b;
}

// The coefficient count the decoder must report: up to the last non-zero.
int32_t ExpectedCount(const Block& b) {
  for (int k = 63; k >= 1; --k)
    if (b.c[kZigzagToNatural[k]] != 0) return k + 1;
  return 1;
}

// T.81 F.1.2 on the test side.
void ReferenceEncode(BitSink& sink, const Tables& t, const Block& b, int16_t* lastDc) {
  const int32_t diff = b.c[0] - *lastDc;
  *lastDc = b.c[0];
  sink.Put(t.dcCodes[CategoryOf(diff)]);
  sink.PutValue(diff, CategoryOf(diff));
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    const int v = b.c[kZigzagToNatural[k]];
    if (v == 0) {
      ++run;
      continue;
    }
    for (; run >= 16; run -= 16) sink.Put(t.acCodes[0xF0]);
    sink.Put(t.acCodes[run << 4 | CategoryOf(v)]);
    sink.PutValue(v, CategoryOf(v));
    run = 0;
  }
  if (run > 0) sink.Put(t.acCodes[0x00]);
}

std::vector<uint8_t> EncodeAll(const Tables& t, const std::vector<Block>& blocks) {
  std::vector<uint8_t> out(blocks.size() * 200 + 16);
  HuffmanEncodeState state;
  EXPECT_EQ(InitHuffmanEncodeState(&state), StatusOk);
  int32_t offset = 0;
  int16_t lastDc = 0;
  const int32_t capacity = static_cast<int32_t>(out.size());
  for (const Block& b : blocks)
    EXPECT_EQ(EncodeHuffmanBlock8x8(b.c, out.data(), capacity, &offset, &lastDc, &t.dcEncode,
                                    &t.acEncode, &state, 0),
              StatusOk);
  EXPECT_EQ(EncodeHuffmanBlock8x8(nullptr, out.data(), capacity, &offset, nullptr, nullptr, nullptr,
                                  &state, 1),
            StatusOk);
  out.resize(offset);
  return out;
}

// Encodes with the primitives, compares with the test-side encoding, decodes
// and compares coefficients, DC predictions and coefficient counts.
void RoundTrip(const Tables& t, const std::vector<Block>& blocks) {
  const std::vector<uint8_t> bytes = EncodeAll(t, blocks);
  BitSink sink;
  int16_t refDc = 0;
  for (const Block& b : blocks) ReferenceEncode(sink, t, b, &refDc);
  sink.Pad();
  ASSERT_EQ(bytes, sink.bytes);

  HuffmanDecodeState state;
  ASSERT_EQ(InitHuffmanDecodeState(&state), StatusOk);
  int32_t offset = 0;
  uint32_t marker = 0;
  int16_t lastDc = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    Block decoded;
    ASSERT_EQ(DecodeHuffmanBlock8x8(bytes.data(), static_cast<int32_t>(bytes.size()), &offset,
                                    decoded.c, &lastDc, &marker, &t.dcDecode, &t.acDecode, &state),
              StatusOk)
        << "block " << i;
    ASSERT_EQ(std::memcmp(decoded.c, blocks[i].c, sizeof decoded.c), 0) << "block " << i;
    ASSERT_EQ(state.coefficientCount, ExpectedCount(blocks[i])) << "block " << i;
    ASSERT_EQ(lastDc, blocks[i].c[0]);
  }
  EXPECT_EQ(offset, static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(marker, 0u);
  EXPECT_LT(state.bitCount, 8);  // only the 1-bit padding is left
}

// Catches faults of code emission (ZRL, EOB, value bits, stuffing, padding),
// DC prediction and the decoder's coefficient counts.
TEST(SequentialRoundTrip, StandardTables) {
  std::mt19937 rng(7);
  std::vector<Block> blocks;
  for (int i = 0; i < 2000; ++i) blocks.push_back(RandomBlock(rng, 1023, 1023));
  RoundTrip(StdLuminance(), blocks);
}

// Values whose category has no code in the table are refused.
TEST(SequentialEncode, MissingCodesAreRefused) {
  const Tables t = StdLuminance();
  Block acBig{}, acMin{};
  acBig.c[1] = 2047;    // category 11 has no AC code in the standard table
  acMin.c[1] = -32768;  // category 16: no AC symbol at all
  for (const Block* block : {&acBig, &acMin}) {
    uint8_t out[64];
    HuffmanEncodeState state{};
    int32_t offset = 0;
    int16_t lastDc = 0;
    EXPECT_EQ(EncodeHuffmanBlock8x8(block->c, out, 64, &offset, &lastDc, &t.dcEncode, &t.acEncode,
                                    &state, 0),
              StatusBadTable);
  }
}

// Decoder stream handling, driven one bit at a time through the DC
// refinement decoder (each call reads exactly one bit).
struct BitByBit {
  explicit BitByBit(std::vector<uint8_t> b) : bytes(std::move(b)) {
    InitHuffmanDecodeState(&state);
  }
  int32_t Next(int* bit) {
    int16_t c[64] = {};
    const int32_t status = DecodeHuffmanDcRefine(bytes.data(), static_cast<int32_t>(bytes.size()),
                                                 &offset, c, &marker, 0, &state);
    *bit = c[0];
    return status;
  }
  std::vector<uint8_t> bytes;
  HuffmanDecodeState state;
  int32_t offset = 0;
  uint32_t marker = 0;
};

TEST(DecodeStream, StuffedFfIsDataAndFfFfD0IsAMarker) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* bits;
    int32_t endStatus, endOffset;
    uint32_t marker;
  };
  const Case cases[] = {
      {{0xFF, 0x00}, "11111111", StatusBufferEnd, 2, 0},
      {{0x80, 0xFF, 0xFF, 0xD0, 0x12}, "10000000", StatusBadValue, 4, 0xD0},
      {{0xA5, 0xFF, 0x00, 0x0F, 0xFF, 0xD9}, "101001011111111100001111", StatusBadValue, 6, 0xD9},
      // The source ends inside a 0xFF sequence: the offset stays on it.
      {{0x01, 0xFF, 0xFF}, "00000001", StatusBufferEnd, 1, 0},
      {{0xFF, 0x01}, "", StatusBadValue, 2, 0x01},  // every non-zero byte is a marker
  };
  for (const Case& c : cases) {
    BitByBit in(c.bytes);
    std::string bits;
    int bit;
    int32_t status;
    while ((status = in.Next(&bit)) == StatusOk) bits += bit ? '1' : '0';
    EXPECT_EQ(bits, c.bits);
    EXPECT_EQ(status, c.endStatus);
    EXPECT_EQ(in.offset, c.endOffset);
    EXPECT_EQ(in.marker, c.marker);
  }
}

}  // namespace
