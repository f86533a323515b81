#include "primitives/aligned_memory.h"

#include <cstdlib>
#include <cstring>

namespace vv {

void* AlignedAlloc(int32_t size) {
  if (size < 1) return nullptr;
  // 40 = 32 for the worst-case rounding + 8 for the stored heap pointer.
  void* raw = std::malloc(static_cast<size_t>(size) + 40);
  if (raw == nullptr) return nullptr;
  const uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + 39) & ~uintptr_t{31};
  std::memcpy(reinterpret_cast<void*>(aligned - 8), &raw, sizeof raw);
  return reinterpret_cast<void*>(aligned);
}

void AlignedFree(void* block) {
  if (block == nullptr) return;
  void* raw;
  std::memcpy(&raw, static_cast<char*>(block) - 8, sizeof raw);
  std::free(raw);
}

void* AlignPointer(void* pointer, uintptr_t alignment) {
  const uintptr_t p = reinterpret_cast<uintptr_t>(pointer);
  return reinterpret_cast<void*>((p + alignment - 1) & ~(alignment - 1));
}

}  // namespace vv
