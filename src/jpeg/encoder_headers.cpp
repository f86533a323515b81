// Encoder object, configuration, working buffers and the header segments.
#include <cstring>

#include "jpeg/encoder.h"
#include "primitives/aligned_memory.h"
#include "primitives/huffman_tables.h"
#include "primitives/quant_tables.h"

namespace vv {
namespace {

constexpr int32_t kComponentCount = 3;
constexpr int32_t kMcuWidth = 16;
constexpr int32_t kMcuHeight = 8;
// A SOF0 segment carries the size in 16 bits, a COM segment at most 65533
// data bytes.
constexpr int32_t kMaxDimension = 65535;
constexpr int32_t kMaxCommentLength = 65533;

}  // namespace

CJPEGEncoder::CJPEGEncoder() { Reset(); }

CJPEGEncoder::~CJPEGEncoder() {
  AlignedFree(coefficients);
  coefficients = nullptr;
  coefficientBytes = 0;
}

void CJPEGEncoder::Reset() {
  for (int32_t t = 0; t < 4; ++t) {
    dcTables[t].Clear();
    acTables[t].Clear();
  }
  AlignedFree(coefficients);
  coefficients = nullptr;
  coefficientBytes = 0;
  const int32_t inUse = components < 0 ? 0 : (components > 4 ? 4 : components);
  for (int32_t c = 0; c < inUse; ++c) {
    componentRecords[c].plane.Release();
    componentRecords[c].ownPlane.Release();
    componentRecords[c].planeSize = componentRecords[c].ownSize = 0;
  }
  srcData = nullptr;
  width = height = srcStep = srcPrecision = srcChannels = srcColor = 0;
  components = sampling = jpegColor = 0;
  quality = 100;
  restartInterval = 0;
  mode = 1;
  mcusAcross = mcusDown = mcuWidth = mcuHeight = paddedWidth = mcuLines = padX = padY = 0;
  blocksPerMcu = 0;
  huffState.Release();
  comment = nullptr;
  commentLength = 0;
  headerWritten_ = 0;
}

int32_t CJPEGEncoder::SetParams(uint32_t qualityValue) {
  quality = static_cast<int32_t>(qualityValue);
  mode = 1;
  jpegColor = 4;
  sampling = 1;
  restartInterval = 0;
  // Widths near the 32-bit limit must not wrap; anything that large is
  // refused later as unsupported.
  mcusAcross = static_cast<int32_t>((static_cast<int64_t>(width) + kMcuWidth - 1) / kMcuWidth);
  mcusDown = static_cast<int32_t>((static_cast<int64_t>(height) + kMcuHeight - 1) / kMcuHeight);
  mcuWidth = kMcuWidth;
  mcuHeight = kMcuHeight;
  components = kComponentCount;
  headerWritten_ = 0;

  int32_t status = quantTables[0].Load(kStdLuminanceQuant, 0, quality);
  if (status == 0) status = quantTables[1].Load(kStdChrominanceQuant, 1, quality);
  if (status != 0) return status;

  struct HuffmanSource {
    CJPEGEncoderHuffmanTable* table;
    int32_t id, tableClass;
    const uint8_t* bits;
    const uint8_t* values;
  };
  const HuffmanSource sources[4] = {
      {&dcTables[0], 0, 0, kStdDcLuminanceBits, kStdDcLuminanceValues},
      {&acTables[0], 0, 1, kStdAcLuminanceBits, kStdAcLuminanceValues},
      {&dcTables[1], 1, 0, kStdDcChrominanceBits, kStdDcChrominanceValues},
      {&acTables[1], 1, 1, kStdAcChrominanceBits, kStdAcChrominanceValues},
  };
  for (const HuffmanSource& source : sources) {
    status = source.table->Create();
    if (status == 0) {
      status = source.table->Init(source.id, source.tableClass, source.bits, source.values);
    }
    if (status != 0) return status;
  }

  for (int32_t c = 0; c < kComponentCount; ++c) {
    const int32_t table = c == 0 ? 0 : 1;
    componentRecords[c].quantSelector = table;
    componentRecords[c].dcSelector = table;
    componentRecords[c].acSelector = table;
  }
  return 0;
}

// Only 8-bit blue-green-red sources are encoded (the one form capture
// produces); other descriptions are refused with -1 rather than guessed at.
// The geometry must still be the one SetParams derived, so that the planes
// fit every source row.
bool CJPEGEncoder::SourceSupported() const {
  if (srcData == nullptr || srcPrecision != 8 || srcChannels != 3 || srcColor != 3) return false;
  if (width < 1 || width > kMaxDimension || height < 1 || height > kMaxDimension) return false;
  if (srcStep < 3 * width) return false;
  if (components != kComponentCount || mcuWidth != kMcuWidth || mcuHeight != kMcuHeight) {
    return false;
  }
  // A SetParams that failed half-way leaves tables without their coding
  // structures.
  if (!quantTables[0].ready || !quantTables[1].ready) return false;
  for (int32_t t = 0; t < 2; ++t) {
    if (dcTables[t].encodeSpec == nullptr || acTables[t].encodeSpec == nullptr) return false;
  }
  return mcusAcross == (width + kMcuWidth - 1) / kMcuWidth &&
         mcusDown == (height + kMcuHeight - 1) / kMcuHeight;
}

int32_t CJPEGEncoder::AllocateBuffers() {
  paddedWidth = mcusAcross * mcuWidth;
  mcuLines = mcuHeight;
  padX = paddedWidth - width;
  padY = mcusDown * mcuHeight - height;
  blocksPerMcu = 0;
  for (int32_t c = 0; c < kComponentCount; ++c) {
    CJPEGColorComponent& component = componentRecords[c];
    component.id = component.index = c;
    component.hSampling = c == 0 ? 2 : 1;
    component.vSampling = 1;
    component.hRatio = c == 0 ? 1 : 2;
    component.vRatio = 1;
    component.blocksInMcu = component.hSampling * component.vSampling;
    blocksPerMcu += component.blocksInMcu;
    component.mcuLines = mcuLines;
    component.planeStep = paddedWidth;
    component.planeSize = component.planeStep * mcuLines;
    component.ownLines = mcuLines / component.vRatio;
    component.ownStep = component.planeStep / component.hRatio;
    component.ownSize = component.ownLines * component.ownStep;
    if (component.plane.Allocate(component.planeSize) != 0) {
      component.planeSize = 0;
      return -6;
    }
    if (component.ownPlane.Allocate(component.ownSize) != 0) {
      component.ownSize = 0;
      return -6;
    }
  }

  // A buffer left from a picture of another width (without Reset in
  // between) is replaced rather than overrun.
  const int32_t bytes = mcusAcross * blocksPerMcu * 64 * static_cast<int32_t>(sizeof(int16_t));
  if (coefficients == nullptr || coefficientBytes != bytes) {
    AlignedFree(coefficients);
    coefficients = static_cast<int16_t*>(AlignedAlloc(bytes));
    if (coefficients == nullptr) {
      coefficientBytes = 0;
      return -6;
    }
    coefficientBytes = bytes;
    std::memset(coefficients, 0, static_cast<size_t>(bytes));
  }

  if (bitOutput.Allocate(kEncoderOutputChunk) != 0) return -6;
  return huffState.Allocate();
}

int32_t CJPEGEncoder::WriteWord(uint16_t value) {
  const int32_t status = bitOutput.WriteByte(static_cast<uint8_t>(value >> 8));
  return status != 0 ? status : bitOutput.WriteByte(static_cast<uint8_t>(value));
}

int32_t CJPEGEncoder::WriteBytes(const uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t status = bitOutput.WriteByte(bytes[i]);
    if (status != 0) return status;
  }
  return 0;
}

int32_t CJPEGEncoder::WriteApp0() {
  // JFIF 1.02, no units, aspect 1:1, no thumbnail.
  static const uint8_t kApp0[18] = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                                    0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
  return WriteBytes(kApp0, sizeof kApp0);
}

int32_t CJPEGEncoder::WriteComment() {
  if (comment == nullptr) return 0;
  int32_t status = WriteWord(0xFFFE);
  if (status == 0) status = WriteWord(static_cast<uint16_t>(commentLength + 2));
  return status != 0 ? status : WriteBytes(comment, commentLength);
}

int32_t CJPEGEncoder::WriteQuantTable(const CJPEGEncoderQuantTable& table) {
  int32_t status = WriteWord(0xFFDB);
  if (status == 0) status = WriteWord(2 + 1 + 64);
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(table.precision << 4 | table.id));
  return status != 0 ? status : WriteBytes(table.Zigzag8(), 64);
}

int32_t CJPEGEncoder::WriteFrameHeader() {
  int32_t status = WriteWord(0xFFC0);
  if (status == 0) status = WriteWord(static_cast<uint16_t>(8 + 3 * components));
  if (status == 0) status = bitOutput.WriteByte(8);
  if (status == 0) status = WriteWord(static_cast<uint16_t>(height));
  if (status == 0) status = WriteWord(static_cast<uint16_t>(width));
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(components));
  for (int32_t c = 0; c < components && status == 0; ++c) {
    const CJPEGColorComponent& component = componentRecords[c];
    const uint8_t bytes[3] = {static_cast<uint8_t>(component.id),
                              static_cast<uint8_t>(component.hSampling << 4 | component.vSampling),
                              static_cast<uint8_t>(component.quantSelector)};
    status = WriteBytes(bytes, 3);
  }
  return status;
}

int32_t CJPEGEncoder::WriteHuffmanTable(const CJPEGEncoderHuffmanTable& table) {
  const int32_t count = table.SymbolCount();
  int32_t status = WriteWord(0xFFC4);
  if (status == 0) status = WriteWord(static_cast<uint16_t>(19 + count));
  if (status == 0) status = bitOutput.WriteByte(static_cast<uint8_t>(table.tableClass << 4 | table.id));
  if (status == 0) status = WriteBytes(table.bits, 16);
  // The counts of a table that the table builder accepted add up to at most
  // 256, the size of values.
  return status != 0 ? status : WriteBytes(table.values, count);
}

int32_t CJPEGEncoder::WriteHeader() {
  headerWritten_ = 0;
  if (!SourceSupported()) return -1;
  if (comment != nullptr && (commentLength < 0 || commentLength > kMaxCommentLength)) return -1;
  int32_t status = AllocateBuffers();
  if (status == 0) status = WriteWord(0xFFD8);
  if (status == 0) status = WriteApp0();
  if (status == 0) status = WriteComment();
  if (status == 0) status = WriteQuantTable(quantTables[0]);
  if (status == 0) status = WriteQuantTable(quantTables[1]);
  if (status == 0) status = WriteFrameHeader();
  if (status == 0) status = WriteHuffmanTable(dcTables[0]);
  if (status == 0) status = WriteHuffmanTable(acTables[0]);
  if (status == 0) status = WriteHuffmanTable(dcTables[1]);
  if (status == 0) status = WriteHuffmanTable(acTables[1]);
  if (status == 0) status = bitOutput.FlushBuffer(0);
  if (status == 0) headerWritten_ = 1;
  return status;
}

}  // namespace vv
