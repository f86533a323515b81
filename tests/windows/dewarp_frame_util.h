// Test inputs and references for the dewarp renderer: a synthetic fisheye
// frame ray-traced through the lens model, written as a lossless JPEG so the
// viewer decodes it exactly, and the constants of a view position for the
// reference mapping of the shaders (dewarp_reference_util.h).
#pragma once

#include <cstdint>
#include <vector>

#include "dewarp_reference_util.h"

namespace vv::test {

// A smooth, asymmetric gray level for a direction (camera coordinates, z the
// optical axis): mirrored or rotated views show up as large differences.
double DirectionPattern(double x, double y, double z);

// A gray fisheye frame: pixel (i, j) shows DirectionPattern of the ray that
// lands at its centre (i + 0.5, j + 0.5) through r = H (p0 t^3 + p1 t^2 + p2 t)
// around the frame centre. Row 0 is the top row.
std::vector<uint8_t> FisheyeFrame(int width, int height, const double profile[3]);

// A lossless (SOF3, predictor 1) one-component JPEG of a gray picture, with
// the T.81 K.3 luminance DC table: decodes to exactly these samples.
std::vector<uint8_t> LosslessGrayJpeg(const std::vector<uint8_t>& gray, int width, int height);

// The constants of the perspective view of a camera mounted by `effect`
// (1 wall, 2 ceiling, 3 floor) at pan, tilt (degrees) and zoom (degrees,
// 2..50, or the blend parameter below 2 with the given view aspect), worked
// from the lens and mounting geometry; and those of a panorama.
DewarpConstants PerspectiveConstants(int effect, double pan, double tilt, double zoom,
                                     double viewAspect, double width, double height,
                                     const double profile[3]);
DewarpConstants PanoramaConstants(double width, double height, const double profile[3]);

// Bilinear sample of a gray frame at frame point (x, y) the way the texture
// unit samples it (texel centres at +0.5, wrap addressing).
double SampleBilinear(const std::vector<uint8_t>& gray, int width, int height, double x, double y);

}  // namespace vv::test
