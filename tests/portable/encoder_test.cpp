// The encoder's header segments byte for byte, the exact entropy-coded bytes
// of flat pictures, and its failures (output too small, refused sources).
// Expected bytes come from the tables of T.81 Annex K typed in here, the zig-zag order walked along the
// anti-diagonals and the quality rule; the Huffman tables' symbols are
// compared with libjpeg-turbo's in encoder_reference_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<uint8_t> DqtPayload(bool chroma, int quality) {
  std::vector<uint8_t> out;
  for (int s = 0; s < 15; ++s) {  // anti-diagonals, up on even s, down on odd
    for (int i = 0; i <= s; ++i) {
      const int row = s % 2 == 0 ? s - i : i, column = s - row;
      if (row > 7 || column > 7) continue;
      int v = chroma ? (row < 4 && column < 4 ? kK2Top[row][column] : 99) : kK1[row * 8 + column];
      if (quality != 0) {
        const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        v = std::min(255, std::max(1, (v * scale + 50) / 100));
      }
      out.push_back(static_cast<uint8_t>(v));
    }
  }
  return out;
}

// SOI, APP0, COM, both DQT and SOF0: everything before the first DHT.
std::vector<uint8_t> ExpectedHead(int quality, int width, int height, const std::string* comment) {
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F',
                              0,    1,    2,    0,    0, 1,  0,   1,   0,   0};
  if (comment != nullptr) {
    const int length = static_cast<int>(comment->size()) + 2;
    out.insert(out.end(), {0xFF, 0xFE, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    out.insert(out.end(), comment->begin(), comment->end());
  }
  for (uint8_t table = 0; table < 2; ++table) {
    out.insert(out.end(), {0xFF, 0xDB, 0, 67, table});
    const std::vector<uint8_t> payload = DqtPayload(table == 1, quality);
    out.insert(out.end(), payload.begin(), payload.end());
  }
  const std::vector<int> sof = {0xFF, 0xC0, 0, 17, 8, height >> 8, height & 0xFF, width >> 8,
                                width & 0xFF, 3, 0, 0x21, 0, 1, 0x11, 1, 2, 0x11, 1};
  for (int b : sof) out.push_back(static_cast<uint8_t>(b));
  return out;
}

struct HeaderCase {
  int quality, width, height;
  bool withComment;
};

TEST(EncoderHeaders, SegmentsByteForByte) {
  const HeaderCase cases[] = {{0, 48, 16, false}, {25, 48, 16, true}, {75, 300, 260, true},
                              {100, 1, 1, false}};
  const std::string mark("\x0B\x0A\x0A\x0A\x00\x02\x00\x02", 8);
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE("quality " + std::to_string(c.quality));
    const std::vector<uint8_t> bgr = SwapRedBlue(SyntheticRgb(c.width, c.height));
    EncodeRequest request{bgr.data(), c.width, c.height};
    request.quality = static_cast<uint32_t>(c.quality);
    request.withComment = c.withComment;
    request.comment = mark;
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());
    const std::vector<uint8_t> head =
        ExpectedHead(c.quality, c.width, c.height, c.withComment ? &mark : nullptr);
    ASSERT_GT(image.bytes.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), image.bytes.begin()));

    // DHT DC0, AC0, DC1, AC1 (the DC counts checked here), then the scan
    // header; the image ends with EOI.
    size_t at = head.size();
    const int classAndId[4] = {0x00, 0x10, 0x01, 0x11};
    for (int t = 0; t < 4; ++t) {
      ASSERT_LT(at + 21, image.bytes.size());
      const uint8_t* segment = &image.bytes[at];
      int count = 0;
      for (int i = 0; i < 16; ++i) count += segment[5 + i];
      EXPECT_TRUE(segment[0] == 0xFF && segment[1] == 0xC4 && segment[4] == classAndId[t]);
      EXPECT_EQ(segment[2] << 8 | segment[3], 19 + count);
      EXPECT_EQ(count, t % 2 == 0 ? 12 : 162);
      if (t % 2 == 0) {
        EXPECT_TRUE(std::equal(segment + 5, segment + 21, t == 0 ? kDcLumBits : kDcChromBits));
        for (int i = 0; i < 12; ++i) EXPECT_EQ(segment[21 + i], i);
      }
      at += 2 + (segment[2] << 8 | segment[3]);
    }
    const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 12, 3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0};
    ASSERT_LE(at + sos.size(), image.bytes.size());
    EXPECT_TRUE(std::equal(sos.begin(), sos.end(), image.bytes.begin() + at));
    EXPECT_TRUE(image.bytes[image.bytes.size() - 2] == 0xFF && image.bytes.back() == 0xD9);
  }
}

// Expected entropy-coded bytes: codes MSB first, 0xFF followed by a stuffed
// 0x00, the last byte completed with 1-bits.
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
  // A DC difference with the codes of T.81 Annex C generated from the counts
  // (symbols 0..11 in order), then the EOB code of the AC table.
  void PutBlock(const uint8_t* dcBits, int diff, uint32_t eob, int eobLength) {
    int category = 0;
    while ((std::abs(diff) >> category) != 0) ++category;
    uint32_t code = 0;
    int symbol = 0;
    for (int length = 1; length <= 16; ++length, code <<= 1) {
      for (int i = 0; i < dcBits[length - 1]; ++i, ++code, ++symbol) {
        if (symbol == category) Put(code, length);
      }
    }
    if (category > 0) Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), category);
    Put(eob, eobLength);
  }
};

// A uniform grey picture gives Y = v, Cb = Cr = 128: every AC coefficient is
// zero and only the first luma block has a DC difference, 8 (v - 128) / 16
// at the luma DC step 16 (rounded half to even).
TEST(EncoderHeaders, FlatPictureEntropyCodedBytes) {
  struct Case {
    int width, height, grey, quality, lumaDc;
  };
  const Case cases[] = {{33, 17, 200, 50, 36}, {16, 8, 128, 0, 0}, {1, 1, 0, 50, -64},
                        {40, 24, 255, 0, 64}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> bgr(static_cast<size_t>(c.width) * c.height * 3,
                                   static_cast<uint8_t>(c.grey));
    EncodeRequest request{bgr.data(), c.width, c.height};
    request.quality = static_cast<uint32_t>(c.quality);
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());
    ExpectedBits expected;
    const int mcus = ((c.width + 15) / 16) * ((c.height + 7) / 8);
    for (int m = 0; m < mcus; ++m) {
      expected.PutBlock(kDcLumBits, m == 0 ? c.lumaDc : 0, 0xA, 4);  // luma EOB 1010 (K.5)
      expected.PutBlock(kDcLumBits, 0, 0xA, 4);
      expected.PutBlock(kDcChromBits, 0, 0, 2);  // chroma EOB 00 (K.6)
      expected.PutBlock(kDcChromBits, 0, 0, 2);
    }
    if (expected.count > 0) expected.Put(0x7F, 8 - expected.count);
    expected.bytes.insert(expected.bytes.end(), {0xFF, 0xD9});
    const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 12};
    auto at = std::search(image.bytes.begin(), image.bytes.end(), sos.begin(), sos.end());
    ASSERT_NE(at, image.bytes.end());
    EXPECT_EQ(std::vector<uint8_t>(at + 14, image.bytes.end()), expected.bytes) << c.grey;
  }
}

// Failures return their status without writing outside the caller's buffer;
// what did fit is the start of the complete image.
TEST(EncoderFailure, OutputStreamTooSmall) {
  const int width = 400, height = 240;
  const std::vector<uint8_t> bgr = NoiseRgb(width, height, 1);
  const EncodedImage full = EncodeBgr(EncodeRequest(bgr.data(), width, height));
  ASSERT_TRUE(full.Ok());
  const int32_t total = static_cast<int32_t>(full.bytes.size());
  const std::vector<uint8_t> sos = {0xFF, 0xDA};
  const int32_t header = static_cast<int32_t>(
      std::search(full.bytes.begin(), full.bytes.end(), sos.begin(), sos.end()) - full.bytes.begin());
  ASSERT_GT(total, header + 3 * 4096);  // several hand-overs of scan data

  struct Case {
    int32_t capacity, headerStatus, dataStatus;
  };
  const Case cases[] = {{0, -5, 0},        {header - 1, -5, 0}, {header, 0, -5},
                        {total / 2, 0, -5}, {total - 1, 0, -5},  {total, 0, 0}};
  for (const Case& c : cases) {
    EncodeRequest request{bgr.data(), width, height};
    request.capacity = c.capacity;
    const EncodedImage cut = EncodeBgr(request);
    EXPECT_EQ(cut.headerStatus, c.headerStatus) << c.capacity;
    EXPECT_EQ(cut.dataStatus, c.dataStatus) << c.capacity;
    EXPECT_TRUE(cut.guardIntact) << c.capacity;
    // What did fit is the start of the complete image.
    ASSERT_LE(cut.bytes.size(), full.bytes.size());
    EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), full.bytes.begin())) << c.capacity;
  }
}

TEST(EncoderFailure, UnsupportedSourcesAreRefused) {
  struct Case {
    const char* name;
    void (*spoil)(CJPEGEncoder*);
    int32_t expected;  // of WriteHeader and WriteData
  };
  const Case cases[] = {
      {"null data", [](CJPEGEncoder* e) { e->srcData = nullptr; }, -1},
      {"four channels", [](CJPEGEncoder* e) { e->srcChannels = 4; }, -1},
      {"short rows", [](CJPEGEncoder* e) { e->srcStep = 10; }, -1},
      {"width after SetParams", [](CJPEGEncoder* e) { e->width = 17, e->srcStep = 51; }, -1},
      {"comment too long", [](CJPEGEncoder* e) { e->comment = e->srcData, e->commentLength = 65534; }, -1},
      {"as given", [](CJPEGEncoder*) {}, 0},
  };
  const std::vector<uint8_t> bgr(10 * 4 * 3, 90);
  std::vector<uint8_t> out(4096);
  for (const Case& c : cases) {
    std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
    CMemBuffOutput stream(out.data(), static_cast<int32_t>(out.size()));
    DescribeSource(encoder.get(), bgr.data(), 10, 4, 30);
    ASSERT_EQ(encoder->SetParams(50), 0);
    encoder->bitOutput.stream = &stream;
    c.spoil(encoder.get());
    EXPECT_EQ(encoder->WriteHeader(), c.expected) << c.name;
    EXPECT_EQ(encoder->WriteData(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vv::test
