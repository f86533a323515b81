// Detailed pictures as lossless JFIF samples; the viewer decodes YCbCr
// frames only, so tests compare against its own unmasked decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A top-down picture of blue, green, red, x pixels, rows of width * 4 bytes.
struct TestPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgrx;

  uint8_t* At(int x, int y) { return bgrx.data() + (static_cast<size_t>(y) * width + x) * 4; }
  const uint8_t* At(int x, int y) const {
    return bgrx.data() + (static_cast<size_t>(y) * width + x) * 4;
  }
};

struct Rect {
  int x, y, w, h;
};

// Channels differing per pixel and from each other (a mix-up shows); green
// and blue within 96..159 so that, as chroma, they rarely saturate.
TestPicture PatternPicture(int width, int height, int seed = 0);

// Lossless JFIF whose Y, Cb, Cr are the red, green, blue bytes (gray: red only).
std::vector<uint8_t> EncodeLosslessJpeg(const TestPicture& picture, bool gray = false);

// A top-down copy of a lent 32-bit picture (bottom-up when biHeight > 0).
TestPicture CopyLentPicture(const void* header, const uint8_t* pixels);

// Number of pixels whose blue, green or red differ (the fourth byte has no
// meaning); the first few differences are added to `report`.
int CountDifferentPixels(const TestPicture& want, const TestPicture& got, std::string* report);
