// Processor-level selection for the primitive dispatch.
//
// Level 0 = SSE2 (the x86-64 baseline), 1 = SSE3, 2 = SSSE3, 3 = SSE4.1.
// The level is written only by SelectProcessorLevel (run from the library's
// entry-point routine on every loader notification, which the OS serialises)
// and read without locking afterwards; every selection stores the same value.
#pragma once
#include <atomic>
#include <cstdint>

namespace vv {

constexpr int kProcessorLevelCount = 4;  // levels actually selected: 0..3
constexpr int kLevelTableSize = 5;       // every dispatch table has 5 entries; entry 4 is never selected

// Feature bits of featureMask.
enum FeatureBit : uint64_t {
  FeatureMmx = 1u << 0,
  FeatureSse = 1u << 1,
  FeatureSse2 = 1u << 2,
  FeatureSse3 = 1u << 3,
  FeatureSsse3 = 1u << 4,
  FeatureMovbe = 1u << 5,
  FeatureSse41 = 1u << 6,
  FeatureSse42 = 1u << 7,
  FeatureAvx = 1u << 8,
  FeatureOsAvx = 1u << 9,  // the OS saves AVX state (OSXSAVE + AVX, XCR0 bits 1 and 2)
  FeatureAes = 1u << 10,
  FeaturePclmulqdq = 1u << 11,
};

// Decodes CPUID function 1 (ECX, EDX) into featureMask bits. xcr0 is XGETBV(0)
// and is consulted only when ECX reports both OSXSAVE and AVX.
uint64_t FeatureMaskFromCpuid(uint32_t ecx, uint32_t edx, uint64_t xcr0);

// The level a processor with this featureMask gets (SSE4.1 → 3; MOVBE needs
// SSSE3 for level 2 and otherwise falls through to the SSE3 test; SSSE3 → 2;
// SSE3 → 1; else 0). AVX never raises the level above 3.
int32_t LevelFromFeatureMask(uint64_t featureMask);

// featureMask of this processor, computed on first use and cached (0 when
// CPUID cannot be read).
uint64_t GetFeatureMask();

// Computes (or reuses) featureMask and stores the selected level.
void SelectProcessorLevel();

namespace detail {
extern std::atomic<int32_t> processorLevel;
}

// The level every dispatch entry point uses; 0 before any selection. A
// relaxed load: one plain move on x86-64.
inline int32_t ProcessorLevel() {
  return detail::processorLevel.load(std::memory_order_relaxed);
}

// For tests and benchmarks only: run every primitive at `level` (0..4; 4 is
// the never-selected fifth table entry and is accepted only so tests can
// prove the tables are full). Not exported from the DLL.
void ForceProcessorLevelForTesting(int32_t level);

// Largest data or unified cache in bytes, computed once (Intel processors
// with CPUID function 2 or higher; 0 elsewhere). Returns 0 and stores the
// size, or a non-zero code with the size 0 when it cannot be determined.
int32_t GetLargestCacheSize(int32_t* size);

// Largest cache size from CPUID function 4 sub-leaves, given as EAX, EBX, ECX
// words per sub-leaf (the walk stops at a cache type of 0; instruction caches
// are skipped). Exposed so the arithmetic can be tested with synthetic words.
int32_t LargestCacheFromLeaf4(const uint32_t (*leaves)[3], int count);

}  // namespace vv
