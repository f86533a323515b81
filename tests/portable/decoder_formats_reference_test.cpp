// Output forms other than interleaved RGB against libjpeg-turbo's planes and
// pixels: planar copies, packed 4:2:2 (keep422), YCCK to CMYK; and damaged
// versions of its larger frames, which must end with a status and never
// write outside the destination.
#if __has_include(<turbojpeg.h>)
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"

namespace vv::test {
namespace {

std::vector<uint8_t> EncodeWith(const std::vector<uint8_t>& pixels, int width, int height,
                                int pixelFormat, int subsamp, int quality) {
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> jpeg;
  if (tjCompress2(tj, pixels.data(), width, 0, height, pixelFormat, &out, &size, subsamp, quality,
                  TJFLAG_ACCURATEDCT) == 0) {
    jpeg.assign(out, out + size);
  }
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

// The reference's Y, Cb, Cr planes at their own resolutions, rows unpadded.
std::vector<std::vector<uint8_t>> ReferencePlanes(const std::vector<uint8_t>& jpeg, int width,
                                                  int height, int subsamp) {
  tjhandle tj = tjInitDecompress();
  std::vector<std::vector<uint8_t>> planes(3);
  unsigned char* pointers[3];
  int strides[3];
  for (int k = 0; k < 3; ++k) {
    strides[k] = tjPlaneWidth(k, width, subsamp);
    planes[k].resize(static_cast<size_t>(strides[k]) * tjPlaneHeight(k, height, subsamp));
    pointers[k] = planes[k].data();
  }
  const int rc = tjDecompressToYUVPlanes(tj, jpeg.data(), jpeg.size(), pointers, width, strides,
                                         height, TJFLAG_ACCURATEDCT);
  tjDestroy(tj);
  if (rc != 0) planes.clear();
  return planes;
}

// Planes come straight from the inverse transforms at every scale, so they
// agree with the reference's (scaled) planes within a level or two.
TEST(DecoderFormatsReference, PlanarOutputEqualsReferencePlanes) {
  for (int subsamp : {TJSAMP_444, TJSAMP_422, TJSAMP_420}) {
    for (const auto& [width, height] : {std::pair<int, int>{63, 47}, std::pair<int, int>{320, 240}}) {
      const std::vector<uint8_t> jpeg =
          EncodeWith(SyntheticRgb(width, height, 2), width, height, TJPF_RGB, subsamp, 80);
      for (int scale = 0; scale <= 3; ++scale) {
        const int w = (width + (1 << scale) - 1) >> scale, h = (height + (1 << scale) - 1) >> scale;
        const auto reference = ReferencePlanes(jpeg, w, h, subsamp);
        ASSERT_EQ(reference.size(), 3u);
        OutputRequest request;
        request.planarOutput = 1;
        request.scale = scale;
        const DecodedPicture ours = DecodeJpeg(jpeg, request);
        ASSERT_EQ(ours.status, 0);
        for (int k = 0; k < 3; ++k) {
          // The reference pads luma planes to whole chroma pairs; compare
          // the component's own size.
          const int stride = tjPlaneWidth(k, w, subsamp);
          const int pw = k == 0 ? w : stride;
          const int ph = k == 0 ? h : tjPlaneHeight(k, h, subsamp);
          ASSERT_GE(ours.planeSteps[k], pw);
          ASSERT_EQ(ours.planes[k].size(), static_cast<size_t>(ours.planeSteps[k]) * ph + 64);
          const Difference d = Compare(ours.planes[k].data(), ours.planeSteps[k], reference[k].data(), stride, pw, ph, 1);
          std::printf("[ figures ] planar subsamp %d %dx%d scale %d plane %d: max %d  PSNR %.1f dB\n",
                      subsamp, width, height, scale, k, d.maxDiff, d.psnr);
          // Both realise the scale inside the transform; the eighth scale
          // floors the DC mean where the reference rounds.
          EXPECT_LE(d.maxDiff, scale == 3 ? 2 : 1);
          EXPECT_TRUE(std::all_of(ours.planes[k].end() - 64, ours.planes[k].end(),
                                  [](uint8_t b) { return b == 0xA5; }));
        }
      }
    }
  }
}

TEST(DecoderFormatsReference, Keep422GivesYuy2OfReferencePlanes) {
  const int width = 64, height = 40;
  const std::vector<uint8_t> jpeg =
      EncodeWith(SyntheticRgb(width, height, 4), width, height, TJPF_RGB, TJSAMP_422, 85);
  const auto reference = ReferencePlanes(jpeg, width, height, TJSAMP_422);
  ASSERT_EQ(reference.size(), 3u);
  OutputRequest request;
  request.dstColor = 4;
  request.keep422 = 1;
  const DecodedPicture ours = DecodeJpeg(jpeg, request);
  ASSERT_EQ(ours.status, 0);
  ASSERT_EQ(ours.step, width * 2);
  int maxDiff = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      const uint8_t* q = &ours.pixels[y * ours.step + x * 2];
      const int expected[4] = {reference[0][y * width + x], reference[1][y * width / 2 + x / 2],
                               reference[0][y * width + x + 1], reference[2][y * width / 2 + x / 2]};
      for (int i = 0; i < 4; ++i) maxDiff = std::max(maxDiff, std::abs(q[i] - expected[i]));
    }
  }
  std::printf("[ figures ] YUY2 4:2:2 %dx%d: max %d\n", width, height, maxDiff);
  EXPECT_LE(maxDiff, 1);
}

TEST(DecoderFormatsReference, YcckToCmykMatchesReference) {
  const int width = 40, height = 24;
  std::vector<uint8_t> cmyk(static_cast<size_t>(width) * height * 4);
  const std::vector<uint8_t> rgb = SyntheticRgb(width, height, 6);
  for (int i = 0; i < width * height; ++i) {
    for (int c = 0; c < 3; ++c) cmyk[i * 4 + c] = rgb[i * 3 + c];
    cmyk[i * 4 + 3] = static_cast<uint8_t>((i * 7) % 200 + 30);
  }
  for (int subsamp : {TJSAMP_444, TJSAMP_420}) {
    const std::vector<uint8_t> jpeg = EncodeWith(cmyk, width, height, TJPF_CMYK, subsamp, 90);
    ASSERT_FALSE(jpeg.empty());
    std::vector<uint8_t> reference(cmyk.size());
    tjhandle tj = tjInitDecompress();
    ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), reference.data(), width, 0, height,
                            TJPF_CMYK, TJFLAG_ACCURATEDCT),
              0);
    tjDestroy(tj);
    OutputRequest request;
    request.dstColor = 5;
    const DecodedPicture ours = DecodeJpeg(jpeg, request);
    ASSERT_EQ(ours.status, 0);
    const Difference d = Compare(ours.pixels.data(), ours.step, reference.data(), width * 4, width, height, 4);
    std::printf("[ figures ] YCCK->CMYK subsamp %d: max %d  PSNR %.1f dB\n", subsamp, d.maxDiff, d.psnr);
    EXPECT_LE(d.maxDiff, subsamp == TJSAMP_444 ? 4 : 20);
    EXPECT_GE(d.psnr, 42.0);
  }
}

// Larger frames than the embedded samples, damaged by cuts and bit errors.
// Allowed endings: 0 (damage tolerated), -2 (a scan kind that fails on
// damage), -4 (EOI lost), and header codes when a header was hit.
TEST(DecoderFormatsReference, DamagedFramesEndWithAStatus) {
  const int width = 96, height = 64;
  const std::vector<uint8_t> rgb = SyntheticRgb(width, height, 8);
  std::vector<std::vector<uint8_t>> frames = {
      EncodeWith(rgb, width, height, TJPF_RGB, TJSAMP_420, 75),
      EncodeWith(rgb, width, height, TJPF_RGB, TJSAMP_422, 95),
  };
  tjhandle tj = tjInitTransform();
  for (int f = 0; f < 2; ++f) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjtransform transform{};
    transform.options = TJXOPT_PROGRESSIVE;
    if (tjTransform(tj, frames[f].data(), frames[f].size(), 1, &out, &size, &transform, 0) == 0) {
      frames.emplace_back(out, out + size);
    }
    tjFree(out);
  }
  tjDestroy(tj);
  ASSERT_EQ(frames.size(), 4u);
  CJPEGDecoder decoder;
  uint32_t noise = 99;
  for (const std::vector<uint8_t>& jpeg : frames) {
    OutputRequest request;
    request.dstColor = 7;
    ASSERT_EQ(DecodeJpeg(&decoder, jpeg, request).status, 0);
    for (size_t length = 0; length < jpeg.size(); length += 7) {
      const DecodedPicture cut = DecodeJpeg(&decoder, std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + length), request);
      EXPECT_TRUE(std::all_of(cut.pixels.end() - std::min<size_t>(64, cut.pixels.size()), cut.pixels.end(),
                              [](uint8_t b) { return b == 0xA5; }));
    }
    for (int trial = 0; trial < 400; ++trial) {
      std::vector<uint8_t> damaged = jpeg;
      for (int flips = 0; flips < 1 + trial % 4; ++flips) {
        noise = noise * 1664525u + 1013904223u;
        const size_t at = 2 + (noise >> 8) % (damaged.size() - 4);
        damaged[at] ^= static_cast<uint8_t>(1u << ((noise >> 4) & 7));
      }
      for (int scale : {0, 2}) {
        request.scale = scale;
        const DecodedPicture out = DecodeJpeg(&decoder, damaged, request);
        EXPECT_LE(out.status, 0);
        if (!out.pixels.empty()) {
          EXPECT_TRUE(std::all_of(out.pixels.end() - 64, out.pixels.end(), [](uint8_t b) { return b == 0xA5; }));
        }
      }
    }
  }
}

}  // namespace
}  // namespace vv::test
#endif
