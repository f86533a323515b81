// Privacy masks: the mask block carried beside a sample, and painting its
// solid and mosaic rectangles into the decoded, still top-down picture.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "api/viewer_record.h"

namespace vv {

// Sizes of the mask block: a 6-byte head (version, one unread byte, signed
// payload length) followed by records of 18 bytes.
constexpr uint32_t kMaskBlockHeadSize = 6;
constexpr uint32_t kMaskRecordSize = 18;
// Mask coordinates are in units of 1/100000 of the frame width or height.
constexpr int32_t kMaskUnitsPerFrame = 100000;

enum MaskKind : int32_t { kMaskSolid = 1, kMaskMosaic = 2 };

// One record that passed the record rules, fields widened to 32 bits.
struct MaskEntry {
  int32_t kind;
  int32_t level;
  int32_t x, y, width, height;
};

struct MaskRect {
  int32_t x, y, width, height;
};

struct MosaicColour {
  int32_t red, green, blue;
};

// An array of plain records that grows on the C heap and lives for one call.
// Append returns false, leaving the array as it was, when the heap is
// exhausted; nothing throws.
template <typename T>
class GrowableArray {
 public:
  GrowableArray() = default;
  GrowableArray(const GrowableArray&) = delete;
  GrowableArray& operator=(const GrowableArray&) = delete;
  ~GrowableArray() { std::free(items_); }

  bool Append(const T& item) {
    if (count_ == capacity_) {
      const size_t grown = capacity_ == 0 ? 16 : capacity_ * 2;
      void* moved = std::realloc(items_, grown * sizeof(T));
      if (moved == nullptr) return false;
      items_ = static_cast<T*>(moved);
      capacity_ = grown;
    }
    items_[count_++] = item;
    return true;
  }
  void Clear() { count_ = 0; }
  void PopBack() {
    if (count_ > 0) --count_;
  }
  size_t size() const { return count_; }
  const T& operator[](size_t i) const { return items_[i]; }

 private:
  T* items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

// Reads a mask block of `blockSize` bytes at `block`. A block shorter than 6
// bytes (as a signed size), with a version other than 1, or whose payload
// length exceeds blockSize - 6 is rejected as a whole: *announced = 0 and no
// entries. Otherwise *announced = payload length / 18 (0 or less announces
// nothing) and `entries` receives, in block order, every announced record
// with kind 1 or 2, level at most 2, x >= 0, y >= 0, width and height at most
// 100000; the others are skipped. Never reads outside the block. Entries
// already in the array are kept; when the heap runs out, collecting stops.
void ParseMasks(const uint8_t* block, uint32_t blockSize, GrowableArray<MaskEntry>* entries,
                int32_t* announced);

// Splits the pixel rectangle `rect` of a mosaic mask into blocks and samples
// their colours from the top-down picture `pixels` (`frameWidth` x
// `frameHeight` pixels of blue, green, red, x; `rowBytes` per row). The
// rectangle is first clipped to the picture, and everything below is about
// the clipped rectangle; one with a negative or zero size, or lying wholly
// outside, gives no blocks. Block size b = min(w, h) / 20, / 10 or / 5 for
// levels 0, 1, 2, clamped to 10..150 (10 for any other level); blocks run
// row by row from the top-left, the last row and column taking what is left.
// A block's colour averages the four pixels at a third and two thirds of its
// width and height. Appends to `colours` and `blocks` in the same order;
// returns false when the heap ran out (both arrays then hold whole pairs).
// Never reads outside the picture.
bool BuildMosaic(int32_t level, MaskRect rect, const uint8_t* pixels, int32_t rowBytes,
                 int32_t frameWidth, int32_t frameHeight, GrowableArray<MosaicColour>* colours,
                 GrowableArray<MaskRect>* blocks);

// The pixel rectangle of a mask entry in a frame of the given size.
MaskRect MaskPixelRect(const MaskEntry& entry, uint32_t frameWidth, uint32_t frameHeight);

// Paints the masks of a block into the viewer's frameBits (top-down, under
// the viewer lock) through the GDI+ flat interface of the host's GDI+: solid
// masks in opaque black, mosaic masks as blocks of their sampled colours,
// later records over earlier ones. No result: a malformed block paints
// nothing, a malformed record is skipped, and when GDI+ is missing or not
// started, or any of its calls fails, that part stays unpainted. Nothing
// outside frameBits is read or written.
void PaintMasks(ViewerRecord* viewer, const uint8_t* block, uint32_t blockSize);

}  // namespace vv
