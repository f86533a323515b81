// The assembled dewarp shaders, emulated, against the exact mappings: catches errors of a tenth of a pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "dewarp_reference_util.h"
#include "shader_assembler.h"
#include "shader_emulator_util.h"

namespace vv {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<uint32_t> AssembleFile(const char* name) {
  std::ifstream file(std::string(VV_SHADER_SOURCE_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  std::vector<uint32_t> tokens;
  std::string error;
  EXPECT_TRUE(AssembleShader(text.str(), &tokens, &error)) << name << ": " << error;
  return tokens;
}

// A 640x480 frame, a lens with a cubic term, views of aspect 4:3.
const double kProfile[3] = {-0.03, 0, 0.32};
DewarpConstants Lens(double centreX = 320, double centreY = 240) {
  DewarpConstants k = PanoramaConstants(640, 480, kProfile);
  k.imageCenter[0] = centreX;
  k.imageCenter[1] = centreY;
  return k;
}
DewarpConstants View(int effect, double pan, double tilt, double zoom, double centreX = 320) {
  DewarpConstants k = PerspectiveConstants(effect, pan, tilt, zoom, 4.0 / 3, 640, 480, kProfile);
  k.imageCenter[0] = centreX;
  return k;
}

void Registers(DewarpShader shader, const DewarpConstants& k, float c[32][4]) {
  std::fill(&c[0][0], &c[0][0] + 32 * 4, 0.0f);
  auto set = [&](int reg, const double* values, int count) {
    for (int j = 0; j < count; ++j) c[reg][j] = static_cast<float>(values[j]);
  };
  set(0, k.size, 2);
  if (shader == DewarpShader::kPerspective) {
    set(1, &k.tangentOfFieldOfView, 1);
    set(2, &k.lambdaOffset, 1);
    set(3, k.imageCenter, 2);
    set(4, k.rotateData, 3);
    set(5, k.lensProfile, 3);
  } else {
    set(1, k.imageCenter, 2);
    set(2, k.lensProfile, 3);
  }
}

struct ProgramCase {
  const char* what;
  DewarpShader shader;
  DewarpConstants constants;
};

TEST(ShaderProgram, EmulatedShadersFollowTheReference) {
  const ProgramCase cases[] = {
      {"wall default", DewarpShader::kPerspective, View(1, 0, 0, 30)},
      {"wall panned and tilted", DewarpShader::kPerspective, View(1, 60, -25, 45)},
      {"wall overview blend", DewarpShader::kPerspective, View(1, 20, 10, 0.5)},
      {"ceiling down the axis", DewarpShader::kPerspective, View(2, 130, -90, 50)},
      {"ceiling overview", DewarpShader::kPerspective, View(2, 0, -30, 0)},
      {"floor off-centre circle", DewarpShader::kPerspective, View(3, 250, 10, 50, 120)},
      {"wall looking off the frame", DewarpShader::kPerspective, View(1, -70, 0, 50, 100)},
      {"ceiling panorama, rim off the frame", DewarpShader::kCeilingPanorama, Lens(100, 120)},
      {"floor panorama, rim off the frame", DewarpShader::kFloorPanorama, Lens(600, 400)},
      {"wall panorama off-centre", DewarpShader::kWallPanorama, Lens(60, 300)},
  };
  const char* files[] = {"perspective.psa", "ceiling_panorama.psa", "floor_panorama.psa",
                         "wall_panorama.psa"};
  std::vector<uint32_t> programs[4];
  for (int i = 0; i < 4; ++i) programs[i] = AssembleFile(files[i]);
  // The texture answers with its coordinate; alpha 0.5 tells it from black (1).
  ShaderSampler sampler = [](float s, float t, float rgba[4]) {
    rgba[0] = s, rgba[1] = t, rgba[2] = 0, rgba[3] = 0.5f;
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(c.what);
    float registers[32][4];
    Registers(c.shader, c.constants, registers);
    const std::vector<uint32_t>& program = programs[static_cast<int>(c.shader)];
    double worst = 0;
    int blacks = 0, mismatches = 0;
    for (int j = 0; j <= 32; ++j) {
      for (int i = 0; i <= 32; ++i) {
        double u = i / 32.0, v = j / 32.0;
        DewarpSample expected = DewarpReferencePoint(c.shader, c.constants, u, v);
        ShaderRun run;
        std::string error;
        ASSERT_TRUE(RunPixelShader(program, registers, static_cast<float>(u),
                                   static_cast<float>(v), sampler, &run, &error))
            << error;
        ASSERT_LE(run.sincosWorst, kPi * (1 + 1e-6)) << "sincos argument not reduced";
        double margin = std::fmin(std::fmin(expected.x, 640 - expected.x),
                                  std::fmin(expected.y, 480 - expected.y));
        if (std::fabs(margin) < 0.5) continue;  // too close to the edge to call
        bool black = run.color[3] == 1.0f;
        if (black != expected.black) {
          ++mismatches;
          continue;
        }
        if (black) {
          ++blacks;
          EXPECT_EQ(run.color[0] + run.color[1] + run.color[2], 0.0f);
          continue;
        }
        double error_x = run.color[0] * 640.0 - expected.x;
        double error_y = run.color[1] * 480.0 - expected.y;
        worst = std::fmax(worst, std::hypot(error_x, error_y));
      }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_LT(worst, 0.05);  // polynomial arctangent: 1e-4 rad x 160 pixels
    if (c.shader == DewarpShader::kWallPanorama) {
      EXPECT_EQ(blacks, 0);
    }
  }
}

// The view centre shows the circle's centre: x = W and y = H are black, x = 0 and y = 0 are not.
TEST(ShaderProgram, FrameBoundsAreHalfOpen) {
  struct Case {
    float centreX, centreY;
    bool black;
  } cases[] = {{0, 240, false}, {-0.001f, 240, true}, {639.999f, 240, false}, {640, 240, true},
               {320, 0, false}, {320, 480, true}};
  std::vector<uint32_t> program = AssembleFile("perspective.psa");
  ShaderSampler sampler = [](float, float, float rgba[4]) {
    rgba[0] = rgba[1] = rgba[2] = 0.5f, rgba[3] = 0.5f;
  };
  for (const Case& c : cases) {
    DewarpConstants k = View(2, 10, -40, 30);
    k.imageCenter[0] = c.centreX;
    k.imageCenter[1] = c.centreY;
    k.rotateData[0] = k.rotateData[1] = 0;
    float registers[32][4];
    Registers(DewarpShader::kPerspective, k, registers);
    ShaderRun run;
    std::string error;
    ASSERT_TRUE(RunPixelShader(program, registers, 0.5f, 0.5f, sampler, &run, &error)) << error;
    EXPECT_EQ(run.color[3] == 1.0f, c.black) << c.centreX << "," << c.centreY;
  }
}

}  // namespace
}  // namespace vv
