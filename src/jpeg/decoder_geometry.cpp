// MCU geometry and the per-frame buffers of scan decoding and reconstruction.
#include <algorithm>
#include <cstdint>

#include "jpeg/decoder.h"
#include "primitives/aligned_memory.h"
#include "primitives/data_movement.h"

namespace vv {

namespace {

constexpr int64_t kMaxCoefficientBytes = 0x20000000;  // 512 MiB

// Replaces *block by a zero-filled aligned block of `bytes`: 0 or -6.
int32_t TakeZeroedBlock(uint16_t** block, int64_t bytes) {
  AlignedFree(*block);
  *block = static_cast<uint16_t*>(AlignedAlloc(static_cast<size_t>(bytes)));
  if (*block == nullptr) return -6;
  ZeroBytes(reinterpret_cast<uint8_t*>(*block), static_cast<int32_t>(bytes));
  return 0;
}

// The plane buffers start zeroed so that no sample is ever read before it
// was written, whatever a damaged frame leaves out.
int32_t TakeBuffer(CMemoryBuffer* buffer, int64_t bytes) {
  if (bytes < 1 || bytes > INT32_MAX) {
    buffer->Release();
    buffer->size = 0;
    return -6;
  }
  if (buffer->Allocate(static_cast<int32_t>(bytes)) != 0) return -6;
  ZeroBytes(buffer->data, buffer->size);
  return 0;
}

}  // namespace

int32_t CJPEGDecoder::SetupGeometry() {
  const int32_t unit = mode == kFrameLossless ? 1 : 8;
  mcuWidth = std::max(1, maxHSampling) * unit;
  mcuHeight = std::max(1, maxVSampling) * unit;
  bandHeight = mcuHeight;
  mcusAcross = (width - 1 + mcuWidth) / mcuWidth;
  mcusDown = (height - 1 + mcuHeight) / mcuHeight;
  paddedWidth = mcusAcross * mcuWidth;
  padX = paddedWidth - width;
  padY = mcusDown * mcuHeight - height;
  return 0;
}

int32_t CJPEGDecoder::PrepareBuffers() {
  if (buffersReady) return 0;
  bytesPerSample = 1;
  if (mode < kFrameBaseline || mode > kFrameLossless) return -3;
  // Recomputed here so that a missing or stale geometry call of the owner
  // can never make the buffers smaller than the frame needs.
  SetupGeometry();
  if (mcusAcross < 1 || mcusDown < 1 || componentCount < 1 || componentCount > 4) return -3;

  const bool lossless = mode == kFrameLossless;
  const bool wideSamples = !lossless && precision > 8;
  // Decisions of this decoder, each rejected with -1 before anything is
  // written:
  // - a DCT frame reconstructs into 8-bit samples for 8-bit frames and into
  //   16-bit samples for 12-bit frames, so the output precision must match
  //   (a 12-bit frame asked for 8-bit output is not narrowed);
  // - 16-bit sample planes are only interleaved, never upsampled (the
  //   upsamplers work on bytes), so 12-bit frames must be sampled 1 x 1;
  // - lossless frames are decoded one sample per component per MCU, so all
  //   their components must be sampled 1 x 1;
  // - sampling factors that do not divide the maxima (3 and 2, say) have no
  //   upsampler;
  // - lossless rows go through the interleaving conversion only: there is
  //   no planar form of them, and writing interleaved rows into buffers
  //   sized as planes would overrun them.
  if (!lossless && wideSamples != (dstPrecision > 8)) return -1;
  if (lossless && planarOutput != 0) return -1;
  for (int32_t k = 0; k < componentCount; ++k) {
    const CJPEGColorComponent& component = components[k];
    if (maxHSampling % component.hSampling != 0 || maxVSampling % component.vSampling != 0) {
      return -1;
    }
    if ((lossless || wideSamples) && (component.hSampling != 1 || component.vSampling != 1)) {
      return -1;
    }
  }

  // Reduced scales exist only for 8-bit DCT output; lossless frames and
  // 16-bit output are always produced at full size.
  scaleDivisor = 1;
  if (!lossless && dstPrecision <= 8 && scale >= 0 && scale <= 3) scaleDivisor = 1 << scale;

  const bool interleaved = scanComponentCount == componentCount;
  coefficientRows = (mode == kFrameProgressive || !interleaved) ? mcusDown : 1;
  int64_t coefficientBytes = 0;
  if (lossless) {
    coefficientBytes = static_cast<int64_t>(mcusAcross) * blocksPerMcu * 2 * coefficientRows;
  } else {
    coefficientBytes = static_cast<int64_t>(coefficientRows) * mcusAcross * blocksPerMcu * 128;
  }
  if (coefficientBytes > kMaxCoefficientBytes) return -6;

  for (int32_t k = 0; k < componentCount; ++k) {
    CJPEGColorComponent& component = components[k];
    component.blocksInMcu = component.hSampling * component.vSampling;
    component.blocksInMcuRow = component.blocksInMcu * mcusAcross;
    component.mcuLines = mcuHeight;
    const int32_t sampleBytes = (lossless || wideSamples) ? 2 : 1;
    component.planeStep = mcuWidth * mcusAcross * sampleBytes;
    component.ownLines = mcuHeight / component.vRatio;
    component.ownStep = component.planeStep / component.hRatio;
    if (!lossless && component.hRatio == 2 && component.vRatio == 2) component.ownLines += 2;
    component.needsUpsampling = 0;
    const int64_t planeSize = static_cast<int64_t>(component.planeStep) * component.mcuLines;
    const int64_t ownSize = static_cast<int64_t>(component.ownLines) * component.ownStep;
    if (planeSize > INT32_MAX || ownSize > INT32_MAX) return -6;
    component.planeSize = static_cast<int32_t>(planeSize);
    component.ownSize = static_cast<int32_t>(ownSize);
    if (TakeBuffer(&component.plane, planeSize * bytesPerSample) != 0) return -6;
    if (TakeBuffer(&component.ownPlane, ownSize * bytesPerSample) != 0) return -6;
    if (TakeBuffer(&component.blockInfo,
                   static_cast<int64_t>(component.blocksInMcuRow) * bytesPerSample) != 0) {
      return -6;
    }
    if (lossless) {
      // Twice the row: the second half is the scratch of the point-transform
      // shift, so the unshifted row survives as the next row's predictor.
      const int64_t rowBytes = static_cast<int64_t>(mcuWidth) * mcusAcross * 4;
      if (TakeZeroedBlock(&component.losslessRows[0], rowBytes) != 0) return -6;
      if (TakeZeroedBlock(&component.losslessRows[1], rowBytes) != 0) return -6;
    }
  }

  if (coefficients.data == nullptr) {
    if (TakeBuffer(&coefficients, coefficientBytes) != 0) return -6;
  }
  huffmanState.Allocate();
  buffersReady = 1;
  return 0;
}

}  // namespace vv
