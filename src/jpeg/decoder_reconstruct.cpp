// Reconstruction: coefficients of one MCU row to samples (inverse transforms
// at full, half, quarter or eighth scale), upsampling of subsampled
// components, lossless row prediction, and the whole-image drives used once a
// progressive, single-component or lossless picture is complete.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "jpeg/decoder.h"
#include "primitives/data_movement.h"
#include "primitives/idct.h"
#include "primitives/lossless.h"
#include "primitives/sampling.h"

namespace vv {

namespace {

// Whether the natural-order positions are all zero: one OR of the values,
// with no loop, as this runs for most blocks of a frame.
template <int... kPositions>
bool AllZero(const int16_t* block) {
  return (0 | ... | block[kPositions]) == 0;
}

// The cheapest 8x8 transform that is exact for the block, chosen by how many
// zig-zag positions the block decoder covered (`count`).
int32_t SparseTransform(const int16_t* block, int32_t count, uint8_t* dst, int32_t step,
                        const uint16_t* quant) {
  if (count == 1) return DequantIdctDcOnlyToU8(block, dst, step, quant);
  // Zig-zag positions 0..4 lie in the top-left 2x2 except position 3
  // (natural 16, row 2).
  if (count < 5 && block[16] == 0) return DequantIdct8x8Low2x2ToU8(block, dst, step, quant);
  // The first 24 zig-zag positions outside the top-left 4x4.
  if (count <= 24 && AllZero<4, 5, 12, 32, 33, 34, 40, 41, 48>(block)) {
    return DequantIdct8x8Low4x4ToU8(block, dst, step, quant);
  }
  return DequantIdct8x8ToU8(block, dst, step, quant);
}

// One block into `size` x `size` samples (8, 4, 2 or 1).
int32_t TransformBlock(const int16_t* block, int32_t size, bool sparse, int32_t count,
                       uint8_t* dst, int32_t step, const uint16_t* quant) {
  switch (size) {
    case 8:
      return sparse ? SparseTransform(block, count, dst, step, quant)
                    : DequantIdct8x8ToU8(block, dst, step, quant);
    case 4:
      return DequantIdct8x8To4x4U8(block, dst, step, quant);
    case 2:
      return DequantIdct8x8To2x2U8(block, dst, step, quant);
    default: {
      // The block's mean: DC x q0 / 8 (floored), level-shifted.
      if (quant == nullptr) return -1;
      const int32_t value = ((static_cast<int32_t>(block[0]) * quant[0]) >> 3) + 128;
      *dst = static_cast<uint8_t>(std::min(255, std::max(0, value)));
      return 0;
    }
  }
}

}  // namespace

int32_t CJPEGDecoder::ReconstructMcuRow(const int16_t* rowCoefficients, bool sparse) {
  const int32_t divisor = std::max(1, scaleDivisor);
  const int32_t size = 8 / divisor;
  const bool wide = precision > 8;
  int32_t offset = 0;
  for (int32_t k = 0; k < componentCount; ++k) {
    CJPEGColorComponent& component = components[k];
    CJPEGDecoderQuantTable& table = quantTables[component.quantSelector];
    const uint16_t* quant = table.IntegerDequant();
    const float* floatQuant = table.precision == 1 ? table.DequantFloat() : nullptr;
    const int32_t h = component.hSampling;
    const int32_t v = component.vSampling;
    const bool full = h == maxHSampling && v == maxVSampling;
    const bool halfBoth = component.hRatio == 2 && component.vRatio == 2;
    // At reduced scales a 2x2-subsampled component already has the reduced
    // picture's resolution when transformed at twice the block size, so it
    // goes straight to the plane and skips the upsampler. Planar output
    // wants it at its own resolution, so there it stays in the own plane.
    const bool direct = full || (halfBoth && divisor > 1 && !planarOutput);
    const int32_t blockSize = full || !direct ? size : 2 * size;
    uint8_t* target = direct ? component.plane.data : component.ownPlane.data;
    const int32_t step = direct ? component.planeStep : component.ownStep;
    const int32_t firstLine = !direct && halfBoth ? 1 : 0;  // the upsampler's top margin
    const int32_t sampleBytes = wide ? 2 : 1;
    if (!direct) component.needsUpsampling = 1;
    for (int32_t column = 0; column < mcusAcross; ++column) {
      const int16_t* mcu = rowCoefficients + (static_cast<int64_t>(column) * blocksPerMcu) * 64 + offset;
      for (int32_t i = 0; i < v; ++i) {
        for (int32_t j = 0; j < h; ++j) {
          const int16_t* block = mcu + (i * h + j) * 64;
          uint8_t* dst = target + static_cast<int64_t>(firstLine + i * blockSize) * step +
                         static_cast<int64_t>(h * column + j) * blockSize * sampleBytes;
          int32_t status = 0;
          if (wide) {
            status = DequantIdct8x8To16uFloat(block, reinterpret_cast<uint16_t*>(dst), step,
                                              floatQuant);
          } else {
            const int32_t count = component.blockInfo.data[column * component.blocksInMcu + i * h + j];
            status = TransformBlock(block, blockSize, sparse, count, dst, step, quant);
          }
          if (status != 0) return -2;
        }
      }
    }
    offset += component.blocksInMcu * 64;
  }
  return 0;
}

int32_t CJPEGDecoder::Upsample(int32_t row) {
  const int32_t divisor = std::max(1, scaleDivisor);
  for (int32_t k = 0; k < componentCount; ++k) {
    CJPEGColorComponent& component = components[k];
    if (!component.needsUpsampling) continue;
    component.needsUpsampling = 0;
    const uint8_t* own = component.ownPlane.data;
    uint8_t* plane = component.plane.data;
    const int32_t ownStep = component.ownStep;
    const int32_t planeStep = component.planeStep;
    const int32_t hRatio = component.hRatio;
    const int32_t vRatio = component.vRatio;
    if (hRatio == 2 && vRatio == 1) {
      if (keep422) {
        if (CopyImage8u(own, ownStep, plane, planeStep, {ownStep, component.ownLines}) != 0) return -2;
        continue;
      }
      for (int32_t line = 0; line < mcuHeight / divisor; ++line) {
        if (UpsampleRowH2(own + line * ownStep, ownStep / divisor, plane + line * planeStep) != 0) {
          return -2;
        }
      }
    } else if (hRatio == 1 && vRatio == 2) {
      for (int32_t line = 0; line < mcuHeight / 2 / divisor; ++line) {
        const uint8_t* source = own + line * ownStep;
        if (CopyBytes(source, plane + 2 * line * planeStep, ownStep / divisor) != 0 ||
            CopyBytes(source, plane + (2 * line + 1) * planeStep, ownStep / divisor) != 0) {
          return -2;
        }
      }
    } else if (hRatio == 2 && vRatio == 2) {
      // Only at full scale (reduced scales transform these straight into the
      // plane). Margins: the top one is the previous row's last line, kept
      // in the bottom margin line, or the first line repeated at the
      // picture's top; the bottom one repeats the row's last line, because
      // the next row is not decoded yet.
      uint8_t* ownLines = component.ownPlane.data;
      const int32_t last = component.ownLines - 1;
      const int32_t dataLines = component.ownLines - 2;
      if (CopyBytes(ownLines + (row == 0 ? 1 : last) * ownStep, ownLines, ownStep) != 0 ||
          CopyBytes(ownLines + dataLines * ownStep, ownLines + last * ownStep, ownStep) != 0) {
        return -2;
      }
      for (int32_t i = 1; i <= dataLines; ++i) {
        const uint8_t* near = ownLines + i * ownStep;
        uint8_t* out = plane + 2 * (i - 1) * planeStep;
        if (UpsampleRowH2V2(near, near - ownStep, ownStep, out) != 0 ||
            UpsampleRowH2V2(near, near + ownStep, ownStep, out + planeStep) != 0) {
          return -2;
        }
      }
    } else if (hRatio != 1 || vRatio != 1) {
      // Any other integer ratio: sample and line replication.
      const int32_t lines = component.ownLines / divisor;
      const int32_t samples = ownStep / divisor;
      for (int32_t line = 0; line < lines; ++line) {
        const uint8_t* source = own + line * ownStep;
        uint8_t* out = plane + static_cast<int64_t>(line) * vRatio * planeStep;
        for (int32_t x = 0; x < samples; ++x) std::memset(out + x * hRatio, source[x], hRatio);
        for (int32_t copy = 1; copy < vRatio; ++copy) {
          if (CopyBytes(out, out + copy * planeStep, samples * hRatio) != 0) return -2;
        }
      }
    }
  }
  return 0;
}

int32_t CJPEGDecoder::OutputWholeImage() {
  const int16_t* all = reinterpret_cast<const int16_t*>(coefficients.data);
  const int64_t rowValues = static_cast<int64_t>(mcusAcross) * blocksPerMcu * 64;
  for (int32_t row = 0; row < mcusDown; ++row) {
    // The sparse transforms rely on the block decoder's coefficient counts,
    // which only an interleaved sequential row has.
    int32_t status = ReconstructMcuRow(all + row * rowValues, false);
    if (status == 0) {
      if (planarOutput) {
        status = OutputPlanarRow(row);
      } else {
        status = Upsample(row);
        if (status == 0) status = ConvertRow(row);
      }
    }
    if (status != 0) return status;
  }
  return 0;
}

int32_t CJPEGDecoder::ReconstructLosslessRow(int32_t row) {
  const int32_t samples = std::min(dstWidth, mcusAcross);
  const bool wholeImage = coefficientRows == mcusDown && mcusDown > 1;
  for (int32_t k = 0; k < componentCount; ++k) {
    CJPEGColorComponent& component = components[k];
    const int16_t* differences =
        reinterpret_cast<const int16_t*>(coefficients.data) +
        (wholeImage ? static_cast<int64_t>(mcusAcross) * (static_cast<int64_t>(mcusDown) * k + row)
                    : static_cast<int64_t>(mcusAcross) * k);
    uint16_t* above = component.losslessRows[0];
    uint16_t* current = component.losslessRows[1];
    if (above == nullptr || current == nullptr) return -2;
    const int32_t status =
        (row == 0 || restartPending)
            ? LosslessReconstructFirstRow(differences, current, samples, precision, Al)
            : LosslessReconstructRow(differences, above, current, samples, Ss);
    if (status != 0) return -2;
    // The unshifted row stays the next row's predictor; the shifted one goes
    // to the second half of the row buffer first.
    uint16_t* shifted = current + mcusAcross;
    if (ShiftLeft16u(current, Al, shifted, samples) != 0) return -2;
    if (dstPrecision <= 8) {
      const ImageSize size{samples, 1};
      if (AndConstImage16uInPlace(255, shifted, component.planeStep, size) != 0 ||
          Convert16uTo8uSat(shifted, component.planeStep, component.plane.data,
                            component.planeStep, size) != 0) {
        return -2;
      }
    } else if (Copy16(reinterpret_cast<const int16_t*>(shifted),
                      reinterpret_cast<int16_t*>(component.plane.data), samples) != 0) {
      return -2;
    }
    std::swap(component.losslessRows[0], component.losslessRows[1]);
  }
  return 0;
}

int32_t CJPEGDecoder::OutputLosslessImage() {
  for (int32_t row = 0; row < mcusDown; ++row) {
    if (restartInterval != 0 &&
        (static_cast<int64_t>(mcusAcross) * row) % restartInterval == 0) {
      restartPending = 1;
    }
    int32_t status = ReconstructLosslessRow(row);
    restartPending = 0;
    if (status == 0) status = ConvertRow(row);
    if (status != 0) return status;
  }
  return 0;
}

}  // namespace vv
