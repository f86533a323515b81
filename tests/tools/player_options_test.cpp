// The player's command line, and the mask block bytes written out by hand.
#include "player_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vv {
namespace {

bool Parse(std::vector<const char*> args, PlayerOptions* options, std::string* error) {
  args.insert(args.begin(), "vvplay");
  return ParsePlayerOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(PlayerOptions, RefusesMalformedCommandLines) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"a.avi", "b.avi"},
      {"--frames", "ten", "a.avi"},
      {"--size", "8x8", "a.avi"},
      {"--mask", "black:1,2,3", "a.avi"},
      {"--mask", "black:100.001,0,1,1", "a.avi"},
      {"--dewarp", "side", "a.avi"},
      {"--dewarp", "wall", "--lens", "0,0,nan", "a.avi"},
      {"--lens", "0,0,0.3", "a.avi"},
      {"a.avi", "--dewarp"},
  };
  for (const auto& args : cases) {
    PlayerOptions o;
    o.source = "untouched";
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << (args.empty() ? "(none)" : args[0]) << " "
                                          << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(o.source, "untouched");
  }
}

TEST(PlayerOptions, DewarpOptionsGiveTheRendererValues) {
  struct Case {
    std::vector<const char*> args;
    uint32_t effect, composition;
    float lens[3];
    int32_t aspect;
  };
  const float kEquidistant = static_cast<float>(1 / 3.14159265358979);
  const Case cases[] = {
      {{"a.avi"}, 0, 1, {0, 0, kEquidistant}, 0},
      {{"--dewarp", "ceiling", "--composition", "quad", "a.avi"}, 2, 4, {0, 0, kEquidistant}, 0},
      {{"--composition", "panorama", "--dewarp", "floor", "a.avi"}, 3, 2, {0, 0, kEquidistant}, 0},
      {{"--dewarp", "ceiling", "--lens", "-0.05,0.125,0.5", "--aspect", "0", "a.avi"}, 2, 1,
       {-0.05f, 0.125f, 0.5f}, 0},
      {{"--lens", "1e-2,0,-100", "--dewarp", "floor", "a.avi"}, 3, 1, {0.01f, 0, -100}, 0},
  };
  for (const Case& c : cases) {
    PlayerOptions o;
    std::string error;
    ASSERT_TRUE(Parse(c.args, &o, &error)) << c.args[0] << ": " << error;
    EXPECT_EQ(o.dewarpEffect, c.effect) << c.args[0];
    EXPECT_EQ(o.composition, c.composition) << c.args[0];
    EXPECT_EQ(o.aspectMode, c.aspect) << c.args[0];
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(o.lens[i], c.lens[i]) << c.args[0] << " p" << i;
  }
}

TEST(PlayerOptions, MaskOptionsMakeTheBlockBytes) {
  PlayerOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--mask", "black:25,50,50,25", "--mask", "mosaic2:0.001,100,12.5,0.25",
                     "--mask", "mosaic:0,0,100,100", "clip"},
                    &o, &error))
      << error;
  const std::vector<uint8_t> expected = {
      1, 0, 54, 0, 0, 0,                                       // version, reserved, 3 × 18
      1, 0, 0xA8, 0x61, 0, 0, 0x50, 0xC3, 0, 0,                // black, x 25000, y 50000
      0x50, 0xC3, 0, 0, 0xA8, 0x61, 0, 0,                      // width 50000, height 25000
      2, 2, 1, 0, 0, 0, 0xA0, 0x86, 0x01, 0,                   // mosaic 2, x 1, y 100000
      0xD4, 0x30, 0, 0, 0xFA, 0, 0, 0,                         // width 12500, height 250
      2, 1, 0, 0, 0, 0, 0, 0, 0, 0,                            // mosaic 1 at 0, 0
      0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0,                // 100000 × 100000
  };
  EXPECT_EQ(BuildMaskBlock(o.masks), expected);
  EXPECT_TRUE(BuildMaskBlock({}).empty());
}

}  // namespace
}  // namespace vv
