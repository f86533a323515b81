// Decoded pictures against libjpeg-turbo as an independent reference: the
// same streams (made by its encoder from synthetic pictures) decoded by both.
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
                            int quality) {
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
                             gray ? TJPF_GRAY : TJPF_RGB, &out, &size, subsamp, quality,
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
    {TJSAMP_444, 1, 1},   {TJSAMP_444, 17, 9},  {TJSAMP_444, 63, 47},  {TJSAMP_444, 640, 480},
    {TJSAMP_422, 1, 1},   {TJSAMP_422, 17, 9},  {TJSAMP_422, 63, 47},  {TJSAMP_422, 100, 75},
    {TJSAMP_420, 1, 1},   {TJSAMP_420, 17, 9},  {TJSAMP_420, 63, 47},  {TJSAMP_420, 640, 480},
    {TJSAMP_440, 1, 1},   {TJSAMP_440, 17, 9},  {TJSAMP_440, 63, 47},  {TJSAMP_GRAY, 1, 1},
    {TJSAMP_GRAY, 17, 9}, {TJSAMP_GRAY, 63, 47}, {TJSAMP_GRAY, 640, 480},
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
  for (const Case& c : {Case{TJSAMP_444, 17, 9}, Case{TJSAMP_444, 63, 47}, Case{TJSAMP_444, 640, 480}}) {
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

// Reduced scales against the reference's scaled decoding. Both realise the
// scale inside the transform but with different kernels, so only a PSNR
// bound is meaningful; the sizes must agree exactly.
TEST(DecoderReference, ReducedScalesResembleReferenceScaling) {
  for (int subsamp : {TJSAMP_444, TJSAMP_422, TJSAMP_420, TJSAMP_GRAY}) {
    const int width = 100, height = 75;
    const std::vector<uint8_t> jpeg = Encode(SyntheticRgb(width, height, 5), width, height, subsamp, 90);
    const bool gray = subsamp == TJSAMP_GRAY;
    for (int scale = 1; scale <= 3; ++scale) {
      const int w = (width + (1 << scale) - 1) >> scale, h = (height + (1 << scale) - 1) >> scale;
      const std::vector<uint8_t> reference = TurboDecode(jpeg, w, h, gray ? TJPF_GRAY : TJPF_RGB);
      ASSERT_FALSE(reference.empty());
      OutputRequest request;
      request.dstColor = gray ? 1 : 2;
      request.scale = scale;
      const DecodedPicture ours = DecodeJpeg(jpeg, request);
      ASSERT_EQ(ours.status, 0);
      ASSERT_EQ(ours.width, w);
      ASSERT_EQ(ours.height, h);
      const int channels = gray ? 1 : 3;
      const Difference d = Compare(ours.pixels.data(), ours.step, reference.data(), w * channels, w, h, channels);
      std::printf("[ figures ] scale 1/%d %-4s: max %3d  PSNR %.1f dB\n", 1 << scale, SubsampName(subsamp), d.maxDiff, d.psnr);
      EXPECT_GE(d.psnr, 34.0) << SubsampName(subsamp) << " scale " << scale;
      for (size_t i = ours.pixels.size() - 64; i < ours.pixels.size(); ++i) ASSERT_EQ(ours.pixels[i], 0xA5);
    }
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
      {"-quality 75 -sample 1x1 -restart 1B", false},
      {"-quality 75 -sample 2x1 -restart 3B", false},
      {"-quality 75 -sample 2x2 -progressive", true},
      {"-quality 90 -sample 1x1 -progressive -restart 2B", false},
      {"-quality 75 -sample 2x2 -scans /tmp/vv_decoder_reference_scans.txt", true},
      {"-quality 75 -sample 1x1 -scans /tmp/vv_decoder_reference_scans.txt -restart 1B", false},
      {"-quality 75 -grayscale -progressive", false},
      {"-quality 75 -sample 2x2 -scans /tmp/vv_decoder_reference_dc.txt", true},
      {"-quality 75 -sample 1x1 -scans /tmp/vv_decoder_reference_dc.txt -restart 1B", false},
      {"-quality 75 -grayscale -restart 1B", false},
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

}  // namespace
}  // namespace vv::test
#endif
