// The aligned allocator: 32-byte alignment, the heap pointer kept before the
// block, and nothing taken for sizes below 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "primitives/aligned_memory.h"

namespace {

TEST(AlignedAlloc, SizesBelowOneGiveNull) {
  EXPECT_EQ(vv::AlignedAlloc(0), nullptr);
  EXPECT_EQ(vv::AlignedAlloc(-5), nullptr);
  vv::AlignedFree(nullptr);
}

TEST(AlignedAlloc, BlocksAreAlignedAndHoldTheirSize) {
  for (int32_t size : {1, 7, 8, 31, 32, 33, 63, 64, 1000, 16384, 1920 * 1080 * 4}) {
    SCOPED_TRACE(size);
    void* block = vv::AlignedAlloc(size);
    ASSERT_NE(block, nullptr);
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    EXPECT_EQ(address % 32, 0u);
    void* raw;
    std::memcpy(&raw, static_cast<char*>(block) - 8, sizeof raw);
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    EXPECT_GE(address, start + 8);
    EXPECT_LE(address + size, start + size + 40);  // inside the heap block
    std::memset(block, 0xA5, size);                // writable end to end (ASan checks)
    vv::AlignedFree(block);
  }
}

TEST(AlignPointer, RoundsUpToThePowerOfTwo) {
  struct Case {
    uintptr_t in, alignment, out;
  };
  for (const Case& c : {Case{0, 32, 0}, Case{1, 32, 32}, Case{32, 32, 32}, Case{33, 32, 64},
                        Case{63, 16, 64}, Case{100, 1, 100}, Case{5, 4, 8}}) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(
                  vv::AlignPointer(reinterpret_cast<void*>(c.in), c.alignment)),
              c.out);
  }
}

}  // namespace
