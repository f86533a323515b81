#include "player_options.h"

#include <cstdlib>
#include <cstring>

namespace vv {
namespace {

const char kUsage[] =
    "usage: vvplay [options] SOURCE\n"
    "SOURCE: concatenated JPEG frames, an AVI with Motion-JPEG video, or a\n"
    "        multipart/x-mixed-replace capture of an IP camera\n"
    "  --fps F              frame rate (default: the source's, else 25; 0: as fast as possible)\n"
    "  --frames N           play N frames (looping the source), then exit;\n"
    "                       without it the player loops until the window is closed\n"
    "  --size WxH           client area (default: the frame size, shrunk to fit the screen)\n"
    "  --mask KIND:X,Y,W,H  privacy mask in percent of the frame; KIND black, mosaic0,\n"
    "                       mosaic1 (or mosaic), mosaic2; repeatable\n"
    "  --snapshot FILE.bmp  save the last picture through the snapshot exports\n"
    "  --screenshot FILE.bmp save the window's pixels after the last frame\n"
    "  --capture FILE.jpg   capture the window into JPEG after playing\n"
    "  --quality Q          quality of --capture, 1..100 (default 75)\n"
    "  --stats              print frames decoded, failed, and decode+present times\n"
    "  --dewarp MOUNT       dewarp a fisheye source through Direct3D; MOUNT wall, ceiling\n"
    "                       or floor (how the camera's optical axis points)\n"
    "  --composition C      with --dewarp: single (default), panorama or quad\n"
    "  --lens P0,P1,P2      with --dewarp: a ray at t radians off the axis lands\n"
    "                       H*(P0 t^3 + P1 t^2 + P2 t) pixels from the centre, H the frame\n"
    "                       height (default 0,0,0.3183: equidistant 180-degree circle)\n"
    "  --aspect A           with --dewarp: 0 whole view (default), 1 4:3, 2 16:9, 3 16:10\n"
    "                       band of the single view\n"
    "keys: S saves a snapshot (vvplay-snapshot-N.bmp), Esc closes; with --dewarp:\n"
    "      Left/Right pan, Up/Down tilt, + or wheel up zooms in, - or wheel down\n"
    "      zooms out, dragging with the left button pans and tilts\n";

bool ParseInteger(const char* text, int64_t low, int64_t high, int64_t* value) {
  if (*text == '\0') return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (*end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool ParseRate(const char* text, double* value) {
  if (*text == '\0') return false;
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (*end != '\0' || !(parsed >= 0 && parsed <= 1000)) return false;
  *value = parsed;
  return true;
}

bool ParseSize(const char* text, int32_t* width, int32_t* height) {
  const char* x = std::strchr(text, 'x');
  if (x == nullptr) return false;
  const std::string w(text, x);
  int64_t parsedWidth = 0, parsedHeight = 0;
  if (!ParseInteger(w.c_str(), 16, 16384, &parsedWidth) ||
      !ParseInteger(x + 1, 16, 16384, &parsedHeight))
    return false;
  *width = static_cast<int32_t>(parsedWidth);
  *height = static_cast<int32_t>(parsedHeight);
  return true;
}

// A percentage 0..100 with at most three decimals, in units of 1/100000:
// parsed as digits, so 12.345 is exactly 12345 units.
bool ParsePercent(const std::string& text, int32_t* units) {
  size_t i = 0;
  int64_t whole = 0;
  size_t wholeDigits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && wholeDigits < 4) {
    whole = whole * 10 + (text[i++] - '0');
    ++wholeDigits;
  }
  int64_t fraction = 0;
  size_t fractionDigits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && fractionDigits < 3) {
      fraction = fraction * 10 + (text[i++] - '0');
      ++fractionDigits;
    }
    if (fractionDigits == 0) return false;
  }
  if (i != text.size() || wholeDigits == 0) return false;
  for (size_t d = fractionDigits; d < 3; ++d) fraction *= 10;
  const int64_t value = whole * 1000 + fraction;
  if (value > 100000) return false;
  *units = static_cast<int32_t>(value);
  return true;
}

bool ParseMask(const char* text, MaskRecord* mask) {
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) return false;
  const std::string kind(text, colon);
  MaskRecord parsed;
  if (kind == "black") {
    parsed.kind = 1;
  } else if (kind == "mosaic" || kind == "mosaic1") {
    parsed.kind = 2;
    parsed.level = 1;
  } else if (kind == "mosaic0" || kind == "mosaic2") {
    parsed.kind = 2;
    parsed.level = static_cast<uint8_t>(kind.back() - '0');
  } else {
    return false;
  }
  int32_t* fields[4] = {&parsed.x, &parsed.y, &parsed.width, &parsed.height};
  const char* p = colon + 1;
  for (int f = 0; f < 4; ++f) {
    const char* comma = std::strchr(p, ',');
    const bool last = f == 3;
    if ((comma == nullptr) != last) return false;
    const std::string field = last ? std::string(p) : std::string(p, comma);
    if (!ParsePercent(field, fields[f])) return false;
    if (!last) p = comma + 1;
  }
  *mask = parsed;
  return true;
}

bool ParseWord(const char* text, const char* const* words, const uint32_t* values, size_t count,
               uint32_t* value) {
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(text, words[i]) == 0) {
      *value = values[i];
      return true;
    }
  }
  return false;
}

bool ParseLens(const char* text, float* lens) {
  float parsed[3];
  const char* p = text;
  for (int i = 0; i < 3; ++i) {
    if (*p == '\0' || *p == ',' || *p == ' ') return false;
    char* end = nullptr;
    const double value = std::strtod(p, &end);
    if (end == p || !(value >= -100 && value <= 100)) return false;
    if (*end != (i == 2 ? '\0' : ',')) return false;
    parsed[i] = static_cast<float>(value);
    p = end + 1;
  }
  for (int i = 0; i < 3; ++i) lens[i] = parsed[i];
  return true;
}

void AppendLittle32(std::vector<uint8_t>* out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(bits >> shift));
}

}  // namespace

const char* PlayerUsage() { return kUsage; }

bool ParsePlayerOptions(int argc, const char* const* argv, PlayerOptions* options,
                        std::string* error) {
  PlayerOptions parsed;
  bool haveSource = false;
  std::string dewarpOnly;  // the last option that means nothing without --dewarp
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool takesValue = arg == "--fps" || arg == "--frames" || arg == "--size" ||
                            arg == "--snapshot" || arg == "--screenshot" ||
                            arg == "--capture" || arg == "--quality" || arg == "--mask" ||
                            arg == "--dewarp" || arg == "--composition" || arg == "--lens" ||
                            arg == "--aspect";
    if (takesValue && i + 1 >= argc) {
      *error = arg + " needs a value";
      return false;
    }
    const char* value = takesValue ? argv[++i] : nullptr;
    int64_t number = 0;
    bool ok = true;
    if (arg == "--fps") {
      ok = ParseRate(value, &parsed.framesPerSecond);
    } else if (arg == "--frames") {
      ok = ParseInteger(value, 1, int64_t{1} << 40, &number);
      parsed.frames = number;
    } else if (arg == "--size") {
      ok = ParseSize(value, &parsed.clientWidth, &parsed.clientHeight);
    } else if (arg == "--quality") {
      ok = ParseInteger(value, 1, 100, &number);
      parsed.captureQuality = static_cast<uint32_t>(number);
    } else if (arg == "--mask") {
      MaskRecord mask;
      ok = ParseMask(value, &mask);
      parsed.masks.push_back(mask);
    } else if (arg == "--snapshot" || arg == "--screenshot" || arg == "--capture") {
      ok = *value != '\0';
      (arg == "--snapshot" ? parsed.snapshotPath
                           : arg == "--screenshot" ? parsed.screenshotPath
                                                   : parsed.capturePath) = value;
    } else if (arg == "--dewarp") {
      static const char* const kWords[] = {"wall", "ceiling", "floor"};
      static const uint32_t kEffects[] = {1, 2, 3};
      ok = ParseWord(value, kWords, kEffects, 3, &parsed.dewarpEffect);
    } else if (arg == "--composition") {
      static const char* const kWords[] = {"single", "panorama", "quad"};
      static const uint32_t kCompositions[] = {1, 2, 4};
      ok = ParseWord(value, kWords, kCompositions, 3, &parsed.composition);
      dewarpOnly = arg;
    } else if (arg == "--lens") {
      ok = ParseLens(value, parsed.lens);
      dewarpOnly = arg;
    } else if (arg == "--aspect") {
      ok = ParseInteger(value, 0, 3, &number);
      parsed.aspectMode = static_cast<int32_t>(number);
      dewarpOnly = arg;
    } else if (arg == "--stats") {
      parsed.stats = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else if (haveSource) {
      *error = "more than one source: " + arg;
      return false;
    } else {
      parsed.source = arg;
      haveSource = true;
    }
    if (!ok) {
      *error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  if (!haveSource) {
    *error = "no source given";
    return false;
  }
  if (!dewarpOnly.empty() && parsed.dewarpEffect == 0) {
    *error = dewarpOnly + " needs --dewarp";
    return false;
  }
  *options = std::move(parsed);
  return true;
}

std::vector<uint8_t> BuildMaskBlock(const std::vector<MaskRecord>& masks) {
  std::vector<uint8_t> block;
  if (masks.empty()) return block;
  block.push_back(1);
  block.push_back(0);
  AppendLittle32(&block, static_cast<int32_t>(masks.size() * 18));
  for (const MaskRecord& mask : masks) {
    block.push_back(mask.kind);
    block.push_back(mask.level);
    AppendLittle32(&block, mask.x);
    AppendLittle32(&block, mask.y);
    AppendLittle32(&block, mask.width);
    AppendLittle32(&block, mask.height);
  }
  return block;
}

}  // namespace vv
