// libFuzzer target over the decoder's output forms: the last byte chooses
// the output description, the bytes before it are the JPEG stream; the
// guard bytes behind every output buffer must survive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "decoder_test_util.h"
#include "jpeg/decoder.h"
#include "jpeg/streams.h"

namespace {

constexpr int64_t kMaxFuzzedPixels = int64_t{1} << 20;

bool GuardIntact(const std::vector<uint8_t>& buffer) {
  if (buffer.size() < 64) return true;
  for (size_t i = buffer.size() - 64; i < buffer.size(); ++i)
    if (buffer[i] != 0xA5) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vv::CJPEGDecoder* decoder = new vv::CJPEGDecoder();
  if (size < 2 || size > 0x7FFFFFFF) return 0;
  const uint8_t options = data[size - 1];
  const std::vector<uint8_t> jpeg(data, data + size - 1);
  {
    vv::CMemBuffInput memory(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    decoder->ReleaseFrame();
    decoder->InitFrame();
    if (decoder->input.Attach(&memory, vv::kBitInputWindowSize) != 0) return 0;
    decoder->Decode(0);
    const bool huge = static_cast<int64_t>(decoder->width) * decoder->height > kMaxFuzzedPixels;
    decoder->input.Attach(nullptr, 16);
    if (huge) return 0;
  }
  static const int32_t kColors[] = {0, 1, 2, 3, 4, 5, 7, 8};
  vv::test::OutputRequest request;
  request.dstColor = kColors[options & 7];
  request.scale = (options >> 3) & 3;
  request.sparseIdct = (options >> 5) & 1;
  request.keep422 = request.dstColor == 4;
  request.planarOutput = (options >> 6) & 1;
  request.dstPrecision = (options >> 7) ? 16 : 8;
  const vv::test::DecodedPicture picture = vv::test::DecodeJpeg(decoder, jpeg, request);
  if (!GuardIntact(picture.pixels)) std::abort();
  for (const auto& plane : picture.planes)
    if (!GuardIntact(plane)) std::abort();
  return 0;
}
