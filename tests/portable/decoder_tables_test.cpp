// Quantisation and Huffman tables of the decoder, and the Huffman state.
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg/decoder_tables.h"
#include "primitives/huffman_tables.h"

namespace {

using namespace vv;

// Zig-zag position → natural index, read off ITU-T T.81 Figure A.6 (which
// gives the zig-zag position of each natural row and column).
struct ZigzagFact {
  int zigzag, natural;
};
const ZigzagFact kFigureA6[] = {{0, 0},   {1, 1},   {2, 8},   {3, 16},  {4, 9},   {5, 2},
                                {6, 3},   {13, 11}, {14, 4},  {15, 5}, {27, 6},  {28, 7},  {35, 56},
                                {36, 57}, {42, 15}, {48, 58}, {62, 62}, {63, 63}};

TEST(QuantTable, EightBitLoadGivesNaturalOrderDequant) {
  CJPEGDecoderQuantTable table;
  uint8_t zigzag[64];
  for (int i = 0; i < 64; ++i) zigzag[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(table.LoadQuant8(zigzag), 0);
  EXPECT_EQ(table.precision, 0);
  ASSERT_NE(table.IntegerDequant(), nullptr);
  for (const ZigzagFact& f : kFigureA6) {
    EXPECT_EQ(table.IntegerDequant()[f.natural], f.zigzag + 1) << "zig-zag " << f.zigzag;
  }
  EXPECT_EQ(reinterpret_cast<uintptr_t>(table.Dequant16()) % 32, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(table.Raw8()) % 32, 0u);
}

TEST(QuantTable, SixteenBitLoadIsFloatUntilConvertedForEightBitFrames) {
  CJPEGDecoderQuantTable table;
  uint16_t zigzag[64];
  for (int i = 0; i < 64; ++i) zigzag[i] = static_cast<uint16_t>(250 + i * 3);
  ASSERT_EQ(table.LoadQuant16(zigzag), 0);
  EXPECT_EQ(table.precision, 1);
  EXPECT_EQ(table.IntegerDequant(), nullptr) << "integer transforms must fail on the float form";
  for (const ZigzagFact& f : kFigureA6) {
    EXPECT_EQ(table.DequantFloat()[f.natural], 250.0f + f.zigzag * 3);
  }
  ASSERT_EQ(table.ConvertQuant16To8(), 0);
  EXPECT_EQ(table.ready, 1);
  ASSERT_NE(table.IntegerDequant(), nullptr);
  for (const ZigzagFact& f : kFigureA6) {
    EXPECT_EQ(table.IntegerDequant()[f.natural], 250 + f.zigzag * 3) << "no clamp to 255";
  }
}

TEST(QuantTable, EightBitFormWidensForTwelveBitFrames) {
  CJPEGDecoderQuantTable table;
  uint8_t zigzag[64];
  for (int i = 0; i < 64; ++i) zigzag[i] = static_cast<uint8_t>(200 + i / 2);
  ASSERT_EQ(table.LoadQuant8(zigzag), 0);
  ASSERT_EQ(table.ConvertQuant8To16(), 0);
  EXPECT_EQ(table.precision, 1);
  EXPECT_EQ(table.ready, 1);
  for (const ZigzagFact& f : kFigureA6) {
    EXPECT_EQ(table.Raw16()[f.zigzag], 200 + f.zigzag / 2);
    EXPECT_EQ(table.DequantFloat()[f.natural], 200.0f + f.zigzag / 2);
  }
}

TEST(HuffmanTable, BuildsStandardTablesAndRejectsOverfullCounts) {
  CJPEGDecoderHuffmanTable table;
  EXPECT_EQ(table.storageMissing, 1);
  EXPECT_EQ(table.defined, 0);
  ASSERT_EQ(table.BuildHuffmanTable(kStdAcLuminanceBits, kStdAcLuminanceValues, 1, 1), 0);
  EXPECT_EQ(table.storageMissing, 0);
  EXPECT_EQ(table.defined, 1);
  EXPECT_EQ(table.id, 1);
  EXPECT_EQ(table.tableClass, 1);
  EXPECT_NE(table.decodeSpec, nullptr);

  uint8_t tooMany[16] = {};
  tooMany[15] = 200;
  tooMany[14] = 100;  // 300 codes
  uint8_t values[256] = {};
  EXPECT_EQ(table.BuildHuffmanTable(tooMany, values, 0, 0), -10);

  table.ResetHuffmanTable();
  EXPECT_EQ(table.storageMissing, 1);
  EXPECT_EQ(table.defined, 0);
  EXPECT_EQ(table.decodeSpec, nullptr);
  ASSERT_EQ(table.BuildHuffmanTable(kStdDcChrominanceBits, kStdDcChrominanceValues, 1, 0), 0);
  EXPECT_EQ(table.defined, 1);
}

TEST(HuffmanState, ResetFailsWithoutABlockAndZeroesWithOne) {
  CJPEGDecoderHuffmanState state;
  EXPECT_EQ(state.Reset(), -2);
  state.Allocate();
  ASSERT_NE(state.state, nullptr);
  std::memset(state.state, 0x5A, sizeof(HuffmanDecodeState));
  EXPECT_EQ(state.Reset(), 0);
  const HuffmanDecodeState zero{};
  EXPECT_EQ(std::memcmp(state.state, &zero, sizeof zero), 0);
}

}  // namespace
