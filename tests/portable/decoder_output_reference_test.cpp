// Decoded pictures against libjpeg-turbo as an independent reference: the
// same streams (made by its encoder or cjpeg from synthetic pictures) decoded
// by both, as RGB, gray, video-range BGRA, planes, packed 4:2:2 and CMYK.
//
// Thresholds: both decoders use accurate integer inverse DCTs, which agree
// within one level per sample, and the JFIF full-range conversion, whose
// chroma gains (up to 1.772) can turn two such differences into 3 or 4
// levels. Upsampling deliberately differs at MCU-row boundaries (the bottom
// line of each MCU row repeats instead of looking at the next row, and 1x2
// chroma is line-doubled), so subsampled pictures are held to a PSNR bound
// and a looser maximum.
#if __has_include(<turbojpeg.h>)
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"

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

std::vector<uint8_t> Encode(const std::vector<uint8_t>& rgb, int width, int height, int subsamp,
                            int quality, int pixelFormat = TJPF_RGB) {
  TurboJpeg tj;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const bool gray = subsamp == TJSAMP_GRAY;
  std::vector<uint8_t> source = rgb;
  if (gray) {
    source.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < source.size(); ++i) source[i] = rgb[i * 3 + 1];
  }
  const int rc = tjCompress2(tj.compressor, source.data(), width, 0, height,
                             gray ? TJPF_GRAY : pixelFormat, &out, &size, subsamp, quality,
                             TJFLAG_ACCURATEDCT);
  std::vector<uint8_t> jpeg;
  if (rc == 0) jpeg.assign(out, out + size);
  tjFree(out);
  return jpeg;
}

// libjpeg-turbo's own decode, at a scaled size when width/height are smaller.
std::vector<uint8_t> TurboDecode(const std::vector<uint8_t>& jpeg, int width, int height,
                                 int pixelFormat, int flags = TJFLAG_ACCURATEDCT) {
  TurboJpeg tj;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * tjPixelSize[pixelFormat]);
  const int rc = tjDecompress2(tj.decompressor, jpeg.data(), jpeg.size(), pixels.data(), width, 0,
                               height, pixelFormat, flags);
  if (rc != 0) pixels.clear();
  return pixels;
}

const char* SubsampName(int subsamp) {
  static const char* names[] = {"444", "422", "420", "gray", "440", "411"};
  return names[subsamp];
}

struct Case {
  int subsamp;
  int width, height;
};

const Case kCases[] = {
    {TJSAMP_444, 1, 1},   {TJSAMP_444, 63, 47},  {TJSAMP_422, 17, 9},  {TJSAMP_422, 100, 75},
    {TJSAMP_420, 1, 1},   {TJSAMP_420, 63, 47},  {TJSAMP_420, 640, 480}, {TJSAMP_440, 17, 9},
    {TJSAMP_GRAY, 17, 9}, {TJSAMP_GRAY, 640, 480},
};

TEST(DecoderReference, FullScaleRgbAndGrayMatchLibjpegTurbo) {
  for (const Case& c : kCases) {
    for (int quality : {50, 75, 95}) {
      const std::vector<uint8_t> jpeg =
          Encode(SyntheticRgb(c.width, c.height, quality), c.width, c.height, c.subsamp, quality);
      ASSERT_FALSE(jpeg.empty());
      const bool gray = c.subsamp == TJSAMP_GRAY;
      // 1x2 chroma is line-doubled here, which the reference does only
      // with its fast upsampling.
      const int flags = TJFLAG_ACCURATEDCT | (c.subsamp == TJSAMP_440 ? TJFLAG_FASTUPSAMPLE : 0);
      const std::vector<uint8_t> reference =
          TurboDecode(jpeg, c.width, c.height, gray ? TJPF_GRAY : TJPF_RGB, flags);
      ASSERT_FALSE(reference.empty());
      const int channels = gray ? 1 : 3;
      for (int sparse : {0, 1}) {
        OutputRequest request;
        request.dstColor = gray ? 1 : 2;
        request.sparseIdct = sparse;
        const DecodedPicture ours = DecodeJpeg(jpeg, request);
        ASSERT_EQ(ours.status, 0) << SubsampName(c.subsamp) << " " << c.width << "x" << c.height;
        ASSERT_EQ(ours.width, c.width);
        const Difference d = Compare(ours.pixels.data(), ours.step, reference.data(),
                                     c.width * channels, c.width, c.height, channels);
        std::printf("[ figures ] %-4s %4dx%-4d q%-2d sparse %d: max %3d  PSNR %.1f dB\n",
                    SubsampName(c.subsamp), c.width, c.height, quality, sparse, d.maxDiff, d.psnr);
        // Only 2x2 chroma sees the MCU-row edge rule.
        const bool rowEdges = c.subsamp == TJSAMP_420;
        EXPECT_LE(d.maxDiff, rowEdges ? 20 : 4) << SubsampName(c.subsamp) << " q" << quality;
        EXPECT_GE(d.psnr, rowEdges ? 45.0 : 42.0) << SubsampName(c.subsamp) << " q" << quality;
        // Guard bytes behind the picture stay untouched.
        for (size_t i = ours.pixels.size() - 64; i < ours.pixels.size(); ++i) {
          ASSERT_EQ(ours.pixels[i], 0xA5);
        }
      }
    }
  }
}

// The viewer's BGRA output uses studio-range luma (16..235): compared with
// the BT.601 video formulas evaluated in double precision on the reference's
// own Y, Cb, Cr planes (4:4:4, so no upsampling enters).
TEST(DecoderReference, BgraIsVideoRangeOfReferencePlanes) {
  for (const Case& c : {Case{TJSAMP_444, 17, 9}, Case{TJSAMP_444, 640, 480}}) {
    const std::vector<uint8_t> jpeg = Encode(SyntheticRgb(c.width, c.height, 3), c.width, c.height, c.subsamp, 85);
    TurboJpeg tj;
    const size_t planeSize = static_cast<size_t>(c.width) * c.height;
    std::vector<uint8_t> yuv(planeSize * 3);
    ASSERT_EQ(tjDecompressToYUV2(tj.decompressor, jpeg.data(), jpeg.size(), yuv.data(), c.width, 1,
                                 c.height, TJFLAG_ACCURATEDCT), 0);
    std::vector<uint8_t> expected(planeSize * 4);
    for (size_t i = 0; i < planeSize; ++i) {
      const double y = 1.164383562 * (yuv[i] - 16.0);
      const double cb = yuv[planeSize + i] - 128.0, cr = yuv[2 * planeSize + i] - 128.0;
      const double rgb[3] = {y + 1.596026786 * cr, y - 0.391762290 * cb - 0.812967647 * cr,
                             y + 2.017232143 * cb};
      for (int ch = 0; ch < 3; ++ch) {
        expected[i * 4 + 2 - ch] = static_cast<uint8_t>(std::clamp(std::lround(rgb[ch]), 0L, 255L));
      }
      expected[i * 4 + 3] = 255;
    }
    OutputRequest request;
    request.dstColor = 7;
    const DecodedPicture ours = DecodeJpeg(jpeg, request);
    ASSERT_EQ(ours.status, 0);
    ASSERT_EQ(ours.step, c.width * 4);
    const Difference d = Compare(ours.pixels.data(), ours.step, expected.data(), c.width * 4,
                                 c.width, c.height, 4);
    std::printf("[ figures ] BGRA 444 %4dx%-4d: max %d  PSNR %.1f dB\n", c.width, c.height, d.maxDiff, d.psnr);
    // IDCT differences of one level grow by the video gains (up to 2.02).
    EXPECT_LE(d.maxDiff, 5);
    EXPECT_GE(d.psnr, 40.0);
    for (size_t i = 3; i < planeSize * 4; i += 4) ASSERT_EQ(ours.pixels[i], 255);
  }
}

// Streams the reference library cannot make through its compressor API:
// restart markers after every MCU, progressive scans and single-component
// sequential scans, made by the cjpeg tool when it exists.
std::vector<uint8_t> RunCjpeg(const std::vector<uint8_t>& rgb, int width, int height,
                              const std::string& options) {
  const std::string base = "/tmp/vv_decoder_reference_" + std::to_string(width) + "x" + std::to_string(height);
  FILE* ppm = std::fopen((base + ".ppm").c_str(), "wb");
  if (ppm == nullptr) return {};
  std::fprintf(ppm, "P6\n%d %d\n255\n", width, height);
  std::fwrite(rgb.data(), 1, rgb.size(), ppm);
  std::fclose(ppm);
  std::vector<uint8_t> jpeg;
  FILE* pipe = popen(("cjpeg " + options + " " + base + ".ppm 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  uint8_t chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) jpeg.insert(jpeg.end(), chunk, chunk + got);
  pclose(pipe);
  std::remove((base + ".ppm").c_str());
  return jpeg;
}

bool HaveCjpeg() { return std::system("cjpeg -version >/dev/null 2>&1 </dev/null") == 0; }

TEST(DecoderReference, RestartProgressiveAndSingleScanStreams) {
  if (!HaveCjpeg()) GTEST_SKIP() << "cjpeg not installed";
  FILE* script = std::fopen("/tmp/vv_decoder_reference_scans.txt", "w");
  ASSERT_NE(script, nullptr);
  std::fputs("0;\n1;\n2;\n", script);  // one sequential scan per component
  std::fclose(script);
  // Progressive with a separate DC scan per component.
  script = std::fopen("/tmp/vv_decoder_reference_dc.txt", "w");
  ASSERT_NE(script, nullptr);
  std::fputs("0: 0 0 0 1;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 0;\n2: 1 63 0 0;\n1: 1 63 0 0;\n0: 0 0 1 0;\n",
             script);
  std::fclose(script);
  struct Variant {
    const char* options;
    bool fancyRowEdges;  // 2x2 chroma: MCU-row edge rule applies
  } variants[] = {
      {"-quality 75 -sample 2x2 -restart 1B", true},
      {"-quality 75 -sample 2x1 -restart 3B", false},
      {"-quality 75 -sample 2x2 -progressive", true},
      {"-quality 90 -sample 1x1 -progressive -restart 2B", false},
      {"-quality 75 -sample 2x2 -scans /tmp/vv_decoder_reference_scans.txt", true},
      {"-quality 75 -grayscale -progressive", false},
      {"-quality 75 -sample 2x2 -scans /tmp/vv_decoder_reference_dc.txt", true},
      {"-quality 75 -sample 1x1 -scans /tmp/vv_decoder_reference_dc.txt -restart 1B", false},
  };
  for (const Variant& variant : variants) {
    for (const auto& size : {std::pair<int, int>{63, 47}, std::pair<int, int>{320, 240}}) {
      const int width = size.first, height = size.second;
      const std::vector<uint8_t> jpeg = RunCjpeg(SyntheticRgb(width, height, 7), width, height, variant.options);
      ASSERT_FALSE(jpeg.empty()) << variant.options;
      const bool gray = std::string(variant.options).find("gray") != std::string::npos;
      const std::vector<uint8_t> reference = TurboDecode(jpeg, width, height, gray ? TJPF_GRAY : TJPF_RGB);
      ASSERT_FALSE(reference.empty());
      OutputRequest request;
      request.dstColor = gray ? 1 : 2;
      const DecodedPicture ours = DecodeJpeg(jpeg, request);
      ASSERT_EQ(ours.status, 0) << variant.options;
      const int channels = gray ? 1 : 3;
      const Difference d = Compare(ours.pixels.data(), ours.step, reference.data(), width * channels, width, height, channels);
      std::printf("[ figures ] cjpeg %-58s %dx%d: max %3d  PSNR %.1f dB\n", variant.options, width, height, d.maxDiff, d.psnr);
      EXPECT_LE(d.maxDiff, variant.fancyRowEdges ? 20 : 4) << variant.options;
      EXPECT_GE(d.psnr, variant.fancyRowEdges ? 45.0 : 42.0) << variant.options;
    }
  }
  std::remove("/tmp/vv_decoder_reference_scans.txt");
  std::remove("/tmp/vv_decoder_reference_dc.txt");
}

// Corrupt data in an interleaved scan never fails the frame: garbage (no
// 0xFF) inserted into the data damages the picture from its MCU row on, and
// with a restart marker after every MCU row only that row.
TEST(DecoderReference, GarbageDamagesRowsButNeverTheFrame) {
  if (!HaveCjpeg()) GTEST_SKIP() << "cjpeg not installed";
  const int width = 128, height = 96;
  const std::vector<uint8_t> rgb = SyntheticRgb(width, height, 9);
  for (bool restarts : {false, true}) {
    const std::vector<uint8_t> jpeg =
        RunCjpeg(rgb, width, height, restarts ? "-quality 80 -sample 1x1 -restart 1" : "-quality 80 -sample 1x1");
    ASSERT_FALSE(jpeg.empty());
    size_t data = 0;
    for (size_t i = 0; i + 3 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
        data = i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
        break;
      }
    }
    // Somewhere in the middle, not next to a 0xFF.
    size_t at = data + (jpeg.size() - data) / 2;
    while (jpeg[at - 1] == 0xFF || jpeg[at] == 0xFF) ++at;
    std::vector<uint8_t> damaged = jpeg;
    const uint8_t garbage[] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x58, 0x97, 0x93, 0x23, 0x84, 0x62, 0x64};
    damaged.insert(damaged.begin() + at, std::begin(garbage), std::end(garbage));
    OutputRequest request;
    request.dstColor = 2;
    const DecodedPicture clean = DecodeJpeg(jpeg, request);
    const DecodedPicture out = DecodeJpeg(damaged, request);
    ASSERT_EQ(clean.status, 0);
    ASSERT_EQ(out.status, 0) << (restarts ? "with restarts" : "without restarts");
    int firstBad = -1, lastBad = -1;
    for (int y = 0; y < height; ++y) {
      if (!std::equal(out.pixels.begin() + y * out.step, out.pixels.begin() + y * out.step + width * 3,
                      clean.pixels.begin() + y * clean.step)) {
        if (firstBad < 0) firstBad = y;
        lastBad = y;
      }
    }
    ASSERT_GE(firstBad, 0);
    EXPECT_EQ(firstBad % 8, 0);
    std::printf("[ figures ] garbage %s restarts: lines %d..%d differ\n", restarts ? "with" : "without", firstBad, lastBad);
    if (restarts) {
      EXPECT_EQ(lastBad, firstBad + 7);
    }
  }
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
          Encode(SyntheticRgb(width, height, 2), width, height, subsamp, 80);
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
      Encode(SyntheticRgb(width, height, 4), width, height, TJSAMP_422, 85);
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
    const std::vector<uint8_t> jpeg = Encode(cmyk, width, height, subsamp, 90, TJPF_CMYK);
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

}  // namespace
}  // namespace vv::test
#endif
