#include "primitives/idct.h"

#include <cstring>

#include "primitives/dispatch.h"
#include "primitives/fixed_point.h"
#include "primitives/idct_levels.h"

namespace vv {
namespace {

inline uint8_t ClampToByte(int32_t v) {
  if (static_cast<uint32_t>(v) > 255u) v = v < 0 ? 0 : 255;
  return static_cast<uint8_t>(v);
}

// One add and one rarely taken branch on the common path.
inline int16_t SaturateTo16(int32_t v) {
  if (static_cast<uint32_t>(v) + 32768u > 65535u) v = v < 0 ? -32768 : 32767;
  return static_cast<int16_t>(v);
}

inline int32_t Dequantise(int16_t coefficient, uint16_t step) {
  return SaturateTo16(int32_t{coefficient} * int32_t{step});
}

inline uint8_t* RowAt(uint8_t* dst, int32_t step, int row) {
  return dst + static_cast<intptr_t>(step) * row;
}

// One 8-point inverse DCT along the Loeffler-Ligtenberg-Moschytz flow graph,
// result x 2^15 x 2*sqrt(2) relative to T.81's 1-D normalisation (so a DC
// value d gives d << 15 everywhere). Inputs in[kNonZero..7] are taken as
// zero and never read; the sparse forms use this to drop terms, and since
// dropping a zero term changes no sum, they stay bit-equal to the full form.
//
// Even part: frequencies 0 and 4 enter as value << 15, 2 and 6 through the
// rotation by 6pi/16 scaled by sqrt(2): sqrt2*c6 = 17734, sqrt2*(c2-c6) = 25080,
// sqrt2*(c2+c6) = 60547.
// Odd part (ck = cos(k pi/16)): rotations of (1, 7) by pi/16 with the common
// factor c7 = 6393, c1-c7 = 25746, c1+c7 = 38531, and of (3, 5) by 3pi/16
// with c3 = 27246, c3-c5 = 9041, c3+c5 = 45451, giving
//   a = c1 X1 + c7 X7, b = c7 X1 - c1 X7, c = c3 X3 + c5 X5, d = c3 X5 - c5 X3.
// Since c3 = (c1+c7)/sqrt2 and c5 = (c1-c7)/sqrt2 (and likewise c1, c7 from
// c3, c5), the four odd outputs are sqrt2 (a + c), (a - c) + (b - d),
// (a - c) - (b - d) and sqrt2 (b + d); the two sqrt2 products are taken on
// the sum rounded to 2^3 as x 5793 (sqrt2 x 2^12).
// `bias` is added to every output: each one holds the DC term exactly once,
// so it rides on that term (sums wrap modulo 2^32 alike either way). The
// passes pass the rounding constants of their descales here.
//
// Written in the form vector units take: the rotations are multiplied out so
// that every product is a 16-bit input times a constant that fits 16 bits (a
// constant above 32767 is split into 2^15, which becomes a shift, and a
// remainder), which baseline SSE2 multiplies eight at a time. Sums modulo
// 2^32 do not depend on how the products are grouped, so this is the flow
// graph's result bit for bit:
//   even2 = x2 (2^15 + 10046) + x6 17734,  even6 = x2 17734 - x6 (2^15 + 10045),
//   a = x1 32139 + x7 6393,  b = x1 6393 - x7 32138,
//   c = x3 27246 + x5 18205,  d = x5 27246 - x3 18205.
template <int kNonZero>
inline void Idct8(const int16_t* in, Sum out[8], Sum bias) {
  auto at = [in](int k) -> int16_t { return k < kNonZero ? in[k] : 0; };
  const Sum x0 = (AsSum(at(0)) << 15) + bias, x4 = AsSum(at(4)) << 15;
  const int16_t x2 = at(2), x6 = at(6);
  const Sum sum04 = x0 + x4, diff04 = x0 - x4;
  const Sum even2 = (AsSum(x2) << 15) + Product(x2, 10046) + Product(x6, 17734);
  const Sum even6 = Product(x2, 17734) - (AsSum(x6) << 15) - Product(x6, 10045);
  const Sum e0 = sum04 + even2, e3 = sum04 - even2, e1 = diff04 + even6, e2 = diff04 - even6;

  const int16_t x1 = at(1), x3 = at(3), x5 = at(5), x7 = at(7);
  const Sum a = Product(x1, 32139) + Product(x7, 6393);
  const Sum b = Product(x1, 6393) - Product(x7, 32138);
  const Sum c = Product(x3, 27246) + Product(x5, 18205);
  const Sum d = Product(x5, 27246) - Product(x3, 18205);
  const Sum o0 = AsSum(Descale(a + c, 12)) * 5793;
  const Sum o3 = AsSum(Descale(b + d, 12)) * 5793;
  const Sum ac = a - c, bd = b - d;
  const Sum o1 = ac + bd, o2 = ac - bd;

  out[0] = e0 + o0;
  out[7] = e0 - o0;
  out[1] = e1 + o1;
  out[6] = e1 - o1;
  out[2] = e2 + o2;
  out[5] = e2 - o2;
  out[3] = e3 + o3;
  out[4] = e3 - o3;
}

// The separable transform on the top-left kNonZero x kNonZero coefficients
// (the rest taken as zero and not read). Columns first: each result keeps
// three fraction bits, (x + 2^11) >> 12, stored as 16 bits with saturation
// (as a vector pack would), so that even a saturated DC still ends as a
// clamped sample and not as a wrapped one; a column with nothing but its DC
// gives DC << 3 in every row, which is what the flow graph computes too.
// Rows second: (x + 2^20) >> 21, + 128, clamped.
// Column u of the column pass, from its first kRows coefficients, into
// columns[8u .. 8u + 7] (column after column, for the row pass's lanes).
template <int kRows>
inline void IdctColumn(const int16_t* coefficients, const uint16_t* quant, int u,
                       int16_t* columns) {
  int16_t in[8];
  VV_UNROLL
  for (int v = 0; v < kRows; ++v) {
    in[v] = static_cast<int16_t>(Dequantise(coefficients[8 * v + u], quant[8 * v + u]));
  }
  Sum out[8];
  Idct8<kRows>(in, out, Sum{1} << 11);
  VV_UNROLL
  for (int v = 0; v < 8; ++v) columns[8 * u + v] = SaturateTo16(static_cast<int32_t>(out[v]) >> 12);
}

// ClampToByte(Descale(x, 21) + 128), x already holding the rounding
// constant, with 16-bit clamps, which vectorise (the descaled value lies in
// -1024..1023).
inline int16_t RowSampleOf(Sum x) {
  const int16_t v = static_cast<int16_t>((static_cast<int32_t>(x) >> 21) + 128);
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

// The row pass over the column results (stored column after column), of
// which the first kColumns columns are read. The eight rows are the lanes of
// the computation, since the results of one column lie side by side; the
// samples come out column after column and are put into rows at the end.
// They stay 16-bit until then so that the compiler works in full 16-byte
// vectors (with bytes it picks 8-byte ones and splits every 32-bit sum).
template <int kColumns>
inline void IdctRows(const int16_t* columns, uint8_t* dst, int32_t dstStep) {
  int16_t samples[8][8];  // [x][y]
  for (int y = 0; y < 8; ++y) {
    int16_t in[8];
    VV_UNROLL
    for (int u = 0; u < kColumns; ++u) in[u] = columns[8 * u + y];
    Sum out[8];
    Idct8<kColumns>(in, out, Sum{1} << 20);
    VV_UNROLL
    for (int x = 0; x < 8; ++x) samples[x][y] = RowSampleOf(out[x]);
  }
  // Put into rows while 16-bit, which the compiler does with vector
  // interleaves, then narrowed in one vectorised pass.
  int16_t sampleRows[64];  // [y][x]
  for (int y = 0; y < 8; ++y) {
    VV_UNROLL
    for (int x = 0; x < 8; ++x) sampleRows[8 * y + x] = samples[x][y];
  }
  uint8_t bytes[64];
  for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(sampleRows[i]);
  VV_UNROLL
  for (int y = 0; y < 8; ++y) std::memcpy(RowAt(dst, dstStep, y), &bytes[8 * y], 8);
}

template <int kNonZero>
void Idct8x8ByColumn(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                     const uint16_t* quant) {
  int16_t columns[64];
  constexpr int kLowRows = kNonZero < 4 ? kNonZero : 4;
  int32_t rightColumns = 0;  // any coefficient in columns 4..7
  for (int u = 0; u < kNonZero; ++u) {
    int32_t lowBits = 0, highBits = 0;
    VV_UNROLL
    for (int v = 1; v < kLowRows; ++v) lowBits |= coefficients[8 * v + u];
    VV_UNROLL
    for (int v = kLowRows; v < kNonZero; ++v) highBits |= coefficients[8 * v + u];
    if (u >= 4) rightColumns |= lowBits | highBits | coefficients[u];
    if ((lowBits | highBits) == 0) {
      const int16_t dc = SaturateTo16(Dequantise(coefficients[u], quant[u]) * 8);
      VV_UNROLL
      for (int v = 0; v < 8; ++v) columns[8 * u + v] = dc;
    } else if (kNonZero == 4 && (coefficients[16 + u] | coefficients[24 + u]) == 0) {
      // Zero terms change no sum, so the shorter forms are bit-equal.
      IdctColumn<2>(coefficients, quant, u, columns);
    } else if (kNonZero > 4 && highBits == 0) {
      IdctColumn<kLowRows>(coefficients, quant, u, columns);
    } else {
      IdctColumn<kNonZero>(coefficients, quant, u, columns);
    }
  }

  // All-zero columns 4..7 give zero samples in every row, so the rows take
  // the shorter form then, bit-equal again.
  if (kNonZero > 4 && rightColumns == 0) {
    IdctRows<kLowRows>(columns, dst, dstStep);
  } else {
    IdctRows<kNonZero>(columns, dst, dstStep);
  }
}

// The column pass with the columns as lanes, on dequantised coefficients
// stored row after row (row v holds frequency v of every column), of which
// the first kRows rows are read; results row after row. Always all eight
// lanes, as the compiler vectorises only those well. For inputs whose
// results fit 16 bits, so that none saturates.
template <int kRows>
VV_ALWAYS_INLINE void IdctColumnsAsLanes(const int16_t* dequantised, int16_t rows[8][8]) {
  for (int u = 0; u < 8; ++u) {
    int16_t in[8];
    VV_UNROLL
    for (int v = 0; v < kRows; ++v) in[v] = dequantised[8 * v + u];
    Sum out[8];
    Idct8<kRows>(in, out, Sum{1} << 11);
    VV_UNROLL
    for (int v = 0; v < 8; ++v) {
      rows[v][u] = static_cast<int16_t>(static_cast<int32_t>(out[v]) >> 12);
    }
  }
}

// Lane masks of the top-left kNonZero x kNonZero corner within rows of
// eight: all of it, and all of it but the DC.
template <int kNonZero>
struct CornerMasks {
  int16_t corner[64], ac[64];
  constexpr CornerMasks() : corner(), ac() {
    for (int i = 0; i < 64; ++i) {
      corner[i] = i % 8 < kNonZero && i / 8 < kNonZero ? -1 : 0;
      ac[i] = i == 0 ? 0 : corner[i];
    }
  }
};
template <int kNonZero>
constexpr CornerMasks<kNonZero> kCornerMasks{};

template <int kNonZero>
void Idct8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const uint16_t* quant) {
  static_assert(kNonZero == 4 || kNonZero == 8, "the 2x2 form goes column by column");
  // The corner's products in 16 bits (wrapping), rows of eight, zero
  // outside the corner.
  constexpr int kCount = 8 * kNonZero;
  const CornerMasks<kNonZero>& masks = kCornerMasks<kNonZero>;
  int16_t dequantised[64];
  for (int i = 0; i < kCount; ++i) {
    dequantised[i] = static_cast<int16_t>((coefficients[i] * quant[i]) & masks.corner[i]);
  }
  // Blocks where no product wraps and no column result can saturate take
  // the columns as lanes; the others (extreme ones) go column by column.
  // With coefficients and steps within 255, an AC product is below
  // 65536 - 510 in magnitude, so a wrapped one lies beyond 510 in 16 bits
  // too. A column result is within 8 |x0| + 63.8 m + 1/2: x0 the column's
  // first-row product (the DC in column 0, an AC one elsewhere), m the
  // largest AC product's magnitude (the flow graph's constants summed in
  // magnitude, with the rounding terms).
  int16_t highest = 0, lowest = 0, highestProduct = 0, lowestProduct = 0;
  uint16_t stepBits = 0;
  for (int i = 0; i < kCount; ++i) {
    const int16_t c = static_cast<int16_t>(coefficients[i] & masks.ac[i]);
    const int16_t product = static_cast<int16_t>(dequantised[i] & masks.ac[i]);
    highest = c > highest ? c : highest;
    lowest = c < lowest ? c : lowest;
    highestProduct = product > highestProduct ? product : highestProduct;
    lowestProduct = product < lowestProduct ? product : lowestProduct;
    stepBits |= static_cast<uint16_t>(quant[i] & masks.corner[i]);
  }
  const int32_t dc = int32_t{coefficients[0]} * int32_t{quant[0]};
  const int32_t dcMagnitude = dc < 0 ? -dc : dc;
  const int32_t acMagnitude = highestProduct > -lowestProduct ? highestProduct : -lowestProduct;
  const int32_t firstRowMagnitude = dcMagnitude > acMagnitude ? dcMagnitude : acMagnitude;
  if (stepBits > 255 || highest > 255 || lowest < -255 || acMagnitude > 510 ||
      8 * firstRowMagnitude + 64 * acMagnitude > 32760) {
    Idct8x8ByColumn<kNonZero>(coefficients, dst, dstStep, quant);
    return;
  }
  // Rows of zeros change no sum, so the shorter forms are bit-equal.
  int32_t usedRows = 1;
  for (int v = 1; v < kNonZero; ++v) {
    uint64_t any = 0, word;
    for (int half = 0; half < 2; ++half) {
      std::memcpy(&word, &dequantised[8 * v + 4 * half], sizeof word);
      any |= word;
    }
    if (any != 0) usedRows = v + 1;
  }
  int16_t rows[8][8];
  if (usedRows == 1) {
    IdctColumnsAsLanes<1>(dequantised, rows);
  } else if (usedRows == 2) {
    IdctColumnsAsLanes<2>(dequantised, rows);
  } else if (kNonZero == 4 || usedRows <= 4) {
    IdctColumnsAsLanes<4>(dequantised, rows);
  } else {
    IdctColumnsAsLanes<kNonZero>(dequantised, rows);
  }
  // Whole, even when fewer columns are used: the compiler transposes all
  // eight with vector interleaves, but a part of them element by element.
  int16_t columns[64];
  for (int u = 0; u < 8; ++u) {
    VV_UNROLL
    for (int v = 0; v < 8; ++v) columns[8 * u + v] = rows[v][u];
  }
  // All-zero columns 4..7 give zero samples in every row, so the rows take
  // the shorter form then, bit-equal again.
  uint64_t rightColumns = 0;
  for (int v = 0; v < 8 && kNonZero > 4; ++v) {
    uint64_t word;
    std::memcpy(&word, &dequantised[8 * v + 4], sizeof word);
    rightColumns |= word;
  }
  if (kNonZero > 4 && rightColumns == 0) {
    IdctRows<4>(columns, dst, dstStep);
  } else {
    IdctRows<kNonZero>(columns, dst, dstStep);
  }
}

// Half-scale 4-point transform: the mean of output pairs (2m, 2m+1) of the
// 8-point one, x 2^15 x 2*sqrt(2). Pairing multiplies frequency k by
// cos(k pi/16) and samples it at (2m+1) k pi/8, which cancels frequency 4;
// the constants are 2 sqrt2 cos(k pi/16) cos((2m+1) k pi/8) scaled by 2^14
// (the DC's 2 x 2^14 is its << 15). in[] holds frequencies 0..7; in[4] is
// never read.
inline void Idct4Of8(const int32_t* in, Sum out[4]) {
  const Sum x0 = AsSum(in[0]) << 15;
  const Sum x1 = AsSum(in[1]), x2 = AsSum(in[2]), x3 = AsSum(in[3]);
  const Sum x5 = AsSum(in[5]), x6 = AsSum(in[6]), x7 = AsSum(in[7]);
  const Sum even = x2 * 30274 - x6 * 12540;
  const Sum e0 = x0 + even, e1 = x0 - even;
  const Sum o0 = x1 * 41991 + x3 * 14745 - x5 * 9852 - x7 * 8352;
  const Sum o1 = x1 * 17393 - x3 * 35598 + x5 * 23786 - x7 * 3460;
  out[0] = e0 + o0;
  out[3] = e0 - o0;
  out[1] = e1 + o1;
  out[2] = e1 - o1;
}

// Quarter-scale 2-point transform: the mean of output quads (4m .. 4m+3),
// x 2^16 x 2*sqrt(2). Frequencies 2, 4 and 6 cancel in every quad; the odd
// ones get sqrt2 times the sum of their four cosines, scaled by 2^14 (the
// DC's 4 x 2^14 is its << 16).
inline void Idct2Of8(const int32_t* in, Sum out[2]) {
  const Sum x0 = AsSum(in[0]) << 16;
  const Sum odd = AsSum(in[1]) * 59384 - AsSum(in[3]) * 20853 + AsSum(in[5]) * 13932 -
                  AsSum(in[7]) * 11812;
  out[0] = x0 + odd;
  out[1] = x0 - odd;
}

// A reduced-size transform: columns, then the kSize resulting rows, each
// through the kSize-point `Transform` over the `used` inputs (the others
// taken as zero), descaled by kColumnShift and kRowShift. Column results are
// kept in 16 bits, saturated, like the full transform's.
template <int kSize, void (*Transform)(const int32_t*, Sum*), int kColumnShift, int kRowShift>
void ReducedIdct(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const uint16_t* quant,
                 const int* used, int usedCount) {
  int16_t columns[kSize][8];
  for (int i = 0; i < usedCount; ++i) {
    const int u = used[i];
    int32_t in[8] = {};
    for (int j = 0; j < usedCount; ++j) {
      const int v = used[j];
      in[v] = Dequantise(coefficients[8 * v + u], quant[8 * v + u]);
    }
    Sum out[kSize];
    Transform(in, out);
    for (int m = 0; m < kSize; ++m) columns[m][u] = SaturateTo16(Descale(out[m], kColumnShift));
  }
  for (int m = 0; m < kSize; ++m) {
    int32_t in[8] = {};
    for (int i = 0; i < usedCount; ++i) in[used[i]] = columns[m][used[i]];
    Sum out[kSize];
    Transform(in, out);
    uint8_t* row = RowAt(dst, dstStep, m);
    for (int n = 0; n < kSize; ++n) row[n] = ClampToByte(Descale(out[n], kRowShift) + 128);
  }
}

// Single-precision 8-point inverse DCT on the same flow graph, without
// rounding; result x 2*sqrt(2) relative to T.81's 1-D normalisation.
inline void Idct8Float(const float* in, float out[8]) {
  const float sum04 = in[0] + in[4], diff04 = in[0] - in[4];
  const float rot = (in[2] + in[6]) * 0.541196100f;
  const float even2 = rot + in[2] * 0.765366865f, even6 = rot - in[6] * 1.847759065f;
  const float e0 = sum04 + even2, e3 = sum04 - even2, e1 = diff04 + even6, e2 = diff04 - even6;

  const float rot17 = (in[1] + in[7]) * 0.195090322f;
  const float a = rot17 + in[1] * 0.785694958f, b = rot17 - in[7] * 1.175875602f;
  const float rot35 = (in[3] + in[5]) * 0.831469612f;
  const float c = rot35 - in[5] * 0.275899379f, d = rot35 - in[3] * 1.387039845f;
  const float o0 = (a + c) * 1.414213562f, o3 = (b + d) * 1.414213562f;
  const float o1 = (a - c) + (b - d), o2 = (a - c) - (b - d);

  out[0] = e0 + o0;
  out[7] = e0 - o0;
  out[1] = e1 + o1;
  out[6] = e1 - o1;
  out[2] = e2 + o2;
  out[5] = e2 - o2;
  out[3] = e3 + o3;
  out[4] = e3 - o3;
}

// round(v + 2048) clamped to 0..4095. Written so that NaN lands on 0: a
// float-to-integer conversion of NaN or of an out-of-range value would be
// undefined.
inline uint16_t ClampTo12Bits(float v) {
  const float shifted = v + 2048.5f;
  if (!(shifted >= 0.0f)) return 0;
  if (shifted >= 4095.0f) return 4095;
  return static_cast<uint16_t>(shifted);
}

}  // namespace

namespace level0 {

int32_t DequantIdct8x8ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                           const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  Idct8x8<8>(coefficients, dst, dstStep, quant);
  return StatusOk;
}

int32_t DequantIdct8x8Low4x4ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  Idct8x8<4>(coefficients, dst, dstStep, quant);
  return StatusOk;
}

int32_t DequantIdct8x8Low2x2ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  Idct8x8ByColumn<2>(coefficients, dst, dstStep, quant);
  return StatusOk;
}

int32_t DequantIdctDcOnlyToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  const uint8_t value = ClampToByte(((int32_t{coefficients[0]} * int32_t{quant[0]}) >> 3) + 128);
  for (int y = 0; y < 8; ++y) {
    uint8_t* row = RowAt(dst, dstStep, y);
    for (int x = 0; x < 8; ++x) row[x] = value;
  }
  return StatusOk;
}

int32_t DequantIdct8x8To4x4U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  static constexpr int kUsed[7] = {0, 1, 2, 3, 5, 6, 7};
  ReducedIdct<4, Idct4Of8, 12, 21>(coefficients, dst, dstStep, quant, kUsed, 7);
  return StatusOk;
}

int32_t DequantIdct8x8To2x2U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  static constexpr int kUsed[5] = {0, 1, 3, 5, 7};
  ReducedIdct<2, Idct2Of8, 13, 22>(coefficients, dst, dstStep, quant, kUsed, 5);
  return StatusOk;
}

int32_t DequantIdct8x8To16uFloat(const int16_t* coefficients, uint16_t* dst, int32_t dstStep,
                                 const float* quant) {
  if (!coefficients || !dst || !quant) return StatusNullPointer;
  float columns[64];
  for (int u = 0; u < 8; ++u) {
    float in[8], out[8];
    for (int v = 0; v < 8; ++v) in[v] = coefficients[8 * v + u] * quant[8 * v + u];
    Idct8Float(in, out);
    for (int v = 0; v < 8; ++v) columns[8 * v + u] = out[v];
  }
  uint8_t* bytes = reinterpret_cast<uint8_t*>(dst);
  for (int y = 0; y < 8; ++y) {
    float out[8];
    Idct8Float(columns + 8 * y, out);
    uint16_t* row = reinterpret_cast<uint16_t*>(RowAt(bytes, dstStep, y));
    // Two passes of gain 2*sqrt(2) each: 8 in all.
    for (int x = 0; x < 8; ++x) row[x] = ClampTo12Bits(out[x] * 0.125f);
  }
  return StatusOk;
}

}  // namespace level0

namespace {

using DequantIdctFn = int32_t(const int16_t*, uint8_t*, int32_t, const uint16_t*);

constexpr DequantIdctFn* kDequantIdct8x8ToU8[kLevelTableSize] =
    VV_LEVEL_TABLE(level0::DequantIdct8x8ToU8, sse3::DequantIdct8x8ToU8,
                   sse3::DequantIdct8x8ToU8, sse3::DequantIdct8x8ToU8);
constexpr DequantIdctFn* kDequantIdctDcOnlyToU8[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DequantIdctDcOnlyToU8);
constexpr DequantIdctFn* kDequantIdct8x8Low4x4ToU8[kLevelTableSize] =
    VV_LEVEL_TABLE(level0::DequantIdct8x8Low4x4ToU8, sse3::DequantIdct8x8Low4x4ToU8,
                   sse3::DequantIdct8x8Low4x4ToU8, sse3::DequantIdct8x8Low4x4ToU8);
constexpr DequantIdctFn* kDequantIdct8x8Low2x2ToU8[kLevelTableSize] =
    VV_LEVEL_TABLE(level0::DequantIdct8x8Low2x2ToU8, sse3::DequantIdct8x8Low2x2ToU8,
                   sse3::DequantIdct8x8Low2x2ToU8, sse3::DequantIdct8x8Low2x2ToU8);
constexpr DequantIdctFn* kDequantIdct8x8To4x4U8[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DequantIdct8x8To4x4U8);
constexpr DequantIdctFn* kDequantIdct8x8To2x2U8[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DequantIdct8x8To2x2U8);
using DequantIdctFloatFn = int32_t(const int16_t*, uint16_t*, int32_t, const float*);
constexpr DequantIdctFloatFn* kDequantIdct8x8To16uFloat[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DequantIdct8x8To16uFloat);

}  // namespace

int32_t DequantIdct8x8ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                           const uint16_t* quant) {
  return kDequantIdct8x8ToU8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdctDcOnlyToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  return kDequantIdctDcOnlyToU8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdct8x8Low4x4ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant) {
  return kDequantIdct8x8Low4x4ToU8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdct8x8Low2x2ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant) {
  return kDequantIdct8x8Low2x2ToU8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdct8x8To4x4U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  return kDequantIdct8x8To4x4U8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdct8x8To2x2U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  return kDequantIdct8x8To2x2U8[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

int32_t DequantIdct8x8To16uFloat(const int16_t* coefficients, uint16_t* dst, int32_t dstStep,
                                 const float* quant) {
  return kDequantIdct8x8To16uFloat[ProcessorLevel()](coefficients, dst, dstStep, quant);
}

}  // namespace vv
