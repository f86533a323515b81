#include "jpeg/bit_input.h"

#include "primitives/aligned_memory.h"
#include "primitives/data_movement.h"

namespace vv {

CBitStreamInput::~CBitStreamInput() {
  AlignedFree(buffer);
  stream = nullptr;
  buffer = nullptr;
  size = 0;
  position = 0;
  endOfStream = 0;
  capacity = 0;
}

int32_t CBitStreamInput::Attach(CBaseStreamInput* source, int32_t windowCapacity) {
  AlignedFree(buffer);
  stream = source;
  size = windowCapacity;
  capacity = windowCapacity;
  buffer = static_cast<uint8_t*>(AlignedAlloc(windowCapacity));
  if (buffer == nullptr) {
    size = 0;
    capacity = 0;
    position = 0;
    return -6;
  }
  position = size;  // empty: the first read fills the window
  endOfStream = 0;
  return 0;
}

int32_t CBitStreamInput::FillBuffer(int32_t minBytes) {
  const int32_t remaining = size - position;
  if (minBytes > 0 && remaining >= minBytes) return 0;
  if (endOfStream) return position < size ? 0 : -4;
  if (buffer == nullptr || stream == nullptr) return -4;
  if (remaining > 0) {
    MoveBytes(buffer + position, buffer, remaining);
    position = 0;
  }
  // The status of Read is not examined: a short count is the end of the data.
  const int32_t wanted = size - remaining;
  int32_t received = 0;
  if (wanted > 0) stream->Read(buffer + remaining, wanted, &received);
  if (received != wanted) endOfStream = 1;
  size = remaining + received;
  position = 0;
  if (endOfStream && size <= 0) return -4;
  return 0;
}

int32_t CBitStreamInput::ReadWord(uint16_t* value) {
  uint8_t high, low;
  int32_t status = ReadByte(&high);
  if (status == 0) status = ReadByte(&low);
  if (status == 0) *value = static_cast<uint16_t>((high << 8) | low);
  return status;
}

int32_t CBitStreamInput::ReadDword(uint32_t* value) {
  uint16_t high, low;
  int32_t status = ReadWord(&high);
  if (status == 0) status = ReadWord(&low);
  if (status == 0) *value = (static_cast<uint32_t>(high) << 16) | low;
  return status;
}

int32_t CBitStreamInput::Peek(int32_t k, uint8_t* value) {
  if (k < 0 || k > 4) return -4;
  if (size - position < k + 1) {
    const int32_t status = FillBuffer(k + 1);
    if (status != 0) return status;
    if (size - position < k + 1) return -4;
  }
  *value = buffer[position + k];
  return 0;
}

int32_t CBitStreamInput::Seek(int32_t delta) {
  const int64_t target = static_cast<int64_t>(position) + delta;
  if (target >= 0 && target < size) {
    position = static_cast<int32_t>(target);
    return 0;
  }
  const int32_t behindWindow = static_cast<int32_t>(target - size);
  position = size;
  if (stream == nullptr) return -4;
  const int32_t status = stream->Seek(behindWindow, 1);
  if (status != 0) return status;
  // A seek outside the window moves the source: what it delivers next is new,
  // even after the end had been seen, and the whole window may fill again.
  endOfStream = 0;
  size = capacity;
  position = size;
  return FillBuffer(0);
}

}  // namespace vv
