// Feature decoding from CPUID words, level selection and the cache-size walk.
#include <gtest/gtest.h>

#include "primitives/processor_level.h"

namespace {

using namespace vv;

// CPUID function 1 bits, by their documented positions.
constexpr uint32_t kEdxSse2 = 1u << 26, kEdxSse = 1u << 25, kEdxMmx = 1u << 23;
constexpr uint32_t kEcxSse3 = 1u << 0, kEcxPclmul = 1u << 1, kEcxSsse3 = 1u << 9,
                   kEcxSse41 = 1u << 19, kEcxSse42 = 1u << 20, kEcxMovbe = 1u << 22,
                   kEcxAes = 1u << 25, kEcxOsxsave = 1u << 27, kEcxAvx = 1u << 28;

TEST(FeatureMask, DecodesEveryBitFromItsRegister) {
  const struct {
    uint32_t ecx, edx;
    uint64_t xcr0, mask;
  } cases[] = {
      {0, kEdxMmx | kEdxSse | kEdxSse2, 0, FeatureMmx | FeatureSse | FeatureSse2},
      {kEcxSse3 | kEcxSsse3 | kEcxMovbe, 0, 0, FeatureSse3 | FeatureSsse3 | FeatureMovbe},
      {kEcxSse41 | kEcxSse42, 0, 0, FeatureSse41 | FeatureSse42},
      {kEcxAes | kEcxPclmul, 0, 0, FeatureAes | FeaturePclmulqdq},
      {kEcxAvx, 0, 6, FeatureAvx},                                   // no OSXSAVE: no OS bit
      {kEcxAvx | kEcxOsxsave, 0, 2, FeatureAvx},                     // YMM state not enabled
      {kEcxAvx | kEcxOsxsave, 0, 7, FeatureAvx | FeatureOsAvx},
      {kEcxOsxsave, 0, 7, 0},                                        // OS support needs AVX too
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FeatureMaskFromCpuid(c.ecx, c.edx, c.xcr0), c.mask)
        << std::hex << "ecx " << c.ecx << " edx " << c.edx;
  }
}

TEST(LevelSelection, FollowsTheInstructionSets) {
  const uint64_t base = FeatureMmx | FeatureSse | FeatureSse2, avx = FeatureAvx | FeatureOsAvx;
  const struct {
    uint64_t mask;
    int32_t level;
  } cases[] = {
      {base, 0}, {base | FeatureSse3, 1}, {base | FeatureSse3 | FeatureSsse3, 2}, {base | FeatureSse41, 3},
      {base | FeatureMovbe | FeatureSse3, 1}, {base | avx | FeatureSse3, 1},  // AVX never raises it
  };
  for (const auto& c : cases) EXPECT_EQ(LevelFromFeatureMask(c.mask), c.level) << c.mask;
}

// EBX: ways-1 in bits 22..31, partitions-1 in 12..21, line size-1 in 0..11.
uint32_t Ebx(uint32_t ways, uint32_t partitions, uint32_t line) {
  return ((ways - 1) << 22) | ((partitions - 1) << 12) | (line - 1);
}

TEST(LargestCache, WalksLeafFourSkippingInstructionCaches) {
  const uint32_t leaves[][3] = {
      {0x21, Ebx(8, 1, 64), 63},      // L1 data 32 KiB
      {0x22, Ebx(8, 1, 64), 8191},    // L1 instruction 4 MiB: skipped
      {0x43, Ebx(4, 1, 64), 1023},    // L2 256 KiB
      {0x63, Ebx(16, 1, 64), 8191},   // L3 8 MiB
      {0x00, 0, 0},                   // end of the list
      {0x63, Ebx(16, 1, 64), 65535},  // past the end: not read
  };
  EXPECT_EQ(LargestCacheFromLeaf4(leaves, 6), 8 * 1024 * 1024);
  EXPECT_EQ(LargestCacheFromLeaf4(leaves, 1), 32 * 1024);
  EXPECT_EQ(LargestCacheFromLeaf4(leaves, 0), 0);
}

}  // namespace
