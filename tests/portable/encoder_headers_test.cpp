// The encoder's header segments byte for byte, its geometry, and the exact
// entropy-coded bytes of flat pictures. Expected bytes come from the tables
// of T.81 Annex K typed in here, the zig-zag order walked along the
// anti-diagonals and the quality rule, none of it from the encoder's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "decoder_test_util.h"
#include "encoder_test_util.h"
#include "jpeg/encoder.h"

namespace vv::test {
namespace {

const uint8_t kK1[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                         14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                         18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                         49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const uint8_t kK2Top[4][4] = {{17, 18, 24, 47}, {18, 21, 26, 66}, {24, 26, 56, 99}, {47, 66, 99, 99}};

const uint8_t kDcLumBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcChromBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kAcLumBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
const uint8_t kAcChromBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
// The first 16 symbols of K.5 and K.6 (the rest is checked as a set here and
// byte for byte against libjpeg-turbo in the reference test).
const uint8_t kAcLumHead[16] = {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12,
                                0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07};
const uint8_t kAcChromHead[16] = {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21,
                                  0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71};

// Natural index of each zig-zag position: anti-diagonals s = row + column,
// walked upwards on even s and downwards on odd s.
std::vector<int> ZigzagOrder() {
  std::vector<int> order;
  for (int s = 0; s < 15; ++s) {
    for (int i = 0; i <= s; ++i) {
      const int row = s % 2 == 0 ? s - i : i;
      const int column = s - row;
      if (row < 8 && column < 8) order.push_back(row * 8 + column);
    }
  }
  return order;
}

std::vector<uint8_t> DqtPayload(bool chroma, int quality) {
  const std::vector<int> zigzag = ZigzagOrder();
  std::vector<uint8_t> out;
  for (int k = 0; k < 64; ++k) {
    const int n = zigzag[k], row = n / 8, column = n % 8;
    int v = chroma ? (row < 4 && column < 4 ? kK2Top[row][column] : 99) : kK1[n];
    if (quality != 0) {
      const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
      v = std::min(255, std::max(1, (v * scale + 50) / 100));
    }
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

void Append(std::vector<uint8_t>* out, std::initializer_list<int> bytes) {
  for (int b : bytes) out->push_back(static_cast<uint8_t>(b));
}

// Everything up to the first DHT segment.
std::vector<uint8_t> ExpectedHead(int quality, int width, int height, const std::string* comment) {
  std::vector<uint8_t> out;
  Append(&out, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0});
  if (comment != nullptr) {
    Append(&out, {0xFF, 0xFE, static_cast<int>(comment->size() + 2) >> 8,
                  static_cast<int>(comment->size() + 2) & 0xFF});
    out.insert(out.end(), comment->begin(), comment->end());
  }
  for (int table = 0; table < 2; ++table) {
    Append(&out, {0xFF, 0xDB, 0, 67, table});
    const std::vector<uint8_t> payload = DqtPayload(table == 1, quality);
    out.insert(out.end(), payload.begin(), payload.end());
  }
  Append(&out, {0xFF, 0xC0, 0, 17, 8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 3,
                0, 0x21, 0, 1, 0x11, 1, 2, 0x11, 1});
  return out;
}

struct HeaderCase {
  int quality;
  int width, height;
  bool withComment;
};

class EncoderHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(EncoderHeaderTest, SegmentsByteForByte) {
  const HeaderCase c = GetParam();
  const std::vector<uint8_t> bgr = SwapRedBlue(SyntheticRgb(c.width, c.height));
  EncodeRequest request;
  request.bgr = bgr.data();
  request.width = c.width;
  request.height = c.height;
  request.quality = static_cast<uint32_t>(c.quality);
  request.withComment = c.withComment;
  request.comment = std::string("\x0B\x0A\x0A\x0A\x00\x02\x00\x02", 8);
  const EncodedImage image = EncodeBgr(request);
  ASSERT_TRUE(image.Ok()) << image.paramsStatus << " " << image.headerStatus << " "
                          << image.dataStatus;

  const std::vector<uint8_t> head =
      ExpectedHead(c.quality, c.width, c.height, c.withComment ? &request.comment : nullptr);
  ASSERT_GT(image.bytes.size(), head.size());
  EXPECT_EQ(std::vector<uint8_t>(image.bytes.begin(), image.bytes.begin() + head.size()), head);

  // DHT DC0, AC0, DC1, AC1, then the scan header.
  struct Dht {
    int classAndId;
    const uint8_t* bits;
    const uint8_t* head;
  };
  static const uint8_t kDcValues[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const Dht tables[4] = {{0x00, kDcLumBits, kDcValues},
                         {0x10, kAcLumBits, kAcLumHead},
                         {0x01, kDcChromBits, kDcValues},
                         {0x11, kAcChromBits, kAcChromHead}};
  size_t at = head.size();
  for (const Dht& table : tables) {
    int count = 0;
    for (int i = 0; i < 16; ++i) count += table.bits[i];
    ASSERT_LE(at + 21 + count, image.bytes.size());
    const uint8_t* segment = &image.bytes[at];
    EXPECT_EQ(segment[0], 0xFF);
    EXPECT_EQ(segment[1], 0xC4);
    EXPECT_EQ(segment[2] << 8 | segment[3], 19 + count);
    EXPECT_EQ(segment[4], table.classAndId);
    EXPECT_EQ(std::vector<uint8_t>(segment + 5, segment + 21),
              std::vector<uint8_t>(table.bits, table.bits + 16));
    const int headCount = std::min(count, 16);
    EXPECT_EQ(std::vector<uint8_t>(segment + 21, segment + 21 + headCount),
              std::vector<uint8_t>(table.head, table.head + headCount));
    if (table.classAndId & 0x10) {
      // Every AC symbol exists exactly once: EOB, ZRL and run/size pairs
      // with sizes 1..10.
      std::vector<int> seen(256, 0);
      for (int i = 0; i < count; ++i) ++seen[segment[21 + i]];
      for (int symbol = 0; symbol < 256; ++symbol) {
        const int size = symbol & 15;
        const bool expected = symbol == 0 || symbol == 0xF0 || (size >= 1 && size <= 10);
        EXPECT_EQ(seen[symbol], expected ? 1 : 0) << "symbol " << symbol;
      }
    }
    at += 21 + count;
  }
  const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 12, 3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0};
  ASSERT_LE(at + sos.size(), image.bytes.size());
  EXPECT_EQ(std::vector<uint8_t>(image.bytes.begin() + at, image.bytes.begin() + at + sos.size()),
            sos);
  EXPECT_EQ(image.bytes[image.bytes.size() - 2], 0xFF);
  EXPECT_EQ(image.bytes.back(), 0xD9);
}

INSTANTIATE_TEST_SUITE_P(Qualities, EncoderHeaderTest,
                         ::testing::Values(HeaderCase{0, 48, 16, false}, HeaderCase{25, 48, 16, true},
                                           HeaderCase{50, 17, 9, false}, HeaderCase{75, 300, 260, true},
                                           HeaderCase{100, 1, 1, false}));

TEST(EncoderGeometry, McuCountsAndPadding) {
  struct Case {
    int width, height, across, down, padded, padX, padY;
  };
  const Case cases[] = {{640, 480, 40, 60, 640, 0, 0},  {1366, 768, 86, 96, 1376, 10, 0},
                        {1, 1, 1, 1, 16, 15, 7},        {17, 9, 2, 2, 32, 15, 7},
                        {65535, 3, 4096, 1, 65536, 1, 5}};
  std::vector<uint8_t> row;
  for (const Case& c : cases) {
    row.assign(static_cast<size_t>(c.width) * 3 * c.height, 0x40);
    std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
    CMemBuffOutput sink(nullptr, 0);
    encoder->Reset();
    encoder->srcData = row.data();
    encoder->width = c.width;
    encoder->height = c.height;
    encoder->srcStep = c.width * 3;
    encoder->srcPrecision = 8;
    encoder->srcChannels = 3;
    encoder->srcColor = 3;
    ASSERT_EQ(encoder->SetParams(75), 0);
    encoder->bitOutput.stream = &sink;
    // The stream takes nothing, so the header stops at the first hand-over;
    // the geometry is fixed before that.
    EXPECT_EQ(encoder->WriteHeader(), -5);
    EXPECT_EQ(encoder->mcusAcross, c.across) << c.width;
    EXPECT_EQ(encoder->mcusDown, c.down) << c.height;
    EXPECT_EQ(encoder->paddedWidth, c.padded);
    EXPECT_EQ(encoder->padX, c.padX);
    EXPECT_EQ(encoder->padY, c.padY);
    EXPECT_EQ(encoder->blocksPerMcu, 4);
  }
}

// Bit writer of the expected entropy-coded segment: codes MSB first, 0xFF
// followed by a stuffed 0x00, the last byte completed with 1-bits.
struct ExpectedBits {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int count = 0;
  void Put(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
      acc = acc << 1 | ((code >> i) & 1);
      if (++count == 8) {
        bytes.push_back(static_cast<uint8_t>(acc));
        if (acc == 0xFF) bytes.push_back(0);
        acc = 0;
        count = 0;
      }
    }
  }
  void Finish() {
    if (count > 0) Put(0x7F, 8 - count);
  }
};

// T.81 Annex C code generation for the DC tables (symbols 0..11 in order).
std::vector<std::pair<uint32_t, int>> DcCodes(const uint8_t* bits) {
  std::vector<std::pair<uint32_t, int>> codes;
  uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < bits[length - 1]; ++i) codes.push_back({code++, length});
    code <<= 1;
  }
  return codes;
}

void PutDc(ExpectedBits* out, const std::vector<std::pair<uint32_t, int>>& codes, int diff) {
  int category = 0;
  while ((std::abs(diff) >> category) != 0) ++category;
  out->Put(codes[category].first, codes[category].second);
  if (category > 0) out->Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), category);
}

// A uniform grey picture gives Y = v, Cb = Cr = 128: every AC coefficient is
// zero and only the first luma block has a DC difference.
TEST(EncoderFlatPicture, EntropyCodedBytesExact) {
  struct Case {
    int width, height, grey, quality, lumaDc;  // lumaDc: 8 (v - 128) / 16 at step 16
  };
  const Case cases[] = {{33, 17, 200, 50, 36}, {16, 8, 128, 0, 0}, {1, 1, 0, 50, -64},
                        {40, 24, 255, 0, 64}};
  const auto dcLum = DcCodes(kDcLumBits);
  const auto dcChrom = DcCodes(kDcChromBits);
  for (const Case& c : cases) {
    const std::vector<uint8_t> bgr(static_cast<size_t>(c.width) * c.height * 3,
                                   static_cast<uint8_t>(c.grey));
    EncodeRequest request;
    request.bgr = bgr.data();
    request.width = c.width;
    request.height = c.height;
    request.quality = static_cast<uint32_t>(c.quality);
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());

    ExpectedBits expected;
    const int mcus = ((c.width + 15) / 16) * ((c.height + 7) / 8);
    for (int m = 0; m < mcus; ++m) {
      PutDc(&expected, dcLum, m == 0 ? c.lumaDc : 0);
      expected.Put(0xA, 4);  // luma EOB, K.5
      PutDc(&expected, dcLum, 0);
      expected.Put(0xA, 4);
      for (int chroma = 0; chroma < 2; ++chroma) {
        PutDc(&expected, dcChrom, 0);
        expected.Put(0x0, 2);  // chroma EOB, K.6
      }
    }
    expected.Finish();
    expected.bytes.push_back(0xFF);
    expected.bytes.push_back(0xD9);

    // The scan data follows the 14-byte scan header.
    const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 12};
    auto at = std::search(image.bytes.begin(), image.bytes.end(), sos.begin(), sos.end());
    ASSERT_NE(at, image.bytes.end());
    EXPECT_EQ(std::vector<uint8_t>(at + 14, image.bytes.end()), expected.bytes)
        << c.width << "x" << c.height << " grey " << c.grey;
  }
}

}  // namespace
}  // namespace vv::test
