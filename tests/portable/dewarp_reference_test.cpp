// The exact mappings of the dewarp shaders against points worked out by hand
// from the geometry (the view axis, edge angles, band edges, the rim), and
// their mirror and rotation symmetries.
#include "dewarp_reference_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vv {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;

// A 640x480 frame with a lens whose cubic term matters: the rim (90 degrees)
// lands about 186 pixels from the centre.
DewarpConstants Lens() {
  DewarpConstants k{};
  k.size[0] = 640;
  k.size[1] = 480;
  k.imageCenter[0] = 320;
  k.imageCenter[1] = 240;
  k.lensProfile[0] = -0.03 * 480;
  k.lensProfile[1] = 0.0;
  k.lensProfile[2] = 0.32 * 480;
  return k;
}

// A perspective view of a wall camera at (pan, tilt, zoom) in degrees:
// lambda0 = pi, rx = -tilt, ry = pan.
DewarpConstants WallView(double pan, double tilt, double zoom) {
  DewarpConstants k = Lens();
  k.tangentOfFieldOfView = std::tan(zoom * kDegree);
  k.lambdaOffset = kPi;
  k.rotateData[0] = -tilt * kDegree;
  k.rotateData[1] = pan * kDegree;
  return k;
}

// A ceiling camera: lambda0 = pi/2, ry = -(tilt + 90), rz = pan + 90.
DewarpConstants CeilingView(double pan, double tilt, double zoom) {
  DewarpConstants k = WallView(0, 0, zoom);
  k.lambdaOffset = kPi / 2;
  k.rotateData[0] = 0;
  k.rotateData[1] = -(tilt + 90) * kDegree;
  k.rotateData[2] = (pan + 90) * kDegree;
  return k;
}

// The frame point at angle theta from the axis, in direction: 0 right,
// 1 up, 2 left, 3 down (y grows downwards).
struct Expected {
  double theta;
  int direction;
};

struct HandCase {
  const char* what;
  DewarpShader shader;
  DewarpConstants constants;
  double u, v;
  Expected expected;
};

TEST(DewarpReference, HandWorkedPoints) {
  const double edge = std::atan(std::tan(30 * kDegree) * 640 / 480);
  DewarpConstants overview = WallView(0, 0, 50);
  overview.lensProfile[0] = overview.lensProfile[1] = 0;
  overview.lensProfile[2] = 250;  // the equidistant lens of the overview blend
  const HandCase cases[] = {
      {"view axis", DewarpShader::kPerspective, WallView(0, 0, 30), 0.5, 0.5, {0, 0}},
      {"top edge at zoom", DewarpShader::kPerspective, WallView(0, 0, 30), 0.5, 0, {30 * kDegree, 1}},
      {"bottom edge", DewarpShader::kPerspective, WallView(0, 0, 30), 0.5, 1, {30 * kDegree, 3}},
      {"left edge wider", DewarpShader::kPerspective, WallView(0, 0, 30), 0, 0.5, {edge, 2}},
      {"right edge", DewarpShader::kPerspective, WallView(0, 0, 30), 1, 0.5, {edge, 0}},
      {"pan right", DewarpShader::kPerspective, WallView(40, 0, 30), 0.5, 0.5, {40 * kDegree, 0}},
      {"tilt up", DewarpShader::kPerspective, WallView(0, 20, 30), 0.5, 0.5, {20 * kDegree, 1}},
      {"ceiling straight down", DewarpShader::kPerspective, CeilingView(0, -90, 30), 0.5, 0.5, {0, 0}},
      {"ceiling default", DewarpShader::kPerspective, CeilingView(0, -30, 30), 0.5, 0.5, {60 * kDegree, 1}},
      {"overview top edge", DewarpShader::kPerspective, overview, 0.5, 0, {50 * kDegree, 1}},
      {"ceiling rim above", DewarpShader::kCeilingPanorama, Lens(), 0.5, 0, {kPi / 2, 1}},
      {"ceiling v=0.5 upper", DewarpShader::kCeilingPanorama, Lens(), 0.5, 0.5, {kPi / 4, 1}},
      {"ceiling lower band", DewarpShader::kCeilingPanorama, Lens(), 0.5, 0.75, {3 * kPi / 8, 3}},
      {"ceiling left edge", DewarpShader::kCeilingPanorama, Lens(), 0, 0.25, {3 * kPi / 8, 2}},
      {"floor rim left", DewarpShader::kFloorPanorama, Lens(), 0, 1, {kPi / 2, 2}},
      {"floor top", DewarpShader::kFloorPanorama, Lens(), 0.5, 0, {kPi / 4, 1}},
      {"floor v=0.5 upper", DewarpShader::kFloorPanorama, Lens(), 0.5, 0.5, {kPi / 2, 1}},
      {"wall top", DewarpShader::kWallPanorama, Lens(), 0.5, 0, {33.75 * kDegree, 1}},
      {"wall bottom", DewarpShader::kWallPanorama, Lens(), 0.5, 1, {33.75 * kDegree, 3}},
      {"wall rim left", DewarpShader::kWallPanorama, Lens(), 0, 0.5, {kPi / 2, 2}},
      {"wall rim right", DewarpShader::kWallPanorama, Lens(), 1, 0.5, {kPi / 2, 0}},
      {"wall centre", DewarpShader::kWallPanorama, Lens(), 0.5, 0.5, {0, 0}},
  };
  const double dx[] = {1, 0, -1, 0}, dy[] = {0, -1, 0, 1};
  for (const HandCase& c : cases) {
    SCOPED_TRACE(c.what);
    DewarpSample s = DewarpReferencePoint(c.shader, c.constants, c.u, c.v);
    double r = DewarpLensRadius(c.constants, c.expected.theta);
    EXPECT_NEAR(s.theta, c.expected.theta, 1e-9);
    EXPECT_NEAR(s.x, 320 + r * dx[c.expected.direction], 1e-6);
    EXPECT_NEAR(s.y, 240 + r * dy[c.expected.direction], 1e-6);
    EXPECT_FALSE(s.black);
  }
}

TEST(DewarpReference, CornerOfPerspectiveViewFollowsTheDiagonal) {
  DewarpConstants k = WallView(0, 0, 30);
  double diagonal = std::hypot(640.0, 480.0);
  double theta = std::atan(std::tan(30 * kDegree) * diagonal / 480);
  double r = DewarpLensRadius(k, theta);
  DewarpSample s = DewarpReferencePoint(DewarpShader::kPerspective, k, 0, 0);
  EXPECT_NEAR(s.x, 320 - r * 640 / diagonal, 1e-6);
  EXPECT_NEAR(s.y, 240 - r * 480 / diagonal, 1e-6);
}

TEST(DewarpReference, BlackExactlyOutsideTheFrame) {
  struct Case {
    double centreX, centreY;
    bool black;
  } cases[] = {
      {0, 240, false}, {-0.001, 240, true}, {639.999, 240, false}, {640, 240, true},
      {320, 0, false}, {320, -0.001, true}, {320, 479.999, false}, {320, 480, true},
  };
  for (const Case& c : cases) {
    DewarpConstants k = WallView(0, 0, 30);
    k.imageCenter[0] = c.centreX;
    k.imageCenter[1] = c.centreY;
    for (DewarpShader shader : {DewarpShader::kPerspective, DewarpShader::kWallPanorama}) {
      DewarpSample s = DewarpReferencePoint(shader, k, 0.5, 0.5);
      EXPECT_EQ(s.black, c.black && shader != DewarpShader::kWallPanorama)
          << c.centreX << "," << c.centreY;
    }
  }
}

// Pairs of points that must mirror each other about the centre, or coincide.
TEST(DewarpReference, Symmetries) {
  struct Case {
    const char* what;
    DewarpShader first, second;
    double rz;          // extra rotation of the second view (perspective)
    bool mirrorX, mirrorY;
    double (*u2)(double), (*v2)(double);
  } cases[] = {
      {"perspective left-right", DewarpShader::kPerspective, DewarpShader::kPerspective, 0,
       true, false, [](double u) { return 1 - u; }, [](double v) { return v; }},
      {"perspective up-down", DewarpShader::kPerspective, DewarpShader::kPerspective, 0,
       false, true, [](double u) { return u; }, [](double v) { return 1 - v; }},
      {"perspective rz = pi turns half way", DewarpShader::kPerspective, DewarpShader::kPerspective,
       kPi, true, true, [](double u) { return u; }, [](double v) { return v; }},
      {"ceiling lower band opposite upper", DewarpShader::kCeilingPanorama,
       DewarpShader::kCeilingPanorama, 0, true, true, [](double u) { return u; },
       [](double v) { return v + 0.5; }},
      {"floor upper band is ceiling upper, reversed", DewarpShader::kFloorPanorama,
       DewarpShader::kCeilingPanorama, 0, false, false, [](double u) { return 1 - u; },
       [](double v) { return 0.5 - v; }},
      {"wall panorama left-right", DewarpShader::kWallPanorama, DewarpShader::kWallPanorama, 0,
       true, false, [](double u) { return 1 - u; }, [](double v) { return v; }},
      {"wall panorama up-down", DewarpShader::kWallPanorama, DewarpShader::kWallPanorama, 0,
       false, true, [](double u) { return u; }, [](double v) { return 1 - v; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DewarpConstants first = WallView(0, 0, 35);
    DewarpConstants second = first;
    second.rotateData[2] = c.rz;
    for (double u = 0.05; u < 1; u += 0.15) {
      for (double v = 0.05; v < 0.45; v += 0.1) {
        DewarpSample a = DewarpReferencePoint(c.first, first, u, v);
        DewarpSample b = DewarpReferencePoint(c.second, second, c.u2(u), c.v2(v));
        EXPECT_NEAR(b.x - 320, (c.mirrorX ? -1 : 1) * (a.x - 320), 1e-6) << u << "," << v;
        EXPECT_NEAR(b.y - 240, (c.mirrorY ? -1 : 1) * (a.y - 240), 1e-6) << u << "," << v;
      }
    }
  }
}

}  // namespace
}  // namespace vv
