// Memory streams and the refillable bit-input window.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "jpeg/bit_input.h"
#include "jpeg/streams.h"

namespace {

using namespace vv;

std::vector<uint8_t> Bytes(int n) {
  std::vector<uint8_t> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return v;
}

TEST(MemBuffInput, ReadDeliversWhatRemainsAndReportsShortReads) {
  const auto data = Bytes(10);
  CMemBuffInput in(data.data(), 10);
  uint8_t out[16] = {};
  int32_t got = -1;
  EXPECT_EQ(in.Read(out, 4, &got), 0);
  EXPECT_EQ(got, 4);
  EXPECT_EQ(in.Read(out, 16, &got), -4);
  EXPECT_EQ(got, 6);
  EXPECT_EQ(out[5], data[9]);
  EXPECT_EQ(in.Read(out, 1, &got), -4);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(in.Open(), -1);
}

TEST(MemBuffInput, SeekChecksTheTargetBeforeTheOrigin) {
  const auto data = Bytes(10);
  struct Case {
    int32_t start, offset, origin, status, position;
  };
  const Case cases[] = {
      {4, 3, 1, 0, 7},    {4, -4, 1, 0, 0},   {4, -5, 1, -4, 4},  {4, 7, 1, -4, 4},
      {4, 2, 0, 0, 2},    {4, 6, 0, 0, 6},    {4, 7, 0, -4, 4},   // target 11 > size
      {4, 3, 2, 0, 10},   {4, 1, 9, -1, 4},   {0, 10, 1, 0, 10},
  };
  for (const Case& c : cases) {
    CMemBuffInput in(data.data(), 10);
    in.position = c.start;
    EXPECT_EQ(in.Seek(c.offset, c.origin), c.status) << c.offset << " from " << c.origin;
    int32_t position = -1;
    in.Tell(&position);
    EXPECT_EQ(position, c.position) << c.offset << " from " << c.origin;
  }
}

TEST(MemBuffOutput, WriteStoresWhatFits) {
  uint8_t out[6] = {};
  CMemBuffOutput sink(out, 5);
  const auto data = Bytes(8);
  int32_t put = -1;
  EXPECT_EQ(sink.Write(data.data(), 3, &put), 0);
  EXPECT_EQ(sink.Write(data.data() + 3, 5, &put), -4);
  EXPECT_EQ(put, 2);
  EXPECT_EQ(out[4], data[4]);
  EXPECT_EQ(out[5], 0) << "nothing written past the capacity";
}

TEST(MemoryBuffer, AllocationFailureLeavesNothing) {
  CMemoryBuffer block;
  EXPECT_EQ(block.Allocate(100), 0);
  EXPECT_EQ(block.size, 100);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block.data) % 32, 0u);
  EXPECT_EQ(block.Allocate(0), -6);
  EXPECT_EQ(block.size, 0);
  EXPECT_EQ(block.data, nullptr);
}

class BitInput : public ::testing::Test {
 protected:
  void Attach(int n) {
    data = Bytes(n);
    source = CMemBuffInput(data.data(), n);
    ASSERT_EQ(window.Attach(&source, kBitInputWindowSize), 0);
  }
  std::vector<uint8_t> data;
  CMemBuffInput source;
  CBitStreamInput window;
};

TEST_F(BitInput, FrameOfExactlyOneWindowIsReadInOneFill) {
  Attach(kBitInputWindowSize);
  uint8_t b = 0;
  for (int i = 0; i < kBitInputWindowSize; ++i) {
    ASSERT_EQ(window.ReadByte(&b), 0) << i;
    ASSERT_EQ(b, data[i]);
  }
  EXPECT_EQ(window.endOfStream, 0) << "the one fill got every byte it asked for";
  EXPECT_EQ(window.ReadByte(&b), -4);
  EXPECT_EQ(window.endOfStream, 1);
}

TEST_F(BitInput, ShortFrameSetsEndAtFirstFillAndStaysReadable) {
  Attach(100);
  uint8_t b = 0;
  ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(window.endOfStream, 1);
  EXPECT_EQ(window.size, 100);
  for (int i = 1; i < 100; ++i) {
    ASSERT_EQ(window.ReadByte(&b), 0);
    ASSERT_EQ(b, data[i]);
  }
  EXPECT_EQ(window.ReadByte(&b), -4);
  EXPECT_EQ(window.ReadByte(&b), -4);
}

TEST_F(BitInput, FillKeepsUnreadBytesAndRefillsBehindThem) {
  Attach(3 * kBitInputWindowSize);
  ASSERT_EQ(window.FillBuffer(0), 0);
  window.position = kBitInputWindowSize - 200;
  EXPECT_EQ(window.FillBuffer(128), 0);
  EXPECT_EQ(window.position, kBitInputWindowSize - 200) << "enough unread: nothing moves";
  window.position = kBitInputWindowSize - 50;
  EXPECT_EQ(window.FillBuffer(128), 0);
  EXPECT_EQ(window.position, 0);
  EXPECT_EQ(window.size, kBitInputWindowSize);
  for (int i = 0; i < kBitInputWindowSize; ++i) {
    ASSERT_EQ(window.buffer[i], data[kBitInputWindowSize - 50 + i]) << i;
  }
}

TEST_F(BitInput, WordsAreBigEndianAndPeekConsumesNothing) {
  Attach(8);
  uint8_t peeked = 0;
  ASSERT_EQ(window.Peek(4, &peeked), 0);
  EXPECT_EQ(peeked, data[4]);
  uint16_t word = 0;
  ASSERT_EQ(window.ReadWord(&word), 0);
  EXPECT_EQ(word, (data[0] << 8) | data[1]);
  uint32_t dword = 0;
  ASSERT_EQ(window.ReadDword(&dword), 0);
  EXPECT_EQ(dword, (uint32_t(data[2]) << 24) | (data[3] << 16) | (data[4] << 8) | data[5]);
  EXPECT_EQ(window.Peek(2, &peeked), -4) << "two bytes left";
  ASSERT_EQ(window.Peek(1, &peeked), 0);
  EXPECT_EQ(peeked, data[7]);
  EXPECT_EQ(window.ReadDword(&dword), -4);
}

TEST_F(BitInput, SeekBackLandsOnTheBytesJustRead) {
  Attach(5 * kBitInputWindowSize + 17);
  uint8_t b = 0;
  for (int i = 0; i < 300; ++i) window.ReadByte(&b);
  ASSERT_EQ(window.Seek(-7), 0);
  ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(b, data[293]);
  // Across a window boundary: read up to the first byte of the second window,
  // then step back into the first.
  while (window.position < window.size) window.ReadByte(&b);
  ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(b, data[kBitInputWindowSize]);
  ASSERT_EQ(window.Seek(-3), 0);
  ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(b, data[kBitInputWindowSize - 2]);
  // Forward past the window and to the very end.
  ASSERT_EQ(window.Seek(3 * kBitInputWindowSize), 0);
  ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(b, data[4 * kBitInputWindowSize - 1]);
  EXPECT_EQ(window.Seek(2 * kBitInputWindowSize), -4) << "past the end of the source";
}

TEST_F(BitInput, SeekBackBeforeAShrunkWindowRefillsFromThere) {
  Attach(kBitInputWindowSize + 100);
  uint8_t b = 0;
  for (int i = 0; i < kBitInputWindowSize + 100; ++i) ASSERT_EQ(window.ReadByte(&b), 0);
  EXPECT_EQ(window.size, 100) << "the last fill shrank the window";
  ASSERT_EQ(window.Seek(-300), 0);
  for (int i = kBitInputWindowSize - 200; i < kBitInputWindowSize + 100; ++i) {
    ASSERT_EQ(window.ReadByte(&b), 0) << i;
    ASSERT_EQ(b, data[i]) << i;
  }
  EXPECT_EQ(window.ReadByte(&b), -4);
}

TEST_F(BitInput, EmptySourceReportsEndOfData) {
  Attach(0);
  uint8_t b = 0;
  EXPECT_EQ(window.ReadByte(&b), -4);
  uint16_t w = 0;
  EXPECT_EQ(window.ReadWord(&w), -4);
}

}  // namespace
