// Data movement against plain loops and the C library, and the argument
// checks of every colour, sampling, lossless and data-movement primitive.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "primitives/colour.h"
#include "primitives/data_movement.h"
#include "primitives/lossless.h"
#include "primitives/processor_level.h"
#include "primitives/sampling.h"

namespace {

using namespace vv;

constexpr uint8_t kGuard = 0xA5;

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (auto& v : bytes) v = static_cast<uint8_t>(random());
  return bytes;
}

uint16_t Sample16(const std::vector<uint8_t>& bytes, size_t offset) {
  uint16_t v;
  std::memcpy(&v, &bytes[offset], 2);
  return v;
}

// Image shapes: padded rows (walked row by row), exact rows (one long row),
// and an odd padding that leaves 16-bit rows misaligned.
struct Shape {
  int32_t width, height, padding;
};
const Shape kShapes[] = {{7, 5, 3}, {16, 4, 0}, {1, 1, 0}, {5, 3, 1}};

TEST(DataMovement, PlanarToPixelInterleavesPlaneIIntoSampleI) {
  std::mt19937 random(31);
  for (const Shape& s : kShapes) {
    for (int channels : {3, 4}) {
      for (int bytes : {1, 2}) {
        const int32_t srcStep = s.width * bytes + s.padding;
        const int32_t dstStep = s.width * channels * bytes + s.padding;
        std::vector<uint8_t> planes[4];
        for (auto& plane : planes) plane = RandomBytes(random, srcStep * s.height);
        std::vector<uint8_t> out(dstStep * s.height, kGuard);
        int32_t status;
        if (bytes == 1) {
          const uint8_t* src[4] = {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()};
          status = channels == 3 ? PlanarToPixel3x8u(src, srcStep, out.data(), dstStep, {s.width, s.height})
                                 : PlanarToPixel4x8u(src, srcStep, out.data(), dstStep, {s.width, s.height});
        } else {
          const uint16_t* src[4];
          for (int c = 0; c < 4; ++c) src[c] = reinterpret_cast<const uint16_t*>(planes[c].data());
          uint16_t* dst = reinterpret_cast<uint16_t*>(out.data());
          status = channels == 3 ? PlanarToPixel3x16u(src, srcStep, dst, dstStep, {s.width, s.height})
                                 : PlanarToPixel4x16u(src, srcStep, dst, dstStep, {s.width, s.height});
        }
        ASSERT_EQ(status, StatusOk);
        for (int y = 0; y < s.height; ++y) {
          for (int x = 0; x < s.width; ++x) {
            for (int c = 0; c < channels; ++c) {
              const size_t from = y * srcStep + x * bytes, to = y * dstStep + (x * channels + c) * bytes;
              ASSERT_EQ(std::memcmp(&out[to], &planes[c][from], bytes), 0)
                  << channels << "x" << bytes * 8 << " width " << s.width << " (" << x << "," << y << ")";
            }
          }
          for (int pad = 0; pad < s.padding; ++pad) ASSERT_EQ(out[y * dstStep + dstStep - 1 - pad], kGuard);
        }
      }
    }
  }
}

TEST(DataMovement, ImageCopiesAndConversionsKeepThePadding) {
  std::mt19937 random(32);
  for (const Shape& s : kShapes) {
    const ImageSize size{s.width, s.height};
    const int32_t step8 = s.width + s.padding, step16 = 2 * s.width + s.padding;
    const std::vector<uint8_t> src8 = RandomBytes(random, step8 * s.height);
    std::vector<uint8_t> src16 = RandomBytes(random, step16 * s.height);
    auto* src16p = reinterpret_cast<uint16_t*>(src16.data());
    std::vector<uint8_t> copy8(src8.size(), kGuard), copy16(src16.size(), kGuard), wide(src16.size(), kGuard),
        narrow(src8.size(), kGuard), masked = src16;
    ASSERT_EQ(CopyImage8u(src8.data(), step8, copy8.data(), step8, size), StatusOk);
    ASSERT_EQ(CopyImage16(reinterpret_cast<int16_t*>(src16p), step16, reinterpret_cast<int16_t*>(copy16.data()),
                          step16, size), StatusOk);
    ASSERT_EQ(Convert8uTo16uImage(src8.data(), step8, reinterpret_cast<uint16_t*>(wide.data()), step16, size),
              StatusOk);
    ASSERT_EQ(Convert16uTo8uSat(src16p, step16, narrow.data(), step8, size), StatusOk);
    ASSERT_EQ(AndConstImage16uInPlace(0x0F0F, reinterpret_cast<uint16_t*>(masked.data()), step16, size), StatusOk);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const size_t at8 = y * step8 + x, at16 = y * step16 + 2 * x;
        const uint16_t v16 = Sample16(src16, at16);
        EXPECT_EQ(copy8[at8], src8[at8]);
        EXPECT_EQ(Sample16(copy16, at16), v16);
        EXPECT_EQ(Sample16(wide, at16), src8[at8]);
        EXPECT_EQ(narrow[at8], v16 > 255 ? 255 : v16);
        EXPECT_EQ(Sample16(masked, at16), v16 & 0x0F0F);
      }
      for (int pad = 1; pad <= s.padding; ++pad) {
        EXPECT_EQ(copy8[y * step8 + step8 - pad], kGuard);
        EXPECT_EQ(copy16[y * step16 + step16 - pad], kGuard);
        EXPECT_EQ(wide[y * step16 + step16 - pad], kGuard);
        EXPECT_EQ(narrow[y * step8 + step8 - pad], kGuard);
        EXPECT_EQ(masked[y * step16 + step16 - pad], src16[y * step16 + step16 - pad]);
      }
    }
  }
  // Saturation boundary.
  const uint16_t edges[4] = {255, 256, 0, 65535};
  uint8_t narrowed[4];
  ASSERT_EQ(Convert16uTo8uSat(edges, 8, narrowed, 4, {4, 1}), StatusOk);
  EXPECT_EQ(std::vector<uint8_t>(narrowed, narrowed + 4), (std::vector<uint8_t>{255, 255, 0, 255}));
}

TEST(DataMovement, CopyImageWalksNegativeSteps) {
  const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
  uint8_t dst[6] = {};
  ASSERT_EQ(CopyImage8u(src + 4, -2, dst, 2, {2, 3}), StatusOk);  // bottom-up source
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
}

TEST(DataMovement, MoveBytesMatchesMemmoveInBothDirections) {
  std::mt19937 random(33);
  const std::vector<uint8_t> original = RandomBytes(random, 300);
  struct Case {
    int from, to, length;
  };
  const Case cases[] = {{0, 1, 299}, {1, 0, 299}, {10, 100, 150}, {100, 10, 150}, {50, 50, 100}, {0, 200, 100}, {7, 8, 1}};
  for (const Case& c : cases) {
    std::vector<uint8_t> ours = original, reference = original;
    ASSERT_EQ(MoveBytes(ours.data() + c.from, ours.data() + c.to, c.length), StatusOk);
    std::memmove(reference.data() + c.to, reference.data() + c.from, c.length);
    EXPECT_EQ(ours, reference) << c.from << " -> " << c.to << " length " << c.length;
  }
}

TEST(DataMovement, PlainCopiesAndClears) {
  std::mt19937 random(34);
  const std::vector<uint8_t> src = RandomBytes(random, 40);
  std::vector<uint8_t> dst(41, kGuard);
  ASSERT_EQ(CopyBytes(src.data(), dst.data(), 40), StatusOk);
  EXPECT_EQ(std::memcmp(dst.data(), src.data(), 40), 0);
  EXPECT_EQ(dst[40], kGuard);
  ASSERT_EQ(ZeroBytes(dst.data(), 39), StatusOk);
  EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 39), std::vector<uint8_t>(39, 0));
  EXPECT_EQ(dst[39], src[39]);

  const int16_t values[5] = {-1, 2, -32768, 32767, 0};
  int16_t copy[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_EQ(Copy16(values, copy, 5), StatusOk);
  EXPECT_EQ(std::memcmp(copy, values, sizeof values), 0);
  EXPECT_EQ(copy[5], 9);
  ASSERT_EQ(Zero16(copy, 4), StatusOk);
  EXPECT_EQ(std::vector<int16_t>(copy, copy + 6), (std::vector<int16_t>{0, 0, 0, 0, 0, 9}));
}

TEST(DataMovement, ShiftLeftTruncatesToSixteenBits) {
  const uint16_t src[4] = {0x0001, 0x8001, 0xFFFF, 0x1234};
  struct Case {
    int32_t shift;
    uint16_t want[4];
  };
  const Case cases[] = {
      {0, {0x0001, 0x8001, 0xFFFF, 0x1234}},
      {1, {0x0002, 0x0002, 0xFFFE, 0x2468}},
      {15, {0x8000, 0x8000, 0x8000, 0x0000}},
      {16, {0, 0, 0, 0}},
      {40, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    uint16_t out[5] = {7, 7, 7, 7, 7};
    ASSERT_EQ(ShiftLeft16u(src, c.shift, out, 4), StatusOk);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.want[i]) << "shift " << c.shift << " i " << i;
    EXPECT_EQ(out[4], 7);
  }
  uint16_t inPlace[4] = {1, 2, 3, 4};
  ASSERT_EQ(ShiftLeft16u(inPlace, 2, inPlace, 4), StatusOk);
  EXPECT_EQ(std::vector<uint16_t>(inPlace, inPlace + 4), (std::vector<uint16_t>{4, 8, 12, 16}));
}

// Every primitive of the colour, sampling, lossless and data-movement
// families fails the same way at every processor level and writes nothing.
TEST(PrimitiveArgumentChecks, SameStatusAtEveryLevelAndNothingWritten) {
  alignas(16) static uint8_t in[1024];
  alignas(16) static uint8_t out[1024];
  for (size_t i = 0; i < sizeof in; ++i) in[i] = static_cast<uint8_t>(i * 37);
  auto* in16 = reinterpret_cast<uint16_t*>(in);
  auto* ins16 = reinterpret_cast<int16_t*>(in);
  auto* out16 = reinterpret_cast<uint16_t*>(out);
  auto* outs16 = reinterpret_cast<int16_t*>(out);
  const uint8_t* p3[3] = {in, in + 64, in + 128};
  const uint8_t* p4[4] = {in, in + 64, in + 128, in + 192};
  const uint8_t* p3null[3] = {in, nullptr, in};
  const uint8_t* p4null[4] = {in, in, in, nullptr};
  uint8_t* d3[3] = {out, out + 64, out + 128};
  uint8_t* d3null[3] = {out, out, nullptr};
  const uint16_t* q3[3] = {in16, in16 + 32, in16 + 64};
  const uint16_t* q4null[4] = {in16, nullptr, in16, in16};
  const int32_t steps3[3] = {8, 4, 4};
  const ImageSize ok{4, 2}, noWidth{0, 2}, noHeight{4, 0}, negative{-3, 2};

  struct Case {
    const char* name;
    std::function<int32_t()> call;
    int32_t status;
  };
  const Case cases[] = {
      {"YCbCrToRgb null planes", [&] { return YCbCrToRgb(nullptr, 8, out, 16, ok); }, StatusNullPointer},
      {"YCbCrToRgb null plane", [&] { return YCbCrToRgb(p3null, 8, out, 16, ok); }, StatusNullPointer},
      {"YCbCrToRgb null dst", [&] { return YCbCrToRgb(p3, 8, nullptr, 16, ok); }, StatusNullPointer},
      {"YCbCrToRgb null before size", [&] { return YCbCrToRgb(p3null, 8, out, 16, noWidth); }, StatusNullPointer},
      {"YCbCrToRgb width", [&] { return YCbCrToRgb(p3, 8, out, 16, noWidth); }, StatusSizeError},
      {"YCbCrToRgb size before step", [&] { return YCbCrToRgb(p3, 0, out, 16, noHeight); }, StatusSizeError},
      {"YCbCrToRgb src step", [&] { return YCbCrToRgb(p3, 0, out, 16, ok); }, StatusStepError},
      {"YCbCrToRgb dst step", [&] { return YCbCrToRgb(p3, 8, out, -16, ok); }, StatusStepError},
      {"YCbCrToBgr null plane", [&] { return YCbCrToBgr(p3null, 8, out, 16, ok); }, StatusNullPointer},
      {"YCbCrToBgr height", [&] { return YCbCrToBgr(p3, 8, out, 16, noHeight); }, StatusSizeError},
      {"YCbCrToBgr step", [&] { return YCbCrToBgr(p3, 8, out, 0, ok); }, StatusStepError},
      {"YcckToCmyk null K", [&] { return YcckToCmyk(p4null, 8, out, 16, ok); }, StatusNullPointer},
      {"YcckToCmyk width", [&] { return YcckToCmyk(p4, 8, out, 16, negative); }, StatusSizeError},
      {"YcckToCmyk step", [&] { return YcckToCmyk(p4, -8, out, 16, ok); }, StatusStepError},
      {"YCbCrToRgbaVideo null plane", [&] { return YCbCrToRgbaVideo(p3null, 8, out, 16, ok, 0); }, StatusNullPointer},
      {"YCbCrToRgbaVideo height", [&] { return YCbCrToRgbaVideo(p3, 8, out, 16, noHeight, 0); }, StatusSizeError},
      {"YCbCrToBgraVideo null dst", [&] { return YCbCrToBgraVideo(p3, 8, nullptr, 16, ok, 0); }, StatusNullPointer},
      {"YCbCrToBgraVideo width", [&] { return YCbCrToBgraVideo(p3, 8, out, 16, noWidth, 0); }, StatusSizeError},
      {"YCbCr422ToYuy2 null steps", [&] { return YCbCr422ToYuy2(p3, nullptr, out, 16, ok); }, StatusNullPointer},
      {"YCbCr422ToYuy2 null plane", [&] { return YCbCr422ToYuy2(p3null, steps3, out, 16, ok); }, StatusNullPointer},
      {"YCbCr422ToYuy2 width 1", [&] { return YCbCr422ToYuy2(p3, steps3, out, 16, {1, 2}); }, StatusSizeError},
      {"YCbCr422ToYuy2 height", [&] { return YCbCr422ToYuy2(p3, steps3, out, 16, noHeight); }, StatusSizeError},
      {"BgrToYCbCr null src", [&] { return BgrToYCbCr(nullptr, 12, d3, 8, ok); }, StatusNullPointer},
      {"BgrToYCbCr null plane", [&] { return BgrToYCbCr(in, 12, d3null, 8, ok); }, StatusNullPointer},
      {"BgrToYCbCr width", [&] { return BgrToYCbCr(in, 12, d3, 8, noWidth); }, StatusSizeError},
      {"BgrToYCbCr src step", [&] { return BgrToYCbCr(in, 0, d3, 8, ok); }, StatusStepError},
      {"BgrToYCbCr dst step", [&] { return BgrToYCbCr(in, 12, d3, -1, ok); }, StatusStepError},
      {"DownsampleRowH2 null src", [&] { return DownsampleRowH2(nullptr, 8, out); }, StatusNullPointer},
      {"DownsampleRowH2 null dst", [&] { return DownsampleRowH2(in, 8, nullptr); }, StatusNullPointer},
      {"DownsampleRowH2 width", [&] { return DownsampleRowH2(in, 0, out); }, StatusSizeError},
      {"UpsampleRowH2 null", [&] { return UpsampleRowH2(in, 8, nullptr); }, StatusNullPointer},
      {"UpsampleRowH2 width", [&] { return UpsampleRowH2(in, -3, out); }, StatusSizeError},
      {"UpsampleRowH2V2 null far", [&] { return UpsampleRowH2V2(in, nullptr, 8, out); }, StatusNullPointer},
      {"UpsampleRowH2V2 width", [&] { return UpsampleRowH2V2(in, in, 0, out); }, StatusSizeError},
      {"FirstRow null", [&] { return LosslessReconstructFirstRow(nullptr, out16, 8, 8, 0); }, StatusNullPointer},
      {"FirstRow width", [&] { return LosslessReconstructFirstRow(ins16, out16, 0, 8, 0); }, StatusSizeError},
      {"FirstRow size before P", [&] { return LosslessReconstructFirstRow(ins16, out16, 0, 1, 0); }, StatusSizeError},
      {"FirstRow P 1", [&] { return LosslessReconstructFirstRow(ins16, out16, 8, 1, 0); }, StatusBadArgument},
      {"FirstRow P 17", [&] { return LosslessReconstructFirstRow(ins16, out16, 8, 17, 0); }, StatusBadArgument},
      {"FirstRow Pt -1", [&] { return LosslessReconstructFirstRow(ins16, out16, 8, 8, -1); }, StatusBadArgument},
      {"FirstRow Pt = P", [&] { return LosslessReconstructFirstRow(ins16, out16, 8, 8, 8); }, StatusBadArgument},
      {"Row null above", [&] { return LosslessReconstructRow(ins16, nullptr, out16, 8, 1); }, StatusNullPointer},
      {"Row width", [&] { return LosslessReconstructRow(ins16, in16, out16, -1, 1); }, StatusSizeError},
      {"Row predictor 0", [&] { return LosslessReconstructRow(ins16, in16, out16, 8, 0); }, StatusBadArgument},
      {"Row predictor 8", [&] { return LosslessReconstructRow(ins16, in16, out16, 8, 8); }, StatusBadArgument},
      {"PlanarToPixel3x8u null", [&] { return PlanarToPixel3x8u(p3null, 8, out, 16, ok); }, StatusNullPointer},
      {"PlanarToPixel3x8u size", [&] { return PlanarToPixel3x8u(p3, 8, out, 16, noWidth); }, StatusSizeError},
      {"PlanarToPixel4x8u null", [&] { return PlanarToPixel4x8u(p4null, 8, out, 16, ok); }, StatusNullPointer},
      {"PlanarToPixel4x8u size", [&] { return PlanarToPixel4x8u(p4, 8, out, 16, noHeight); }, StatusSizeError},
      {"PlanarToPixel3x16u null dst", [&] { return PlanarToPixel3x16u(q3, 8, nullptr, 16, ok); }, StatusNullPointer},
      {"PlanarToPixel3x16u size", [&] { return PlanarToPixel3x16u(q3, 8, out16, 16, negative); }, StatusSizeError},
      {"PlanarToPixel4x16u null", [&] { return PlanarToPixel4x16u(q4null, 8, out16, 16, ok); }, StatusNullPointer},
      {"CopyImage8u null", [&] { return CopyImage8u(nullptr, 8, out, 8, ok); }, StatusNullPointer},
      {"CopyImage8u size", [&] { return CopyImage8u(in, 8, out, 8, noWidth); }, StatusSizeError},
      {"CopyImage16 size", [&] { return CopyImage16(ins16, 8, outs16, 8, noHeight); }, StatusSizeError},
      {"Convert8uTo16u null", [&] { return Convert8uTo16uImage(in, 8, nullptr, 8, ok); }, StatusNullPointer},
      {"Convert8uTo16u size", [&] { return Convert8uTo16uImage(in, 8, out16, 8, noWidth); }, StatusSizeError},
      {"Convert8uTo16u src step", [&] { return Convert8uTo16uImage(in, 0, out16, 8, ok); }, StatusStepError},
      {"Convert8uTo16u dst step", [&] { return Convert8uTo16uImage(in, 8, out16, -8, ok); }, StatusStepError},
      {"Convert16uTo8uSat null", [&] { return Convert16uTo8uSat(nullptr, 8, out, 8, ok); }, StatusNullPointer},
      {"Convert16uTo8uSat step", [&] { return Convert16uTo8uSat(in16, 8, out, 0, ok); }, StatusStepError},
      {"AndConst null", [&] { return AndConstImage16uInPlace(0, nullptr, 8, ok); }, StatusNullPointer},
      {"AndConst size", [&] { return AndConstImage16uInPlace(0, out16, 8, noHeight); }, StatusSizeError},
      {"MoveBytes null", [&] { return MoveBytes(nullptr, out, 8); }, StatusNullPointer},
      {"MoveBytes length", [&] { return MoveBytes(in, out, 0); }, StatusSizeError},
      {"CopyBytes length", [&] { return CopyBytes(in, out, -1); }, StatusSizeError},
      {"ZeroBytes null", [&] { return ZeroBytes(nullptr, 8); }, StatusNullPointer},
      {"ZeroBytes length", [&] { return ZeroBytes(out, 0); }, StatusSizeError},
      {"Copy16 length", [&] { return Copy16(ins16, outs16, 0); }, StatusSizeError},
      {"Zero16 null", [&] { return Zero16(nullptr, 4); }, StatusNullPointer},
      {"Zero16 length", [&] { return Zero16(outs16, -4); }, StatusSizeError},
      {"ShiftLeft16u null", [&] { return ShiftLeft16u(in16, 1, nullptr, 4); }, StatusNullPointer},
      {"ShiftLeft16u count", [&] { return ShiftLeft16u(in16, -1, out16, 0); }, StatusSizeError},
      {"ShiftLeft16u shift", [&] { return ShiftLeft16u(in16, -1, out16, 4); }, StatusShiftError},
  };
  const int32_t selected = ProcessorLevel();
  for (int32_t level = 0; level < kLevelTableSize; ++level) {
    ForceProcessorLevelForTesting(level);
    for (const Case& c : cases) {
      std::memset(out, kGuard, sizeof out);
      EXPECT_EQ(c.call(), c.status) << c.name << " at level " << level;
      for (size_t i = 0; i < sizeof out; ++i) {
        if (out[i] != kGuard) {
          ADD_FAILURE() << c.name << " wrote byte " << i << " at level " << level;
          break;
        }
      }
    }
  }
  ForceProcessorLevelForTesting(selected);
}

}  // namespace
