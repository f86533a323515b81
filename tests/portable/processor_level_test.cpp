// Feature decoding from CPUID words, level selection, the cache-size walk and
// the dispatch frame's level forcing.
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
  struct Case {
    uint32_t ecx, edx;
    uint64_t xcr0, mask;
  };
  const Case cases[] = {
      {0, kEdxMmx, 0, FeatureMmx},
      {0, kEdxSse | kEdxSse2, 0, FeatureSse | FeatureSse2},
      {kEcxSse3, 0, 0, FeatureSse3},
      {kEcxSsse3, 0, 0, FeatureSsse3},
      {kEcxMovbe, 0, 0, FeatureMovbe},
      {kEcxSse41 | kEcxSse42, 0, 0, FeatureSse41 | FeatureSse42},
      {kEcxAes | kEcxPclmul, 0, 0, FeatureAes | FeaturePclmulqdq},
      {kEcxAvx, 0, 6, FeatureAvx},                                   // no OSXSAVE: no OS bit
      {kEcxAvx | kEcxOsxsave, 0, 2, FeatureAvx},                     // YMM state not enabled
      {kEcxAvx | kEcxOsxsave, 0, 7, FeatureAvx | FeatureOsAvx},
      {kEcxOsxsave, 0, 7, 0},                                        // OS support needs AVX too
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FeatureMaskFromCpuid(c.ecx, c.edx, c.xcr0), c.mask)
        << std::hex << "ecx " << c.ecx << " edx " << c.edx;
  }
}

TEST(LevelSelection, FollowsTheInstructionSets) {
  struct Case {
    uint64_t mask;
    int32_t level;
  };
  const uint64_t base = FeatureMmx | FeatureSse | FeatureSse2;
  const Case cases[] = {
      {0, 0},
      {base, 0},
      {base | FeatureSse3, 1},
      {base | FeatureSse3 | FeatureSsse3, 2},
      {base | FeatureSse3 | FeatureSsse3 | FeatureSse41, 3},
      {base | FeatureSse3 | FeatureSsse3 | FeatureSse41 | FeatureAvx | FeatureOsAvx, 3},
      {base | FeatureSse41, 3},
      {base | FeatureMovbe | FeatureSse3, 1},                 // MOVBE without SSSE3
      {base | FeatureMovbe, 0},
      {base | FeatureMovbe | FeatureSsse3 | FeatureSse3, 2},
      {base | FeatureAvx | FeatureOsAvx | FeatureSse3, 1},    // AVX never raises the level
  };
  for (const Case& c : cases) EXPECT_EQ(LevelFromFeatureMask(c.mask), c.level) << c.mask;
}

TEST(LevelSelection, ThisProcessorGetsALevelItSupports) {
  SelectProcessorLevel();
  const int32_t level = ProcessorLevel();
  EXPECT_EQ(level, LevelFromFeatureMask(GetFeatureMask()));
  EXPECT_TRUE(GetFeatureMask() & FeatureSse2) << "x86-64 always has SSE2";
  SelectProcessorLevel();
  EXPECT_EQ(ProcessorLevel(), level) << "re-selection stores the same level";
}

TEST(LevelSelection, CanBeForcedForTests) {
  const int32_t selected = ProcessorLevel();
  for (int32_t level = 0; level < kLevelTableSize; ++level) {
    ForceProcessorLevelForTesting(level);
    EXPECT_EQ(ProcessorLevel(), level);
  }
  ForceProcessorLevelForTesting(7);  // out of range: ignored
  EXPECT_EQ(ProcessorLevel(), kLevelTableSize - 1);
  ForceProcessorLevelForTesting(selected);
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

TEST(LargestCache, ReportsSizeOrFailureConsistently) {
  int32_t size = -1;
  const int32_t status = GetLargestCacheSize(&size);
  EXPECT_GE(size, 0);
  EXPECT_EQ(status == 0, size > 0);
}

}  // namespace
