// Geometry of the dewarp presenter that needs no device: the back-buffer
// size and presented band for a composition, and the five screen quads.
// Portable code.
#pragma once

#include <cstdint>

namespace vv {

struct OutputGeometry {
  int32_t backBufferWidth;   // becomes the renderer's outputWidth
  int32_t backBufferHeight;
  int32_t outputHeight;      // rows of the presented band
  int32_t outputTop;         // first back-buffer row of the band
};

// The back buffer and band for the requested output width: the image height
// scaled to that width (hh), doubled in width for panorama and quad views;
// aspect modes 1, 2, 3 (4:3, 16:9, 16:10) cut a centred band out of the
// single view and set the panorama height (except the wall panorama, whose
// height is hh made even). Any other composition gets w x hh, presented
// whole. Arithmetic that would leave
// 32 bits saturates, so absurd widths give absurd sizes the device refuses
// rather than undefined behaviour. imageWidth 0 gives a zero-sized result.
OutputGeometry ComputeOutputGeometry(uint32_t composition, uint32_t effect, int32_t aspectMode,
                                     int32_t requestedWidth, uint32_t imageWidth,
                                     uint32_t imageHeight);

// One vertex of the flexible vertex format XYZ | DIFFUSE | TEX1 (24 bytes).
struct QuadVertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
};

constexpr int kQuadVertexCount = 20;

// Writes the 20 vertices of the five quads, in image pixels of a W x H
// image: the whole area, then the top-left, top-right, bottom-left and
// bottom-right quarters, each a clockwise fan from its top-left corner with
// texture coordinates over the unit square.
void WriteQuadVertices(float imageWidth, float imageHeight, QuadVertex out[kQuadVertexCount]);

}  // namespace vv
