// Dewarped snapshots on Direct3D 9 against the CPU reference of the mappings. Catches
// wrong shader or view constants, position steps, a snapshot of the wrong size or band.
// Tolerance: 2 levels plus the reference's spread within half a pixel.
#include <gtest/gtest.h>

#include <cmath>

#include "dewarp_reference_util.h"
#include "render/dewarp_geometry.h"
#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

using vv::DewarpShader;

constexpr int kFrameWidth = 384;
constexpr int kFrameHeight = 288;
const double kProfile[3] = {-0.02, 0.03, 0.33};
const float kProfileF[3] = {-0.02f, 0.03f, 0.33f};

// A smooth, asymmetric gray frame (a mirrored or rotated view shows) in the red bytes.
const TestPicture& Frame() {
  static const TestPicture frame = [] {
    TestPicture p{kFrameWidth, kFrameHeight, std::vector<uint8_t>(kFrameWidth * kFrameHeight * 4)};
    for (int j = 0; j < kFrameHeight; ++j) {
      for (int i = 0; i < kFrameWidth; ++i) {
        p.At(i, j)[2] = uint8_t(std::lround(128 + 60 * std::sin(i * 0.05 + 0.3) +
                                            50 * std::cos(j * 0.07) * std::sin(i * 0.013 + j * 0.021 + 1)));
      }
    }
    return p;
  }();
  return frame;
}

// Bilinear sample of the frame as the texture unit takes it (texel centres at +0.5, wrap).
double SampleBilinear(double x, double y) {
  const double tx = x - 0.5, ty = y - 0.5;
  const double fx = std::floor(tx), fy = std::floor(ty);
  const double ax = tx - fx, ay = ty - fy;
  auto at = [&](double i, double j) {
    const int wi = int(((long long)(i) % kFrameWidth + kFrameWidth) % kFrameWidth);
    const int wj = int(((long long)(j) % kFrameHeight + kFrameHeight) % kFrameHeight);
    return double(Frame().At(wi, wj)[2]);
  };
  return (1 - ay) * ((1 - ax) * at(fx, fy) + ax * at(fx + 1, fy)) +
         ay * ((1 - ax) * at(fx, fy + 1) + ax * at(fx + 1, fy + 1));
}

struct View {  // drawn over one quad
  DewarpShader shader;
  vv::DewarpConstants constants;
};

struct Mismatch {
  int compared = 0, failed = 0;
  double worst = 0;
  std::string where;
};

// The snapshot band against the views' reference; views[k] is drawn in quad k.
Mismatch CompareWithReference(const TestPicture& shot, int backHeight, int top,
                              const std::vector<View>& views) {
  Mismatch m;
  const bool quads = views.size() == 4;
  const int qw = quads ? shot.width / 2 : shot.width, qh = quads ? backHeight / 2 : backHeight;
  for (int row = 0; row < shot.height; ++row) {
    const int y = row + top;
    for (int x = 0; x < shot.width; ++x) {
      const int k = quads ? (y >= qh ? 2 : 0) + (x >= qw ? 1 : 0) : 0;
      const double u0 = double(x - (k % 2) * qw) / qw, v0 = double(y - (k / 2) * qh) / qh;
      double lo = 1e9, hi = -1e9;
      bool mixed = false, black = false;
      const double offsets[5][2] = {{0, 0}, {-0.5, 0}, {0.5, 0}, {0, -0.5}, {0, 0.5}};
      for (int i = 0; i < 5; ++i) {
        const vv::DewarpSample point = vv::DewarpReferencePoint(
            views[k].shader, views[k].constants, u0 + offsets[i][0] / qw, v0 + offsets[i][1] / qh);
        if (i == 0) black = point.black;
        if (point.black != black) mixed = true;
        const double value = point.black ? 0 : SampleBilinear(point.x, point.y);
        lo = std::min(lo, value);
        hi = std::max(hi, value);
      }
      if (mixed) continue;
      const uint8_t* p = shot.At(x, row);
      const double centre = (lo + hi) / 2;
      const double diff = std::abs(p[1] - centre) - (hi - lo) / 2;
      ++m.compared;
      if (diff > m.worst) m.worst = diff, m.where = std::to_string(x) + "," + std::to_string(y);
      if (diff > 2 || p[0] != p[1] || p[2] != p[1]) ++m.failed;
    }
  }
  return m;
}

struct Position {
  float panStep, tiltStep, zoomStep;  // relative step sent before the snapshot
  double pan, tilt, zoom;             // where the view must then be
};

struct RenderCase {
  const char* name;
  uint32_t composition, effect;
  int32_t aspectMode, width;
  std::vector<Position> positions;  // a quad view's four pans are 90 degrees apart from pan - 45
};

const std::vector<RenderCase>& Cases() {
  // Pan +40, tilt +15 (limited), zoom 20; then into the blend (1), then 0.5.
  auto moves = [](double tilt0, double tiltMin, double tiltMax) {
    const double tilt1 = std::clamp(tilt0 + 15, tiltMin, tiltMax);
    return std::vector<Position>{{0, 0, 0, 0, tilt0, 30},
                                 {40, 15, -10, 40, tilt1, 20},
                                 {0, 0, 35, 40, tilt1, 1},
                                 {0, 0, 12.5f, 40, tilt1, 0.5}};
  };
  static const std::vector<RenderCase> cases = {
      {"wall single view", 1, 1, 0, 256, moves(0, -90, 90)},
      {"ceiling single view, 16:9 band", 1, 2, 2, 256, moves(-30, -90, 0)},
      {"floor single view, 4:3 band", 1, 3, 1, 256, moves(30, 0, 90)},
      {"wall single view, 16:10 band", 1, 1, 3, 200, {{0, 0, 0, 0, 0, 30}}},
      {"wall panorama, odd height made even", 2, 1, 2, 246, {{}}},
      {"ceiling panorama, 16:9", 2, 2, 2, 256, {{}}},
      {"floor panorama", 2, 3, 0, 200, {{}}},
      {"ceiling quad view", 4, 2, 0, 192, {{0, 0, 0, 0, -30, 30}}},
  };
  return cases;
}

TEST(DewarpPicture, EachCompositionAndEffectMatchesTheReference) {
  const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(Frame(), true);
  const DewarpShader panoramas[] = {DewarpShader::kWallPanorama, DewarpShader::kCeilingPanorama,
                                    DewarpShader::kFloorPanorama};
  for (const RenderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    TestWindow window(320, 240);
    OpenViewer open(window.handle());
    Dll().ViewerAttachDewarpRenderer(open.viewer, window.handle());
    Dll().ViewerSetupDewarpEffect2(open.viewer, kProfileF, c.effect, c.width, c.aspectMode);
    Dll().ViewerSetupDewarpComposition(open.viewer, c.composition);
    uint32_t width = 0, height = 0;
    Dll().ViewerRenderMJPEGSample(open.viewer, jpeg.data(), uint32_t(jpeg.size()), 0, 1, &width,
                                  &height);
    const vv::OutputGeometry g = vv::ComputeOutputGeometry(c.composition, c.effect, c.aspectMode,
                                                           c.width, kFrameWidth, kFrameHeight);
    const int backWidth = g.backBufferWidth, rows = g.outputHeight;
    const double aspect = double(backWidth) / rows;
    for (const Position& pos : c.positions) {
      Dll().ViewerSetDewarpPosition(open.viewer, pos.panStep, pos.tiltStep, pos.zoomStep);
      const TestPicture shot = Snapshot(open.viewer);
      ASSERT_EQ(shot.width, backWidth);
      ASSERT_EQ(shot.height, rows);
      std::vector<View> views;
      for (int k = 0; k < (c.composition == 4 ? 4 : 1); ++k) {
        const double pan = c.composition == 4 ? pos.pan + 90.0 * k - 45 : pos.pan;
        views.push_back({DewarpShader::kPerspective,
                         vv::PerspectiveConstants(int(c.effect), pan, pos.tilt, pos.zoom, aspect, kFrameWidth,
                                                  kFrameHeight, kProfile)});
      }
      if (c.composition == 2) {
        views = {{panoramas[c.effect - 1], vv::PanoramaConstants(kFrameWidth, kFrameHeight, kProfile)}};
      }
      const Mismatch m = CompareWithReference(shot, g.backBufferHeight, g.outputTop, views);
      EXPECT_GT(m.compared, backWidth * rows / 2);
      EXPECT_EQ(m.failed, 0) << "pan " << pos.pan << " tilt " << pos.tilt << " zoom " << pos.zoom
                             << ": worst " << m.worst << " at " << m.where;
    }
  }
}

}  // namespace
