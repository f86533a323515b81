// Record sizes, the Annex K tables, and the table builders checked against
// the canonical codes of T.81 Annex C computed on the test side.
#include "primitives/huffman_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "entropy_test_util.h"
#include "primitives/processor_level.h"

namespace {

using namespace vv;
using vv::test::TableDef;

class AtEveryLevel : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override { ForceProcessorLevelForTesting(GetParam()); }
  void TearDown() override { ForceProcessorLevelForTesting(0); }
};

TEST_P(AtEveryLevel, SizeQueriesReportTheRecordSizes) {
  struct Case {
    int32_t (*query)(int32_t*);
    int32_t expected;
    size_t record;
  };
  const Case cases[] = {
      {GetHuffmanDecodeSpecSize, 1644, sizeof(HuffmanDecodeSpec)},
      {GetHuffmanDecodeStateSize, 24, sizeof(HuffmanDecodeState)},
      {GetHuffmanEncodeSpecSize, 1024, sizeof(HuffmanEncodeSpec)},
      {GetHuffmanEncodeStateSize, 1048, sizeof(HuffmanEncodeState)},
  };
  for (const Case& c : cases) {
    int32_t size = -1;
    EXPECT_EQ(c.query(&size), StatusOk);
    EXPECT_EQ(size, c.expected);
    EXPECT_EQ(static_cast<size_t>(size), c.record);
    EXPECT_EQ(c.query(nullptr), StatusNullPointer);
  }
}

TEST_P(AtEveryLevel, InitZeroesTheWholeState) {
  HuffmanDecodeState d;
  std::memset(&d, 0x5A, sizeof d);
  EXPECT_EQ(InitHuffmanDecodeState(&d), StatusOk);
  HuffmanEncodeState e;
  std::memset(&e, 0x5A, sizeof e);
  EXPECT_EQ(InitHuffmanEncodeState(&e), StatusOk);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&d);
  for (size_t i = 0; i < sizeof d; ++i) EXPECT_EQ(bytes[i], 0) << i;
  bytes = reinterpret_cast<const uint8_t*>(&e);
  for (size_t i = 0; i < sizeof e; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(InitHuffmanDecodeState(nullptr), StatusNullPointer);
  EXPECT_EQ(InitHuffmanEncodeState(nullptr), StatusNullPointer);
}

// Counts over 256, overflowing codes and null pointers; a rejected table
// leaves the table record as it was.
TEST_P(AtEveryLevel, BuildersRejectBadTablesAndLeaveTheSpecUntouched) {
  TableDef tooMany;
  tooMany.bits[15] = 255;
  tooMany.bits[14] = 2;  // 257 codes
  TableDef overflow;
  overflow.bits[0] = 3;  // three 1-bit codes
  TableDef good = test::StdTable(kStdDcLuminanceBits, kStdDcLuminanceValues);
  struct Case {
    const uint8_t* bits;
    const uint8_t* vals;
    bool nullSpec;
    int32_t decodeStatus, encodeStatus;
  };
  const Case cases[] = {
      {tooMany.bits, tooMany.vals, false, StatusBadTable, StatusBadTable},
      {overflow.bits, overflow.vals, false, StatusOk, StatusBadTable},
      {nullptr, good.vals, false, StatusNullPointer, StatusNullPointer},
      {good.bits, nullptr, false, StatusNullPointer, StatusNullPointer},
      {good.bits, good.vals, true, StatusNullPointer, StatusNullPointer},
  };
  for (const Case& c : cases) {
    HuffmanDecodeSpec d, dBefore;
    HuffmanEncodeSpec e, eBefore;
    std::memset(&d, 0xAB, sizeof d);
    std::memset(&e, 0xAB, sizeof e);
    dBefore = d;
    eBefore = e;
    EXPECT_EQ(BuildHuffmanDecodeSpec(c.bits, c.vals, c.nullSpec ? nullptr : &d), c.decodeStatus);
    EXPECT_EQ(BuildHuffmanEncodeSpec(c.bits, c.vals, c.nullSpec ? nullptr : &e), c.encodeStatus);
    if (c.decodeStatus != StatusOk) {
      EXPECT_EQ(std::memcmp(&d, &dBefore, sizeof d), 0);
    }
    if (c.encodeStatus != StatusOk) {
      EXPECT_EQ(std::memcmp(&e, &eBefore, sizeof e), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, AtEveryLevel, ::testing::Values(0, 1, 2, 3, 4));

TEST(StandardTables, HoldEverySymbolOnce) {
  struct Case {
    const uint8_t* bits;
    const uint8_t* vals;
    bool ac;
  };
  const Case cases[] = {
      {kStdDcLuminanceBits, kStdDcLuminanceValues, false},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, false},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, true},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, true},
  };
  for (const Case& c : cases) {
    const TableDef t = test::StdTable(c.bits, c.vals);
    // DC: the 12 categories of 8-bit data; AC: 16 runs x sizes 1..10, EOB, ZRL.
    std::set<int> expected;
    if (c.ac) {
      for (int r = 0; r < 16; ++r)
        for (int s = 1; s <= 10; ++s) expected.insert(r << 4 | s);
      expected.insert(0x00);
      expected.insert(0xF0);
    } else {
      for (int s = 0; s < 12; ++s) expected.insert(s);
    }
    ASSERT_EQ(t.count(), c.ac ? 162 : 12);
    const std::set<int> actual(t.vals, t.vals + t.count());
    EXPECT_EQ(actual, expected);
    for (int i = t.count(); i < 256; ++i) EXPECT_EQ(t.vals[i], 0);
  }
}

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
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 1, "010"},
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 5, "110"},
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 6, "1110"},
      {kStdDcLuminanceBits, kStdDcLuminanceValues, 11, "111111110"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 0, "00"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 2, "10"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 3, "110"},
      {kStdDcChrominanceBits, kStdDcChrominanceValues, 11, "11111111110"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x00, "1010"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0xF0, "11111111001"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x01, "00"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x03, "100"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0x11, "1100"},
      {kStdAcLuminanceBits, kStdAcLuminanceValues, 0xFA, "1111111111111110"},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, 0x00, "00"},
      {kStdAcChrominanceBits, kStdAcChrominanceValues, 0x01, "01"},
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

}  // namespace
