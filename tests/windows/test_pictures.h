// Pictures of any size with fine detail, as JPEG samples the viewer can
// decode: lossless (SOF3) JFIF, so every pixel can differ from its
// neighbours. The viewer decodes only YCbCr colour frames into its pictures
// (an RGB frame leaves them untouched), so tests take the decoded picture
// from an unmasked render and compare everything else against it.
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

// A picture whose channels all differ from pixel to pixel and from each
// other, so a position or channel mix-up shows; green and blue stay within
// 96..159 so that, read as chroma, they rarely saturate. `seed` varies it.
TestPicture PatternPicture(int width, int height, int seed = 0);

// The picture as a lossless JFIF JPEG whose Y, Cb and Cr samples are the
// picture's red, green and blue bytes. With `gray`, one component: the red
// bytes.
std::vector<uint8_t> EncodeLosslessJpeg(const TestPicture& picture, bool gray = false);

// A top-down copy of a lent 32-bit picture (bottom-up when biHeight > 0).
TestPicture CopyLentPicture(const void* header, const uint8_t* pixels);

// Number of pixels whose blue, green or red differ (the fourth byte has no
// meaning); the first few differences are added to `report`.
int CountDifferentPixels(const TestPicture& want, const TestPicture& got, std::string* report);
