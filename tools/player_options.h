// Command line of the player and the privacy-mask block it sends with every
// sample. Portable, so the parsing and the block's bytes are tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vv {

// One privacy mask as the library takes it: kind 1 solid black, 2 mosaic of
// coarseness level 0..2; position and size in 1/100000 of the frame's width
// (x, width) and height (y, height), y measured from the top.
struct MaskRecord {
  uint8_t kind = 1;
  uint8_t level = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct PlayerOptions {
  std::string source;
  double framesPerSecond = -1;  // -1: the source's rate, else 25; 0: as fast as decoding goes
  int64_t frames = -1;          // -1: loop until the window is closed
  int32_t clientWidth = 0;      // 0: the first frame's size, shrunk to fit the screen
  int32_t clientHeight = 0;
  std::string snapshotPath;
  std::string screenshotPath;
  std::string capturePath;
  uint32_t captureQuality = 75;
  bool stats = false;
  std::vector<MaskRecord> masks;
  // Fisheye dewarp, as the renderer's set-up exports take it. effect 0: no
  // renderer (DrawDib); 1 wall, 2 ceiling, 3 floor. composition 1 single
  // view, 2 panorama, 4 quad view. lens: p0, p1, p2 relative to the frame
  // height; the default 1/pi is an equidistant 180-degree circle as tall as
  // the frame. aspectMode 0 none, 1 4:3, 2 16:9, 3 16:10.
  uint32_t dewarpEffect = 0;
  uint32_t composition = 1;
  float lens[3] = {0.0f, 0.0f, 0.31830989f};
  int32_t aspectMode = 0;
};

// The usage text, one option a line.
const char* PlayerUsage();

// Parses argv[1..argc-1]. Options: --fps F, --frames N, --size WxH,
// --snapshot FILE.bmp, --screenshot FILE.bmp, --capture FILE.jpg,
// --quality Q (1..100), --stats, --mask KIND:X,Y,W,H (repeatable; KIND is
// black, mosaic0, mosaic1 or mosaic2, or mosaic for mosaic1; X, Y, W, H in
// percent of the frame with at most three decimals), exactly one source
// path; --dewarp wall|ceiling|floor, and with it --composition
// single|panorama|quad, --lens P0,P1,P2 (finite, each within +-100) and
// --aspect 0..3. False with a one-line reason in *error on any malformed or missing
// argument; *options is untouched then.
bool ParsePlayerOptions(int argc, const char* const* argv, PlayerOptions* options,
                        std::string* error);

// The mask block of the Ex rendering call: version 1, a reserved byte 0,
// the payload length (18 × records, little-endian signed 32-bit), then per
// record kind, level and x, y, width, height as little-endian signed 32-bit
// values. Empty when there are no records.
std::vector<uint8_t> BuildMaskBlock(const std::vector<MaskRecord>& masks);

}  // namespace vv
