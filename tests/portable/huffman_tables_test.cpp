// The Annex K tables against the codes printed in T.81, and overfull tables.
#include "primitives/huffman_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>


namespace {

using namespace vv;

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

TEST(TableBuilders, RejectOverfullTables) {
  uint8_t tooMany[16] = {}, overflow[16] = {3}, vals[256] = {};  // overflow: three 1-bit codes
  tooMany[15] = 255;
  tooMany[14] = 2;  // 257 codes
  HuffmanDecodeSpec d;
  HuffmanEncodeSpec e;
  EXPECT_EQ(BuildHuffmanDecodeSpec(tooMany, vals, &d), StatusBadTable);
  EXPECT_EQ(BuildHuffmanEncodeSpec(overflow, vals, &e), StatusBadTable);
}

}  // namespace
