// The decoder's refillable byte window between the input stream and the
// marker parser / entropy decoder. The marker parser reads bytes and
// big-endian words through it; the entropy decoder reads `buffer`, `size` and
// `position` directly and advances `position` itself.
#pragma once

#include <cstdint>

#include "jpeg/streams.h"

namespace vv {

constexpr int32_t kBitInputWindowSize = 16384;

class CBitStreamInput {
 public:
  CBitStreamInput() = default;
  virtual ~CBitStreamInput();
  CBitStreamInput(const CBitStreamInput&) = delete;
  CBitStreamInput& operator=(const CBitStreamInput&) = delete;

  // Releases the old window, reads from `source` through a new empty window
  // of `capacity` bytes (the first read fills it). -6 when the window cannot
  // be allocated (then no window is held), else 0.
  int32_t Attach(CBaseStreamInput* source, int32_t windowCapacity);

  // Makes at least minBytes (at least one for 0) unread bytes available,
  // moving the unread rest to the front and reading behind it. -4 only when
  // a read is attempted with nothing left; the last bytes of a source stay
  // readable after its end was seen.
  int32_t FillBuffer(int32_t minBytes);

  int32_t ReadByte(uint8_t* value) {
    if (position >= size) {
      const int32_t status = FillBuffer(0);
      if (status != 0) return status;
      if (position >= size) return -4;
    }
    *value = buffer[position++];
    return 0;
  }
  int32_t ReadWord(uint16_t* value);    // big-endian
  int32_t ReadDword(uint32_t* value);   // big-endian

  // The byte k (0..4) places after the next unread one, consuming nothing;
  // -4 when fewer than k + 1 bytes remain even after a refill.
  int32_t Peek(int32_t k, uint8_t* value);

  // Moves the read point by delta bytes; inside the window the stream is not
  // touched, otherwise the stream seeks relative to its position (just behind
  // the window) and the window is refilled.
  int32_t Seek(int32_t delta);

  CBaseStreamInput* stream = nullptr;
  uint8_t* buffer = nullptr;  // aligned memory, owned
  int32_t size = 0;           // valid bytes in the window
  int32_t position = 0;       // next unread byte
  int32_t endOfStream = 0;    // a read returned fewer bytes than asked
  int32_t capacity = 0;       // window size from Attach; size shrinks below it at the end
};

}  // namespace vv
