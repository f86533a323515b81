// 12-bit sequential frames: 16-bit output samples compared with the T.81
// A.3.3 inverse transform evaluated in double precision, and the decoder's
// refusal of precision mismatches.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "entropy_test_util.h"
#include "jpeg_builder_util.h"

namespace vv::test {
namespace {

// DC categories 0..15 and AC symbols EOB plus (run 0, size 1..11), all with
// 5-bit canonical codes in symbol order.
const uint8_t kDcBits[16] = {0, 0, 0, 0, 16};
const uint8_t kDcValues[256] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const uint8_t kAcBits[16] = {0, 0, 0, 0, 12};
const uint8_t kAcValues[256] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};

// Category (5-bit code) then magnitude bits, T.81 F.1.2.1.
void PutValue(BitSink& bits, int value) {
  const int magnitude = value < 0 ? -value : value;
  int category = 0;
  while ((1 << category) <= magnitude) ++category;
  bits.Put(static_cast<uint32_t>(category), 5);
  bits.PutValue(value, category);
}

constexpr double kPi = 3.14159265358979323846;

// Samples of an 8x8 block with DC and the first horizontal AC coefficient
// (already dequantised), T.81 A.3.3 in double precision, level shift 2048.
double Sample(double dc, double ac, int x) {
  const double c0 = 1.0 / std::sqrt(2.0);
  return 0.25 * (c0 * c0 * dc + c0 * ac * std::cos((2 * x + 1) * kPi / 16)) + 2048;
}

TEST(DecoderExtended, TwelveBitBlocksGiveSixteenBitSamples) {
  struct Block {
    int dc, ac;
  } blocks[] = {{800, 0}, {-1500, 300}, {12000, -700}, {0, 0}};
  const int quantDc = 2, quantAc = 3;
  BitSink bits;
  int previousDc = 0;
  for (const Block& block : blocks) {
    PutValue(bits, block.dc - previousDc);
    previousDc = block.dc;
    if (block.ac != 0) PutValue(bits, block.ac);  // run 0: zig-zag position 1
    bits.Put(0, 5);                              // EOB
  }
  bits.Pad();
  Bytes dqt = {0x00, uint8_t(quantDc), uint8_t(quantAc)};
  dqt.resize(65, 1);
  const Bytes jpeg = JpegBuilder()
                         .Soi()
                         .Segment(0xDB, dqt)
                         .Sof(0xC1, 12, 32, 8, {{1, 1, 1, 0}})
                         .Segment(0xC4, DhtBody(0, 0, kDcBits, kDcValues))
                         .Segment(0xC4, DhtBody(1, 0, kAcBits, kAcValues))
                         .Sos({{1, 0, 0}})
                         .Raw(bits.bytes)
                         .Eoi()
                         .bytes();
  OutputRequest request;
  request.dstColor = 1;
  request.dstPrecision = 16;
  const DecodedPicture out = DecodeJpeg(jpeg, request);
  ASSERT_EQ(out.status, 0);
  ASSERT_EQ(out.step, 64);
  double worst = 0;
  for (int y = 0; y < 8; ++y) {
    const uint16_t* line = reinterpret_cast<const uint16_t*>(&out.pixels[y * out.step]);
    for (int x = 0; x < 32; ++x) {
      const Block& block = blocks[x / 8];
      const double expected =
          std::fmin(4095, std::fmax(0, Sample(block.dc * quantDc, block.ac * quantAc, x % 8)));
      worst = std::fmax(worst, std::fabs(line[x] - expected));
    }
  }
  // The float transform rounds once: within half a level plus float error.
  EXPECT_LE(worst, 0.6);

  // A 12-bit frame is not narrowed to 8-bit output.
  request.dstPrecision = 8;
  EXPECT_EQ(DecodeJpeg(jpeg, request).status, -1);
}

}  // namespace
}  // namespace vv::test
