#include "api/privacy_masks.h"

#include <algorithm>

namespace vv {
namespace {

int32_t ReadI32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

bool RecordIsUsable(const MaskEntry& e) {
  return (e.kind == kMaskSolid || e.kind == kMaskMosaic) && e.level <= 2 && e.x >= 0 &&
         e.y >= 0 && e.width <= kMaskUnitsPerFrame && e.height <= kMaskUnitsPerFrame;
}

// Scales a coordinate in 1/100000 of the frame to pixels. The product is
// taken in 64 bits: it equals the 32-bit product wherever that does not
// overflow, and where it would (frames wider than 21474 pixels, or huge
// offsets) it keeps the geometric meaning instead of wrapping. |units| <
// 2^31 and size < 2^32 keep the quotient within 32 bits.
int32_t ScaleToPixels(int32_t units, uint32_t size) {
  return static_cast<int32_t>(static_cast<int64_t>(units) * static_cast<int64_t>(size) /
                              kMaskUnitsPerFrame);
}

// Clips to (0, 0, frameWidth, frameHeight); false when nothing is left. A
// negative or zero size is nothing: such a record is skipped rather than
// normalised, since its meaning is unknown.
bool ClipToFrame(MaskRect* r, int32_t frameWidth, int32_t frameHeight) {
  if (r->width <= 0 || r->height <= 0) return false;
  const int64_t left = std::max<int64_t>(r->x, 0);
  const int64_t top = std::max<int64_t>(r->y, 0);
  const int64_t right = std::min<int64_t>(int64_t{r->x} + r->width, frameWidth);
  const int64_t bottom = std::min<int64_t>(int64_t{r->y} + r->height, frameHeight);
  if (left >= right || top >= bottom) return false;
  *r = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
        static_cast<int32_t>(bottom - top)};
  return true;
}

int32_t MosaicBlockSize(int32_t level, int32_t w, int32_t h) {
  const int32_t m = std::min(w, h);
  int32_t b;
  switch (level) {
    case 0: b = m / 20; break;
    case 1: b = m / 10; break;
    case 2: b = m / 5; break;
    default: return 10;
  }
  return std::clamp(b, 10, 150);
}

// --- GDI+ flat interface -------------------------------------------------
// Reached through the gdiplus.dll that the host has loaded and started: the
// library never starts GDI+ and takes no load-time dependency on it, so hosts
// that send no masks never load it. The module is kept loaded for the life of
// the process so the pointers cannot dangle.

using GpStatus = int;
using GdipCreateBitmapFromScan0Fn = GpStatus(WINAPI*)(INT, INT, INT, INT, BYTE*, void**);
using GdipGetImageGraphicsContextFn = GpStatus(WINAPI*)(void*, void**);
using GdipCreateSolidFillFn = GpStatus(WINAPI*)(DWORD, void**);
using GdipSetSolidFillColorFn = GpStatus(WINAPI*)(void*, DWORD);
using GdipFillRectangleIFn = GpStatus(WINAPI*)(void*, void*, INT, INT, INT, INT);
using GdipDeleteFn = GpStatus(WINAPI*)(void*);

constexpr INT kPixelFormat32bppRGB = 0x22009;
constexpr DWORD kOpaqueBlack = 0xFF000000u;

struct GdiplusFlat {
  GdipCreateBitmapFromScan0Fn createBitmapFromScan0 = nullptr;
  GdipGetImageGraphicsContextFn getImageGraphicsContext = nullptr;
  GdipCreateSolidFillFn createSolidFill = nullptr;
  GdipSetSolidFillColorFn setSolidFillColor = nullptr;
  GdipFillRectangleIFn fillRectangleI = nullptr;
  GdipDeleteFn deleteBrush = nullptr;
  GdipDeleteFn deleteGraphics = nullptr;
  GdipDeleteFn disposeImage = nullptr;
  bool complete = false;
};

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *fn != nullptr;
}

GdiplusFlat LoadGdiplusFlat() {
  GdiplusFlat api;
  HMODULE module = LoadLibraryW(L"gdiplus.dll");
  if (module == nullptr) return api;
  api.complete = Resolve(module, "GdipCreateBitmapFromScan0", &api.createBitmapFromScan0) &&
                 Resolve(module, "GdipGetImageGraphicsContext", &api.getImageGraphicsContext) &&
                 Resolve(module, "GdipCreateSolidFill", &api.createSolidFill) &&
                 Resolve(module, "GdipSetSolidFillColor", &api.setSolidFillColor) &&
                 Resolve(module, "GdipFillRectangleI", &api.fillRectangleI) &&
                 Resolve(module, "GdipDeleteBrush", &api.deleteBrush) &&
                 Resolve(module, "GdipDeleteGraphics", &api.deleteGraphics) &&
                 Resolve(module, "GdipDisposeImage", &api.disposeImage);
  return api;
}

const GdiplusFlat& Gdiplus() {
  // Resolved once, on the first sample that carries masks; the local static
  // is initialised under the compiler's thread-safe guard.
  static const GdiplusFlat api = LoadGdiplusFlat();
  return api;
}

}  // namespace

void ParseMasks(const uint8_t* block, uint32_t blockSize, GrowableArray<MaskEntry>* entries,
                int32_t* announced) {
  *announced = 0;
  if (block == nullptr || static_cast<int32_t>(blockSize) < static_cast<int32_t>(kMaskBlockHeadSize)) {
    return;
  }
  if (block[0] != 1) return;
  const int32_t payload = ReadI32(block + 2);
  if (payload > static_cast<int32_t>(blockSize - kMaskBlockHeadSize)) return;
  if (payload <= 0) return;
  *announced = payload / static_cast<int32_t>(kMaskRecordSize);
  for (int32_t i = 0; i < *announced; ++i) {
    const uint8_t* r = block + kMaskBlockHeadSize + static_cast<size_t>(i) * kMaskRecordSize;
    const MaskEntry entry{r[0], r[1], ReadI32(r + 2), ReadI32(r + 6), ReadI32(r + 10),
                          ReadI32(r + 14)};
    if (RecordIsUsable(entry) && !entries->Append(entry)) return;
  }
}

MaskRect MaskPixelRect(const MaskEntry& e, uint32_t frameWidth, uint32_t frameHeight) {
  return {ScaleToPixels(e.x, frameWidth), ScaleToPixels(e.y, frameHeight),
          ScaleToPixels(e.width, frameWidth), ScaleToPixels(e.height, frameHeight)};
}

bool BuildMosaic(int32_t level, MaskRect rect, const uint8_t* pixels, int32_t rowBytes,
                 int32_t frameWidth, int32_t frameHeight, GrowableArray<MosaicColour>* colours,
                 GrowableArray<MaskRect>* blocks) {
  if (pixels == nullptr || !ClipToFrame(&rect, frameWidth, frameHeight)) return true;
  const int32_t b = MosaicBlockSize(level, rect.width, rect.height);
  const int32_t columns = rect.width / b + (rect.width % b != 0 ? 1 : 0);
  const int32_t rows = rect.height / b + (rect.height % b != 0 ? 1 : 0);
  for (int32_t i = 0; i < rows; ++i) {
    for (int32_t j = 0; j < columns; ++j) {
      const int32_t x0 = rect.x + j * b;
      const int32_t y0 = rect.y + i * b;
      const int32_t bw = j == columns - 1 ? rect.width - (columns - 1) * b : b;
      const int32_t bh = i == rows - 1 ? rect.height - (rows - 1) * b : b;
      const int32_t xs[2] = {x0 + bw / 3, x0 + 2 * (bw / 3)};
      const int32_t ys[2] = {y0 + bh / 3, y0 + 2 * (bh / 3)};
      int32_t sum[3] = {0, 0, 0};
      for (int32_t y : ys) {
        for (int32_t x : xs) {
          const uint8_t* p = pixels + static_cast<ptrdiff_t>(y) * rowBytes + x * 4;
          sum[0] += p[2];
          sum[1] += p[1];
          sum[2] += p[0];
        }
      }
      if (!colours->Append({sum[0] >> 2, sum[1] >> 2, sum[2] >> 2})) return false;
      if (!blocks->Append({x0, y0, bw, bh})) {
        colours->PopBack();  // keep the two arrays in step
        return false;
      }
    }
  }
  return true;
}

void PaintMasks(ViewerRecord* viewer, const uint8_t* block, uint32_t blockSize) {
  GrowableArray<MaskEntry> entries;
  int32_t announced = 0;
  ParseMasks(block, blockSize, &entries, &announced);
  if (announced <= 0 || viewer->frameBits == nullptr) return;
  const GdiplusFlat& gdip = Gdiplus();
  if (!gdip.complete) return;

  const int32_t width = static_cast<int32_t>(viewer->frameWidth);
  const int32_t height = static_cast<int32_t>(viewer->frameHeight);
  const int32_t rowBytes = width * 4;
  void* bitmap = nullptr;
  void* graphics = nullptr;
  void* brush = nullptr;
  // Statuses are not examined: a failed call leaves a null object (checked
  // below) or an unpainted rectangle, and the sample still succeeds.
  gdip.createBitmapFromScan0(width, height, rowBytes, kPixelFormat32bppRGB, viewer->frameBits,
                             &bitmap);
  if (bitmap != nullptr) gdip.getImageGraphicsContext(bitmap, &graphics);
  gdip.createSolidFill(kOpaqueBlack, &brush);

  if (graphics != nullptr && brush != nullptr) {
    GrowableArray<MosaicColour> colours;
    GrowableArray<MaskRect> blocks;
    for (size_t n = 0; n < entries.size(); ++n) {
      const MaskEntry& entry = entries[n];
      MaskRect rect = MaskPixelRect(entry, viewer->frameWidth, viewer->frameHeight);
      if (entry.kind == kMaskSolid) {
        // GDI+ would clip by itself; clipping here makes a negative size
        // mean "nothing", as it does for mosaics.
        if (!ClipToFrame(&rect, width, height)) continue;
        gdip.setSolidFillColor(brush, kOpaqueBlack);
        gdip.fillRectangleI(graphics, brush, rect.x, rect.y, rect.width, rect.height);
        continue;
      }
      colours.Clear();
      blocks.Clear();
      // All colours of a record are sampled before any of its blocks is
      // filled, so its own blocks never feed each other.
      BuildMosaic(entry.level, rect, viewer->frameBits, rowBytes, width, height, &colours,
                  &blocks);
      for (size_t k = 0; k < blocks.size(); ++k) {
        const MosaicColour& c = colours[k];
        const MaskRect& r = blocks[k];
        gdip.setSolidFillColor(brush, kOpaqueBlack | static_cast<DWORD>(c.red) << 16 |
                                          static_cast<DWORD>(c.green) << 8 |
                                          static_cast<DWORD>(c.blue));
        gdip.fillRectangleI(graphics, brush, r.x, r.y, r.width, r.height);
      }
    }
  }
  if (brush != nullptr) gdip.deleteBrush(brush);
  if (graphics != nullptr) gdip.deleteGraphics(graphics);
  if (bitmap != nullptr) gdip.disposeImage(bitmap);
}

}  // namespace vv
