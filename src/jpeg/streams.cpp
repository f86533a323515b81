#include "jpeg/streams.h"

#include "primitives/aligned_memory.h"
#include "primitives/data_movement.h"

namespace vv {

CMemBuffInput::~CMemBuffInput() { Close(); }

int32_t CMemBuffInput::Open() { return -1; }

int32_t CMemBuffInput::Close() {
  buffer = nullptr;
  size = 0;
  position = 0;
  return 0;
}

int32_t CMemBuffInput::Seek(int32_t offset, int32_t origin) {
  const int64_t target = static_cast<int64_t>(position) + offset;
  if (target > size || target < 0) return -4;
  switch (origin) {
    case 0: position = offset; return 0;
    case 1: position = static_cast<int32_t>(target); return 0;
    case 2: position = size; return 0;
    default: return -1;
  }
}

int32_t CMemBuffInput::Read(uint8_t* dest, int32_t count, int32_t* countRead) {
  int32_t n = size - position;
  if (count < n) n = count;
  if (n < 0) n = 0;
  if (n > 0) CopyBytes(buffer + position, dest, n);
  position += n;
  *countRead = n;
  return n == count ? 0 : -4;
}

int32_t CMemBuffInput::Tell(int32_t* out) {
  *out = position;
  return 0;
}

CMemBuffOutput::~CMemBuffOutput() { Close(); }

int32_t CMemBuffOutput::Open() { return -1; }

int32_t CMemBuffOutput::Close() {
  buffer = nullptr;
  size = 0;
  position = 0;
  return 0;
}

int32_t CMemBuffOutput::Write(const uint8_t* source, int32_t count, int32_t* countWritten) {
  int32_t n = size - position;
  if (count < n) n = count;
  if (n < 0) n = 0;
  if (n > 0) CopyBytes(source, buffer + position, n);
  position += n;
  *countWritten = n;
  return n == count ? 0 : -4;
}

CMemoryBuffer::~CMemoryBuffer() { Release(); }

int32_t CMemoryBuffer::Allocate(int32_t bytes) {
  Release();
  size = bytes;
  data = static_cast<uint8_t*>(AlignedAlloc(bytes));
  if (data == nullptr) {
    size = 0;
    return -6;
  }
  return 0;
}

void CMemoryBuffer::Release() {
  AlignedFree(data);
  data = nullptr;
  size = 0;
}

}  // namespace vv
