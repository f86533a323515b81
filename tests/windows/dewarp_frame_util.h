// Test inputs and references for the dewarp renderer: a synthetic fisheye
// frame ray-traced through the lens model, written as a lossless JPEG so the
// viewer decodes it exactly, and the CPU mapping of every output pixel to
// the frame as the four shaders define it.
#pragma once

#include <cstdint>
#include <vector>

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

enum class ShaderKind { kPerspective, kCeilingPanorama, kFloorPanorama, kWallPanorama };

// A view's constants in double precision.
struct ReferenceView {
  ShaderKind kind;
  double width, height;        // frame size
  double lens[3];              // a, b, c in pixels
  double tangent;              // tangent of the half field of view
  double lambda0;
  double rotate[3];            // rx, ry, rz
};

// The perspective view of a camera mounted by `effect` (1 wall, 2 ceiling,
// 3 floor) at pan, tilt (degrees) and zoom (degrees, 2..50, or the blend
// parameter below 2 with the given view aspect), worked from the lens and
// mounting geometry.
ReferenceView PerspectiveView(int effect, double pan, double tilt, double zoom, double viewAspect,
                              double width, double height, const double profile[3]);

// The frame point (x, y) shown at texture coordinate (u, v) of the view's
// quad; false where the shader draws opaque black.
bool ReferencePoint(const ReferenceView& view, double u, double v, double* x, double* y);

// Bilinear sample of a gray frame at frame point (x, y) the way the texture
// unit samples it (texel centres at +0.5, wrap addressing).
double SampleBilinear(const std::vector<uint8_t>& gray, int width, int height, double x, double y);

}  // namespace vv::test
