// The tools' picture files: readers against hand-made files, writers by
// their exact bytes and by round trips through the readers, and damaged
// files refused without touching the result.
#include "image_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vv {
namespace {

std::string TempPath(const char* name) { return testing::TempDir() + "/vv_image_files_" + name; }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  }
  std::fclose(file);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

void Append(std::vector<uint8_t>* bytes, std::initializer_list<int> values) {
  for (int v : values) bytes->push_back(static_cast<uint8_t>(v));
}

void AppendLe(std::vector<uint8_t>* bytes, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A BMP of `bits` (24 or 32) a pixel with a 40-byte header; rows as given
// (already padded), height negative for top-down files.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint8_t>& rows, bool withMasks) {
  std::vector<uint8_t> b = Text("BM");
  const uint32_t offset = 54 + (withMasks ? 12 : 0);
  AppendLe(&b, offset + static_cast<uint32_t>(rows.size()), 4);
  AppendLe(&b, 0, 4);
  AppendLe(&b, offset, 4);
  AppendLe(&b, 40, 4);
  AppendLe(&b, static_cast<uint32_t>(width), 4);
  AppendLe(&b, static_cast<uint32_t>(height), 4);
  AppendLe(&b, 1, 2);
  AppendLe(&b, static_cast<uint32_t>(bits), 2);
  AppendLe(&b, compression, 4);
  for (int i = 0; i < 5; ++i) AppendLe(&b, 0, 4);
  if (withMasks) {
    AppendLe(&b, 0x00FF0000, 4);
    AppendLe(&b, 0x0000FF00, 4);
    AppendLe(&b, 0x000000FF, 4);
  }
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

TEST(ImageFilesTest, ReadsHandMadePnm) {
  struct Case {
    const char* name;
    std::string header;
    std::vector<uint8_t> samples;
    int32_t width, height;
    PixelLayout layout;
  };
  const Case cases[] = {
      {"gray", "P5\n3 2\n255\n", {1, 2, 3, 4, 5, 6}, 3, 2, PixelLayout::kGray},
      {"comments", "P5 # size follows\n# another\n2\t1 # w h\n200\n", {7, 200}, 2, 1,
       PixelLayout::kGray},
      {"colour", "P6\n2 1\n255\n", {10, 20, 30, 40, 50, 60}, 2, 1, PixelLayout::kRgb},
      // A sample byte that looks like whitespace right after the header.
      {"leading space", "P5\n1 1\n255\n", {' '}, 1, 1, PixelLayout::kGray},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = Text(c.header);
    file.insert(file.end(), c.samples.begin(), c.samples.end());
    const std::string path = TempPath("read.pnm");
    WriteBytes(path, file);
    LoadedImage image;
    ASSERT_TRUE(ReadPnm(path.c_str(), &image));
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    EXPECT_EQ(image.layout, c.layout);
    EXPECT_EQ(image.pixels, c.samples);
  }
}

TEST(ImageFilesTest, ReadsHandMadeBmp) {
  // 3 x 2 at 24 bits: rows of 9 bytes padded to 12. Bottom-up: the file's
  // first row is the picture's last.
  const std::vector<uint8_t> rows24 = {
      3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0,            // bottom row, blue-green-red
      13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0};  // top row
  const std::vector<uint8_t> top = {11, 12, 13, 14, 15, 16, 17, 18, 19};
  const std::vector<uint8_t> bottom = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<uint8_t> topFirst = top, bottomFirst = bottom;
  topFirst.insert(topFirst.end(), bottom.begin(), bottom.end());
  bottomFirst.insert(bottomFirst.end(), top.begin(), top.end());
  // 2 x 1 at 32 bits with arbitrary fourth bytes.
  const std::vector<uint8_t> rows32 = {3, 2, 1, 99, 6, 5, 4, 0};
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int32_t width, height;
    std::vector<uint8_t> pixels;
  };
  const Case cases[] = {
      {"24 bits bottom-up", MakeBmp(3, 2, 24, 0, rows24, false), 3, 2, topFirst},
      {"24 bits top-down", MakeBmp(3, -2, 24, 0, rows24, false), 3, 2, bottomFirst},
      {"32 bits", MakeBmp(2, 1, 32, 0, rows32, false), 2, 1, {1, 2, 3, 4, 5, 6}},
      {"32 bits with masks", MakeBmp(2, 1, 32, 3, rows32, true), 2, 1, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath("read.bmp");
    WriteBytes(path, c.file);
    LoadedImage image;
    ASSERT_TRUE(ReadBmp(path.c_str(), &image));
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    EXPECT_EQ(image.layout, PixelLayout::kRgb);
    EXPECT_EQ(image.pixels, c.pixels);
  }
}

TEST(ImageFilesTest, RefusesDamagedFilesAndLeavesResultUntouched) {
  std::vector<uint8_t> truncatedBmp = MakeBmp(3, 2, 24, 0, std::vector<uint8_t>(12, 0), false);
  std::vector<uint8_t> hugeBmp = MakeBmp(1 << 15, 1 << 15, 32, 0, {}, false);
  std::vector<uint8_t> rleBmp = MakeBmp(2, 1, 32, 1, std::vector<uint8_t>(8, 0), false);
  std::vector<uint8_t> oddMasks = MakeBmp(2, 1, 32, 3, std::vector<uint8_t>(8, 0), true);
  oddMasks[54] = 0xFF;  // red mask no longer 0x00FF0000
  std::vector<uint8_t> eightBit = MakeBmp(4, 1, 8, 0, std::vector<uint8_t>(4, 0), false);
  struct Case {
    const char* name;
    bool bmp;
    std::vector<uint8_t> file;
  };
  const Case cases[] = {
      {"empty", false, {}},
      {"ascii pnm", false, Text("P3\n1 1\n255\n1 2 3\n")},
      {"short samples", false, Text("P6\n2 2\n255\n123456789")},
      {"no samples", false, Text("P5\n1 1\n255")},
      {"deep pnm", false, Text("P5\n1 1\n65535\n\1\2")},
      {"zero width", false, Text("P5\n0 1\n255\n")},
      {"huge pnm", false, Text("P5\n65536 65536\n255\n")},
      {"number overflow", false, Text("P5\n99999999999999999999 1\n255\n")},
      {"header cut", false, Text("P5\n12")},
      {"not bmp", true, Text("PK\3\4 and some more bytes to pass fifty-four in all, surely")},
      {"bmp truncated", true, truncatedBmp},
      {"bmp huge", true, hugeBmp},
      {"bmp run-length", true, rleBmp},
      {"bmp masks", true, oddMasks},
      {"bmp 8 bits", true, eightBit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath("damaged");
    WriteBytes(path, c.file);
    LoadedImage image;
    image.width = 77;
    image.pixels = {42};
    EXPECT_FALSE(c.bmp ? ReadBmp(path.c_str(), &image) : ReadPnm(path.c_str(), &image));
    EXPECT_EQ(image.width, 77);
    EXPECT_EQ(image.pixels, std::vector<uint8_t>{42});
  }
  LoadedImage image;
  EXPECT_FALSE(ReadPnm(TempPath("missing").c_str(), &image));
  EXPECT_FALSE(ReadBmp(TempPath("missing").c_str(), &image));
}

TEST(ImageFilesTest, WritersProduceTheFormatsBytes) {
  // 2 x 1 blue-green-red-alpha pixels with a padded step.
  const uint8_t bgra[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE};
  ImageView view;
  view.pixels = bgra;
  view.step = 10;
  view.width = 2;
  view.height = 1;
  view.layout = PixelLayout::kBgra;
  const std::string path = TempPath("write");

  ASSERT_TRUE(WritePnm(path.c_str(), view));
  std::vector<uint8_t> want = Text("P6\n2 1\n255\n");
  Append(&want, {3, 2, 1, 7, 6, 5});
  EXPECT_EQ(ReadBytes(path), want);

  ASSERT_TRUE(WritePam(path.c_str(), view));
  want = Text("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n");
  Append(&want, {3, 2, 1, 4, 7, 6, 5, 8});
  EXPECT_EQ(ReadBytes(path), want);

  ASSERT_TRUE(WriteBmp(path.c_str(), view));
  const std::vector<uint8_t> bmp = ReadBytes(path);
  ASSERT_EQ(bmp.size(), 54u + 8u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[28], 32);  // bits a pixel
  EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()),
            (std::vector<uint8_t>{1, 2, 3, 0, 5, 6, 7, 0}));

  // 16-bit samples go big-endian.
  const uint16_t deep[] = {0x0102, 0x0FFF};
  ImageView gray;
  gray.pixels = reinterpret_cast<const uint8_t*>(deep);
  gray.step = 4;
  gray.width = 2;
  gray.height = 1;
  gray.layout = PixelLayout::kGray;
  gray.maxValue = 4095;
  ASSERT_TRUE(WritePnm(path.c_str(), gray));
  want = Text("P5\n2 1\n4095\n");
  Append(&want, {1, 2, 0x0F, 0xFF});
  EXPECT_EQ(ReadBytes(path), want);

  // Layouts a format cannot hold, deep BMP and bad views are refused.
  ImageView cmyk = view;
  cmyk.layout = PixelLayout::kCmyk;
  EXPECT_FALSE(WritePnm(path.c_str(), cmyk));
  EXPECT_FALSE(WriteBmp(path.c_str(), cmyk));
  EXPECT_TRUE(WritePam(path.c_str(), cmyk));
  EXPECT_FALSE(WriteBmp(path.c_str(), gray));
  ImageView narrowStep = view;
  narrowStep.step = 7;
  EXPECT_FALSE(WritePnm(path.c_str(), narrowStep));
  ImageView empty = view;
  empty.height = 0;
  EXPECT_FALSE(WritePam(path.c_str(), empty));
}

TEST(ImageFilesTest, RoundTripsThroughTheReaders) {
  // 5 x 3 so that 24-bit rows would need padding; colours distinct.
  std::vector<uint8_t> rgb(5 * 3 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37 + 11);
  ImageView view;
  view.pixels = rgb.data();
  view.step = 15;
  view.width = 5;
  view.height = 3;
  view.layout = PixelLayout::kRgb;
  const std::string ppm = TempPath("round.ppm"), bmp = TempPath("round.bmp");
  ASSERT_TRUE(WritePnm(ppm.c_str(), view));
  ASSERT_TRUE(WriteBmp(bmp.c_str(), view));
  LoadedImage fromPpm, fromBmp;
  ASSERT_TRUE(ReadPnm(ppm.c_str(), &fromPpm));
  ASSERT_TRUE(ReadBmp(bmp.c_str(), &fromBmp));
  EXPECT_EQ(fromPpm.pixels, rgb);
  EXPECT_EQ(fromBmp.pixels, rgb);
  EXPECT_EQ(fromBmp.width, 5);
  EXPECT_EQ(fromBmp.height, 3);
}

}  // namespace
}  // namespace vv
