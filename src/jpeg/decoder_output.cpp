// Output of reconstructed MCU rows: colour conversion into the caller's
// interleaved bitmap, or planar copies of the components.
#include <algorithm>
#include <cstdint>

#include "jpeg/decoder.h"
#include "primitives/colour.h"
#include "primitives/data_movement.h"

namespace vv {

// Lines are written top-down, line y of the (scaled) picture at
// dstPlanes[0] + y * dstSteps[0]. The owner answers for a destination of
// dstHeight lines of dstSteps[0] bytes; as a guard, no line at or beyond
// dstHeight is written when dstHeight is set, and no line is wider than the
// decoded planes.
int32_t CJPEGDecoder::ConvertRow(int32_t row) {
  const int32_t divisor = std::max(1, scaleDivisor);
  const int32_t lines = row == mcusDown - 1 ? mcuHeight - padY : mcuHeight;
  int32_t outLines = (lines + divisor - 1) / divisor;
  const int32_t firstLine = mcuHeight * row / divisor;
  if (dstHeight > 0) outLines = std::min(outLines, dstHeight - firstLine);
  if (outLines <= 0) return 0;
  const int32_t planeSamples = paddedWidth / divisor;
  const int32_t samples = std::min(dstWidth, planeSamples);
  const ImageSize size{samples, outLines};
  uint8_t* dst = dstPlanes[0] == nullptr
                     ? nullptr
                     : dstPlanes[0] + static_cast<int64_t>(firstLine) * dstSteps[0];
  const int32_t step = dstSteps[0];
  const bool wide = dstPrecision > 8;
  const int32_t srcStep = components[0].planeStep;
  const uint8_t* p[4] = {components[0].plane.data, components[1].plane.data,
                         components[2].plane.data, components[3].plane.data};
  auto wideCopy = [&](int32_t plane) {
    return CopyImage16(reinterpret_cast<const int16_t*>(p[plane]), srcStep,
                       reinterpret_cast<int16_t*>(dst), step, size);
  };
  auto interleave3 = [&](int32_t a, int32_t b, int32_t c) {
    if (wide) {
      const uint16_t* src[3] = {reinterpret_cast<const uint16_t*>(p[a]),
                                reinterpret_cast<const uint16_t*>(p[b]),
                                reinterpret_cast<const uint16_t*>(p[c])};
      return PlanarToPixel3x16u(src, srcStep, reinterpret_cast<uint16_t*>(dst), step, size);
    }
    const uint8_t* src[3] = {p[a], p[b], p[c]};
    return PlanarToPixel3x8u(src, srcStep, dst, step, size);
  };
  auto interleave4 = [&]() {
    if (wide) {
      const uint16_t* src[4] = {
          reinterpret_cast<const uint16_t*>(p[0]), reinterpret_cast<const uint16_t*>(p[1]),
          reinterpret_cast<const uint16_t*>(p[2]), reinterpret_cast<const uint16_t*>(p[3])};
      return PlanarToPixel4x16u(src, srcStep, reinterpret_cast<uint16_t*>(dst), step, size);
    }
    return PlanarToPixel4x8u(p, srcStep, dst, step, size);
  };
  auto copy = [&]() { return wide ? wideCopy(0) : CopyImage8u(p[0], srcStep, dst, step, size); };

  int32_t status = 0;
  switch (colorSpace) {
    case kColorUnknown:
      if (dstColor != kOutAsIs) break;
      if (componentCount == 1) {
        status = copy();
      } else if (componentCount == 3) {
        status = interleave3(0, 1, 2);
      } else if (componentCount == 4) {
        status = interleave4();
      } else {
        return -1;
      }
      break;
    case kColorGray:
      // A gray picture asked for as RGB or BGR gets its one plane in all
      // three channels, rather than reading planes the frame lacks.
      if (dstColor == kOutGray) status = copy();
      if (dstColor == kOutRgb || dstColor == kOutBgr) status = interleave3(0, 0, 0);
      break;
    case kColorRgb:
      if (dstColor == kOutRgb) status = interleave3(0, 1, 2);
      if (dstColor == kOutBgr) status = interleave3(2, 1, 0);
      break;
    case kColorYCbCr:
      if (dstColor == kOutGray) {
        status = copy();
        break;
      }
      if (wide) break;  // the colour formulas exist for 8-bit samples only
      if (dstColor == kOutRgb) status = YCbCrToRgb(p, srcStep, dst, step, size);
      if (dstColor == kOutBgr) status = YCbCrToBgr(p, srcStep, dst, step, size);
      if (dstColor == kOutRgba) status = YCbCrToRgbaVideo(p, srcStep, dst, step, size, 255);
      if (dstColor == kOutBgra) status = YCbCrToBgraVideo(p, srcStep, dst, step, size, 255);
      if (dstColor == kOutYuy2 && samplingClass == 1 && keep422) {
        const int32_t steps[3] = {components[0].planeStep, components[1].planeStep,
                                  components[2].planeStep};
        status = YCbCr422ToYuy2(p, steps, dst, step, size);
      }
      break;
    case kColorCmyk:
      if (dstColor == kOutCmyk) status = interleave4();
      break;
    case kColorYcck:
      if (dstColor == kOutCmyk && !wide) status = YcckToCmyk(p, srcStep, dst, step, size);
      break;
    default:
      break;
  }
  return status == 0 ? 0 : -2;
}

// Each component at its own resolution into dstPlanes[k], line after line.
// Only the component's real samples are copied (its share of the picture
// width, rounded up), not the padding of the last MCU column, so planes sized
// for the picture are never overrun. Sampling ratios other than 1x1, 2x1 and
// 2x2 have no planar form here: -1.
int32_t CJPEGDecoder::OutputPlanarRow(int32_t row) {
  const int32_t divisor = std::max(1, scaleDivisor);
  const bool lastRow = row == mcusDown - 1;
  if (precision > 8) {
    const int32_t lines = lastRow ? mcuHeight - padY : mcuHeight;
    for (int32_t k = 0; k < componentCount; ++k) {
      CJPEGColorComponent& component = components[k];
      if (dstPlanes[k] == nullptr) return -2;
      uint8_t* dst = dstPlanes[k] + static_cast<int64_t>(mcuHeight) * row * dstSteps[k];
      if (CopyImage16(reinterpret_cast<const int16_t*>(component.plane.data), component.planeStep,
                      reinterpret_cast<int16_t*>(dst), dstSteps[k],
                      {std::min(dstWidth, width), lines}) != 0) {
        return -2;
      }
    }
    return 0;
  }
  for (int32_t k = 0; k < componentCount; ++k) {
    CJPEGColorComponent& component = components[k];
    const uint8_t* source = nullptr;
    int32_t sourceStep = 0, lineCount = 0, lines = 0;
    const int32_t hRatio = component.hRatio, vRatio = component.vRatio;
    if (hRatio == 1 && vRatio == 1) {
      source = component.plane.data;
      sourceStep = component.planeStep;
      lineCount = component.ownLines;
      lines = lineCount - (lastRow ? padY : 0);
    } else if (hRatio == 2 && vRatio == 1) {
      source = component.ownPlane.data;
      sourceStep = component.ownStep;
      lineCount = component.ownLines;
      lines = lineCount - (lastRow ? padY : 0);
    } else if (hRatio == 2 && vRatio == 2) {
      // Below the upsampler's top margin line.
      source = component.ownPlane.data + component.ownStep;
      sourceStep = component.ownStep;
      lineCount = component.ownLines - 2;
      lines = lineCount - (lastRow ? padY / 2 : 0);
    } else {
      return -1;
    }
    const int32_t componentWidth = (width + hRatio - 1) / hRatio;
    const ImageSize size{(componentWidth + divisor - 1) / divisor, (lines + divisor - 1) / divisor};
    if (size.height <= 0) continue;
    if (dstPlanes[k] == nullptr) return -2;
    uint8_t* dst = dstPlanes[k] + static_cast<int64_t>(dstSteps[k]) * lineCount * row / divisor;
    if (CopyImage8u(source, sourceStep, dst, dstSteps[k], size) != 0) return -2;
  }
  return 0;
}

}  // namespace vv
