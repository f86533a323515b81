// The reference mappings of the dewarp shaders against points worked out by
// hand (the view axis, edge angles, band edges, the rim).
#include "dewarp_reference_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vv {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;

// A 640x480 frame with a lens whose cubic term matters; the views' constants
// come from the helpers the shader tests use, so these points check them too.
const double kProfile[3] = {-0.03, 0, 0.32};
DewarpConstants Lens() { return PanoramaConstants(640, 480, kProfile); }
DewarpConstants WallView(double pan, double tilt, double zoom) {
  return PerspectiveConstants(1, pan, tilt, zoom, 4.0 / 3, 640, 480, kProfile);
}
DewarpConstants CeilingView(double pan, double tilt, double zoom) {
  return PerspectiveConstants(2, pan, tilt, zoom, 4.0 / 3, 640, 480, kProfile);
}

// The frame point at angle theta from the axis, in direction: 0 right,
// 1 up, 2 left, 3 down (y grows downwards).
struct Expected {
  double theta;
  int direction;
};

TEST(DewarpReference, HandWorkedPoints) {
  const double edge = std::atan(std::tan(30 * kDegree) * 640 / 480);
  DewarpConstants overview = WallView(0, 0, 50);
  overview.lensProfile[0] = overview.lensProfile[1] = 0;
  overview.lensProfile[2] = 250;  // the equidistant lens of the overview blend
  const struct {
    const char* what;
    DewarpShader shader;
    DewarpConstants constants;
    double u, v;
    Expected expected;
  } cases[] = {
      {"view axis", DewarpShader::kPerspective, WallView(0, 0, 30), 0.5, 0.5, {0, 0}},
      {"top edge at zoom", DewarpShader::kPerspective, WallView(0, 0, 30), 0.5, 0, {30 * kDegree, 1}},
      {"left edge wider", DewarpShader::kPerspective, WallView(0, 0, 30), 0, 0.5, {edge, 2}},
      {"pan right", DewarpShader::kPerspective, WallView(40, 0, 30), 0.5, 0.5, {40 * kDegree, 0}},
      {"tilt up", DewarpShader::kPerspective, WallView(0, 20, 30), 0.5, 0.5, {20 * kDegree, 1}},
      {"ceiling straight down", DewarpShader::kPerspective, CeilingView(0, -90, 30), 0.5, 0.5, {0, 0}},
      {"ceiling default", DewarpShader::kPerspective, CeilingView(0, -30, 30), 0.5, 0.5, {60 * kDegree, 1}},
      {"overview top edge", DewarpShader::kPerspective, overview, 0.5, 0, {50 * kDegree, 1}},
      {"ceiling rim above", DewarpShader::kCeilingPanorama, Lens(), 0.5, 0, {kPi / 2, 1}},
      {"ceiling lower band", DewarpShader::kCeilingPanorama, Lens(), 0.5, 0.75, {3 * kPi / 8, 3}},
      {"ceiling left edge", DewarpShader::kCeilingPanorama, Lens(), 0, 0.25, {3 * kPi / 8, 2}},
      {"floor rim left", DewarpShader::kFloorPanorama, Lens(), 0, 1, {kPi / 2, 2}},
      {"floor top", DewarpShader::kFloorPanorama, Lens(), 0.5, 0, {kPi / 4, 1}},
      {"wall top", DewarpShader::kWallPanorama, Lens(), 0.5, 0, {33.75 * kDegree, 1}},
      {"wall rim left", DewarpShader::kWallPanorama, Lens(), 0, 0.5, {kPi / 2, 2}},
      {"wall centre", DewarpShader::kWallPanorama, Lens(), 0.5, 0.5, {0, 0}},
  };
  const double dx[] = {1, 0, -1, 0}, dy[] = {0, -1, 0, 1};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DewarpSample s = DewarpReferencePoint(c.shader, c.constants, c.u, c.v);
    double r = DewarpLensRadius(c.constants, c.expected.theta);
    EXPECT_NEAR(s.theta, c.expected.theta, 1e-9);
    EXPECT_NEAR(s.x, 320 + r * dx[c.expected.direction], 1e-6);
    EXPECT_NEAR(s.y, 240 + r * dy[c.expected.direction], 1e-6);
    EXPECT_FALSE(s.black);
  }
}

}  // namespace
}  // namespace vv
