#include "test_pictures.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// T.81 Table K.3: code lengths and values of the luminance DC table, which
// also codes lossless differences of 8-bit samples (categories 0 to 8 used).
const uint8_t kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

struct Code {
  uint16_t bits;
  int length;
};

// T.81 Annex C: codes of consecutive lengths counting up from 0.
void BuildCodes(Code codes[12]) {
  uint16_t code = 0;
  int k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < kDcBits[length - 1]; ++i) codes[kDcValues[k++]] = {code++, length};
    code <<= 1;
  }
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>(byte_ << 1 | ((value >> i) & 1));
      if (++filled_ == 8) Flush();
    }
  }
  void Finish() {
    while (filled_ != 0) Put(1, 1);  // pad with 1-bits
  }

 private:
  void Flush() {
    out_->push_back(byte_);
    if (byte_ == 0xFF) out_->push_back(0x00);  // stuffed zero byte
    byte_ = 0;
    filled_ = 0;
  }
  std::vector<uint8_t>* out_;
  uint8_t byte_ = 0;
  int filled_ = 0;
};

void Segment(std::vector<uint8_t>* out, uint8_t code, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 2;
  out->insert(out->end(), {0xFF, code, uint8_t(length >> 8), uint8_t(length)});
  out->insert(out->end(), body.begin(), body.end());
}

}  // namespace

TestPicture PatternPicture(int width, int height, int seed) {
  TestPicture p;
  p.width = width;
  p.height = height;
  p.bgrx.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* px = p.At(x, y);
      px[2] = static_cast<uint8_t>(x * 3 + y + seed);               // red
      px[1] = static_cast<uint8_t>(96 + ((x + y * 5 + seed * 7) & 63));         // green
      px[0] = static_cast<uint8_t>(96 + (((x ^ y) * 7 + seed * 13) & 63));      // blue
      px[3] = 0;
    }
  }
  return p;
}

std::vector<uint8_t> EncodeLosslessJpeg(const TestPicture& picture, bool gray) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  Segment(&out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0});
  const int w = picture.width, h = picture.height;
  const uint8_t n = gray ? 1 : 3;
  std::vector<uint8_t> sof = {8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w), n};
  // Predictor 1 (left), no point transform; every component on table 0.
  std::vector<uint8_t> sos = {n};
  for (uint8_t id = 1; id <= n; ++id) {
    sof.insert(sof.end(), {id, 0x11, 0});
    sos.insert(sos.end(), {id, 0x00});
  }
  sos.insert(sos.end(), {1, 0, 0});
  Segment(&out, 0xC3, sof);
  std::vector<uint8_t> dht = {0x00};
  dht.insert(dht.end(), kDcBits, kDcBits + 16);
  dht.insert(dht.end(), kDcValues, kDcValues + 12);
  Segment(&out, 0xC4, dht);
  Segment(&out, 0xDA, sos);
  Code codes[12];
  BuildCodes(codes);
  BitWriter bits(&out);
  static const int kChannelOfComponent[3] = {2, 1, 0};  // Y, Cb, Cr from R, G, B
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < n; ++c) {
        const int channel = kChannelOfComponent[c];
        // T.81 H.1.2.1: 128 for the first sample, the left neighbour on the
        // first line, the one above at the start of the other lines.
        const int predicted = x > 0   ? picture.At(x - 1, y)[channel]
                              : y > 0 ? picture.At(x, y - 1)[channel]
                                      : 128;
        const int diff = picture.At(x, y)[channel] - predicted;
        int magnitude = std::abs(diff), category = 0;
        while (magnitude != 0) {
          ++category;
          magnitude >>= 1;
        }
        bits.Put(codes[category].bits, codes[category].length);
        if (category > 0) {
          bits.Put(static_cast<uint32_t>(diff > 0 ? diff : diff + (1 << category) - 1), category);
        }
      }
    }
  }
  bits.Finish();
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

TestPicture CopyLentPicture(const void* header, const uint8_t* pixels) {
  const auto* info = static_cast<const BITMAPINFOHEADER*>(header);
  TestPicture p;
  p.width = info->biWidth;
  p.height = info->biHeight < 0 ? -info->biHeight : info->biHeight;
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
      const uint8_t* a = want.At(x, y);
      const uint8_t* b = got.At(x, y);
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
