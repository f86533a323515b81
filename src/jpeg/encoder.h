// The baseline JPEG encoder that capture owns, destroyed through its virtual
// destructor. It writes one picture of interleaved blue, green, red bytes as
// a JFIF 1.02 image: three components Y, Cb, Cr with identifiers 0, 1, 2,
// 4:2:2 sampling (MCU 16 x 8), the T.81 Annex K tables scaled by a quality
// number, one interleaved baseline scan, no restart markers.
//
// Per picture the owner calls Reset, stores the source description (srcData,
// width, height, srcStep, srcPrecision 8, srcChannels 3, srcColor 3), calls
// SetParams, attaches bitOutput to its output stream (stream set, buffer
// released, counters zeroed), may set comment and commentLength, then calls
// WriteHeader and WriteData. Only one row of MCUs is held in memory at a
// time.
//
// Every operation returns an encoder status: 0 success, -1 the source
// description is not supported, -2 a primitive failed (a table could not be
// built, or a block did not fit the free output space), -4 the output
// buffer's position exceeds its capacity, -5 the stream took fewer bytes
// than it was given, -6 an allocation failed. Nothing is rolled back on
// failure: the owner resets the encoder before the next picture.
#pragma once

#include <cstdint>

#include "jpeg/decoder_tables.h"
#include "jpeg/encoder_tables.h"
#include "jpeg/streams.h"

namespace vv {

// Size of the buffer between the entropy coder and the stream, and the free
// space that must remain in it before each block is coded (more than any
// usual block needs; a block that needs more still fails with -2).
constexpr int32_t kEncoderOutputChunk = 4096;
constexpr int32_t kEncoderBlockReserve = 129;

class CJPEGEncoder {
 public:
  // Starts as after Reset, with Ss 0, Se 63, Ah 0, Al 0.
  CJPEGEncoder();
  // Releases the Huffman specs and state, planes, coefficients and the
  // output buffer.
  virtual ~CJPEGEncoder();
  CJPEGEncoder(const CJPEGEncoder&) = delete;
  CJPEGEncoder& operator=(const CJPEGEncoder&) = delete;

  // Forgets the previous picture: clears the Huffman tables (releasing their
  // specs), the coefficient buffer, the planes of the components in use and
  // the Huffman state; zeroes the source description, geometry and comment;
  // quality 100, mode 1. The quantisation tables and bitOutput are kept.
  void Reset();

  // Fixes the configuration for `quality` (read as signed; 0 keeps the
  // Annex K tables unscaled, 50 gives the same tables, 100 and above tables
  // of ones): geometry from width and height, quantisation tables 0 (K.1)
  // and 1 (K.2), Huffman tables DC/AC 0 (K.3, K.5) and 1 (K.4, K.6), table
  // selectors of the three components. 0, -2 (negative quality, or a table
  // could not be built), -6. Fields already set stay set on failure.
  int32_t SetParams(uint32_t quality);

  // Allocates the planes, coefficient buffer, output buffer (4096 bytes)
  // and Huffman state, then writes SOI, APP0 (JFIF 1.02), COM when comment
  // is set, DQT 0 and 1, SOF0 and DHT DC0, AC0, DC1, AC1, and flushes them
  // all to the stream. -1 for a source description other than 8-bit
  // blue-green-red of 1..65535 pixels each way; otherwise the first failing
  // status (-4, -5, -6).
  int32_t WriteHeader();

  // Writes the scan header, the picture's entropy-coded data (MCU row by
  // MCU row) padded with 1-bits, and EOI, handing everything to the stream.
  // -1 for an unsupported source or without a successful WriteHeader; else
  // the first failing status (-2, -4, -5). The output is incomplete after a
  // failure.
  int32_t WriteData();

  // Source description, set by the owner after Reset.
  const uint8_t* srcData = nullptr;  // first row, not owned
  int32_t width = 0;
  int32_t height = 0;
  int32_t srcStep = 0;       // bytes from one row to the next
  int32_t srcPrecision = 0;  // bits per sample: 8
  int32_t srcChannels = 0;   // samples per pixel: 3
  int32_t srcColor = 0;      // 3: blue, green, red bytes

  CBitStreamOutput bitOutput;

  int32_t components = 0;       // Nf
  int32_t sampling = 0;         // 1: 4:2:2
  int32_t jpegColor = 0;        // 4: YCbCr
  int32_t quality = 100;
  int32_t restartInterval = 0;  // always 0: no DRI, no restart markers
  int32_t mode = 1;             // 1: baseline sequential
  int32_t mcusAcross = 0;
  int32_t mcusDown = 0;
  int32_t mcuWidth = 0;
  int32_t mcuHeight = 0;
  int32_t paddedWidth = 0;
  int32_t mcuLines = 0;
  int32_t padX = 0;
  int32_t padY = 0;
  int32_t Ss = 0;
  int32_t Se = 63;
  int32_t Ah = 0;
  int32_t Al = 0;
  int16_t* coefficients = nullptr;  // one MCU row of blocks, aligned memory, owned
  int32_t coefficientBytes = 0;     // size of that allocation
  int32_t blocksPerMcu = 0;
  const uint8_t* comment = nullptr;  // not owned; null: no COM segment
  int32_t commentLength = 0;

  CJPEGColorComponent componentRecords[4];
  CJPEGEncoderQuantTable quantTables[4];
  CJPEGEncoderHuffmanTable dcTables[4];
  CJPEGEncoderHuffmanTable acTables[4];
  CJPEGEncoderHuffmanState huffState;

 private:
  bool SourceSupported() const;
  int32_t AllocateBuffers();
  int32_t WriteWord(uint16_t value);
  int32_t WriteBytes(const uint8_t* bytes, int32_t count);
  int32_t WriteApp0();
  int32_t WriteComment();
  int32_t WriteQuantTable(const CJPEGEncoderQuantTable& table);
  int32_t WriteFrameHeader();
  int32_t WriteHuffmanTable(const CJPEGEncoderHuffmanTable& table);

  int32_t WriteScanHeader();
  int32_t ConvertMcuRow(int32_t row);
  int32_t PadAndSubsampleMcuRow(int32_t row);
  int32_t TransformMcuRow(int16_t* blocks);
  int32_t EncodeMcuRow(const int16_t* blocks);
  // Hands the buffered bytes to the stream when fewer than the block
  // reserve are free.
  int32_t MakeRoomForBlock();
  int32_t FinishScan();

  int32_t headerWritten_ = 0;  // WriteHeader completed since the last Reset
};

}  // namespace vv
