// The aligned allocator: the only allocator for pixel, coefficient, table
// and stream-window memory. Blocks are 32-byte aligned and come from the C
// heap; the heap's own pointer sits in the 8 bytes before the block.
#pragma once
#include <cstdint>

namespace vv {

// size < 1 gives null without touching the heap. Otherwise takes size + 40
// bytes from the C heap (null when that fails) and returns the 32-byte
// aligned address inside it, at least 8 bytes past the heap block's start.
void* AlignedAlloc(int32_t size);

// Returns a block from AlignedAlloc to the C heap; null does nothing. Never
// pass a block from AlignedAlloc to free() directly.
void AlignedFree(void* block);

// `pointer` rounded up to the next multiple of `alignment` (a power of two);
// unchanged when already aligned.
void* AlignPointer(void* pointer, uintptr_t alignment);

}  // namespace vv
