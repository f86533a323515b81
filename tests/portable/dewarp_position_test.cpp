// The dewarp views' zoom steps, shader constants and output geometry; the shaders' reference mappings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dewarp_reference_util.h"
#include "render/dewarp_geometry.h"
#include "render/dewarp_position.h"

namespace {

using namespace vv;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;

int uploads = 0;
void CountUpload(DewarpView*) { ++uploads; }

DewarpView MakeView(uint32_t effect, bool single, uint32_t width = 640, uint32_t height = 480) {
  DewarpView view{};
  view.overviewAllowed = single ? 1 : 0;
  const float profile[3] = {-0.02f, 0.03f, 0.33f};
  PrepareView(&view, width, height, profile, effect, nullptr);
  view.viewAspect = 4.0f / 3.0f;
  return view;
}

TEST(DewarpMove, ZoomStepSequences) {
  struct Step {
    float zoomStep, zoom;
    bool blend;
  };
  const struct {
    const char* name;
    bool single;
    std::vector<Step> steps;  // from zoom 30
  } cases[] = {
      {"single view zooms out into the blend and back", true,
       {{10, 40, false}, {10, 50, false}, {10, 1, true}, {10, 0.6f, true}, {10, 0.2f, true},
        {10, 0, true}, {-30, 50, false}}},
      {"quad view stops at 50 and at 2", false, {{30, 50, false}, {-60, 2, false}, {-5, 2, false}}},
      {"single view zooms in to 2", true, {{-27.5f, 2.5f, false}, {-1, 2, false}}},
  };
  for (const auto& c : cases) {
    DewarpView view = MakeView(1, c.single);
    view.zoom = 30;
    for (const Step& s : c.steps) {
      uploads = 0;
      Move(&view, 0, 0, s.zoomStep, CountUpload);
      EXPECT_NEAR(view.zoom, s.zoom, 1e-5f) << c.name;
      EXPECT_EQ(view.overviewActive, s.blend ? 1u : 0u) << c.name;
      EXPECT_EQ(uploads, 1) << c.name;
    }
  }
}

TEST(DewarpConstants, WorkedExamplesAndTheOverview) {
  const double lensL = (4.0 / 3.0) / (640.0 / 480.0) * (480.0 * 30 / 50);  // the blend's L
  const struct {
    const char* name;
    uint32_t effect;
    float pan, tilt, zoom;
    double lens[3], lambda, rotate[3], tangent;
  } cases[] = {
      {"ceiling default", 2, 0, -30, 30, {-9.6, 14.4, 158.4}, kPi / 2, {0, -1.0471976, 1.5707964},
       0.57735026},
      {"wall blend 0.5", 1, 20, 10, 0.5f,
       {-4.8, 7.2, 79.2 + 0.5 * lensL}, kPi, {-0.08726647, 0.17453294, 0}, 1.1917536},
      {"ceiling overview", 2, 40, -10, 0, {0, 0, lensL}, kPi / 2, {0, 0, 130 * kPi / 180},
       std::tan(50 * kPi / 180)},
      {"floor overview", 3, 40, 10, 0, {0, 0, lensL}, kPi / 2, {0, 0, -130 * kPi / 180},
       std::tan(50 * kPi / 180)},
      {"floor at 20 degrees", 3, 15, 60, 20, {-9.6, 14.4, 158.4}, kPi / 2,
       {0, 30 * kPi / 180, -105 * kPi / 180}, std::tan(20 * kPi / 180)},
  };
  for (const auto& c : cases) {
    DewarpView view = MakeView(c.effect, true);
    PlaceView(&view, c.pan, c.tilt, c.zoom, nullptr);
    const ViewConstants k = ComputeConstants(view);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(k.lensProfile[i], c.lens[i], 1e-4) << c.name << " lens " << i;
      EXPECT_NEAR(k.rotateData[i], c.rotate[i], 2e-7) << c.name << " rotate " << i;
    }
    EXPECT_NEAR(k.lambdaOffset, c.lambda, 2e-7) << c.name;
    EXPECT_NEAR(k.tangentOfFieldOfView, c.tangent, 2e-7) << c.name;
  }
}

// Image height scaled to the width, the band of the aspect mode centred in
// it (single view), two views side by side (panorama pair: whole rows, or
// two bands), four views in a 2x2 grid.
TEST(DewarpGeometry, BackBufferAndBandOfEachComposition) {
  const struct {
    uint32_t composition, effect;
    int32_t aspectMode, width;
    uint32_t imageWidth, imageHeight;
    int32_t bufferWidth, bufferHeight, rows, top;
  } cases[] = {
      {1, 1, 2, 800, 640, 480, 800, 600, 450, 75},  {1, 1, 0, 800, 640, 480, 800, 600, 600, 0},
      {1, 3, 3, 800, 640, 480, 800, 600, 500, 50},  {1, 1, 1, 640, 640, 360, 640, 360, 480, 0},
      {1, 1, 2, 333, 1001, 999, 333, 332, 187, 72}, {2, 1, 2, 641, 640, 481, 1282, 482, 482, 0},
      {2, 2, 0, 640, 640, 481, 1280, 962, 962, 0},  {2, 3, 1, 500, 640, 480, 1000, 750, 750, 0},
      {4, 2, 2, 400, 640, 480, 800, 600, 600, 0},   {3, 1, 2, 400, 640, 480, 400, 300, 300, 0},
  };
  for (const auto& c : cases) {
    const OutputGeometry g = ComputeOutputGeometry(c.composition, c.effect, c.aspectMode, c.width,
                                                   c.imageWidth, c.imageHeight);
    EXPECT_EQ(g.backBufferWidth, c.bufferWidth) << c.composition << " " << c.aspectMode << " " << c.width;
    EXPECT_EQ(g.backBufferHeight, c.bufferHeight) << c.composition << " " << c.aspectMode << " " << c.width;
    EXPECT_EQ(g.outputHeight, c.rows) << c.composition << " " << c.aspectMode << " " << c.width;
    EXPECT_EQ(g.outputTop, c.top) << c.composition << " " << c.aspectMode << " " << c.width;
  }
  EXPECT_GT(ComputeOutputGeometry(4, 1, 3, 2147483647, 1, 65535).backBufferWidth, 0);  // saturated
  EXPECT_EQ(ComputeOutputGeometry(1, 1, 0, 800, 0, 480).backBufferHeight, 0);
}

// The shaders' reference mappings against points worked out by hand (axis, edge angles, bands, rim).

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
