// vvencode: compresses one PPM (P6, or P5 gray) or BMP picture with the
// project's encoder, as capture does: blue-green-red rows, 4:2:2, the Annex K
// tables scaled by the quality number (0 keeps them unscaled).
//   vvencode [--quality Q] [--comment TEXT] INPUT.(ppm|pgm|bmp) OUTPUT.jpg
// Exit status 0 success, 1 an encoding or file failure, 2 a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image_files.h"
#include "jpeg/encoder.h"
#include "jpeg/streams.h"
#include "primitives/processor_level.h"

namespace {

const char kUsage[] =
    "usage: vvencode [--quality Q] [--comment TEXT] INPUT.(ppm|pgm|bmp) OUTPUT.jpg\n"
    "Q: 0..100 (default 75; 0 writes the standard tables unscaled).\n";

// An output stream that grows with what it is given, so a file of any
// size fits (capture's fixed buffer is the other possible owner).
class GrowingOutput : public vv::CBaseStreamOutput {
 public:
  int32_t Open() override { return -1; }
  int32_t Close() override { return 0; }
  int32_t Write(const uint8_t* source, int32_t count, int32_t* countWritten) override {
    bytes.insert(bytes.end(), source, source + count);
    *countWritten = count;
    return 0;
  }
  std::vector<uint8_t> bytes;
};

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Interleaved blue, green, red rows of the picture (gray samples repeated).
std::vector<uint8_t> ToBgr(const vv::LoadedImage& image) {
  const size_t pixels = static_cast<size_t>(image.width) * image.height;
  std::vector<uint8_t> bgr(pixels * 3);
  const bool gray = image.layout == vv::PixelLayout::kGray;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* in = &image.pixels[gray ? i : 3 * i];
    bgr[3 * i + 0] = gray ? in[0] : in[2];
    bgr[3 * i + 1] = gray ? in[0] : in[1];
    bgr[3 * i + 2] = in[0];
  }
  return bgr;
}

}  // namespace

int main(int argc, char** argv) {
  vv::SelectProcessorLevel();  // the primitives the library would use here
  long quality = 75;
  const char* comment = nullptr;
  int arg = 1;
  for (; arg + 1 < argc && std::strncmp(argv[arg], "--", 2) == 0; arg += 2) {
    if (std::strcmp(argv[arg], "--quality") == 0) {
      char* end = nullptr;
      quality = std::strtol(argv[arg + 1], &end, 10);
      if (*end != '\0' || quality < 0 || quality > 100) {
        std::fputs(kUsage, stderr);
        return 2;
      }
    } else if (std::strcmp(argv[arg], "--comment") == 0) {
      comment = argv[arg + 1];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (argc - arg != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string input = argv[arg];
  const char* output = argv[arg + 1];
  if (comment != nullptr && std::strlen(comment) > 65533) {
    std::fputs("vvencode: the comment is longer than 65533 bytes\n", stderr);
    return 2;
  }

  vv::LoadedImage image;
  const bool loaded = EndsWith(input, ".bmp") || EndsWith(input, ".BMP")
                          ? vv::ReadBmp(input.c_str(), &image)
                          : vv::ReadPnm(input.c_str(), &image);
  if (!loaded) {
    std::fprintf(stderr, "vvencode: cannot read %s (binary PPM/PGM or 24/32-bit BMP)\n",
                 input.c_str());
    return 1;
  }
  const std::vector<uint8_t> bgr = ToBgr(image);

  std::unique_ptr<vv::CJPEGEncoder> encoder(new vv::CJPEGEncoder());
  GrowingOutput stream;
  encoder->Reset();
  encoder->srcData = bgr.data();
  encoder->width = image.width;
  encoder->height = image.height;
  encoder->srcStep = image.width * 3;
  encoder->srcPrecision = 8;
  encoder->srcChannels = 3;
  encoder->srcColor = 3;
  int32_t status = encoder->SetParams(static_cast<uint32_t>(quality));
  if (status == 0) {
    encoder->bitOutput.Release();
    encoder->bitOutput.stream = &stream;
    if (comment != nullptr) {
      encoder->comment = reinterpret_cast<const uint8_t*>(comment);
      encoder->commentLength = static_cast<int32_t>(std::strlen(comment));
    }
    status = encoder->WriteHeader();
  }
  if (status == 0) status = encoder->WriteData();
  if (status != 0) {
    std::fprintf(stderr, "vvencode: encoding failed with status %d\n", static_cast<int>(status));
    return 1;
  }

  FILE* file = std::fopen(output, "wb");
  bool written = file != nullptr &&
                 std::fwrite(stream.bytes.data(), 1, stream.bytes.size(), file) ==
                     stream.bytes.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) {
    std::fprintf(stderr, "vvencode: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
