// Scan decoding: the entropy-coded data of sequential, progressive and
// lossless scans into coefficients or differences, with restart handling and
// the row-by-row drive of reconstruction and output.
#include <algorithm>
#include <cstdint>

#include "jpeg/decoder.h"
#include "primitives/data_movement.h"
#include "primitives/entropy_decode.h"
#include "primitives/huffman_tables.h"

namespace vv {

namespace {

// Bytes kept unread in the window before each block (or each run of
// lossless samples): well above the longest code of one 8-bit block, even
// with every byte stuffed.
constexpr int32_t kTopUpBytes = 4096;
// Lossless rows are decoded in runs of this many columns, so that one run's
// code (at most 4 components x 32 bits per column, doubled by stuffing)
// always fits the topped-up window, however wide the picture.
constexpr int32_t kLosslessRunColumns = 64;

bool IsRestartMarker(int32_t code) { return code >= 0xD0 && code <= 0xD7; }

bool TableUsable(const CJPEGDecoderHuffmanTable& table) {
  return table.defined && table.decodeSpec != nullptr;
}

}  // namespace

int32_t CJPEGDecoder::DecodeScan() {
  int32_t status = PrepareBuffers();
  if (status != 0) return status;
  switch (mode) {
    case kFrameBaseline:
    case kFrameExtended:
      if (scanComponentCount != componentCount) {
        status = DecodeScanSingle();
        if (status != 0) return status;
        if (componentsDone != componentCount) return 0;
        // Such frames are reconstructed with the plain transform but at the
        // chosen scale, like progressive ones, so that reconstruction,
        // upsampling and conversion always agree on one scale.
        return OutputWholeImage();
      }
      return planarOutput ? DecodeScanInterleavedPlanar() : DecodeScanInterleaved();
    case kFrameProgressive: {
      const int32_t scanStatus = DecodeScanProgressive();
      // A missing table is the stream's fault, not damage: it ends the frame.
      if (scanStatus == -7) return -7;
      componentsDone = 0;
      for (int32_t k = 0; k < componentCount; ++k) componentsDone += components[k].scanComplete;
      if (scanStatus == 0 && (dcComplete == 0 || componentsDone != componentCount)) return 0;
      // Complete, or damaged: show what the coefficients hold now. A scan's
      // own failure is dropped once the picture was output.
      return OutputWholeImage();
    }
    case kFrameLossless:
      if (scanComponentCount != componentCount) {
        status = DecodeLosslessSingle();
        if (status != 0) return status;
        if (componentsDone != componentCount) return 0;
        return OutputLosslessImage();
      }
      // Differences of an interleaved scan use the one-row layout; after
      // single-component scans the buffer has the whole-image layout, so
      // frames mixing both kinds are refused.
      if (coefficientRows != 1) return -1;
      if (huffmanState.Reset() != 0) return -2;
      componentsDone += scanComponentCount;
      ++scanCount;
      marker = 0;
      for (int32_t row = 0; row < mcusDown; ++row) {
        status = DecodeLosslessRow();
        if (status == 0) status = ReconstructLosslessRow(row);
        restartPending = 0;
        if (status == 0) status = ConvertRow(row);
        if (status != 0) return status;
      }
      return 0;
    default:
      return -2;
  }
}

// Offset in coefficients (16-bit elements) of component k's first block
// inside an MCU: blocks come component after component.
int32_t CJPEGDecoder::CoefficientOffset(int32_t component) const {
  int32_t blocks = 0;
  for (int32_t k = 0; k < component; ++k) blocks += components[k].blocksInMcu;
  return blocks * 64;
}

// The block decoders need a whole block's code in the window; topping up
// well above the largest real block keeps them from ever stopping at the
// window's end while data remains. The end of data is not reported here:
// the block decoder meets it and fails the block.
void CJPEGDecoder::TopUpInput() {
  const int32_t wanted = std::max(128, std::min(kTopUpBytes, input.capacity / 2));
  // The common case, checked here to spare a call per block: FillBuffer
  // itself returns at once when this many bytes are held.
  if (input.size - input.position >= wanted) return;
  input.FillBuffer(wanted);
}

int32_t CJPEGDecoder::PrepareSequentialTables() {
  for (CJPEGDecoderQuantTable& table : quantTables) {
    if (!table.ready) continue;
    int32_t status = 0;
    if (precision > 8 && table.precision == 0) status = table.ConvertQuant8To16();
    if (precision <= 8 && table.precision == 1) status = table.ConvertQuant16To8();
    if (status != 0) return -2;
  }
  struct Default {
    CJPEGDecoderHuffmanTable* table;
    const uint8_t* bits;
    const uint8_t* values;
    int32_t id, tableClass;
  } defaults[4] = {
      {&dcTables[0], kStdDcLuminanceBits, kStdDcLuminanceValues, 0, 0},
      {&dcTables[1], kStdDcChrominanceBits, kStdDcChrominanceValues, 1, 0},
      {&acTables[0], kStdAcLuminanceBits, kStdAcLuminanceValues, 0, 1},
      {&acTables[1], kStdAcChrominanceBits, kStdAcChrominanceValues, 1, 1},
  };
  for (const Default& entry : defaults) {
    if (!entry.table->storageMissing) continue;
    const int32_t status =
        entry.table->BuildHuffmanTable(entry.bits, entry.values, entry.id, entry.tableClass);
    if (status != 0) return status;
  }
  return 0;
}

// The restart step before an MCU (or a block of a single-component scan).
// Only an RST marker is taken as the restart: another marker met early (a
// damaged scan running into EOI or the next segment) stays in `marker`, so
// the marker loop still sees it after the scan; the blocks up to the end of
// the scan then fail at once, because the block decoder reads nothing past a
// met marker. *restarted tells whether decoding is aligned again. -2 when
// the state cannot be reset.
int32_t CJPEGDecoder::RestartIfDue(bool* restarted) {
  *restarted = false;
  if (restartInterval == 0 || restartsLeft > 0) return 0;
  if (marker == 0 && NextMarker() != 0) return 0;  // data ended
  if (!IsRestartMarker(marker)) return 0;
  if (huffmanState.Reset() != 0) return -2;
  for (CJPEGColorComponent& component : components) component.lastDc = 0;
  if (ProcessRestart() != 0) return 0;
  restartsLeft = restartInterval;
  restartPending = 1;
  *restarted = true;
  return 0;
}

int32_t CJPEGDecoder::DecodeScanInterleaved() { return DecodeScanInterleavedRows(false); }

int32_t CJPEGDecoder::DecodeScanInterleavedPlanar() { return DecodeScanInterleavedRows(true); }

int32_t CJPEGDecoder::DecodeScanInterleavedRows(bool planar) {
  if (huffmanState.Reset() != 0) return -2;
  marker = 0;
  int32_t status = PrepareSequentialTables();
  if (status != 0) return status;
  // Checked once for the scan: a missing table is a property of the stream,
  // not damage of one row, and must fail the frame.
  for (int32_t k = 0; k < componentCount; ++k) {
    if (!TableUsable(dcTables[components[k].dcSelector]) ||
        !TableUsable(acTables[components[k].acSelector])) {
      return -7;
    }
  }
  componentsDone += scanComponentCount;
  ++scanCount;
  int16_t* rowCoefficients = reinterpret_cast<int16_t*>(coefficients.data);
  const int32_t rowValues = blocksPerMcu * mcusAcross * 64;
  for (int32_t row = 0; row < mcusDown; ++row) {
    // The row is not cleared first: DecodeMcuRow writes (or zeroes) every
    // block of it, and the block decoder clears each block it decodes.
    DecodeMcuRow(rowCoefficients, rowValues);
    // A damaged row is still reconstructed from what it decoded (undecoded
    // blocks stay zero, flat mid-grey): Motion-JPEG frames with bit errors
    // keep playing. Statuses only skip the remaining steps of the row.
    restartPending = 0;
    if (ReconstructMcuRow(rowCoefficients, sparseIdct != 0 && scaleDivisor == 1) != 0) continue;
    if (planar) {
      OutputPlanarRow(row);
    } else if (Upsample(row) == 0) {
      ConvertRow(row);
    }
  }
  return 0;
}

// After a failed block the rest of the restart interval is skipped rather
// than decoded from a misaligned bit position, and the skipped MCUs still
// count towards the interval: the next restart then falls on the MCU where
// the stream's next interval begins, which realigns decoding exactly. A
// marker met by the failing block is kept (see RestartIfDue). Without
// restarts only the rest of the row is skipped, and the next row decodes
// from the current input position.
// Every block of the row is written: decoded, or zero when skipped or not
// reached, so that the caller need not clear the row beforehand.
int32_t CJPEGDecoder::DecodeMcuRow(int16_t* rowCoefficients, int32_t rowValues) {
  int32_t result = 0;
  bool skipping = false;
  int16_t* block = rowCoefficients;
  int16_t* const rowEnd = rowCoefficients + rowValues;
  for (int32_t column = 0; column < mcusAcross; ++column) {
    bool restarted = false;
    if (RestartIfDue(&restarted) != 0) {
      Zero16(block, static_cast<int32_t>(rowEnd - block));
      return -2;
    }
    if (restarted) skipping = false;
    for (int32_t k = 0; k < componentCount; ++k) {
      CJPEGColorComponent& component = components[k];
      const CJPEGDecoderHuffmanTable& dc = dcTables[component.dcSelector];
      const CJPEGDecoderHuffmanTable& ac = acTables[component.acSelector];
      if (!TableUsable(dc) || !TableUsable(ac)) {
        Zero16(block, static_cast<int32_t>(rowEnd - block));
        return -7;
      }
      for (int32_t b = 0; b < component.blocksInMcu; ++b, block += 64) {
        if (skipping) {
          Zero16(block, 64);
          continue;
        }
        TopUpInput();
        uint32_t met = static_cast<uint32_t>(marker);
        const int32_t status =
            DecodeHuffmanBlock8x8(input.buffer, input.size, &input.position, block,
                                  &component.lastDc, &met, dc.decodeSpec, ac.decodeSpec,
                                  huffmanState.state);
        marker = static_cast<int32_t>(met);
        const int32_t count = huffmanState.state != nullptr ? huffmanState.state->coefficientCount : 64;
        component.blockInfo.data[column * component.blocksInMcu + b] =
            static_cast<uint8_t>(std::min(64, std::max(0, count)));
        if (status < 0) {
          // Whatever the block wrote is dropped: a partial block would show
          // as noise, a zero block shows flat.
          Zero16(block, 64);
          component.blockInfo.data[column * component.blocksInMcu + b] = 1;
          skipping = true;
          result = -2;
        }
      }
    }
    --restartsLeft;
  }
  return result;
}

template <typename DecodeBlock>
int32_t CJPEGDecoder::DecodeComponentBlocks(DecodeBlock decodeBlock) {
  const CJPEGColorComponent& component = components[scanComponent];
  int16_t* base = reinterpret_cast<int16_t*>(coefficients.data) + CoefficientOffset(scanComponent);
  const int32_t h = component.hSampling;
  const int32_t v = component.vSampling;
  // Only blocks holding samples of the component are coded in such a scan
  // (T.81 A.2.2): its own size is ceil(X H / Hmax) x ceil(Y V / Vmax).
  const int32_t blocksAcross = ((width * h + maxHSampling - 1) / maxHSampling + 7) / 8;
  const int32_t blocksDown = ((height * v + maxVSampling - 1) / maxVSampling + 7) / 8;
  for (int32_t by = 0; by < blocksDown; ++by) {
    const int32_t row = by / v, y = by % v;
    for (int32_t bx = 0; bx < blocksAcross; ++bx) {
      const int32_t column = bx / h, x = bx % h;
      bool restarted = false;
      if (RestartIfDue(&restarted) != 0) return -2;
      int16_t* block =
          base + ((static_cast<int64_t>(row) * mcusAcross + column) * blocksPerMcu + y * h + x) * 64;
      TopUpInput();
      uint32_t met = static_cast<uint32_t>(marker);
      const int32_t result = decodeBlock(block, &met);
      marker = static_cast<int32_t>(met);
      if (result < 0) return -2;
      --restartsLeft;
    }
  }
  return 0;
}

int32_t CJPEGDecoder::DecodeScanSingle() {
  // A frame whose first scan was interleaved has a buffer of one MCU row;
  // a single-component scan would need the whole image, so such mixed
  // frames are refused instead of growing the buffer in mid-frame.
  if (coefficientRows != mcusDown) return -1;
  componentsDone += scanComponentCount;
  ++scanCount;
  if (huffmanState.Reset() != 0) return -2;
  marker = 0;
  int32_t status = PrepareSequentialTables();
  if (status != 0) return status;
  CJPEGColorComponent& component = components[scanComponent];
  const CJPEGDecoderHuffmanTable& dc = dcTables[component.dcSelector];
  const CJPEGDecoderHuffmanTable& ac = acTables[component.acSelector];
  if (!TableUsable(dc) || !TableUsable(ac)) return -7;
  return DecodeComponentBlocks([&](int16_t* block, uint32_t* met) {
    return DecodeHuffmanBlock8x8(input.buffer, input.size, &input.position, block,
                                 &component.lastDc, met, dc.decodeSpec, ac.decodeSpec,
                                 huffmanState.state);
  });
}

int32_t CJPEGDecoder::DecodeScanProgressive() {
  ++scanCount;
  if (huffmanState.Reset() != 0) return -2;
  marker = 0;
  const bool dcScan = Ss == 0 || Se == 0;
  // A DC scan of one component of a multi-component frame is not
  // interleaved, so it follows that component's own block order; every
  // other DC scan is decoded as interleaved over all components.
  int32_t status = (dcScan && !(scanComponentCount == 1 && componentCount > 1))
                       ? DecodeDcScanAllComponents()
                       : DecodeProgressiveSingle(dcScan);
  if (status != 0) return status;
  if (dcScan) {
    if (Al == 0) dcComplete = 1;
  } else if (Al == 0 && Se == 63) {
    components[scanComponent].scanComplete = 1;
  }
  return 0;
}

int32_t CJPEGDecoder::DecodeDcScanAllComponents() {
  if (Ah == 0) {
    for (int32_t k = 0; k < componentCount; ++k) {
      if (!TableUsable(dcTables[components[k].dcSelector])) return -7;
    }
  }
  int16_t* block = reinterpret_cast<int16_t*>(coefficients.data);
  for (int32_t mcu = 0; mcu < mcusAcross * mcusDown; ++mcu) {
    bool restarted = false;
    if (RestartIfDue(&restarted) != 0) return -2;
    for (int32_t k = 0; k < componentCount; ++k) {
      CJPEGColorComponent& component = components[k];
      for (int32_t b = 0; b < component.blocksInMcu; ++b, block += 64) {
        TopUpInput();
        uint32_t met = static_cast<uint32_t>(marker);
        const int32_t result =
            Ah != 0 ? DecodeHuffmanDcRefine(input.buffer, input.size, &input.position, block, &met,
                                            Al, huffmanState.state)
                    : DecodeHuffmanDcFirst(input.buffer, input.size, &input.position, block,
                                           &component.lastDc, &met, Al,
                                           dcTables[component.dcSelector].decodeSpec,
                                           huffmanState.state);
        marker = static_cast<int32_t>(met);
        if (result < 0) return -2;
      }
    }
    --restartsLeft;
  }
  return 0;
}

int32_t CJPEGDecoder::DecodeProgressiveSingle(bool dcScan) {
  CJPEGColorComponent& component = components[scanComponent];
  const CJPEGDecoderHuffmanTable& table =
      dcScan ? dcTables[component.dcSelector] : acTables[component.acSelector];
  if ((!dcScan || Ah == 0) && !TableUsable(table)) return -7;
  return DecodeComponentBlocks([&](int16_t* block, uint32_t* met) {
    if (dcScan) {
      return Ah != 0 ? DecodeHuffmanDcRefine(input.buffer, input.size, &input.position, block, met,
                                             Al, huffmanState.state)
                     : DecodeHuffmanDcFirst(input.buffer, input.size, &input.position, block,
                                            &component.lastDc, met, Al, table.decodeSpec,
                                            huffmanState.state);
    }
    return Ah != 0 ? DecodeHuffmanAcRefine(input.buffer, input.size, &input.position, block, met,
                                           Ss, Se, Al, table.decodeSpec, huffmanState.state)
                   : DecodeHuffmanAcFirst(input.buffer, input.size, &input.position, block, met,
                                          Ss, Se, Al, table.decodeSpec, huffmanState.state);
  });
}

int32_t CJPEGDecoder::DecodeLosslessSingle() {
  // As for sequential frames: differences of a lone component need the
  // whole-image buffer, which a frame begun with an interleaved scan lacks.
  if (coefficientRows != mcusDown) return -1;
  if (huffmanState.Reset() != 0) return -2;
  componentsDone += scanComponentCount;
  ++scanCount;
  marker = 0;
  const CJPEGDecoderHuffmanTable& table = dcTables[components[scanComponent].dcSelector];
  if (!TableUsable(table)) return -7;
  int16_t* differences = reinterpret_cast<int16_t*>(coefficients.data) +
                         static_cast<int64_t>(mcusAcross) * mcusDown * scanComponent;
  const int64_t samples = static_cast<int64_t>(mcusAcross) * mcusDown;
  for (int64_t i = 0; i < samples; ++i) {
    bool restarted = false;
    if (RestartIfDue(&restarted) != 0) return -2;
    TopUpInput();
    uint32_t met = static_cast<uint32_t>(marker);
    const int32_t result = DecodeHuffmanLosslessDiff(input.buffer, input.size, &input.position,
                                                     differences + i, &met, table.decodeSpec,
                                                     huffmanState.state);
    marker = static_cast<int32_t>(met);
    if (result < 0) return -2;
    --restartsLeft;
  }
  return 0;
}

int32_t CJPEGDecoder::DecodeLosslessRow() {
  const HuffmanDecodeSpec* specs[4] = {nullptr, nullptr, nullptr, nullptr};
  for (int32_t k = 0; k < componentCount; ++k) {
    const CJPEGDecoderHuffmanTable& table = dcTables[components[k].dcSelector];
    if (!TableUsable(table)) return -7;
    specs[k] = table.decodeSpec;
  }
  bool restarted = false;
  if (RestartIfDue(&restarted) != 0) return -2;
  int16_t* rowStart = reinterpret_cast<int16_t*>(coefficients.data);
  for (int32_t column = 0; column < mcusAcross; column += kLosslessRunColumns) {
    int16_t* rows[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int32_t k = 0; k < componentCount; ++k) rows[k] = rowStart + k * mcusAcross + column;
    TopUpInput();
    uint32_t met = static_cast<uint32_t>(marker);
    const int32_t result = DecodeHuffmanLosslessRow(
        input.buffer, input.size, &input.position, rows,
        std::min(kLosslessRunColumns, mcusAcross - column), componentCount, &met, specs,
        huffmanState.state);
    marker = static_cast<int32_t>(met);
    if (result < 0) return -2;
  }
  restartsLeft -= mcusAcross;
  return 0;
}

}  // namespace vv
