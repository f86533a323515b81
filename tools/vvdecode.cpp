// vvdecode: decodes one JPEG file with the project's decoder into a PPM, PGM,
// PAM, BMP or raw file, or prints its header facts. Exit status 0 success,
// 1 a decoding or file failure, 2 a usage error or a request this input
// cannot satisfy.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image_files.h"
#include "jpeg/codec_status.h"
#include "jpeg/decoder.h"
#include "jpeg/frame_decode.h"
#include "jpeg/streams.h"
#include "primitives/processor_level.h"

namespace {

using vv::CJPEGDecoder;
using vv::ImageView;
using vv::PixelLayout;

const char kUsage[] =
    "usage: vvdecode [--color native|gray|rgb|bgr|rgba|bgra|cmyk|yuy2] [--scale 0|1|2|3]\n"
    "                [--planar] [--deep] [--info] [--viewer] INPUT.jpg [OUTPUT]\n"
    "OUTPUT by extension: .ppm (colour), .pgm (gray; with --planar one file per\n"
    "component, NAME.K.pgm), .pam (any), .bmp (32-bit), .raw (the decoder's bytes).\n"
    "--deep keeps samples of frames deeper than 8 bits as 16-bit samples;\n"
    "such frames are refused without it.\n";

// A user's colour request: the decoder's dstColor code and the layout of
// what it writes.
struct ColorChoice {
  const char* name;
  int32_t dstColor;
  PixelLayout layout;
  int32_t bytesPerPixel;  // at 8 bits a sample
};

constexpr int32_t kDstNative = 0, kDstGray = 1, kDstRgb = 2, kDstBgr = 3, kDstYuy2 = 4,
                  kDstCmyk = 5, kDstBgra = 7, kDstRgba = 8;

const ColorChoice kColorChoices[] = {
    {"native", kDstNative, PixelLayout::kChannels4, 0},  // layout fixed per frame
    {"gray", kDstGray, PixelLayout::kGray, 1},
    {"rgb", kDstRgb, PixelLayout::kRgb, 3},
    {"bgr", kDstBgr, PixelLayout::kBgr, 3},
    {"rgba", kDstRgba, PixelLayout::kRgba, 4},
    {"bgra", kDstBgra, PixelLayout::kBgra, 4},
    {"cmyk", kDstCmyk, PixelLayout::kCmyk, 4},
    // Packed Y0 Cb Y1 Cr; only raw output holds it.
    {"yuy2", kDstYuy2, PixelLayout::kChannels4, 2},
};

const ColorChoice* FindColor(const char* name) {
  for (const ColorChoice& choice : kColorChoices) {
    if (std::strcmp(choice.name, name) == 0) return &choice;
  }
  return nullptr;
}

const char* ColorSpaceName(int32_t colorSpace) {
  switch (colorSpace) {
    case vv::kColorGray: return "gray";
    case vv::kColorRgb: return "RGB";
    case vv::kColorYCbCr: return "YCbCr";
    case vv::kColorCmyk: return "CMYK";
    case vv::kColorYcck: return "YCCK";
    default: return "unknown";
  }
}

const char* ModeName(int32_t mode) {
  switch (mode) {
    case vv::kFrameBaseline: return "baseline";
    case vv::kFrameExtended: return "extended";
    case vv::kFrameProgressive: return "progressive";
    case vv::kFrameLossless: return "lossless";
    default: return "none";
  }
}

struct Options {
  const ColorChoice* color = nullptr;  // null: chosen from the colour space
  int32_t scale = 0;
  bool planar = false;
  bool deep = false;
  bool info = false;
  bool viewer = false;
  const char* input = nullptr;
  const char* output = nullptr;
};

enum class OutputKind { kNone, kPpm, kPgm, kPam, kBmp, kRaw };

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

OutputKind OutputKindOf(const char* path) {
  if (path == nullptr) return OutputKind::kNone;
  const std::string name(path);
  if (EndsWith(name, ".ppm")) return OutputKind::kPpm;
  if (EndsWith(name, ".pgm")) return OutputKind::kPgm;
  if (EndsWith(name, ".pam")) return OutputKind::kPam;
  if (EndsWith(name, ".bmp")) return OutputKind::kBmp;
  if (EndsWith(name, ".raw")) return OutputKind::kRaw;
  return OutputKind::kNone;
}

int UsageError(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "vvdecode: %s\n", message);
  std::fputs(kUsage, stderr);
  return 2;
}

// A request the frame cannot satisfy: status 2 with the reason.
int Refuse(const std::string& reason) {
  std::fprintf(stderr, "vvdecode: %s\n", reason.c_str());
  return 2;
}

int DecoderError(int32_t status) {
  std::fprintf(stderr, "vvdecode: error %d: %s\n", static_cast<int>(status),
               vv::CodecStatusText(status));
  return 1;
}

// Parses the command line; 0 when usable, else the exit status.
int ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--color") == 0) {
      if (++i >= argc) return UsageError("--color needs a value");
      options->color = FindColor(argv[i]);
      if (options->color == nullptr) return UsageError("unknown --color");
    } else if (std::strcmp(arg, "--scale") == 0) {
      if (++i >= argc) return UsageError("--scale needs a value");
      const char* value = argv[i];
      if (value[0] < '0' || value[0] > '3' || value[1] != 0) return UsageError("--scale is 0..3");
      options->scale = value[0] - '0';
    } else if (std::strcmp(arg, "--planar") == 0) {
      options->planar = true;
    } else if (std::strcmp(arg, "--deep") == 0) {
      options->deep = true;
    } else if (std::strcmp(arg, "--info") == 0) {
      options->info = true;
    } else if (std::strcmp(arg, "--viewer") == 0) {
      options->viewer = true;
    } else if (arg[0] == '-' && arg[1] != 0) {
      return UsageError("unknown option");
    } else if (options->input == nullptr) {
      options->input = arg;
    } else if (options->output == nullptr) {
      options->output = arg;
    } else {
      return UsageError("too many arguments");
    }
  }
  if (options->input == nullptr) return UsageError(nullptr);
  if (options->output != nullptr && OutputKindOf(options->output) == OutputKind::kNone) {
    return UsageError("OUTPUT must end in .ppm, .pgm, .pam, .bmp or .raw");
  }
  if (options->planar && options->color != nullptr) {
    return UsageError("--planar writes the components as they are; no --color with it");
  }
  if (options->planar && options->output != nullptr &&
      OutputKindOf(options->output) != OutputKind::kPgm &&
      OutputKindOf(options->output) != OutputKind::kRaw) {
    return UsageError("--planar writes .pgm or .raw files");
  }
  if (options->viewer && (options->color != nullptr || options->scale != 0 ||
                          options->planar || options->deep)) {
    return UsageError("--viewer decodes as the viewer does; no other decoding options with it");
  }
  if (!options->info && options->output == nullptr) return UsageError("OUTPUT missing");
  return 0;
}

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    // The decoder's stream sizes are 32-bit.
    if (bytes->size() + got > 0x7FFFFFFF) {
      std::fclose(file);
      return false;
    }
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

void PrintEscaped(const uint8_t* text, int32_t length) {
  std::putchar('"');
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t c = text[i];
    if (c == '"' || c == '\\') {
      std::printf("\\%c", c);
    } else if (c >= 0x20 && c < 0x7F) {
      std::putchar(c);
    } else {
      std::printf("\\x%02x", c);
    }
  }
  std::putchar('"');
}

void PrintInfo(const CJPEGDecoder& d) {
  std::printf("width %d\nheight %d\ncomponents %d\nprecision %d\n", d.width, d.height,
              d.componentCount, d.precision);
  std::printf("mode %d %s\ncolorSpace %d %s\nsamplingClass %d\n", d.mode, ModeName(d.mode),
              d.colorSpace, ColorSpaceName(d.colorSpace), d.samplingClass);
  std::printf("sampling");
  for (int32_t k = 0; k < d.componentCount && k < 4; ++k) {
    std::printf(" %dx%d", d.components[k].hSampling, d.components[k].vSampling);
  }
  std::printf("\nrestartInterval %d\n", d.restartInterval);
  if (d.hasJfif) {
    std::printf("jfif %d.%02d units %d density %dx%d thumbnail %dx%d\n", d.jfifMajor, d.jfifMinor,
                d.jfifUnits, d.jfifXDensity, d.jfifYDensity, d.jfifXThumbnail, d.jfifYThumbnail);
  }
  if (d.hasJfxx) std::printf("jfxx code %d\n", d.jfxxCode);
  if (d.hasAvi1) {
    std::printf("avi1 polarity %d reserved %d fieldSize %u fieldSizeLessPadding %u\n",
                d.avi1Polarity, d.avi1Reserved, d.avi1FieldSize, d.avi1FieldSizeLessPadding);
  }
  if (d.hasExif) std::printf("exif %d bytes\n", d.exifLength);
  if (d.hasAdobe) {
    std::printf("adobe version %d flags0 %d flags1 %d transform %d\n", d.adobeVersion,
                d.adobeFlags0, d.adobeFlags1, d.adobeTransform);
  }
  if (d.hasComment) {
    std::printf("comment %d ", d.commentLength);
    PrintEscaped(d.comment, d.comment != nullptr ? d.commentLength : 0);
    std::putchar('\n');
  }
}

// What a user expects without --color: colour pictures as RGB, gray as
// gray, CMYK and YCCK as CMYK; samples deeper than 8 bits as stored, since
// only the copying conversions exist at that depth.
const ColorChoice* DefaultColor(const CJPEGDecoder& d, bool deepOutput) {
  if (d.colorSpace == vv::kColorGray) return FindColor("gray");
  if (deepOutput) return FindColor(d.colorSpace == vv::kColorRgb ? "rgb" : "native");
  switch (d.colorSpace) {
    case vv::kColorRgb:
    case vv::kColorYCbCr: return FindColor("rgb");
    case vv::kColorCmyk:
    case vv::kColorYcck: return FindColor("cmyk");
    default: return FindColor("native");
  }
}

// Whether the decoder converts the frame's colour space to dstColor. The
// pairs it does not handle leave the output untouched, so they are refused
// here instead of writing an empty picture; gray frames are not widened to
// colour (the gray file formats hold them). "native" is served by treating
// the colour space as unknown, which copies the components as they are.
bool ConversionExists(const CJPEGDecoder& d, int32_t dstColor, bool deepOutput) {
  const int32_t cs = d.colorSpace;
  if (dstColor == kDstNative) {
    return d.componentCount == 1 || d.componentCount == 3 || d.componentCount == 4;
  }
  if (deepOutput) {
    return (cs == vv::kColorGray && dstColor == kDstGray) ||
           (cs == vv::kColorRgb && (dstColor == kDstRgb || dstColor == kDstBgr));
  }
  switch (cs) {
    case vv::kColorGray: return dstColor == kDstGray;
    case vv::kColorRgb: return dstColor == kDstRgb || dstColor == kDstBgr;
    case vv::kColorYCbCr:
      if (dstColor == kDstYuy2) return d.samplingClass == 1;
      return dstColor == kDstGray || dstColor == kDstRgb || dstColor == kDstBgr ||
             dstColor == kDstRgba || dstColor == kDstBgra;
    case vv::kColorCmyk:
    case vv::kColorYcck: return dstColor == kDstCmyk;
    default: return false;
  }
}

bool LayoutFitsOutput(OutputKind kind, PixelLayout layout, bool isYuy2, bool deepOutput) {
  if (kind == OutputKind::kRaw || kind == OutputKind::kNone) return true;
  if (isYuy2) return false;
  switch (kind) {
    case OutputKind::kPgm: return layout == PixelLayout::kGray;
    case OutputKind::kPpm:
      return layout == PixelLayout::kRgb || layout == PixelLayout::kBgr ||
             layout == PixelLayout::kRgba || layout == PixelLayout::kBgra;
    case OutputKind::kBmp:
      return !deepOutput && layout != PixelLayout::kCmyk && layout != PixelLayout::kChannels4;
    default: return true;  // PAM holds every layout
  }
}

bool WriteRaw(const char* path, const uint8_t* pixels, int32_t step, int32_t rowBytes,
              int32_t rows) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = true;
  for (int32_t y = 0; y < rows && ok; ++y) {
    ok = std::fwrite(pixels + static_cast<size_t>(y) * step, 1, rowBytes, file) ==
         static_cast<size_t>(rowBytes);
  }
  return std::fclose(file) == 0 && ok;
}

bool WriteOutput(OutputKind kind, const char* path, const ImageView& view, int32_t rowBytes) {
  switch (kind) {
    case OutputKind::kPpm:
    case OutputKind::kPgm: return vv::WritePnm(path, view);
    case OutputKind::kPam: return vv::WritePam(path, view);
    case OutputKind::kBmp: return vv::WriteBmp(path, view);
    case OutputKind::kRaw: return WriteRaw(path, view.pixels, view.step, rowBytes, view.height);
    default: return true;
  }
}

int32_t CeilShift(int32_t value, int32_t shift) {
  return static_cast<int32_t>((int64_t{value} + (int64_t{1} << shift) - 1) >> shift);
}

int32_t RoundUp(int32_t value, int32_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

// "NAME.pgm" → "NAME.K.pgm".
std::string PlaneFileName(const char* output, int32_t k) {
  std::string name(output);
  const size_t dot = name.rfind('.');
  return name.substr(0, dot) + "." + std::to_string(k) + name.substr(dot);
}

// Decodes into one file per component, each at its own resolution (all
// at full resolution when samples are deeper than 8 bits).
int DecodePlanar(CJPEGDecoder* d, const Options& options, bool deepOutput, int32_t maxValue) {
  const int32_t s = options.scale;
  const int32_t sampleBytes = deepOutput ? 2 : 1;
  std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(d->componentCount));
  int32_t widths[4] = {}, heights[4] = {}, steps[4] = {};
  for (int32_t k = 0; k < d->componentCount; ++k) {
    const vv::CJPEGColorComponent& c = d->components[k];
    if (deepOutput) {
      widths[k] = d->width;
      heights[k] = d->height;
    } else {
      widths[k] = CeilShift(static_cast<int32_t>((int64_t{d->width} * c.hSampling +
                                                  d->maxHSampling - 1) / d->maxHSampling), s);
      heights[k] = CeilShift(static_cast<int32_t>((int64_t{d->height} * c.vSampling +
                                                   d->maxVSampling - 1) / d->maxVSampling), s);
    }
    // The decoder copies whole MCU rows of its (possibly padded) component
    // lines, so the destination gets the padded frame size plus slack.
    const int32_t paddedWidth = d->mcusAcross * d->mcuWidth;
    const int32_t paddedHeight = d->mcusDown * d->mcuHeight;
    steps[k] = RoundUp((deepOutput ? paddedWidth : (paddedWidth >> s)) * sampleBytes + 64, 32);
    const int32_t lines = (deepOutput ? paddedHeight : (paddedHeight >> s)) + 2;
    planes[k].assign(static_cast<size_t>(steps[k]) * lines, 0);
    d->dstPlanes[k] = planes[k].data();
    d->dstSteps[k] = steps[k];
  }
  d->dstWidth = deepOutput ? d->width : CeilShift(d->width, s);
  d->dstHeight = deepOutput ? d->height : CeilShift(d->height, s);
  d->dstColor = kDstNative;
  d->dstChannels = 1;
  d->planarOutput = 1;
  const int32_t status = d->Decode(1);
  if (status != 0) return DecoderError(status);
  if (options.output == nullptr) return 0;
  const OutputKind kind = OutputKindOf(options.output);
  for (int32_t k = 0; k < d->componentCount; ++k) {
    ImageView view;
    view.pixels = planes[k].data();
    view.step = steps[k];
    view.width = widths[k];
    view.height = heights[k];
    view.layout = PixelLayout::kGray;
    view.maxValue = maxValue;
    const std::string name = PlaneFileName(options.output, k);
    if (!WriteOutput(kind, name.c_str(), view, widths[k] * sampleBytes)) {
      std::fprintf(stderr, "vvdecode: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}

// The viewer's own decode path: 4-byte blue-green-red pixels (gray frames
// widened), studio-range colour, full size.
int DecodeAsViewer(const Options& options, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<CJPEGDecoder> decoder(new CJPEGDecoder());
  vv::FrameBuffers frame;
  bool sizeChanged = false;
  const bool decoded = vv::DecodeViewerFrame(decoder.get(), bytes.data(),
                                             static_cast<uint32_t>(bytes.size()), &frame,
                                             &sizeChanged);
  if (options.info && decoder->mode != 0) PrintInfo(*decoder);
  int result = 0;
  if (!decoded) {
    // The viewer path reports success only; the header pass says more
    // when it was the header that failed.
    std::fputs("vvdecode: the viewer's decode path rejected the frame\n", stderr);
    result = 1;
  } else if (options.output != nullptr) {
    ImageView view;
    view.pixels = frame.frameBits;
    view.step = static_cast<int32_t>(frame.frameWidth) * 4;
    view.width = static_cast<int32_t>(frame.frameWidth);
    view.height = static_cast<int32_t>(frame.frameHeight);
    view.layout = PixelLayout::kBgrx;
    const OutputKind kind = OutputKindOf(options.output);
    if (kind == OutputKind::kPgm) {
      result = Refuse("the viewer's pictures are colour pictures; use .ppm, .pam, .bmp or .raw");
    } else if (!WriteOutput(kind, options.output, view, view.step)) {
      std::fprintf(stderr, "vvdecode: cannot write %s\n", options.output);
      result = 1;
    }
  }
  vv::ReleaseFrameBuffers(&frame);
  return result;
}

int Run(const Options& options) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(options.input, &bytes)) {
    std::fprintf(stderr, "vvdecode: cannot read %s\n", options.input);
    return 1;
  }
  if (options.viewer) return DecodeAsViewer(options, bytes);
  // The decoder embeds its tables; it lives on the heap, as in the viewer.
  std::unique_ptr<CJPEGDecoder> decoder(new CJPEGDecoder());
  CJPEGDecoder& d = *decoder;
  d.ReleaseFrame();
  d.InitFrame();
  vv::CMemBuffInput memory(bytes.data(), static_cast<int32_t>(bytes.size()));
  int32_t status = d.input.Attach(&memory, vv::kBitInputWindowSize);
  if (status == 0) status = d.Decode(0);
  if (status != 0) return DecoderError(status);
  if (d.mode == 0) return DecoderError(vv::CodecNoFrame);
  if (options.info) PrintInfo(d);
  if (options.output == nullptr) return 0;

  if (d.precision > 8 && !options.deep) {
    return Refuse("frame precision " + std::to_string(d.precision) +
                  ": samples deeper than 8 bits need --deep");
  }
  const bool deepOutput = options.deep && d.precision > 8;
  const int32_t maxValue = deepOutput ? (1 << d.precision) - 1 : 255;
  const int32_t sampleBytes = deepOutput ? 2 : 1;

  status = d.SetupGeometry();
  if (status != 0) return DecoderError(status);
  d.scale = options.scale;
  d.sparseIdct = d.mode == vv::kFrameBaseline ? 1 : 0;  // as the viewer decodes
  d.dstPrecision = deepOutput ? d.precision : 8;
  d.keep422 = 0;
  d.planarOutput = 0;
  if (options.planar) return DecodePlanar(&d, options, deepOutput, maxValue);

  const ColorChoice* color = options.color != nullptr ? options.color : DefaultColor(d, deepOutput);
  if (!ConversionExists(d, color->dstColor, deepOutput)) {
    return Refuse(std::string("cannot convert ") + ColorSpaceName(d.colorSpace) + " (" +
                  std::to_string(d.componentCount) + " components, " +
                  std::to_string(d.precision) + " bits) to " + color->name);
  }
  PixelLayout layout = color->layout;
  int32_t bytesPerPixel = color->bytesPerPixel * sampleBytes;
  if (color->dstColor == kDstNative) {
    // Treating the colour space as unknown makes the decoder copy the
    // components as they are instead of converting them.
    layout = d.componentCount == 1   ? PixelLayout::kGray
             : d.componentCount == 3 ? PixelLayout::kRgb
                                     : PixelLayout::kChannels4;
    bytesPerPixel = d.componentCount * sampleBytes;
    d.colorSpace = vv::kColorUnknown;
  }
  const bool isYuy2 = color->dstColor == kDstYuy2;
  const OutputKind kind = OutputKindOf(options.output);
  if (!LayoutFitsOutput(kind, layout, isYuy2, deepOutput)) {
    return Refuse(std::string(color->name) + " pictures cannot be stored in " + options.output);
  }

  const int32_t outWidth = CeilShift(d.width, options.scale);
  const int32_t outHeight = CeilShift(d.height, options.scale);
  // YUY2 pairs pixels: an odd width still gets its last pair.
  const int32_t rowBytes = isYuy2 ? RoundUp(outWidth, 2) * 2 : outWidth * bytesPerPixel;
  const int32_t step = RoundUp(rowBytes, 4);  // the viewer's rule
  std::vector<uint8_t> pixels(static_cast<size_t>(step) * outHeight, 0);
  d.dstPlanes[0] = pixels.data();
  d.dstSteps[0] = step;
  d.dstWidth = outWidth;
  d.dstHeight = outHeight;
  d.dstColor = color->dstColor;
  d.dstChannels = isYuy2 ? 2 : bytesPerPixel / sampleBytes;
  d.keep422 = isYuy2 ? 1 : 0;
  status = d.Decode(1);
  if (status != 0) return DecoderError(status);
  if (layout == PixelLayout::kCmyk && d.hasAdobe && kind == OutputKind::kPam) {
    // Streams with an Adobe segment store CMYK inverted (0 = full ink), as
    // the makers of such files do; a CMYK PAM counts ink upwards.
    for (uint8_t& sample : pixels) sample = static_cast<uint8_t>(255 - sample);
  }

  ImageView view;
  view.pixels = pixels.data();
  view.step = step;
  view.width = outWidth;
  view.height = outHeight;
  view.layout = layout;
  view.maxValue = maxValue;
  if (!WriteOutput(kind, options.output, view, rowBytes)) {
    std::fprintf(stderr, "vvdecode: cannot write %s\n", options.output);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  vv::SelectProcessorLevel();  // the primitives the library would use here
  Options options;
  const int status = ParseArguments(argc, argv, &options);
  if (status != 0) return status;
  return Run(options);
}
