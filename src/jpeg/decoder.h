// The JPEG decoder object the viewer owns, one per viewer. Per frame the
// owner calls ReleaseFrame, InitFrame, attaches `input` to the frame's bytes,
// reads the header with Decode(0), fixes the geometry and output description
// and then decodes with Decode(1), which continues at the first scan.
//
// Every operation returns a codec status (jpeg/codec_status.h); nothing
// throws. Fields are public: the owner reads the frame description and sets
// the output description directly.
#pragma once

#include <cstdint>

#include "jpeg/bit_input.h"
#include "jpeg/decoder_tables.h"
#include "jpeg/streams.h"

namespace vv {

// Frame kinds of the four supported start-of-frame markers; the values are
// the `mode` field's.
enum JpegFrameKind : int32_t {
  kFrameBaseline = 1,     // SOF0
  kFrameExtended = 2,     // SOF1
  kFrameProgressive = 3,  // SOF2
  kFrameLossless = 4,     // SOF3
};

// Colour spaces of a stream, the `colorSpace` field's values.
enum JpegColorSpace : int32_t {
  kColorUnknown = 0,
  kColorGray = 1,
  kColorRgb = 2,
  kColorYCbCr = 4,
  kColorCmyk = 5,
  kColorYcck = 6,
};

// Output forms of the decoder, the `dstColor` field's values.
enum JpegOutputColor : int32_t {
  kOutAsIs = 0,  // the components as they are
  kOutGray = 1,
  kOutRgb = 2,
  kOutBgr = 3,
  kOutYuy2 = 4,  // packed 4:2:2 Y0 Cb Y1 Cr (needs keep422)
  kOutCmyk = 5,
  kOutBgra = 7,  // video range, alpha 255
  kOutRgba = 8,  // video range, alpha 255
};

class CJPEGDecoder {
 public:
  // Starts empty with the per-frame defaults of InitFrame.
  CJPEGDecoder();
  // ReleaseFrame, then the embedded records go (the input window last).
  virtual ~CJPEGDecoder();
  CJPEGDecoder(const CJPEGDecoder&) = delete;
  CJPEGDecoder& operator=(const CJPEGDecoder&) = delete;

  // Per-frame defaults: precision 8, samplingClass 4, scaleDivisor 1, every
  // other frame, segment and scan field 0, components not scan-complete.
  // Releases nothing (the owner calls ReleaseFrame first); the comment and
  // Exif blocks stay owned until ReleaseFrame or the next copy replaces them.
  void InitFrame();

  // Releases the comment and Exif copies, the coefficient buffer, the
  // Huffman state block and the lossless row buffers; clears the segment
  // presence flags and the AVI1 fields; resets all eight Huffman tables.
  // Quantisation tables are kept for the next frame.
  void ReleaseFrame();

  // Runs the marker loop over `input`.
  // passMode 0: up to and including the first SOS header, then steps back
  //   so the input stands on that SOS marker again; 0. An EOI met first
  //   also ends it with 0 (the owner then finds no usable frame or scan).
  // passMode 1: everything up to EOI, decoding the scans.
  // other: every segment up to EOI; entropy-coded data is skipped.
  // Status: 0, or the first error of a segment reader (-1, -2, -4, -6..-12).
  int32_t Decode(int32_t passMode);

  // samplingClass from the components' H and V (0 all 1x1, 1 first 2x1,
  // 2 first 1x2, 3 first 2x2, others 1x1 each, a fourth component sampled
  // like the first; 4 anything else). Component counts other than 1, 3 and
  // 4 leave the class as it is. Always 0.
  int32_t ClassifySampling();

  // Finds the next marker: skips bytes up to a 0xFF, fill bytes 0xFF and
  // stuffed zeros; stores the code in `marker`. -4 when the data ends.
  int32_t NextMarker();

  // Segment readers, each called after the two marker bytes were consumed;
  // each reads the 16-bit length first (below 2: -7) and clears `marker` on
  // success. Fields of a segment are recorded as read; on failure the frame
  // is to be discarded.

  // APP0: JFIF, JFXX and AVI1 fields; anything else skipped. -4, -7.
  int32_t ReadApp0();
  // APP1: an Exif segment's bytes after the six identifier bytes are copied
  // into `exif`; other APP1 segments skipped. -4, -6, -7.
  int32_t ReadApp1();
  // APP14: Adobe version, flags and transform. -4, -7.
  int32_t ReadApp14();
  // COM: copied into `comment` with a terminating zero byte. -4, -6, -7.
  int32_t ReadCom();
  // DQT: loads the tables into quantTables[Tq] and marks them ready.
  // -9 for Tq >= 4, Pq > 1 or lengths that do not add up; -2, -4, -7.
  int32_t ReadDqt();
  // DHT: builds dcTables[Th] / acTables[Th]. -7 for a class or table number
  // out of range; -10 for more than 256 values, values beyond the segment or
  // lengths that do not add up (and table builds rejected); -2, -4, -6.
  int32_t ReadDht();
  // SOFn of the given kind: frame size, precision, components, sampling
  // class, maxima and ratios, mode. -8 for a bad header, -1 for progressive
  // precision other than 8, -4, -7. Frame fields are written only when the
  // whole header is valid.
  int32_t ReadSof(JpegFrameKind kind);
  // DRI: restartInterval and restartsLeft. -12 for a length other than 4.
  int32_t ReadDri();
  // SOS: scan components with their table selectors, Ss, Se, Ah, Al; in
  // passMode 0 also the colour-space decision. -11 for a bad scan header,
  // -1 for a partially interleaved sequential scan, -4, -7. Scan fields are
  // written only when the whole header is valid.
  int32_t ReadSos(int32_t passMode);
  // A restart: steps back over a 0xFF that the entropy decoder left in
  // `marker`, reads the next marker when none is pending (any code counts),
  // clears it and advances nextRestartNumber. -4 when the data ends.
  int32_t ProcessRestart();

  // colorSpace from the JFIF and Adobe segments, Nf, mode and precision.
  void DecideColorSpace();

  // Decodes the scan whose header was just read (decoding pass): prepares
  // the frame's buffers on the first scan, decodes the entropy-coded data and
  // writes every MCU row that became complete to the output description.
  // Status: 0 (also for damaged rows of interleaved sequential scans, which
  // are output as far as they decoded), or -1, -2, -3, -4, -6, -7, -10.
  int32_t DecodeScan();

  // MCU geometry (mcusAcross .. padY) from width, height, the sampling
  // maxima and mode; the owner calls it after Decode(0). Always 0.
  int32_t SetupGeometry();

  // Takes the frame's sample planes, coefficient buffer, lossless rows and
  // Huffman state, once per frame (buffersReady); also fixes scaleDivisor.
  // -1 for combinations the decoder does not reconstruct (see the .cpp),
  // -3 without a frame, -6 when memory is short or the coefficient buffer
  // would exceed 512 MiB.
  int32_t PrepareBuffers();

  // --- scan decoding (decoder_scan.cpp) ---
  // Sequential scan with every component, decoded and output row by row;
  // the planar twin copies planes instead of converting. 0 whatever the data
  // held; -2 when the state cannot be reset, -7 for an undefined table,
  // -2/-6/-10 from installing default tables.
  int32_t DecodeScanInterleaved();
  int32_t DecodeScanInterleavedPlanar();
  // One row of MCUs into rowCoefficients (rowValues coefficients, any
  // contents before): every block is written, undecoded ones as zero. 0; -2
  // when a block failed (the rest of its restart interval or row is zero) or
  // the state cannot be reset; -7 for an undefined table.
  int32_t DecodeMcuRow(int16_t* rowCoefficients, int32_t rowValues);
  // Sequential scan of scanComponent into the whole-image buffer. -1 when the
  // buffer holds one row only, -2, -7.
  int32_t DecodeScanSingle();
  // One progressive scan into the whole-image buffer. -2, -7.
  int32_t DecodeScanProgressive();
  // Lossless: one row of differences of all components, or all differences
  // of scanComponent. -2, -7.
  int32_t DecodeLosslessRow();
  int32_t DecodeLosslessSingle();

  // --- reconstruction and output (decoder_reconstruct.cpp) ---
  // Inverse transforms of one MCU row of coefficients into plane / ownPlane
  // at the chosen scale; sparse selects transforms by blockInfo. 0 or -2.
  int32_t ReconstructMcuRow(const int16_t* rowCoefficients, bool sparse);
  // Brings the subsampled components of MCU row `row` to full resolution.
  // 0 or -2.
  int32_t Upsample(int32_t row);
  // Converts MCU row `row` of the planes into dstPlanes[0]. 0, -1, -2.
  int32_t ConvertRow(int32_t row);
  // Copies MCU row `row` of each component to dstPlanes[k]. 0, -1, -2.
  int32_t OutputPlanarRow(int32_t row);
  // Lossless: predicts row `row` from its differences into the planes. 0, -2.
  int32_t ReconstructLosslessRow(int32_t row);

  // Whole-image buffer rows (progressive, single-component sequential and
  // lossless scans) reconstructed and output. 0, -1, -2.
  int32_t OutputWholeImage();

  // --- frame ---
  int32_t width = 0;
  int32_t height = 0;
  int32_t componentCount = 0;
  int32_t precision = 0;
  int32_t samplingClass = 0;
  int32_t colorSpace = 0;       // JpegColorSpace
  int32_t restartInterval = 0;  // 0: none
  int32_t mode = 0;             // 0 none yet, else JpegFrameKind
  int32_t scale = 0;            // 0 full, 1 half, 2 quarter, 3 eighth
  int32_t scaleDivisor = 0;
  int32_t sparseIdct = 0;

  // --- recognised segments ---
  int32_t hasComment = 0;
  int32_t commentLength = 0;
  uint8_t* comment = nullptr;  // aligned, owned; commentLength bytes + 0
  int32_t hasJfif = 0;
  int32_t jfifMajor = 0;
  int32_t jfifMinor = 0;
  int32_t jfifUnits = 0;
  int32_t jfifXDensity = 0;
  int32_t jfifYDensity = 0;
  int32_t jfifXThumbnail = 0;
  int32_t jfifYThumbnail = 0;
  int32_t hasJfxx = 0;
  int32_t jfxxCode = 0;
  int32_t hasAvi1 = 0;
  int32_t avi1Polarity = 0;
  int32_t avi1Reserved = 0;
  uint32_t avi1FieldSize = 0;
  uint32_t avi1FieldSizeLessPadding = 0;
  int32_t hasExif = 0;
  int32_t exifLength = 0;
  uint8_t* exif = nullptr;  // aligned, owned; exifLength bytes
  int32_t hasAdobe = 0;
  int32_t adobeVersion = 0;
  int32_t adobeFlags0 = 0;
  int32_t adobeFlags1 = 0;
  int32_t adobeTransform = 0;

  int32_t maxHSampling = 0;
  int32_t maxVSampling = 0;

  // --- MCU geometry, fixed after the header pass ---
  int32_t mcusAcross = 0;
  int32_t mcusDown = 0;
  int32_t mcuWidth = 0;
  int32_t mcuHeight = 0;
  int32_t bandHeight = 0;  // lines of one output band (= mcuHeight)
  int32_t paddedWidth = 0;
  int32_t padX = 0;
  int32_t padY = 0;

  // --- scan ---
  int32_t restartPending = 0;
  int32_t restartsLeft = 0;
  int32_t nextRestartNumber = 0;
  int32_t sosLength = 0;
  int32_t scanComponent = 0;       // frame index of the last component listed
  int32_t scanComponentCount = 0;  // Ns
  int32_t Ss = 0;
  int32_t Se = 0;
  int32_t Al = 0;
  int32_t Ah = 0;
  int32_t dcComplete = 0;
  int32_t componentsDone = 0;
  int32_t buffersReady = 0;
  int32_t marker = 0;  // pending marker code, 0 = none
  int32_t scanCount = 0;

  CMemoryBuffer coefficients;  // 16-bit DCT coefficients
  int32_t coefficientRows = 0;  // MCU rows the coefficient buffer holds (1 or mcusDown)
  int32_t bytesPerSample = 0;
  int32_t blocksPerMcu = 0;
  int32_t frameSeen = 0;

  // --- output description, set by the owner before the decoding pass ---
  uint8_t* dstPlanes[4] = {nullptr, nullptr, nullptr, nullptr};
  int32_t dstWidth = 0;
  int32_t dstHeight = 0;
  int32_t dstSteps[4] = {0, 0, 0, 0};
  int32_t dstPrecision = 0;
  int32_t dstChannels = 0;
  int32_t dstColor = 0;
  int32_t keep422 = 0;
  int32_t planarOutput = 0;

  CBitStreamInput input;
  CJPEGColorComponent components[4];
  CJPEGDecoderQuantTable quantTables[4];
  CJPEGDecoderHuffmanTable dcTables[4];
  CJPEGDecoderHuffmanTable acTables[4];
  CJPEGDecoderHuffmanState huffmanState;

 private:
  // Consumes the 16-bit segment length: -7 below 2, -4 at the end of data.
  int32_t ReadSegmentLength(int32_t* length);
  // Skips count bytes (nothing for count <= 0).
  int32_t SkipBytes(int32_t count);
  // Copies count bytes from the input into dest.
  int32_t ReadBytes(uint8_t* dest, int32_t count);
  // Whether the next bytes equal identifier (1..5 bytes), consuming nothing.
  int32_t PeekIdentifier(const char* identifier, int32_t length, bool* matches);
  // Replaces *block by a new aligned block of `bytes` filled from the input.
  int32_t CopySegmentBytes(uint8_t** block, int32_t bytes);
  // An unrecognised segment: its length, then skipped.
  int32_t SkipSegment();

  // Scan helpers (decoder_scan.cpp).
  int32_t PrepareSequentialTables();
  int32_t RestartIfDue(bool* restarted);
  void TopUpInput();
  int32_t DecodeScanInterleavedRows(bool planar);
  int32_t DecodeDcScanAllComponents();
  int32_t DecodeProgressiveSingle(bool dcScan);
  // Walks the blocks of scanComponent that a single-component scan codes,
  // in its order, with the restart step and the window top-up before each;
  // decodeBlock(block, &marker word) decodes one and returns its primitive
  // status. -2 when a block fails or the state cannot be reset.
  template <typename DecodeBlock>
  int32_t DecodeComponentBlocks(DecodeBlock decodeBlock);
  int32_t OutputLosslessImage();
  int32_t CoefficientOffset(int32_t component) const;
};

}  // namespace vv
