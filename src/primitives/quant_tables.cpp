#include "primitives/quant_tables.h"

#include "primitives/dispatch.h"
#include "primitives/tables.h"

namespace vv {

const uint8_t kStdLuminanceQuant[64] = {
    16, 11, 10, 16, 24, 40, 51, 61,
    12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56,
    14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77,
    24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103, 99,
};

const uint8_t kStdChrominanceQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
};

namespace level0 {

int32_t ScaleQuantTable8u(uint8_t* table, int32_t quality) {
  if (!table) return StatusNullPointer;
  if (quality < 1) return StatusBadArgument;
  // Every quality from 100 up yields a scale <= 0 and so all ones; capping
  // here keeps 200 - 2 * quality from overflowing for huge qualities.
  if (quality > 100) quality = 100;
  const int32_t scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  for (int i = 0; i < 64; ++i) {
    const int32_t v = (table[i] * scale + 50) / 100;
    table[i] = static_cast<uint8_t>(v < 1 ? 1 : v > 255 ? 255 : v);
  }
  return StatusOk;
}

int32_t BuildDequantTable8u(const uint8_t* zigzag, uint16_t* natural) {
  if (!zigzag || !natural) return StatusNullPointer;
  for (int i = 0; i < 64; ++i) natural[kZigzagToNatural[i]] = zigzag[i];
  return StatusOk;
}

int32_t BuildQuantTableFwd8u(const uint8_t* zigzag, uint16_t* reciprocals) {
  if (!zigzag || !reciprocals) return StatusNullPointer;
  int32_t status = StatusOk;
  for (int i = 0; i < 64; ++i) {
    const int32_t q = zigzag[i];
    uint16_t r = 65535;
    if (q == 0) {
      status = StatusDivideByZero;
    } else {
      // floor(32768 / q + 1/2) in integers: floor((65536 + q) / (2q)).
      r = static_cast<uint16_t>((65536 + q) / (2 * q));
    }
    reciprocals[kZigzagToNatural[i]] = r;
  }
  return status;
}

int32_t ZigzagToNatural16(const uint16_t* zigzag, uint16_t* natural) {
  if (!zigzag || !natural) return StatusNullPointer;
  uint16_t copy[64];
  for (int i = 0; i < 64; ++i) copy[i] = zigzag[i];
  for (int n = 0; n < 64; ++n) natural[n] = copy[kNaturalToZigzag[n]];
  return StatusOk;
}

}  // namespace level0

namespace {

using ScaleQuantFn = int32_t(uint8_t*, int32_t);
using BuildTable8uFn = int32_t(const uint8_t*, uint16_t*);
using Reorder16Fn = int32_t(const uint16_t*, uint16_t*);

constexpr ScaleQuantFn* kScaleQuantTable8u[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::ScaleQuantTable8u);
constexpr BuildTable8uFn* kBuildDequantTable8u[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::BuildDequantTable8u);
constexpr BuildTable8uFn* kBuildQuantTableFwd8u[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::BuildQuantTableFwd8u);
constexpr Reorder16Fn* kZigzagToNatural16[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::ZigzagToNatural16);

}  // namespace

int32_t ScaleQuantTable8u(uint8_t* table, int32_t quality) {
  return kScaleQuantTable8u[ProcessorLevel()](table, quality);
}

int32_t BuildDequantTable8u(const uint8_t* zigzag, uint16_t* natural) {
  return kBuildDequantTable8u[ProcessorLevel()](zigzag, natural);
}

int32_t BuildQuantTableFwd8u(const uint8_t* zigzag, uint16_t* reciprocals) {
  return kBuildQuantTableFwd8u[ProcessorLevel()](zigzag, reciprocals);
}

int32_t ZigzagToNatural16(const uint16_t* zigzag, uint16_t* natural) {
  return kZigzagToNatural16[ProcessorLevel()](zigzag, natural);
}

}  // namespace vv
