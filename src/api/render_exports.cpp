// The six rendering exports: thin shells over RenderCore.
#include "api/render_pipeline.h"
#include "videoviewer.h"

namespace {

vv::RenderRequest Request(const uint8_t* buffer, uint32_t size, int32_t offset, uint64_t tag,
                          bool flip) {
  vv::RenderRequest r{};
  r.data = buffer != nullptr ? buffer + offset : nullptr;
  r.size = buffer != nullptr ? size : 0;
  r.flip = flip;
  r.tag = tag;
  return r;
}

int32_t RenderAndLend(ViewerRecord* viewer, const vv::RenderRequest& request,
                      uint32_t* outWidth, uint32_t* outHeight, BITMAPINFOHEADER** outHeader,
                      uint8_t** outPixels, uint32_t* outByteCount) {
  vv::RenderLoan loan{};
  bool lent = false;
  const int32_t status = vv::RenderCore(viewer, request, outWidth, outHeight, &loan, &lent);
  if (lent) {
    if (outHeader != nullptr) *outHeader = loan.header;
    if (outPixels != nullptr) *outPixels = loan.pixels;
    if (outByteCount != nullptr) *outByteCount = loan.byteCount;
  }
  return status;
}

}  // namespace

extern "C" {

int32_t ViewerRenderMJPEGSample(ViewerRecord* viewer, const uint8_t* buffer, uint32_t size,
                                int32_t offset, uint64_t tag, uint32_t* outWidth,
                                uint32_t* outHeight) {
  return vv::RenderCore(viewer, Request(buffer, size, offset, tag, true), outWidth, outHeight,
                        nullptr, nullptr);
}

int32_t ViewerRenderMJPEGSampleEx(ViewerRecord* viewer, const uint8_t* buffer, uint32_t size,
                                  int32_t offset, uint64_t tag, uint32_t maskSize,
                                  int32_t maskOffset, uint32_t* outWidth, uint32_t* outHeight) {
  vv::RenderRequest request = Request(buffer, size, offset, tag, true);
  if (maskSize != 0 && buffer != nullptr) {
    request.masks = buffer + maskOffset;
    request.maskSize = maskSize;
  }
  return vv::RenderCore(viewer, request, outWidth, outHeight, nullptr, nullptr);
}

int32_t ViewerRenderMJPEGSampleDec1(ViewerRecord* viewer, const uint8_t* buffer, uint32_t size,
                                    int32_t offset, uint64_t tag, uint32_t* outWidth,
                                    uint32_t* outHeight, BITMAPINFOHEADER** outHeader,
                                    uint8_t** outPixels, uint32_t* outByteCount) {
  return RenderAndLend(viewer, Request(buffer, size, offset, tag, true), outWidth, outHeight,
                       outHeader, outPixels, outByteCount);
}

int32_t ViewerRenderMJPEGSampleDec2(ViewerRecord* viewer, const uint8_t* buffer, uint32_t size,
                                    int32_t offset, uint64_t tag, uint32_t* outWidth,
                                    uint32_t* outHeight, uint8_t** outPixels,
                                    uint32_t* outByteCount) {
  return RenderAndLend(viewer, Request(buffer, size, offset, tag, true), outWidth, outHeight,
                       nullptr, outPixels, outByteCount);
}

int32_t ViewerRenderMJPEGSampleDec1Flip(ViewerRecord* viewer, const uint8_t* buffer,
                                        uint32_t size, int32_t offset, uint64_t tag,
                                        uint32_t* outWidth, uint32_t* outHeight,
                                        BITMAPINFOHEADER** outHeader, uint8_t** outPixels,
                                        uint32_t* outByteCount, int32_t flip) {
  return RenderAndLend(viewer, Request(buffer, size, offset, tag, flip != 0), outWidth,
                       outHeight, outHeader, outPixels, outByteCount);
}

int32_t ViewerRenderMJPEGSampleDec2Flip(ViewerRecord* viewer, const uint8_t* buffer,
                                        uint32_t size, int32_t offset, uint64_t tag,
                                        uint32_t* outWidth, uint32_t* outHeight,
                                        uint8_t** outPixels, uint32_t* outByteCount,
                                        int32_t flip) {
  return RenderAndLend(viewer, Request(buffer, size, offset, tag, flip != 0), outWidth,
                       outHeight, nullptr, outPixels, outByteCount);
}

}  // extern "C"
