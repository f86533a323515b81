// The dispatch frame of the primitive layer.
//
// Every primitive has one entry point with the primitive's own signature. The
// entry point loads the processor level and tail-calls entry [level] of a
// constant five-entry table of implementations, so the implementation returns
// straight to the caller with its status. Entry 4 exists in every table and is
// never selected. The level-0 implementation is the portable reference that
// every other level is tested against.
//
// A family file (idct.cpp, colour.cpp, ...) holds its level-0 implementations
// in namespace vv::level0; vector implementations live beside it in files
// named for their level (idct_sse41.cpp, ...) in namespaces vv::sse3,
// vv::ssse3, vv::sse41. The family file ends with the tables and entry points:
//
//   constexpr DequantIdctFn* kDequantIdct8x8ToU8[kLevelTableSize] =
//       VV_SAME_AT_EVERY_LEVEL(level0::DequantIdct8x8ToU8);
//   int32_t DequantIdct8x8ToU8(const int16_t* c, uint8_t* d, int32_t s, const uint16_t* q) {
//     return kDequantIdct8x8ToU8[ProcessorLevel()](c, d, s, q);
//   }
#pragma once

#include "primitives/processor_level.h"
#include "primitives/status.h"

// A table whose five entries are all one implementation.
#define VV_SAME_AT_EVERY_LEVEL(fn) {fn, fn, fn, fn, fn}

// A table for implementations at levels 0 (SSE2), 1 (SSE3), 2 (SSSE3) and
// 3 (SSE4.1); entry 4 repeats level 3 and is never selected.
#define VV_LEVEL_TABLE(l0, l1, l2, l3) {l0, l1, l2, l3, l3}
