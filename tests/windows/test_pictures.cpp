#include "test_pictures.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jpeg_builder_util.h"

TestPicture PatternPicture(int width, int height, int seed) {
  TestPicture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* px = p.At(x, y);
      px[2] = static_cast<uint8_t>(x * 3 + y + seed);
      px[1] = static_cast<uint8_t>(96 + ((x + y * 5 + seed * 7) & 63));
      px[0] = static_cast<uint8_t>(96 + (((x ^ y) * 7 + seed * 13) & 63));
    }
  }
  return p;
}

std::vector<uint8_t> EncodeLosslessJpeg(const TestPicture& picture, bool gray) {
  vv::test::LosslessFrame frame;
  frame.width = picture.width;
  frame.height = picture.height;
  frame.jfif = true;
  std::vector<std::vector<int>> planes(gray ? 1 : 3);
  for (size_t k = 0; k < planes.size(); ++k) {  // Y, Cb, Cr from R, G, B
    for (size_t i = 0; i < picture.bgrx.size() / 4; ++i) planes[k].push_back(picture.bgrx[i * 4 + 2 - k]);
  }
  return vv::test::EncodeLossless(frame, planes);
}

TestPicture CopyLentPicture(const void* header, const uint8_t* pixels) {
  const auto* info = static_cast<const BITMAPINFOHEADER*>(header);
  TestPicture p{info->biWidth, std::abs(info->biHeight), {}};
  const size_t rowBytes = static_cast<size_t>(p.width) * 4;
  p.bgrx.resize(rowBytes * p.height);
  for (int y = 0; y < p.height; ++y) {
    const int source = info->biHeight > 0 ? p.height - 1 - y : y;
    std::memcpy(p.bgrx.data() + rowBytes * y, pixels + rowBytes * source, rowBytes);
  }
  return p;
}

int CountDifferentPixels(const TestPicture& want, const TestPicture& got, std::string* report) {
  if (want.width != got.width || want.height != got.height) {
    if (report) *report += "sizes differ";
    return want.width * want.height;
  }
  int count = 0;
  for (int y = 0; y < want.height; ++y) {
    for (int x = 0; x < want.width; ++x) {
      const uint8_t *a = want.At(x, y), *b = got.At(x, y);
      if (std::memcmp(a, b, 3) == 0) continue;
      if (++count <= 3 && report != nullptr) {
        char line[128];
        std::snprintf(line, sizeof line, " (%d,%d) want %d %d %d got %d %d %d;", x, y, a[0], a[1],
                      a[2], b[0], b[1], b[2]);
        *report += line;
      }
    }
  }
  return count;
}
