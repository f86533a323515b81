// Sequential and lossless entropy coding: the encoder against a test-side
// bit writer, encode/decode round trips with the Annex K tables and random
// tables, and the stream edge cases (markers, stuffing, flushing).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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

TEST(SequentialRoundTrip, StandardTables) {
  std::mt19937 rng(7);
  const Tables t = StdLuminance();
  std::vector<Block> blocks;
  for (int i = 0; i < 400; ++i) blocks.push_back(RandomBlock(rng, 1023, 1023));
  RoundTrip(t, blocks);
}

// Random codes up to 16 bits, with categories up to 15 (12-bit range and
// beyond): exercises the slow path of the symbol decoder.
TEST(SequentialRoundTrip, RandomTables) {
  std::mt19937 rng(99);
  for (int round = 0; round < 60; ++round) {
    const int maxCategory = round % 2 == 0 ? 11 : 15;
    const TableDef dc = test::RandomTable(rng, test::DcSymbols(maxCategory), round % 3 == 0);
    const TableDef ac =
        test::RandomTable(rng, test::AcSymbols(maxCategory == 11 ? 10 : 15, false), round % 3 != 1);
    const Tables t(dc, ac);
    const int maxValue = (1 << (maxCategory == 11 ? 10 : 15)) - 1;
    std::vector<Block> blocks;
    for (int i = 0; i < 60; ++i) blocks.push_back(RandomBlock(rng, maxValue / 2, maxValue));
    RoundTrip(t, blocks);
  }
}

TEST(SequentialEncode, ZeroRunsUseZrlAndEob) {
  const Tables t = StdLuminance();
  Block last{}, dcOnly{};
  last.c[kZigzagToNatural[63]] = 1;
  struct Case {
    const Block* block;
    std::vector<uint8_t> bytes;
  };
  // Only position 63: DC "00", ZRL x3 (11111111001), then run 14 size 1 and
  // its bit, and no EOB.
  BitSink expected;
  expected.Put(0b00, 2);
  for (int i = 0; i < 3; ++i) expected.Put(0b11111111001, 11);
  expected.Put(t.acCodes[0xE1]);
  expected.Put(1, 1);
  expected.Pad();
  const Case cases[] = {
      {&last, expected.bytes}, {&dcOnly, {0x2B}},  // 00 1010 + two 1-bits of padding
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeAll(t, {*c.block}), c.bytes);
}

TEST(SequentialEncode, StuffsZeroAfterFfAndStopsCleanlyWhenFull) {
  const Tables t = StdLuminance();
  Block b{};
  b.c[0] = 2047;  // 111111110 11111111111 1010
  EXPECT_EQ(EncodeAll(t, {b}), (std::vector<uint8_t>{0xFF, 0x00, 0x7F, 0xFA}));

  // Room for the 0xFF of the DC code but not for its stuffed 0x00.
  uint8_t out[1] = {0};
  HuffmanEncodeState state;
  InitHuffmanEncodeState(&state);
  int32_t offset = 0;
  int16_t lastDc = 0;
  EXPECT_EQ(
      EncodeHuffmanBlock8x8(b.c, out, 1, &offset, &lastDc, &t.dcEncode, &t.acEncode, &state, 0),
      StatusBufferEnd);
  EXPECT_EQ(offset, 1);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(state.bitAccumulator, 0u);
  EXPECT_EQ(state.pendingBits, 0);
}

// A short destination takes a prefix of what a large one takes and nothing
// past its capacity.
TEST(SequentialEncode, FullDestinationKeepsAPrefix) {
  std::mt19937 rng(3);
  const Tables t = StdLuminance();
  for (int round = 0; round < 30; ++round) {
    const Block b = RandomBlock(rng, 1023, 1023);
    const std::vector<uint8_t> whole = EncodeAll(t, {b});
    // Without the flush the last partial byte stays in the state.
    const int32_t blockBytes =
        static_cast<int32_t>(whole.size()) - (whole.size() >= 2 && whole.end()[-2] == 0xFF ? 2 : 1);
    for (int32_t capacity = 1; capacity < blockBytes; ++capacity) {
      std::vector<uint8_t> out(capacity + 8, 0xA5);
      HuffmanEncodeState state{};
      int32_t offset = 0;
      int16_t lastDc = 0;
      ASSERT_EQ(EncodeHuffmanBlock8x8(b.c, out.data(), capacity, &offset, &lastDc, &t.dcEncode,
                                      &t.acEncode, &state, 0),
                StatusBufferEnd);
      ASSERT_LE(offset, capacity);
      ASSERT_TRUE(std::equal(out.begin(), out.begin() + offset, whole.begin()));
      for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5);
      ASSERT_LE(state.pendingBits, 7);
    }
  }
}

TEST(SequentialEncode, FlushCompletesTheLastByteWithOnes) {
  struct Case {
    uint32_t acc;  // pending bits left-aligned under bit 23
    int32_t pending;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {0, 0, {}},
      {0b101u << 21, 3, {0xBF}},
      {0b1111111u << 17, 7, {0xFF, 0x00}},
      {0, 1, {0x7F}},
  };
  for (const Case& c : cases) {
    HuffmanEncodeState state;
    std::memset(&state, 0x33, sizeof state);
    state.bitAccumulator = c.acc;
    state.pendingBits = c.pending;
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    int32_t offset = 1;
    ASSERT_EQ(EncodeHuffmanBlock8x8(nullptr, out, 4, &offset, nullptr, nullptr, nullptr, &state, 1),
              StatusOk);
    ASSERT_EQ(offset, 1 + static_cast<int32_t>(c.bytes.size()));
    EXPECT_EQ(std::vector<uint8_t>(out + 1, out + offset), c.bytes);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&state);
    for (size_t i = 0; i < sizeof state; ++i) ASSERT_EQ(raw[i], 0) << i;
  }
  // The 0xFF fits, its 0x00 does not: the state keeps the pending bits.
  HuffmanEncodeState state{};
  state.bitAccumulator = 0b111u << 21;
  state.pendingBits = 3;
  uint8_t out[1];
  int32_t offset = 0;
  EXPECT_EQ(EncodeHuffmanBlock8x8(nullptr, out, 1, &offset, nullptr, nullptr, nullptr, &state, 1),
            StatusBufferEnd);
  EXPECT_EQ(state.pendingBits, 3);
  EXPECT_EQ(state.bitAccumulator, 0b111u << 21);
}

TEST(SequentialEncode, SymbolsWithoutCodeFail) {
  const Tables t = StdLuminance();
  Block big{};
  big.c[1] = 2047;  // category 11 has no AC code in the standard table
  Block min{};
  min.c[1] = -32768;  // category 16: no AC symbol at all
  for (const Block* b : {&big, &min}) {
    uint8_t out[64];
    HuffmanEncodeState state{};
    int32_t offset = 0;
    int16_t lastDc = 0;
    EXPECT_EQ(
        EncodeHuffmanBlock8x8(b->c, out, 64, &offset, &lastDc, &t.dcEncode, &t.acEncode, &state, 0),
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

// Bytes enter a whole byte at a time until at least 25 bits are held, and
// only when the bits held run short.
TEST(DecodeStream, RefillsUpTo32BitsWhenShort) {
  BitByBit in({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF, 0x00, 0x77});
  const int32_t offsets[] = {4, 4, 4};  // after bits 1, 2 and 32
  int bit;
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(in.Next(&bit), StatusOk);
    if (i < 2) {
      EXPECT_EQ(in.offset, offsets[i]);
    }
  }
  EXPECT_EQ(in.offset, offsets[2]);
  EXPECT_EQ(in.state.bitCount, 0);
  ASSERT_EQ(in.Next(&bit), StatusOk);
  EXPECT_EQ(in.offset, 9);  // 0x55 0x66 0xFF(00) 0x77
  EXPECT_EQ(in.state.bitCount, 31);
}

// 111111110 (DC category 11), eleven value bits, 1010 (EOB): three bytes,
// the first 0xFF and stuffed.
TEST(DecodeStream, MarkerMidBlock) {
  const Tables t = StdLuminance();
  Block b{};
  b.c[0] = -1500;
  const std::vector<uint8_t> whole = EncodeAll(t, {b});
  ASSERT_EQ(whole, (std::vector<uint8_t>{0xFF, 0x00, 0x22, 0x3A}));
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t status, offset, count;
    uint32_t marker;
  };
  const Case cases[] = {
      {{0xFF, 0x00, 0x22, 0x3A, 0xFF, 0xD9}, StatusOk, 6, 1, 0xD9},
      {{0xFF, 0x00, 0x22, 0xFF, 0xD0, 0x00}, StatusBadValue, 5, 0, 0xD0},
      {{0xFF, 0x00, 0x22}, StatusBufferEnd, 3, 0, 0},
  };
  for (const Case& c : cases) {
    HuffmanDecodeState state;
    InitHuffmanDecodeState(&state);
    state.coefficientCount = 99;
    Block decoded;
    int32_t offset = 0;
    uint32_t marker = 0;
    int16_t lastDc = 0;
    EXPECT_EQ(DecodeHuffmanBlock8x8(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), &offset,
                                    decoded.c, &lastDc, &marker, &t.dcDecode, &t.acDecode, &state),
              c.status);
    EXPECT_EQ(offset, c.offset);
    EXPECT_EQ(marker, c.marker);
    EXPECT_EQ(state.coefficientCount, c.count);
    if (c.status == StatusOk) {
      EXPECT_EQ(decoded.c[0], -1500);
    }
  }
}

// Lossless differences written on the test side, decoded one at a time and
// as interleaved rows; category 16 stands for 32768 and carries no bits.
TEST(LosslessDecode, RoundTripsEveryCategory) {
  std::mt19937 rng(5);
  for (int round = 0; round < 20; ++round) {
    const int components = 1 + round % 4;
    std::vector<TableDef> defs;
    std::vector<HuffmanDecodeSpec> specs(components);
    std::vector<std::vector<test::Code>> codes;
    for (int c = 0; c < components; ++c) {
      defs.push_back(test::RandomTable(rng, test::DcSymbols(16), round % 2 == 0));
      codes.push_back(test::CanonicalCodes(defs[c]));
      ASSERT_EQ(BuildHuffmanDecodeSpec(defs[c].bits, defs[c].vals, &specs[c]), StatusOk);
    }
    const int width = 37;
    std::vector<std::vector<int16_t>> expected(components, std::vector<int16_t>(width));
    BitSink sink;
    std::uniform_int_distribution<int> category(0, 16), pct(0, 99);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        const int s = category(rng);
        int32_t d = 32768;
        if (s < 16) {
          std::uniform_int_distribution<int> magnitude(s == 0 ? 0 : 1 << (s - 1), (1 << s) - 1);
          d = magnitude(rng) * (pct(rng) < 50 ? -1 : 1);
        }
        sink.Put(codes[c][s]);
        if (s < 16) sink.PutValue(d, s);
        expected[c][x] = static_cast<int16_t>(static_cast<uint16_t>(d));
      }
    }
    sink.Pad();
    const int32_t length = static_cast<int32_t>(sink.bytes.size());

    // One difference per call, components interleaved.
    HuffmanDecodeState state;
    InitHuffmanDecodeState(&state);
    int32_t offset = 0;
    uint32_t marker = 0;
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        int16_t d = 0;
        ASSERT_EQ(DecodeHuffmanLosslessDiff(sink.bytes.data(), length, &offset, &d, &marker,
                                            &specs[c], &state),
                  StatusOk);
        ASSERT_EQ(d, expected[c][x]);
      }
    }
    // The same differences as one row.
    std::vector<std::vector<int16_t>> rows(components, std::vector<int16_t>(width));
    int16_t* rowPointers[4];
    const HuffmanDecodeSpec* specPointers[4];
    for (int c = 0; c < components; ++c) {
      rowPointers[c] = rows[c].data();
      specPointers[c] = &specs[c];
    }
    InitHuffmanDecodeState(&state);
    offset = 0;
    ASSERT_EQ(DecodeHuffmanLosslessRow(sink.bytes.data(), length, &offset, rowPointers, width,
                                       components, &marker, specPointers, &state),
              StatusOk);
    EXPECT_EQ(rows, expected);
  }
}

TEST(LosslessDecode, CategorySixteenReadsNoBits) {
  TableDef t;
  t.bits[1] = 2;  // 00 -> 16, 01 -> 1
  t.vals[0] = 16;
  t.vals[1] = 1;
  HuffmanDecodeSpec spec;
  ASSERT_EQ(BuildHuffmanDecodeSpec(t.bits, t.vals, &spec), StatusOk);
  const uint8_t bytes[] = {0b00011011, 0xFF, 0x00};  // 00 | 01 1 | 01 1 | ...
  HuffmanDecodeState state;
  InitHuffmanDecodeState(&state);
  int32_t offset = 0;
  uint32_t marker = 0;
  int16_t d = 0;
  ASSERT_EQ(DecodeHuffmanLosslessDiff(bytes, 3, &offset, &d, &marker, &spec, &state), StatusOk);
  EXPECT_EQ(static_cast<uint16_t>(d), 32768);
  EXPECT_EQ(state.bitCount, 16 - 2);
  ASSERT_EQ(DecodeHuffmanLosslessDiff(bytes, 3, &offset, &d, &marker, &spec, &state), StatusOk);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(state.bitCount, 16 - 5);
}

}  // namespace
