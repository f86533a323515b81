// Byte streams of the codec. The codec never touches files: the decoder reads
// the caller's frame bytes through CMemBuffInput and the encoder writes into
// the caller's buffer through CMemBuffOutput. Every operation returns a codec
// status (jpeg/codec_status.h).
#pragma once

#include <cstdint>

namespace vv {

class CBaseStream {
 public:
  virtual ~CBaseStream() = default;
  virtual int32_t Open() = 0;
  virtual int32_t Close() = 0;
};

class CBaseStreamInput : public CBaseStream {
 public:
  // origin: 0 begin, 1 current, 2 end.
  virtual int32_t Seek(int32_t offset, int32_t origin) = 0;
  virtual int32_t Read(uint8_t* dest, int32_t count, int32_t* countRead) = 0;
  virtual int32_t Tell(int32_t* position) = 0;
};

class CBaseStreamOutput : public CBaseStream {
 public:
  virtual int32_t Write(const uint8_t* source, int32_t count, int32_t* countWritten) = 0;
};

// Input over caller memory. The owner attaches it by storing buffer, size and
// position 0 directly; the bytes are not owned.
class CMemBuffInput : public CBaseStreamInput {
 public:
  CMemBuffInput() = default;
  CMemBuffInput(const uint8_t* data, int32_t length) : buffer(data), size(length) {}
  ~CMemBuffInput() override;

  int32_t Open() override;   // -1: memory streams are never opened
  int32_t Close() override;  // forgets the memory, 0
  // target = position + offset must lie in 0..size (else -4, position kept,
  // whatever the origin); then origin 0 → offset, 1 → target, 2 → size
  // (offset not added); other origins -1.
  int32_t Seek(int32_t offset, int32_t origin) override;
  // Copies min(count, size - position) bytes; 0 when all count came, else -4
  // (the bytes that remained are still delivered and counted).
  int32_t Read(uint8_t* dest, int32_t count, int32_t* countRead) override;
  int32_t Tell(int32_t* position) override;

  const uint8_t* buffer = nullptr;
  int32_t size = 0;
  int32_t position = 0;
};

// Output into caller memory of `size` bytes capacity.
class CMemBuffOutput : public CBaseStreamOutput {
 public:
  CMemBuffOutput() = default;
  CMemBuffOutput(uint8_t* data, int32_t capacity) : buffer(data), size(capacity) {}
  ~CMemBuffOutput() override;

  int32_t Open() override;   // -1
  int32_t Close() override;  // 0
  // Stores min(count, size - position) bytes; 0 when all fitted, else -4.
  int32_t Write(const uint8_t* source, int32_t count, int32_t* countWritten) override;

  uint8_t* buffer = nullptr;
  int32_t size = 0;
  int32_t position = 0;
};

// Owning holder of one aligned work block. Users allocate by releasing the
// old data, storing the new size and taking a new block (Allocate does that).
class CMemoryBuffer {
 public:
  CMemoryBuffer() = default;
  virtual ~CMemoryBuffer();
  CMemoryBuffer(const CMemoryBuffer&) = delete;
  CMemoryBuffer& operator=(const CMemoryBuffer&) = delete;

  // Replaces the block with a new one of `bytes` bytes: 0, or -6 with size 0
  // and no block when the allocation fails (or bytes < 1).
  int32_t Allocate(int32_t bytes);
  void Release();

  int32_t size = 0;
  uint8_t* data = nullptr;
};

}  // namespace vv
