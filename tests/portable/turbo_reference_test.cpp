// The decoder and the encoder against libjpeg-turbo: decoded pixels within 4 (2x2 chroma by PSNR, its
// upsampling differing at MCU-row edges); our encodings within 0.3 dB and 3 % of its own (tiny: 1.5 dB, 10 %).
#if __has_include(<turbojpeg.h>)
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "encoder_test_util.h"
#include "processor_levels_util.h"

namespace vv::test {
namespace {

struct TurboJpeg {
  tjhandle compressor = tjInitCompress();
  tjhandle decompressor = tjInitDecompress();
  ~TurboJpeg() {
    tjDestroy(compressor);
    tjDestroy(decompressor);
  }
};

// libjpeg-turbo's encoding of unpadded rows of `format` pixels.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& pixels, int width, int height, int format,
                            int subsamp, int quality, int flags = TJFLAG_ACCURATEDCT) {
  TurboJpeg tj;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> jpeg;
  if (tjCompress2(tj.compressor, pixels.data(), width, 0, height, format, &out, &size, subsamp, quality, flags) == 0) {
    jpeg.assign(out, out + size);
  }
  tjFree(out);
  return jpeg;
}

std::vector<uint8_t> TurboDecode(const std::vector<uint8_t>& jpeg, int width, int height,
                                 int pixelFormat, int flags = TJFLAG_ACCURATEDCT) {
  TurboJpeg tj;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * tjPixelSize[pixelFormat]);
  if (tjDecompress2(tj.decompressor, jpeg.data(), jpeg.size(), pixels.data(), width, 0, height,
                    pixelFormat, flags) != 0) {
    pixels.clear();
  }
  return pixels;
}

// Catches IDCT, dequantisation, zig-zag, Huffman, upsampling and colour faults, both IDCT modes.
TEST(DecoderReference, FullScaleRgbAndGrayMatchLibjpegTurbo) {
  static const char* names[] = {"444", "422", "420", "gray", "440", "411"};
  const struct {
    int subsamp, width, height;
  } cases[] = {
      {TJSAMP_444, 1, 1},   {TJSAMP_444, 63, 47},  {TJSAMP_422, 17, 9},  {TJSAMP_422, 100, 75},
      {TJSAMP_420, 1, 1},   {TJSAMP_420, 63, 47},  {TJSAMP_420, 640, 480}, {TJSAMP_440, 17, 9},
      {TJSAMP_GRAY, 17, 9}, {TJSAMP_GRAY, 640, 480},
  };
  for (const auto& c : cases) {
    for (int quality : {50, 75, 95}) {
      const bool gray = c.subsamp == TJSAMP_GRAY;
      std::vector<uint8_t> source = SyntheticRgb(c.width, c.height, quality);
      if (gray) {  // the green samples
        for (size_t i = 0; i < source.size() / 3; ++i) source[i] = source[3 * i + 1];
        source.resize(source.size() / 3);
      }
      const std::vector<uint8_t> jpeg =
          Encode(source, c.width, c.height, gray ? TJPF_GRAY : TJPF_RGB, c.subsamp, quality);
      ASSERT_FALSE(jpeg.empty());
      const int flags = TJFLAG_ACCURATEDCT | (c.subsamp == TJSAMP_440 ? TJFLAG_FASTUPSAMPLE : 0);
      const std::vector<uint8_t> reference =
          TurboDecode(jpeg, c.width, c.height, gray ? TJPF_GRAY : TJPF_RGB, flags);
      ASSERT_FALSE(reference.empty());
      const int channels = gray ? 1 : 3;
      AtEveryLevel([&](int32_t level) {
      SCOPED_TRACE("level " + std::to_string(level));
      for (int sparse : {0, 1}) {
        OutputRequest request;
        request.dstColor = gray ? 1 : 2;
        request.sparseIdct = sparse;
        const DecodedPicture ours = DecodeJpeg(jpeg, request);
        ASSERT_EQ(ours.status, 0) << names[c.subsamp] << " " << c.width << "x" << c.height;
        ASSERT_EQ(ours.width, c.width);
        const Difference d = Compare(ours.pixels.data(), ours.step, reference.data(),
                                     c.width * channels, c.width, c.height, channels);
        const bool rowEdges = c.subsamp == TJSAMP_420;
        EXPECT_LE(d.maxDiff, rowEdges ? 20 : 4) << names[c.subsamp] << " q" << quality;
        EXPECT_GE(d.psnr, rowEdges ? 45.0 : 42.0) << names[c.subsamp] << " q" << quality;
        EXPECT_TRUE(std::all_of(ours.pixels.end() - 64, ours.pixels.end(),
                                [](uint8_t b) { return b == 0xA5; }));
      }
      });
    }
  }
}

// The reference's Y, Cb, Cr planes at their own resolutions, rows unpadded.
std::vector<std::vector<uint8_t>> ReferencePlanes(const std::vector<uint8_t>& jpeg, int width,
                                                  int height, int subsamp) {
  TurboJpeg tj;
  std::vector<std::vector<uint8_t>> planes(3);
  unsigned char* pointers[3];
  int strides[3];
  for (int k = 0; k < 3; ++k) {
    strides[k] = tjPlaneWidth(k, width, subsamp);
    planes[k].resize(static_cast<size_t>(strides[k]) * tjPlaneHeight(k, height, subsamp));
    pointers[k] = planes[k].data();
  }
  if (tjDecompressToYUVPlanes(tj.decompressor, jpeg.data(), jpeg.size(), pointers, width, strides,
                              height, TJFLAG_ACCURATEDCT) != 0) {
    planes.clear();
  }
  return planes;
}

// Planes straight from the (scaled) inverse transforms, and packed 4:2:2: catches faults of the scaled
// transforms and of the per-component geometry.
TEST(DecoderFormatsReference, PlanarAndPackedOutputEqualReferencePlanes) {
  for (int subsamp : {TJSAMP_444, TJSAMP_422, TJSAMP_420}) {
    for (const auto& [width, height] : {std::pair<int, int>{63, 47}, std::pair<int, int>{320, 240}}) {
      const std::vector<uint8_t> jpeg =
          Encode(SyntheticRgb(width, height, 2), width, height, TJPF_RGB, subsamp, 80);
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
          // The reference pads luma planes to whole chroma pairs.
          const int stride = tjPlaneWidth(k, w, subsamp);
          const int pw = k == 0 ? w : stride;
          const int ph = k == 0 ? h : tjPlaneHeight(k, h, subsamp);
          ASSERT_GE(ours.planeSteps[k], pw);
          ASSERT_EQ(ours.planes[k].size(), static_cast<size_t>(ours.planeSteps[k]) * ph + 64);
          const Difference d = Compare(ours.planes[k].data(), ours.planeSteps[k], reference[k].data(), stride, pw, ph, 1);
          // The eighth scale floors the DC mean where the reference rounds.
          EXPECT_LE(d.maxDiff, scale == 3 ? 2 : 1)
              << "subsamp " << subsamp << " " << width << "x" << height << " scale " << scale << " plane " << k;
          EXPECT_TRUE(std::all_of(ours.planes[k].end() - 64, ours.planes[k].end(),
                                  [](uint8_t b) { return b == 0xA5; }));
        }
        if (subsamp != TJSAMP_422 || scale != 0 || width % 2) continue;
        request = OutputRequest{};
        request.dstColor = 4;
        request.keep422 = 1;
        const DecodedPicture packed = DecodeJpeg(jpeg, request);  // Y0 Cb Y1 Cr
        ASSERT_EQ(packed.status, 0);
        ASSERT_EQ(packed.step, width * 2);
        int maxDiff = 0;
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            const int chroma = reference[x % 2 ? 2 : 1][y * width / 2 + x / 2];
            maxDiff = std::max({maxDiff, std::abs(packed.pixels[y * packed.step + 2 * x] - reference[0][y * width + x]),
                                std::abs(packed.pixels[y * packed.step + 2 * x + 1] - chroma)});
          }
        }
        EXPECT_LE(maxDiff, 1);
      }
    }
  }
}

// Its 4:2:2 encoding of B, G, R rows; our quality 0 (unscaled tables) is its 50.
std::vector<uint8_t> TurboEncode(const std::vector<uint8_t>& bgr, int width, int height, int quality) {
  return Encode(bgr, width, height, TJPF_BGR, TJSAMP_422, quality == 0 ? 50 : quality, 0);
}

TEST(EncoderReference, TablesMatchLibjpegTurbo) {
  const std::vector<uint8_t> bgr = SyntheticRgb(64, 32);
  const auto tables = [](const std::vector<uint8_t>& jpeg) {
    SegmentList found;
    for (const auto& segment : HeaderSegments(jpeg))
      if (segment.first == 0xDB || segment.first == 0xC4) found.push_back(segment);
    return found;
  };
  for (int quality : {0, 1, 25, 50, 75, 90, 100}) {
    const EncodedImage ours = EncodeBgr(EncodeRequest(bgr.data(), 64, 32, static_cast<uint32_t>(quality)));
    ASSERT_TRUE(ours.Ok());
    const SegmentList ourTables = tables(ours.bytes);
    EXPECT_EQ(ourTables.size(), 6u);
    EXPECT_EQ(ourTables, tables(TurboEncode(bgr, 64, 32, quality))) << "quality " << quality;
  }
}

TEST(EncoderReference, DecodesLikeLibjpegTurboOwnEncoding) {
  const struct {
    int width, height;
    char picture;  // natural, flat, noise
  } cases[] = {{256, 176, 'n'}, {203, 77, 'n'}, {50, 30, 'f'}, {1, 1, 'n'},
               {17, 9, 'n'},    {1, 40, 'n'},   {45, 1, 'n'},  {96, 64, 'x'}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> bgr =
        c.picture == 'f'   ? std::vector<uint8_t>(static_cast<size_t>(c.width) * c.height * 3, 77)
        : c.picture == 'x' ? NoiseRgb(c.width, c.height, 7)
                           : SyntheticRgb(c.width, c.height, 3);
    const int step = c.width * 3;
    for (int quality : {0, 25, 50, 75, 100}) {
      AtEveryLevel([&](int32_t level) {
      SCOPED_TRACE(std::string(1, c.picture) + " " + std::to_string(c.width) + "x" +
                   std::to_string(c.height) + " quality " + std::to_string(quality) + " level " +
                   std::to_string(level));
      const EncodedImage ours =
          EncodeBgr(EncodeRequest(bgr.data(), c.width, c.height, static_cast<uint32_t>(quality)));
      EXPECT_TRUE(ours.guardIntact);
      if (c.picture == 'x' && quality == 100 && ours.dataStatus == -2) return;  // beyond the reserve
      ASSERT_TRUE(ours.Ok()) << ours.headerStatus << " " << ours.dataStatus;
      const std::vector<uint8_t> theirs = TurboEncode(bgr, c.width, c.height, quality);
      const std::vector<uint8_t> oursByTurbo = TurboDecode(ours.bytes, c.width, c.height, TJPF_BGR, 0);
      const std::vector<uint8_t> theirsByTurbo = TurboDecode(theirs, c.width, c.height, TJPF_BGR, 0);
      ASSERT_FALSE(oursByTurbo.empty());
      ASSERT_FALSE(theirsByTurbo.empty());
      OutputRequest bgrOutput;
      bgrOutput.dstColor = 3;
      const DecodedPicture oursByUs = DecodeJpeg(ours.bytes, bgrOutput);
      ASSERT_EQ(oursByUs.status, 0);
      ASSERT_EQ(oursByUs.width, c.width);
      ASSERT_EQ(oursByUs.height, c.height);

      const Difference ourQuality = Compare(bgr.data(), step, oursByTurbo.data(), step, c.width, c.height, 3);
      const Difference theirQuality = Compare(bgr.data(), step, theirsByTurbo.data(), step, c.width, c.height, 3);
      const bool tiny = c.width * c.height < 4096;
      EXPECT_GE(ourQuality.psnr, theirQuality.psnr - (tiny ? 1.5 : 0.3));
      EXPECT_NEAR(double(ours.bytes.size()) / double(theirs.size()), 1.0, tiny ? 0.10 : 0.03)
          << ours.bytes.size() << " vs " << theirs.size();
      // The two decoders of our image agree within their own rounding.
      EXPECT_LE(Compare(oursByTurbo.data(), step, oursByUs.pixels.data(), oursByUs.step, c.width, c.height, 3).maxDiff, 6);
      EXPECT_LE(ourQuality.maxDiff, c.picture == 'f' ? 1 : 255);
      });
    }
  }
}

}  // namespace
}  // namespace vv::test
#endif  // __has_include(<turbojpeg.h>)
