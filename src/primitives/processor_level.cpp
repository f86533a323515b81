#include "primitives/processor_level.h"

#include <cpuid.h>

#include <cstring>

namespace vv {

namespace detail {
std::atomic<int32_t> processorLevel{0};
}

namespace {

std::atomic<uint64_t> cachedFeatureMask{0};
std::atomic<bool> featureMaskKnown{false};
std::atomic<int32_t> cachedCacheSize{-1};  // -1: not computed yet

uint64_t ReadXcr0() {
  uint32_t eax, edx;
  // XGETBV(0); encoded as bytes so no -mxsave is needed for the whole file.
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<uint64_t>(edx) << 32) | eax;
}

int32_t ComputeLargestCacheSize() {
  unsigned int eax, ebx, ecx, edx;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return 0;
  const unsigned int maxLeaf = eax;
  char vendor[13];
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  vendor[12] = 0;
  if (std::strcmp(vendor, "GenuineIntel") != 0 || maxLeaf < 2) return 0;
  // Processors without function 4 would need the descriptor bytes of
  // function 2; those are long out of production, so they get 0, which
  // simply means "never bypass the cache".
  if (maxLeaf < 4) return 0;
  uint32_t leaves[32][3];
  int count = 0;
  for (; count < 32; ++count) {
    __cpuid_count(4, count, eax, ebx, ecx, edx);
    leaves[count][0] = eax;
    leaves[count][1] = ebx;
    leaves[count][2] = ecx;
    if ((eax & 0x1F) == 0) break;
  }
  return LargestCacheFromLeaf4(leaves, count);
}

}  // namespace

uint64_t FeatureMaskFromCpuid(uint32_t ecx, uint32_t edx, uint64_t xcr0) {
  uint64_t mask = 0;
  auto bit = [](uint32_t word, int n) { return ((word >> n) & 1u) != 0; };
  if (bit(edx, 23)) mask |= FeatureMmx;
  if (bit(edx, 25)) mask |= FeatureSse;
  if (bit(edx, 26)) mask |= FeatureSse2;
  if (bit(ecx, 0)) mask |= FeatureSse3;
  if (bit(ecx, 9)) mask |= FeatureSsse3;
  if (bit(ecx, 22)) mask |= FeatureMovbe;
  if (bit(ecx, 19)) mask |= FeatureSse41;
  if (bit(ecx, 20)) mask |= FeatureSse42;
  if (bit(ecx, 28)) mask |= FeatureAvx;
  if (bit(ecx, 27) && bit(ecx, 28) && (xcr0 & 6) == 6) mask |= FeatureOsAvx;
  if (bit(ecx, 25)) mask |= FeatureAes;
  if (bit(ecx, 1)) mask |= FeaturePclmulqdq;
  return mask;
}

int32_t LevelFromFeatureMask(uint64_t mask) {
  if (mask & FeatureSse41) return 3;
  if (mask & FeatureMovbe) {
    if (mask & FeatureSsse3) return 2;
  } else if (mask & FeatureSsse3) {
    return 2;
  }
  if (mask & FeatureSse3) return 1;
  return 0;
}

uint64_t GetFeatureMask() {
  if (featureMaskKnown.load(std::memory_order_acquire)) {
    return cachedFeatureMask.load(std::memory_order_relaxed);
  }
  unsigned int eax, ebx, ecx, edx;
  uint64_t mask = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    const bool osxsave = ((ecx >> 27) & 1u) && ((ecx >> 28) & 1u);
    mask = FeatureMaskFromCpuid(ecx, edx, osxsave ? ReadXcr0() : 0);
  }
  cachedFeatureMask.store(mask, std::memory_order_relaxed);
  featureMaskKnown.store(true, std::memory_order_release);
  return mask;
}

void SelectProcessorLevel() {
  detail::processorLevel.store(LevelFromFeatureMask(GetFeatureMask()),
                               std::memory_order_relaxed);
}

void ForceProcessorLevelForTesting(int32_t level) {
  if (level < 0 || level >= kLevelTableSize) return;
  detail::processorLevel.store(level, std::memory_order_relaxed);
}

int32_t LargestCacheFromLeaf4(const uint32_t (*leaves)[3], int count) {
  int32_t largest = 0;
  for (int i = 0; i < count; ++i) {
    const uint32_t eax = leaves[i][0], ebx = leaves[i][1], ecx = leaves[i][2];
    const uint32_t type = eax & 0x1F;
    if (type == 0) break;
    if (type == 2) continue;  // instruction cache
    const uint64_t ways = ((ebx >> 22) & 0x3FF) + 1;
    const uint64_t partitions = ((ebx >> 12) & 0x3FF) + 1;
    const uint64_t lineSize = (ebx & 0xFFF) + 1;
    const uint64_t sets = static_cast<uint64_t>(ecx) + 1;
    const uint64_t size = ways * partitions * lineSize * sets;
    if (size > static_cast<uint64_t>(largest)) {
      largest = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(size);
    }
  }
  return largest;
}

int32_t GetLargestCacheSize(int32_t* size) {
  if (size == nullptr) return -8;
  int32_t known = cachedCacheSize.load(std::memory_order_relaxed);
  if (known < 0) {
    known = ComputeLargestCacheSize();
    cachedCacheSize.store(known, std::memory_order_relaxed);
  }
  *size = known;
  return known > 0 ? 0 : -1;
}

}  // namespace vv
