// The encoder's scan: one interleaved baseline scan of Y, Cb and Cr, made
// one row of MCUs at a time (colour conversion, edge replication, 4:2:2
// subsampling, forward DCT with quantisation, Huffman coding).
#include <cstring>

#include "jpeg/encoder.h"
#include "primitives/colour.h"
#include "primitives/data_movement.h"
#include "primitives/entropy_encode.h"
#include "primitives/fdct.h"
#include "primitives/sampling.h"

namespace vv {

int32_t CJPEGEncoder::WriteScanHeader() {
  int32_t status = WriteWord(0xFFDA);
  if (status == 0) status = WriteWord(static_cast<uint16_t>(2 * components + 6));
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(components));
  for (int32_t c = 0; c < components && status == 0; ++c) {
    const CJPEGColorComponent& component = componentRecords[c];
    status = bitOutput.WriteByte(static_cast<uint8_t>(component.id));
    if (status == 0) {
      status = bitOutput.WriteByte(
          static_cast<uint8_t>(component.dcSelector << 4 | component.acSelector));
    }
  }
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(Ss));
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(Se));
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(Ah << 4 | Al));
  return status;
}

int32_t CJPEGEncoder::ConvertMcuRow(int32_t row) {
  const int32_t lines = row == mcusDown - 1 ? mcuHeight - padY : mcuHeight;
  const uint8_t* source = srcData + static_cast<intptr_t>(row) * mcuHeight * srcStep;
  uint8_t* const planes[3] = {componentRecords[0].plane.data, componentRecords[1].plane.data,
                              componentRecords[2].plane.data};
  const ImageSize size{width, lines};
  return BgrToYCbCr(source, srcStep, planes, componentRecords[0].planeStep, size) == StatusOk
             ? 0
             : -2;
}

int32_t CJPEGEncoder::PadAndSubsampleMcuRow(int32_t row) {
  const int32_t lines = row == mcusDown - 1 ? mcuHeight - padY : mcuHeight;
  for (int32_t c = 0; c < components; ++c) {
    CJPEGColorComponent& component = componentRecords[c];
    uint8_t* plane = component.plane.data;
    const int32_t step = component.planeStep;
    // Only the lines that hold picture samples are widened; the lines below
    // the picture are copies of the last one made afterwards, so they come
    // out the same as if every line had been widened first.
    if (padX > 0) {
      for (int32_t y = 0; y < lines; ++y) {
        uint8_t* line = plane + static_cast<intptr_t>(y) * step;
        std::memset(line + width, line[width - 1], static_cast<size_t>(padX));
      }
    }
    const uint8_t* lastLine = plane + static_cast<intptr_t>(lines - 1) * step;
    for (int32_t y = lines; y < mcuLines; ++y) {
      if (CopyBytes(lastLine, plane + static_cast<intptr_t>(y) * step, step) != StatusOk) return -2;
    }

    uint8_t* own = component.ownPlane.data;
    if (component.hRatio == 1) {
      if (CopyBytes(plane, own, component.planeSize) != StatusOk) return -2;
      continue;
    }
    for (int32_t y = 0; y < mcuLines; ++y) {
      if (DownsampleRowH2(plane + static_cast<intptr_t>(y) * step, step,
                          own + static_cast<intptr_t>(y) * component.ownStep) != StatusOk) {
        return -2;
      }
    }
  }
  return 0;
}

int32_t CJPEGEncoder::TransformMcuRow(int16_t* blocks) {
  for (int32_t m = 0; m < mcusAcross; ++m) {
    for (int32_t c = 0; c < components; ++c) {
      const CJPEGColorComponent& component = componentRecords[c];
      const uint16_t* reciprocals = quantTables[component.quantSelector].Reciprocals();
      const int32_t ownStep = component.ownStep;
      for (int32_t v = 0; v < component.vSampling; ++v) {
        for (int32_t h = 0; h < component.hSampling; ++h) {
          const uint8_t* samples = component.ownPlane.data +
                                   static_cast<intptr_t>(v) * 8 * ownStep +
                                   (m * component.hSampling + h) * 8;
          if (FdctQuant8x8FromU8(blocks, samples, ownStep, reciprocals) != StatusOk) return -2;
          blocks += 64;
        }
      }
    }
  }
  return 0;
}

int32_t CJPEGEncoder::MakeRoomForBlock() {
  if (bitOutput.position > bitOutput.capacity) return -4;
  if (bitOutput.capacity - bitOutput.position >= kEncoderBlockReserve) return 0;
  return bitOutput.FlushBuffer(0);
}

int32_t CJPEGEncoder::EncodeMcuRow(const int16_t* blocks) {
  HuffmanEncodeState* state = huffState.state;
  for (int32_t m = 0; m < mcusAcross; ++m) {
    for (int32_t c = 0; c < components; ++c) {
      CJPEGColorComponent& component = componentRecords[c];
      const HuffmanEncodeSpec* dcSpec = dcTables[component.dcSelector].encodeSpec;
      const HuffmanEncodeSpec* acSpec = acTables[component.acSelector].encodeSpec;
      for (int32_t b = 0; b < component.blocksInMcu; ++b, blocks += 64) {
        int32_t status = MakeRoomForBlock();
        if (status != 0) return status;
        // The reserve is not a bound on a block's size: a block that does
        // not fit the free space fails here with StatusBufferEnd.
        status = EncodeHuffmanBlock8x8(blocks, bitOutput.buffer, bitOutput.capacity,
                                       &bitOutput.position, &component.lastDc, dcSpec, acSpec,
                                       state, 0);
        if (status != StatusOk) return -2;
      }
    }
  }
  return 0;
}

int32_t CJPEGEncoder::FinishScan() {
  int32_t status = MakeRoomForBlock();
  if (status != 0) return status;
  if (EncodeHuffmanBlock8x8(nullptr, bitOutput.buffer, bitOutput.capacity, &bitOutput.position,
                            nullptr, nullptr, nullptr, huffState.state, 1) != StatusOk) {
    return -2;
  }
  status = bitOutput.WriteByte(0xFF);
  if (status == 0) status = bitOutput.WriteByte(0xD9);
  return status != 0 ? status : bitOutput.FlushBuffer(0);
}

int32_t CJPEGEncoder::WriteData() {
  if (headerWritten_ == 0 || !SourceSupported()) return -1;
  for (int32_t c = 0; c < components; ++c) componentRecords[c].lastDc = 0;
  if (InitHuffmanEncodeState(huffState.state) != StatusOk) return -2;
  int32_t status = WriteScanHeader();
  for (int32_t row = 0; row < mcusDown && status == 0; ++row) {
    status = ConvertMcuRow(row);
    if (status == 0) status = PadAndSubsampleMcuRow(row);
    if (status == 0) status = TransformMcuRow(coefficients);
    if (status == 0) status = EncodeMcuRow(coefficients);
  }
  return status != 0 ? status : FinishScan();
}

}  // namespace vv
