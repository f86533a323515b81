// The inverse DCT of the vector levels (1 to 3): the flow graph of level 0
// multiplied out into 16 x 16-bit multiply-adds (pmaddwd) of constants
// scaled by 2^13, with 11-bit shifts between the passes. Eight columns (then
// eight rows) are transformed at once, one per 16-bit lane. Results can
// differ from level 0 in the last bit; both stay within one of the exact
// transform on real data.
//
// With ck = cos(k pi/16), one 8-point transform (x 2 sqrt2 relative to
// T.81's 1-D normalisation, like level 0's) is
//   even: s = x0 + x4, t = x0 - x4 (times 1), r2 = sqrt2 c2 x2 + sqrt2 c6 x6,
//         r6 = sqrt2 c6 x2 - sqrt2 c2 x6; e0, e3 = s +- r2; e1, e2 = t +- r6;
//   odd:  o0 = sqrt2 (c1 x1 + c7 x7 + c3 x3 + c5 x5),
//         o3 = sqrt2 (c7 x1 - c1 x7 + c3 x5 - c5 x3),
//         o1 = (c1 + c7) x1 + (c7 - c1) x7 - (c3 - c5) x3 - (c3 + c5) x5,
//         o2 = (c1 - c7) x1 + (c1 + c7) x7 - (c3 + c5) x3 + (c3 - c5) x5;
//   out0, out7 = e0 +- o0; out1, out6 = e1 +- o1; out2, out5 = e2 +- o2;
//   out3, out4 = e3 +- o3.
// Level 0 computes o0 and o3 as sqrt2 (a + c) and sqrt2 (b + d) with
// a = c1 x1 + c7 x7, b = c7 x1 - c1 x7, c = c3 x3 + c5 x5, d = c3 x5 - c5 x3,
// and o1, o2 as (a - c) +- (b - d); multiplied out, every output is a sum of
// pair products, two inputs per multiply-add.
//
// Scales: the column pass keeps 2 fraction bits (shift 13 - 2 = 11), which
// leaves room in 16 bits for every block of real data; the row pass removes
// 13 + 2 + 3 bits (the two sqrt8 gains make 8). The pack instructions
// saturate, as level 0's column store does, and every other sum wraps
// modulo 2^32, so corrupt data gives a defined block.
#include "primitives/dct_vector.h"
#include "primitives/idct_levels.h"

namespace vv {
namespace sse3 {
namespace {

constexpr int kColumnShift = 11;
constexpr int kRowShift = 18;

// One 8-point transform of every lane of x[0..7] (16-bit); inputs at
// kInputs and above are zero and not read; `bias` is added to every output
// (it rides on the x0 term); out is descaled by kShift and packed to 16 bits
// with saturation. kHalves = 1 transforms lanes 0..3 only and gives zero in
// lanes 4..7.
template <int kInputs, int kHalves, int kShift>
VV_ALWAYS_INLINE void Transform8(const __m128i* x, __m128i bias, __m128i* out) {
  const __m128i zero = _mm_setzero_si128();
  const Pairs<kHalves> p04(x[0], kInputs > 4 ? x[4] : zero);
  // Without x4 the sum and the difference are one value.
  const Wide s = p04.Times(Pair(kOne, kOne)) + Wide{bias, bias};
  const Wide t = kInputs > 4 ? p04.Times(Pair(kOne, kMinusOne)) + Wide{bias, bias} : s;
  Wide e0 = s, e1 = t, e2 = t, e3 = s;
  if (kInputs > 2) {
    const Pairs<kHalves> p26(x[2], kInputs > 6 ? x[6] : zero);
    const Wide r2 = p26.Times(Pair(kS2, kS6)), r6 = p26.Times(Pair(kS6, kMinusS2));
    e0 = s + r2;
    e3 = s - r2;
    e1 = t + r6;
    e2 = t - r6;
  }
  const Pairs<kHalves> p17(x[1], kInputs > 7 ? x[7] : zero);
  Wide o0 = p17.Times(Pair(kS1, kS7)), o1 = p17.Times(Pair(kS3, kMinusS5));
  Wide o2 = p17.Times(Pair(kS5, kS3)), o3 = p17.Times(Pair(kS7, kMinusS1));
  if (kInputs > 2) {
    const Pairs<kHalves> p35(x[3], kInputs > 5 ? x[5] : zero);
    o0 = o0 + p35.Times(Pair(kS3, kS5));
    o1 = o1 + p35.Times(Pair(kMinusS7, kMinusS1));
    o2 = o2 + p35.Times(Pair(kMinusS1, kS7));
    o3 = o3 + p35.Times(Pair(kMinusS5, kS3));
  }
  const Wide results[8] = {e0 + o0, e1 + o1, e2 + o2, e3 + o3, e3 - o3, e2 - o2, e1 - o1, e0 - o0};
  VV_UNROLL
  for (int i = 0; i < 8; ++i) {
    out[i] = kHalves == 2 ? Narrow<kShift>(results[i])
                          : _mm_packs_epi32(_mm_srai_epi32(results[i].low, kShift), zero);
  }
}

// kSize lanes of 16-bit values; the other lanes are zero and nothing past
// kSize values is read.
template <int kSize>
VV_ALWAYS_INLINE __m128i LoadLanes(const void* p) {
  if (kSize == 8) return _mm_loadu_si128(static_cast<const __m128i*>(p));
  if (kSize == 4) return _mm_loadl_epi64(static_cast<const __m128i*>(p));
  int32_t v;
  __builtin_memcpy(&v, p, sizeof v);
  return _mm_cvtsi32_si128(v);
}

// coefficient x step saturated to 16 bits. The steps are unsigned: where
// one has its top bit set, the signed high half of the product lacks
// coefficient x 2^16, which is added back.
VV_ALWAYS_INLINE __m128i Dequantise(__m128i c, __m128i q) {
  const __m128i low = _mm_mullo_epi16(c, q);
  const __m128i high = _mm_add_epi16(_mm_mulhi_epi16(c, q), _mm_and_si128(c, _mm_srai_epi16(q, 15)));
  return _mm_packs_epi32(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
}

// The transform of the top-left kSize x kSize coefficients (the others taken
// as zero and not read): rows of coefficients are the registers, so the
// first pass runs down the columns, eight (or kSize) at a time; after a
// transpose the second runs along the rows, and a last transpose gives the
// output rows.
template <int kSize>
VV_ALWAYS_INLINE void Idct8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant) {
  constexpr int kHalves = kSize == 8 ? 2 : 1;
  __m128i m[8];
  VV_UNROLL
  for (int v = 0; v < kSize; ++v) {
    m[v] = Dequantise(LoadLanes<kSize>(coefficients + 8 * v), LoadLanes<kSize>(quant + 8 * v));
  }
  __m128i columns[8];
  Transform8<kSize, kHalves, kColumnShift>(m, _mm_set1_epi32(1 << (kColumnShift - 1)), columns);
  // With kSize <= 4 only columns 0..3 are read afterwards, and the compiler
  // drops the rest of the transpose.
  Transpose8x8(columns);
  // + 128 and the rounding of the last shift ride on the bias.
  const __m128i rowBias = _mm_set1_epi32((128 << kRowShift) + (1 << (kRowShift - 1)));
  __m128i samples[8];
  Transform8<kSize, 2, kRowShift>(columns, rowBias, samples);
  Transpose8x8(samples);
  VV_UNROLL
  for (int y = 0; y < 8; y += 2) {
    const __m128i bytes = _mm_packus_epi16(samples[y], samples[y + 1]);
    uint8_t* row = dst + static_cast<intptr_t>(dstStep) * y;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + dstStep), _mm_unpackhi_epi64(bytes, bytes));
  }
}

}  // namespace

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
  Idct8x8<2>(coefficients, dst, dstStep, quant);
  return StatusOk;
}

}  // namespace sse3
}  // namespace vv
