// Output geometry and screen quads of the dewarp presenter.
#include "render/dewarp_geometry.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace vv {
namespace {

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// The image height scaled to width w, rounded half up: the 32-bit integer
// product goes through single precision before the rounding in double, which
// is what fixes the last row for odd sizes.
int32_t ScaledHeight(int32_t w, uint32_t imageWidth, uint32_t imageHeight) {
  if (imageWidth == 0) return 0;
  const int32_t product = static_cast<int32_t>(imageHeight * static_cast<uint32_t>(w));
  const float ratio = static_cast<float>(product) / static_cast<float>(imageWidth);
  const double rounded = std::floor(static_cast<double>(ratio) + 0.5);
  if (!(rounded < 2147483647.0)) return std::numeric_limits<int32_t>::max();
  if (!(rounded > -2147483648.0)) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

int32_t Band(int32_t aspectMode, int32_t w) {
  const int64_t wide = w;
  switch (aspectMode) {
    case 1:
      return Saturate(wide * 3 / 4);
    case 2:
      return Saturate(wide * 9 / 16);
    case 3:
      return Saturate(wide * 10 / 16);
    default:
      return 0;
  }
}

}  // namespace

OutputGeometry ComputeOutputGeometry(uint32_t composition, uint32_t effect, int32_t aspectMode,
                                     int32_t requestedWidth, uint32_t imageWidth,
                                     uint32_t imageHeight) {
  const int32_t w = requestedWidth;
  const int32_t hh = ScaledHeight(w, imageWidth, imageHeight);
  const bool banded = aspectMode >= 1 && aspectMode <= 3;
  const int32_t band = Band(aspectMode, w);
  const int32_t doubleWidth = Saturate(2 * int64_t{w});
  OutputGeometry g{w, hh, hh, 0};
  switch (composition) {
    case 1:
      if (banded) {
        g.outputHeight = band;
        if (band < hh) g.outputTop = Saturate((int64_t{hh} - band) / 2);
      }
      break;
    case 2: {
      const int32_t half = effect == 1 ? hh / 2 : (banded ? band : hh);
      g.backBufferWidth = doubleWidth;
      g.backBufferHeight = Saturate(2 * int64_t{half});
      g.outputHeight = g.backBufferHeight;
      break;
    }
    case 4:
      g.backBufferWidth = doubleWidth;
      g.backBufferHeight = Saturate(2 * int64_t{hh});
      g.outputHeight = g.backBufferHeight;
      break;
    default:
      break;
  }
  return g;
}

void WriteQuadVertices(float imageWidth, float imageHeight, QuadVertex out[kQuadVertexCount]) {
  const float w = imageWidth;
  const float h = imageHeight;
  const float hw = w / 2.0f;
  const float hh = h / 2.0f;
  // Left, top, right, bottom of each quad.
  const float quads[5][4] = {
      {0, 0, w, h}, {0, 0, hw, hh}, {hw, 0, w, hh}, {0, hh, hw, h}, {hw, hh, w, h}};
  for (int q = 0; q < 5; ++q) {
    const float l = quads[q][0], t = quads[q][1], r = quads[q][2], b = quads[q][3];
    const QuadVertex fan[4] = {{l, t, 0, 0xFFFFFFFFu, 0, 0},
                               {r, t, 0, 0xFFFFFFFFu, 1, 0},
                               {r, b, 0, 0xFFFFFFFFu, 1, 1},
                               {l, b, 0, 0xFFFFFFFFu, 0, 1}};
    for (int i = 0; i < 4; ++i) out[q * 4 + i] = fan[i];
  }
}

}  // namespace vv
