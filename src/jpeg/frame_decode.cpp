#include "jpeg/frame_decode.h"

#include <cstring>

#include "jpeg/streams.h"
#include "primitives/aligned_memory.h"

namespace vv {
namespace {

// Gray pictures narrower than this are refused: hosts draw video, and a
// picture this narrow is a damaged or foreign frame.
constexpr int32_t kMinGrayWidth = 40;


bool Reallocate(FrameBuffers* frame, uint32_t width, uint32_t height) {
  AlignedFree(frame->frameHeader);
  AlignedFree(frame->frameBits);
  AlignedFree(frame->rowScratch);
  frame->frameHeader = nullptr;
  frame->frameBits = nullptr;
  frame->rowScratch = nullptr;
  frame->frameWidth = width;
  frame->frameHeight = height;
  const uint64_t pixels = static_cast<uint64_t>(width) * 4 * height;
  // The aligned allocator takes a signed 32-bit size: larger pictures are an
  // allocation failure, never a wrapped size.
  if (pixels > 0x7FFFFF00u) return false;
  frame->frameHeader = static_cast<FrameHeader*>(AlignedAlloc(sizeof(FrameHeader)));
  if (frame->frameHeader != nullptr) std::memset(frame->frameHeader, 0, sizeof(FrameHeader));
  frame->frameBits = static_cast<uint8_t*>(AlignedAlloc(static_cast<int32_t>(pixels)));
  frame->rowScratch = static_cast<uint8_t*>(AlignedAlloc(static_cast<int32_t>(width * 4)));
  return frame->frameHeader != nullptr && frame->frameBits != nullptr &&
         frame->rowScratch != nullptr;
}

// Gray g at (r, c) with step `grayStep` becomes g, g, g, 0 at (r, c) of the
// 4-byte layout. Last row first and last pixel first, so no gray value is
// overwritten before it is read.
void WidenGray(uint8_t* bits, int32_t width, int32_t height, int32_t grayStep) {
  for (int32_t r = height - 1; r >= 0; --r) {
    const uint8_t* gray = bits + static_cast<size_t>(r) * grayStep;
    uint8_t* out = bits + static_cast<size_t>(r) * width * 4;
    for (int32_t c = width - 1; c >= 0; --c) {
      const uint8_t g = gray[c];
      out[4 * c + 0] = g;
      out[4 * c + 1] = g;
      out[4 * c + 2] = g;
      out[4 * c + 3] = 0;
    }
  }
}

}  // namespace

void ReleaseFrameBuffers(FrameBuffers* frame) {
  AlignedFree(frame->frameHeader);
  AlignedFree(frame->frameBits);
  AlignedFree(frame->rowScratch);
  *frame = FrameBuffers{};
}

bool DecodeViewerFrame(CJPEGDecoder* decoder, const uint8_t* data, uint32_t size,
                       FrameBuffers* frame, bool* sizeChanged) {
  *sizeChanged = false;
  if (decoder == nullptr) return false;
  // The stream's length is signed 32-bit: longer samples are read as far
  // as it reaches.
  const uint32_t length = data == nullptr ? 0 : size > 0x7FFFFFFFu ? 0x7FFFFFFFu : size;
  CMemBuffInput memory(data, static_cast<int32_t>(length));
  decoder->ReleaseFrame();
  decoder->InitFrame();
  if (decoder->input.Attach(&memory, kBitInputWindowSize) != 0) return false;
  if (decoder->Decode(0) != 0 || decoder->mode == 0) return false;
  if (decoder->SetupGeometry() != 0) return false;

  int32_t bytesPerPixel;
  int32_t outputColor;
  switch (decoder->componentCount) {
    case 1:
      bytesPerPixel = 1;
      outputColor = decoder->colorSpace != 0 ? kOutGray : kOutAsIs;
      break;
    case 3:
    case 4:
      bytesPerPixel = 4;
      outputColor = decoder->colorSpace != 0 ? kOutBgra : kOutAsIs;
      break;
    default:
      return false;
  }
  if (decoder->mode == kFrameBaseline) decoder->sparseIdct = 1;
  if (decoder->mode == kFrameProgressive) decoder->sparseIdct = 0;
  if (decoder->precision > 8) return false;

  const int32_t width = decoder->width;
  const int32_t height = decoder->height;
  const int32_t rowStep = (width * bytesPerPixel + 3) & ~3;
  if (static_cast<uint32_t>(width) != frame->frameWidth ||
      static_cast<uint32_t>(height) != frame->frameHeight) {
    *sizeChanged = true;
    Reallocate(frame, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  }
  frame->frameSize = static_cast<uint32_t>(height) * static_cast<uint32_t>(width) * 4;
  if (frame->frameBits == nullptr || frame->frameHeader == nullptr || rowStep < 0 ||
      decoder->precision != 8) {
    return false;
  }

  decoder->dstPlanes[0] = frame->frameBits;
  decoder->dstSteps[0] = rowStep;
  decoder->dstWidth = width;
  decoder->dstHeight = height;
  decoder->dstChannels = bytesPerPixel;
  decoder->dstColor = outputColor;
  decoder->dstPrecision = 8;
  decoder->keep422 = 0;
  decoder->planarOutput = 0;
  decoder->scale = 0;
  if (decoder->Decode(1) != 0) return false;

  if (decoder->componentCount == 1) {
    if (width < kMinGrayWidth) return false;
    WidenGray(frame->frameBits, width, height, rowStep);
  }
  FrameHeader* header = frame->frameHeader;
  std::memset(header, 0, sizeof *header);
  header->biSize = 40;
  header->biWidth = width;
  header->biHeight = -height;
  header->biPlanes = 1;
  header->biBitCount = 32;
  return true;
}

void FlipFrameRows(FrameBuffers* frame) {
  const uint32_t height = frame->frameHeight;
  const size_t rowBytes = static_cast<size_t>(frame->frameWidth) * 4;
  frame->frameHeader->biHeight = static_cast<int32_t>(height);
  for (uint32_t i = 0; i < height / 2; ++i) {
    uint8_t* top = frame->frameBits + i * rowBytes;
    uint8_t* bottom = frame->frameBits + (height - 1 - i) * rowBytes;
    std::memcpy(frame->rowScratch, top, rowBytes);
    std::memcpy(top, bottom, rowBytes);
    std::memcpy(bottom, frame->rowScratch, rowBytes);
  }
}

}  // namespace vv
