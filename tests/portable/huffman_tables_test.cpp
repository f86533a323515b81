// The Annex K tables and the table builders checked against the canonical
// codes of T.81 Annex C computed on the test side.
#include "primitives/huffman_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entropy_test_util.h"

namespace {

using namespace vv;
using vv::test::TableDef;

// Codes printed in T.81 Tables K.3 to K.6.
TEST(StandardTables, GiveTheWellKnownCodes) {
  struct Case {
    const uint8_t* bits;
    const uint8_t* vals;
    int symbol;
    const char* code;
  };
  const Case cases[] = {
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 0, "00"},
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 6, "1110"},
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 11, "111111110"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 0, "00"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 11, "11111111110"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x00, "1010"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0xF0, "11111111001"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x11, "1100"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0xFA, "1111111111111110"},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, 0x00, "00"},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, 0xF0, "1111111010"},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, 0xFA, "1111111111111110"},
  };
  for (const Case& c : cases) {
    HuffmanEncodeSpec spec;
    ASSERT_EQ(BuildHuffmanEncodeSpec(c.bits, c.vals, &spec), StatusOk);
    const uint32_t length = static_cast<uint32_t>(std::strlen(c.code));
    const uint32_t code = static_cast<uint32_t>(std::stoul(c.code, nullptr, 2));
    EXPECT_EQ(spec.codes[c.symbol], code | length << 16) << std::hex << c.symbol;
  }
}

// Every field of both specs follows from the canonical codes: the encode
// entries directly, the decode structure by its definition (first and last
// code per length, index of the first symbol, and the 8-bit lookup that
// matches a code of up to 8 bits at the front of the index).
TEST(TableBuilders, MatchTheCanonicalCodesOfRandomTables) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round) {
    const bool ac = round % 2 == 1;
    const TableDef t = test::RandomTable(
        rng, ac ? test::AcSymbols(10, round % 4 == 1) : test::DcSymbols(11 + round % 6),
        round % 3 == 0);
    const std::vector<test::Code> codes = test::CanonicalCodes(t);
    HuffmanEncodeSpec e;
    HuffmanDecodeSpec d;
    ASSERT_EQ(BuildHuffmanEncodeSpec(t.bits, t.vals, &e), StatusOk);
    ASSERT_EQ(BuildHuffmanDecodeSpec(t.bits, t.vals, &d), StatusOk);

    for (int s = 0; s < 256; ++s)
      EXPECT_EQ(e.codes[s], codes[s].length == 0 ? 0u : codes[s].code | codes[s].length << 16);

    int k = 0;
    for (int length = 1; length <= 16; ++length) {
      const int n = t.bits[length - 1];
      EXPECT_EQ(d.valPtr[length], k);
      if (n == 0) {
        EXPECT_EQ(d.maxCode[length], 0xFFFF);
      } else {
        EXPECT_EQ(d.minCode[length], codes[t.vals[k]].code);
        EXPECT_EQ(d.maxCode[length], codes[t.vals[k + n - 1]].code);
      }
      k += n;
    }
    EXPECT_EQ(d.maxCode[17], 0xFFFF);
    for (int i = 0; i < t.count(); ++i) EXPECT_EQ(d.symbols[i], t.vals[i]);

    for (uint32_t index = 0; index < 256; ++index) {
      uint32_t expected = 0;
      for (int s = 0; s < 256; ++s) {
        const test::Code& c = codes[s];
        if (c.length >= 1 && c.length <= 8 && index >> (8 - c.length) == c.code)
          expected = static_cast<uint32_t>(s) | static_cast<uint32_t>(c.length) << 16;
      }
      ASSERT_EQ(d.fastLookup[index], expected) << round << " " << index;
    }
  }
}

TEST(TableBuilders, RejectOverfullTables) {
  TableDef tooMany, overflow;
  tooMany.bits[15] = 255;
  tooMany.bits[14] = 2;  // 257 codes
  overflow.bits[0] = 3;  // three 1-bit codes: decodable prefix, but no encoder
  HuffmanDecodeSpec d;
  HuffmanEncodeSpec e;
  EXPECT_EQ(BuildHuffmanDecodeSpec(tooMany.bits, tooMany.vals, &d), StatusBadTable);
  EXPECT_EQ(BuildHuffmanEncodeSpec(overflow.bits, overflow.vals, &e), StatusBadTable);
}

}  // namespace
