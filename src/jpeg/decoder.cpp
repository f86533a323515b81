// The decoder object, its per-frame reset and the marker loop.
#include "jpeg/decoder.h"

#include "primitives/aligned_memory.h"

namespace vv {

CJPEGDecoder::CJPEGDecoder() { InitFrame(); }

CJPEGDecoder::~CJPEGDecoder() {
  ReleaseFrame();
  huffmanState.Release();
  // The embedded records are destroyed in reverse field order afterwards,
  // so the input releases its window last.
}

void CJPEGDecoder::InitFrame() {
  precision = 8;
  width = height = componentCount = mode = scale = colorSpace = restartInterval = 0;

  hasComment = commentLength = 0;
  hasJfif = jfifMajor = jfifMinor = jfifUnits = 0;
  jfifXDensity = jfifYDensity = jfifXThumbnail = jfifYThumbnail = 0;
  hasJfxx = jfxxCode = 0;
  hasAvi1 = avi1Polarity = avi1Reserved = 0;
  avi1FieldSize = avi1FieldSizeLessPadding = 0;
  hasExif = exifLength = 0;
  hasAdobe = adobeVersion = adobeFlags0 = adobeFlags1 = adobeTransform = 0;

  restartPending = restartsLeft = nextRestartNumber = sosLength = 0;
  scanComponent = scanComponentCount = Ss = Se = Al = Ah = 0;
  dcComplete = componentsDone = buffersReady = marker = scanCount = 0;
  frameSeen = blocksPerMcu = 0;
  for (CJPEGColorComponent& component : components) component.scanComplete = 0;

  samplingClass = 4;
  scaleDivisor = 1;
  sparseIdct = 0;
}

void CJPEGDecoder::ReleaseFrame() {
  AlignedFree(comment);
  comment = nullptr;
  commentLength = 0;
  AlignedFree(exif);
  exif = nullptr;
  exifLength = 0;
  hasComment = hasJfif = hasJfxx = hasAvi1 = hasExif = hasAdobe = 0;
  avi1Polarity = avi1Reserved = 0;
  avi1FieldSize = avi1FieldSizeLessPadding = 0;
  scanComponentCount = 0;

  coefficients.Release();
  huffmanState.Release();
  for (CJPEGColorComponent& component : components) {
    AlignedFree(component.losslessRows[0]);
    AlignedFree(component.losslessRows[1]);
    component.losslessRows[0] = component.losslessRows[1] = nullptr;
  }
  // Every frame brings its own Huffman tables or falls back to the
  // standard ones; quantisation tables deliberately survive, because
  // Motion-JPEG frames often omit DQT.
  for (int i = 0; i < 4; ++i) {
    dcTables[i].ResetHuffmanTable();
    acTables[i].ResetHuffmanTable();
  }
  buffersReady = 0;
}

int32_t CJPEGDecoder::NextMarker() {
  for (;;) {
    uint8_t byte = 0;
    do {
      const int32_t status = input.ReadByte(&byte);
      if (status != 0) return status;
    } while (byte != 0xFF);
    do {
      const int32_t status = input.ReadByte(&byte);
      if (status != 0) return status;
    } while (byte == 0xFF);
    if (byte != 0x00) {  // 0xFF 0x00 is a stuffed data byte, not a marker
      marker = byte;
      return 0;
    }
  }
}

int32_t CJPEGDecoder::ProcessRestart() {
  if (marker == 0xFF) {
    // The entropy decoder stopped on the 0xFF of a marker; read it whole.
    const int32_t status = input.Seek(-1);
    if (status != 0) return status;
    marker = 0;
  }
  if (marker == 0) {
    // Whatever marker comes is taken as the restart, so a lost or
    // misnumbered RST only damages the interval it belongs to.
    const int32_t status = NextMarker();
    if (status != 0) return status;
  }
  marker = 0;
  nextRestartNumber = (nextRestartNumber + 1) & 7;
  return 0;
}

int32_t CJPEGDecoder::ClassifySampling() {
  const CJPEGColorComponent* c = components;
  auto is = [](const CJPEGColorComponent& component, int32_t h, int32_t v) {
    return component.hSampling == h && component.vSampling == v;
  };
  auto classOfFirstThree = [&]() -> int32_t {
    if (!is(c[1], 1, 1) || !is(c[2], 1, 1)) return 4;
    if (is(c[0], 1, 1)) return 0;
    if (is(c[0], 2, 1)) return 1;
    if (is(c[0], 1, 2)) return 2;
    if (is(c[0], 2, 2)) return 3;
    return 4;
  };
  switch (componentCount) {
    case 1:
      samplingClass = 0;
      break;
    case 3:
      samplingClass = classOfFirstThree();
      break;
    case 4: {
      const int32_t cls = classOfFirstThree();
      const bool fourthLikeFirst =
          c[3].hSampling == c[0].hSampling && c[3].vSampling == c[0].vSampling;
      samplingClass = (cls != 4 && fourthLikeFirst) ? cls : 4;
      break;
    }
    default:
      break;
  }
  return 0;
}

void CJPEGDecoder::DecideColorSpace() {
  if (hasJfif) {
    colorSpace = componentCount == 1 ? kColorGray
                 : componentCount == 3 ? kColorYCbCr
                                       : kColorUnknown;
  }
  if (hasAdobe) {  // the Adobe segment is the more specific statement
    switch (adobeTransform) {
      case 1:
        colorSpace = kColorYCbCr;
        break;
      case 2:
        colorSpace = kColorYcck;
        break;
      case 0:
        colorSpace = componentCount == 1   ? kColorGray
                     : componentCount == 3 ? kColorRgb
                     : componentCount == 4 ? kColorCmyk
                                           : kColorUnknown;
        break;
      default:
        colorSpace = kColorUnknown;
        break;
    }
  }
  if (!hasJfif && !hasAdobe) {
    if (componentCount == 1) {
      colorSpace = kColorGray;
    } else if (componentCount == 3 && mode != kFrameLossless && precision == 8) {
      colorSpace = kColorYCbCr;
    } else {
      colorSpace = kColorUnknown;
    }
  }
}

int32_t CJPEGDecoder::Decode(int32_t passMode) {
  for (;;) {
    if (marker == 0) {
      // A marker left by the entropy decoder is dispatched without a search.
      const int32_t status = NextMarker();
      if (status != 0) return status;
    }
    int32_t status = 0;
    const int32_t code = marker;
    switch (code) {
      case 0xC0:
      case 0xC1:
      case 0xC2:
      case 0xC3:
        if (frameSeen) return -8;
        status = ReadSof(static_cast<JpegFrameKind>(code - 0xC0 + 1));
        if (status == 0) frameSeen = 1;
        break;
      case 0xC5: case 0xC6: case 0xC7:
      case 0xC9: case 0xCA: case 0xCB:
      case 0xCD: case 0xCE: case 0xCF:
        return -1;  // hierarchical and arithmetic-coded frames
      case 0xC4:
        status = ReadDht();
        break;
      case 0xD0: case 0xD1: case 0xD2: case 0xD3:
      case 0xD4: case 0xD5: case 0xD6: case 0xD7:
        status = ProcessRestart();
        break;
      case 0xD8:
        marker = 0;  // SOI resets nothing
        break;
      case 0xFF:
        // Not a marker code: a 0xFF the entropy decoder stopped on. Read
        // as a segment it would misparse; step back and search instead.
        status = input.Seek(-1);
        marker = 0;
        break;
      case 0xD9:
        marker = 0;
        return 0;
      case 0xDA:
        status = ReadSos(passMode);
        if (status != 0) return status;
        if (passMode == 0) return input.Seek(-(sosLength + 2));
        if (passMode == 1) status = DecodeScan();
        // Other passes skip the entropy-coded data: NextMarker passes over
        // its bytes and stuffed zeros, and RST markers in it are harmless.
        break;
      case 0xDB:
        status = ReadDqt();
        break;
      case 0xDD:
        status = ReadDri();
        break;
      case 0xE0:
        status = ReadApp0();
        break;
      case 0xE1:
        status = ReadApp1();
        break;
      case 0xEE:
        status = ReadApp14();
        break;
      case 0xFE:
        status = ReadCom();
        break;
      default:
        status = SkipSegment();
        break;
    }
    if (status != 0) return status;
  }
}

}  // namespace vv
