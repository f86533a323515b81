#include "decoder_test_util.h"

#include <cmath>
#include <cstdlib>

#include "jpeg/streams.h"

namespace vv::test {

DecodedPicture DecodeJpeg(CJPEGDecoder* decoder, const std::vector<uint8_t>& jpeg,
                          const OutputRequest& request) {
  DecodedPicture picture;
  CMemBuffInput memory(jpeg.data(), static_cast<int32_t>(jpeg.size()));
  decoder->ReleaseFrame();
  decoder->InitFrame();
  decoder->input.Attach(&memory, 16384);
  picture.headerStatus = decoder->Decode(0);
  if (picture.headerStatus != 0 || decoder->mode == 0) {
    decoder->input.Attach(nullptr, 16);
    return picture;
  }
  decoder->SetupGeometry();
  // Lossless frames and 16-bit output come at full size whatever the scale.
  const bool fullSize = request.dstPrecision > 8 || decoder->mode == kFrameLossless;
  const int32_t divisor = fullSize ? 1 : 1 << request.scale;
  picture.width = (decoder->width + divisor - 1) / divisor;
  picture.height = (decoder->height + divisor - 1) / divisor;
  const int32_t color = request.dstColor;  // as coded, gray, RGB, BGR, YUY2, then four-sample orders
  picture.channels = color == 0 ? decoder->componentCount : color == 1 ? 1 : color == 4 ? 2 : color <= 3 ? 3 : 4;
  const int32_t sampleBytes = request.dstPrecision > 8 ? 2 : 1;
  picture.step = (picture.width * picture.channels * sampleBytes + 3) & ~3;
  picture.pixels.assign(static_cast<size_t>(picture.step) * picture.height + 64, 0xA5);
  decoder->dstPlanes[0] = picture.pixels.data();
  decoder->dstSteps[0] = picture.step;
  if (request.planarOutput) {
    picture.planes.resize(decoder->componentCount);
    picture.planeSteps.resize(decoder->componentCount);
    for (int32_t k = 0; k < decoder->componentCount; ++k) {
      const int32_t hr = decoder->components[k].hRatio * divisor;
      const int32_t vr = decoder->components[k].vRatio * divisor;
      const int32_t w = (decoder->width + hr - 1) / hr, h = (decoder->height + vr - 1) / vr;
      picture.planeSteps[k] = (w * sampleBytes + 3) & ~3;
      picture.planes[k].assign(static_cast<size_t>(picture.planeSteps[k]) * h + 64, 0xA5);
      decoder->dstPlanes[k] = picture.planes[k].data();
      decoder->dstSteps[k] = picture.planeSteps[k];
    }
  }
  decoder->dstWidth = picture.width;
  decoder->dstHeight = picture.height;
  decoder->dstChannels = picture.channels;
  decoder->dstColor = request.dstColor;
  decoder->dstPrecision = request.dstPrecision;
  decoder->keep422 = request.keep422;
  decoder->planarOutput = request.planarOutput;
  decoder->scale = request.scale;
  decoder->sparseIdct = request.sparseIdct;
  picture.status = decoder->Decode(1);
  // The memory stream dies with this frame: never leave the decoder on it.
  decoder->input.Attach(nullptr, 16);
  return picture;
}

DecodedPicture DecodeJpeg(const std::vector<uint8_t>& jpeg, const OutputRequest& request) {
  CJPEGDecoder decoder;
  return DecodeJpeg(&decoder, jpeg, request);
}

std::vector<uint8_t> SyntheticRgb(int width, int height, int seed) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 12345u + static_cast<uint32_t>(seed) * 7919u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = static_cast<int>((noise >> 16) & 15) - 8;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      const double fx = width > 1 ? double(x) / (width - 1) : 0.5;
      const double fy = height > 1 ? double(y) / (height - 1) : 0.5;
      p[0] = static_cast<uint8_t>(std::lround(30 + 190 * fx) + n);
      p[1] = static_cast<uint8_t>(std::lround(128 + 100 * std::sin(6.0 * fy + seed)) + n);
      p[2] = static_cast<uint8_t>(std::lround(200 - 150 * fx * fy) + ((x / 8 + y / 8) % 2) * 20);
    }
  }
  return rgb;
}

Difference Compare(const uint8_t* a, int32_t aStep, const uint8_t* b, int32_t bStep, int width,
                   int height, int channels) {
  Difference result;
  double squared = 0;
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width * channels; ++i) {
      const int d = std::abs(int(a[static_cast<size_t>(y) * aStep + i]) -
                             int(b[static_cast<size_t>(y) * bStep + i]));
      if (d > result.maxDiff) result.maxDiff = d;
      squared += double(d) * d;
    }
  }
  const double mse = squared / (double(width) * height * channels);
  result.psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  return result;
}

}  // namespace vv::test
