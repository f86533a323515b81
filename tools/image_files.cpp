#include "image_files.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace vv {
namespace {

// Positions of red, green and blue inside a pixel of the layout, -1 for
// layouts without them.
struct ColourOrder {
  int32_t red, green, blue;
};

bool ColourOrderOf(PixelLayout layout, ColourOrder* order) {
  switch (layout) {
    case PixelLayout::kRgb:
    case PixelLayout::kRgba:
      *order = {0, 1, 2};
      return true;
    case PixelLayout::kBgr:
    case PixelLayout::kBgra:
    case PixelLayout::kBgrx:
      *order = {2, 1, 0};
      return true;
    case PixelLayout::kGray:
      *order = {0, 0, 0};
      return true;
    default:
      return false;
  }
}

bool ViewIsUsable(const ImageView& image) {
  if (image.pixels == nullptr || image.width < 1 || image.height < 1) return false;
  if (image.maxValue < 1 || image.maxValue > 65535) return false;
  const int64_t sampleBytes = image.maxValue > 255 ? 2 : 1;
  const int64_t rowBytes = int64_t{image.width} * LayoutChannels(image.layout) * sampleBytes;
  return image.step >= rowBytes;
}

int32_t SampleBytes(const ImageView& image) { return image.maxValue > 255 ? 2 : 1; }

uint32_t SampleAt(const ImageView& image, int32_t x, int32_t y, int32_t channel) {
  const uint8_t* row = image.pixels + int64_t{y} * image.step;
  const int64_t index = int64_t{x} * LayoutChannels(image.layout) + channel;
  if (SampleBytes(image) == 1) return row[index];
  uint16_t value;
  std::memcpy(&value, row + index * 2, 2);
  return value;
}

void AppendSample(std::vector<uint8_t>* out, uint32_t value, int32_t sampleBytes) {
  if (sampleBytes == 2) out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value));
}

void AppendLittle(std::vector<uint8_t>* out, uint32_t value, int32_t bytes) {
  for (int32_t i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

// The whole file, or false when it cannot be read or exceeds `limit` bytes.
bool ReadWholeFile(const char* path, size_t limit, std::vector<uint8_t>* bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  size_t got;
  bool ok = true;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (data.size() + got > limit) {
      ok = false;
      break;
    }
    data.insert(data.end(), chunk, chunk + got);
  }
  if (std::ferror(file)) ok = false;
  std::fclose(file);
  if (ok) bytes->swap(data);
  return ok;
}

// Pixel rows as the file stores them, samples in file order.
void AppendPixels(const ImageView& image, const int32_t* channelOrder, int32_t channels,
                  std::vector<uint8_t>* out) {
  const int32_t sampleBytes = SampleBytes(image);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      for (int32_t c = 0; c < channels; ++c) {
        AppendSample(out, SampleAt(image, x, y, channelOrder[c]), sampleBytes);
      }
    }
  }
}

void AppendText(std::vector<uint8_t>* out, const std::string& text) {
  out->insert(out->end(), text.begin(), text.end());
}

// Reads the unsigned decimal number of a PNM header at *pos, skipping
// whitespace and comments first. False at the end of the data or for
// numbers above 65535 * 65536.
bool ReadHeaderNumber(const std::vector<uint8_t>& data, size_t* pos, int64_t* number) {
  size_t p = *pos;
  for (;;) {
    if (p >= data.size()) return false;
    if (data[p] == '#') {
      while (p < data.size() && data[p] != '\n' && data[p] != '\r') ++p;
    } else if (data[p] == ' ' || data[p] == '\t' || data[p] == '\n' || data[p] == '\r' ||
               data[p] == '\v' || data[p] == '\f') {
      ++p;
    } else {
      break;
    }
  }
  if (data[p] < '0' || data[p] > '9') return false;
  int64_t value = 0;
  while (p < data.size() && data[p] >= '0' && data[p] <= '9') {
    value = value * 10 + (data[p] - '0');
    if (value > (int64_t{65535} << 16)) return false;
    ++p;
  }
  *pos = p;
  *number = value;
  return true;
}

uint32_t LittleAt(const std::vector<uint8_t>& data, size_t offset, int32_t bytes) {
  uint32_t value = 0;
  for (int32_t i = bytes - 1; i >= 0; --i) value = (value << 8) | data[offset + i];
  return value;
}

bool SizeIsAcceptable(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width * height <= kMaxLoadedPixels;
}

}  // namespace

int32_t LayoutChannels(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::kGray: return 1;
    case PixelLayout::kRgb:
    case PixelLayout::kBgr: return 3;
    default: return 4;
  }
}

bool WritePnm(const char* path, const ImageView& image) {
  if (!ViewIsUsable(image)) return false;
  ColourOrder order;
  if (image.layout == PixelLayout::kGray) {
    std::vector<uint8_t> out;
    AppendText(&out, "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) +
                         "\n" + std::to_string(image.maxValue) + "\n");
    const int32_t channelOrder[1] = {0};
    AppendPixels(image, channelOrder, 1, &out);
    return WriteWholeFile(path, out);
  }
  if (!ColourOrderOf(image.layout, &order)) return false;
  std::vector<uint8_t> out;
  AppendText(&out, "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) +
                       "\n" + std::to_string(image.maxValue) + "\n");
  const int32_t channelOrder[3] = {order.red, order.green, order.blue};
  AppendPixels(image, channelOrder, 3, &out);
  return WriteWholeFile(path, out);
}

bool WritePam(const char* path, const ImageView& image) {
  if (!ViewIsUsable(image)) return false;
  const char* tupleType = nullptr;
  int32_t channelOrder[4] = {0, 1, 2, 3};
  switch (image.layout) {
    case PixelLayout::kGray: tupleType = "GRAYSCALE"; break;
    case PixelLayout::kRgb: tupleType = "RGB"; break;
    case PixelLayout::kBgr:
      tupleType = "RGB";
      channelOrder[0] = 2;
      channelOrder[2] = 0;
      break;
    case PixelLayout::kRgba: tupleType = "RGB_ALPHA"; break;
    case PixelLayout::kBgra:
      tupleType = "RGB_ALPHA";
      channelOrder[0] = 2;
      channelOrder[2] = 0;
      break;
    case PixelLayout::kBgrx:
      tupleType = "RGB";
      channelOrder[0] = 2;
      channelOrder[2] = 0;
      break;
    case PixelLayout::kCmyk: tupleType = "CMYK"; break;
    case PixelLayout::kChannels4: break;
  }
  const int32_t channels = image.layout == PixelLayout::kBgrx ? 3 : LayoutChannels(image.layout);
  std::string header = "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " +
                       std::to_string(image.height) + "\nDEPTH " + std::to_string(channels) +
                       "\nMAXVAL " + std::to_string(image.maxValue) + "\n";
  if (tupleType != nullptr) header += std::string("TUPLTYPE ") + tupleType + "\n";
  header += "ENDHDR\n";
  std::vector<uint8_t> out;
  AppendText(&out, header);
  AppendPixels(image, channelOrder, channels, &out);
  return WriteWholeFile(path, out);
}

bool WriteBmp(const char* path, const ImageView& image) {
  if (!ViewIsUsable(image) || SampleBytes(image) != 1) return false;
  ColourOrder order;
  if (!ColourOrderOf(image.layout, &order)) return false;
  const int64_t pixelBytes = int64_t{image.width} * image.height * 4;
  if (pixelBytes > 0x7FFFFFFF - 54) return false;
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(54 + pixelBytes));
  // File header.
  out.push_back('B');
  out.push_back('M');
  AppendLittle(&out, static_cast<uint32_t>(54 + pixelBytes), 4);
  AppendLittle(&out, 0, 4);
  AppendLittle(&out, 54, 4);
  // Info header: BI_RGB, 32 bits, positive height for bottom-up rows.
  AppendLittle(&out, 40, 4);
  AppendLittle(&out, static_cast<uint32_t>(image.width), 4);
  AppendLittle(&out, static_cast<uint32_t>(image.height), 4);
  AppendLittle(&out, 1, 2);
  AppendLittle(&out, 32, 2);
  AppendLittle(&out, 0, 4);
  AppendLittle(&out, static_cast<uint32_t>(pixelBytes), 4);
  AppendLittle(&out, 2835, 4);  // 72 dots per inch
  AppendLittle(&out, 2835, 4);
  AppendLittle(&out, 0, 4);
  AppendLittle(&out, 0, 4);
  for (int32_t y = image.height - 1; y >= 0; --y) {
    for (int32_t x = 0; x < image.width; ++x) {
      out.push_back(static_cast<uint8_t>(SampleAt(image, x, y, order.blue)));
      out.push_back(static_cast<uint8_t>(SampleAt(image, x, y, order.green)));
      out.push_back(static_cast<uint8_t>(SampleAt(image, x, y, order.red)));
      // The fourth byte is reserved in an uncompressed 32-bit BMP; readers
      // that take it as alpha would otherwise see arbitrary transparency.
      out.push_back(0);
    }
  }
  return WriteWholeFile(path, out);
}

bool ReadPnm(const char* path, LoadedImage* image) {
  std::vector<uint8_t> data;
  if (!ReadWholeFile(path, static_cast<size_t>(kMaxLoadedPixels) * 3 + 4096, &data)) return false;
  if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return false;
  const int32_t channels = data[1] == '5' ? 1 : 3;
  size_t pos = 2;
  int64_t width, height, maxValue;
  if (!ReadHeaderNumber(data, &pos, &width) || !ReadHeaderNumber(data, &pos, &height) ||
      !ReadHeaderNumber(data, &pos, &maxValue)) {
    return false;
  }
  if (!SizeIsAcceptable(width, height) || maxValue < 1 || maxValue > 255) return false;
  // Exactly one whitespace byte separates the header from the samples.
  if (pos >= data.size()) return false;
  ++pos;
  const size_t bytes = static_cast<size_t>(width * height * channels);
  if (data.size() - pos < bytes) return false;
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->layout = channels == 1 ? PixelLayout::kGray : PixelLayout::kRgb;
  image->pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                       data.begin() + static_cast<std::ptrdiff_t>(pos + bytes));
  return true;
}

bool ReadBmp(const char* path, LoadedImage* image) {
  std::vector<uint8_t> data;
  if (!ReadWholeFile(path, static_cast<size_t>(kMaxLoadedPixels) * 4 + 65536, &data)) return false;
  if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
  const uint32_t pixelOffset = LittleAt(data, 10, 4);
  const uint32_t infoSize = LittleAt(data, 14, 4);
  const int64_t width = static_cast<int32_t>(LittleAt(data, 18, 4));
  const int64_t rawHeight = static_cast<int32_t>(LittleAt(data, 22, 4));
  const uint32_t planes = LittleAt(data, 26, 2);
  const uint32_t bitCount = LittleAt(data, 28, 2);
  const uint32_t compression = LittleAt(data, 30, 4);
  if (infoSize < 40 || planes != 1 || (bitCount != 24 && bitCount != 32)) return false;
  if (compression == 3) {
    // Bit fields follow a 40-byte header and sit at the same place inside
    // the longer headers; only the plain byte positions are accepted.
    if (bitCount != 32 || data.size() < 66) return false;
    if (LittleAt(data, 54, 4) != 0x00FF0000 || LittleAt(data, 58, 4) != 0x0000FF00 ||
        LittleAt(data, 62, 4) != 0x000000FF) {
      return false;
    }
  } else if (compression != 0) {
    return false;
  }
  const bool topDown = rawHeight < 0;
  const int64_t height = topDown ? -rawHeight : rawHeight;
  if (!SizeIsAcceptable(width, height)) return false;
  const int64_t pixelSize = bitCount / 8;
  const int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
  if (pixelOffset > data.size() ||
      static_cast<int64_t>(data.size() - pixelOffset) < rowBytes * (height - 1) + width * pixelSize) {
    return false;
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 3));
  for (int64_t y = 0; y < height; ++y) {
    const int64_t fileRow = topDown ? y : height - 1 - y;
    const uint8_t* source = data.data() + pixelOffset + fileRow * rowBytes;
    uint8_t* dest = pixels.data() + y * width * 3;
    for (int64_t x = 0; x < width; ++x) {
      dest[3 * x + 0] = source[pixelSize * x + 2];
      dest[3 * x + 1] = source[pixelSize * x + 1];
      dest[3 * x + 2] = source[pixelSize * x + 0];
    }
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->layout = PixelLayout::kRgb;
  image->pixels.swap(pixels);
  return true;
}

}  // namespace vv
