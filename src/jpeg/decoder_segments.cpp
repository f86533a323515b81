// The decoder's segment readers: application segments, comment, tables,
// frame and scan headers, restart interval.
#include "jpeg/decoder.h"

#include "primitives/aligned_memory.h"
#include "primitives/data_movement.h"

namespace vv {

int32_t CJPEGDecoder::ReadSegmentLength(int32_t* length) {
  uint16_t value = 0;
  const int32_t status = input.ReadWord(&value);
  if (status != 0) return status;
  if (value < 2) return -7;
  *length = value;
  return 0;
}

int32_t CJPEGDecoder::SkipBytes(int32_t count) {
  return count > 0 ? input.Seek(count) : 0;
}

int32_t CJPEGDecoder::ReadBytes(uint8_t* dest, int32_t count) {
  while (count > 0) {
    if (input.position >= input.size) {
      const int32_t status = input.FillBuffer(0);
      if (status != 0) return status;
      if (input.position >= input.size) return -4;
    }
    const int32_t available = input.size - input.position;
    const int32_t n = count < available ? count : available;
    if (CopyBytes(input.buffer + input.position, dest, n) != 0) return -2;
    input.position += n;
    dest += n;
    count -= n;
  }
  return 0;
}

int32_t CJPEGDecoder::PeekIdentifier(const char* identifier, int32_t length, bool* matches) {
  *matches = false;
  for (int32_t k = 0; k < length; ++k) {
    uint8_t byte = 0;
    const int32_t status = input.Peek(k, &byte);
    if (status != 0) return status;
    if (byte != static_cast<uint8_t>(identifier[k])) return 0;
  }
  *matches = true;
  return 0;
}

int32_t CJPEGDecoder::CopySegmentBytes(uint8_t** block, int32_t bytes) {
  AlignedFree(*block);
  // One spare zero byte, so a comment is always terminated, even when the
  // data ends in the middle of it.
  *block = static_cast<uint8_t*>(AlignedAlloc(bytes + 1));
  if (*block == nullptr) return -6;
  if (ZeroBytes(*block, bytes + 1) != 0) return -2;
  return ReadBytes(*block, bytes);
}

int32_t CJPEGDecoder::SkipSegment() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status == 0) status = SkipBytes(length - 2);
  if (status == 0) marker = 0;
  return status;
}

// Reads one field of 1, 2 or 4 big-endian bytes into *value.
template <typename T>
static int32_t ReadField(CBitStreamInput& input, int32_t bytes, T* value) {
  if (bytes == 1) {
    uint8_t v = 0;
    const int32_t status = input.ReadByte(&v);
    if (status == 0) *value = static_cast<T>(v);
    return status;
  }
  if (bytes == 2) {
    uint16_t v = 0;
    const int32_t status = input.ReadWord(&v);
    if (status == 0) *value = static_cast<T>(v);
    return status;
  }
  uint32_t v = 0;
  const int32_t status = input.ReadDword(&v);
  if (status == 0) *value = static_cast<T>(v);
  return status;
}

int32_t CJPEGDecoder::ReadApp0() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  int32_t remaining = length - 2;
  bool matches = false;
  // Each identifier is looked at only when the segment can hold its fields,
  // so a short segment at the end of the data never peeks past it.
  if (remaining >= 14) {
    status = PeekIdentifier("JFIF", 5, &matches);
    if (status != 0) return status;
    if (matches) {
      status = SkipBytes(5);
      if (status == 0) status = ReadField(input, 1, &jfifMajor);
      if (status == 0) status = ReadField(input, 1, &jfifMinor);
      if (status == 0) status = ReadField(input, 1, &jfifUnits);
      if (status == 0) status = ReadField(input, 2, &jfifXDensity);
      if (status == 0) status = ReadField(input, 2, &jfifYDensity);
      if (status == 0) status = ReadField(input, 1, &jfifXThumbnail);
      if (status == 0) status = ReadField(input, 1, &jfifYThumbnail);
      if (status != 0) return status;
      hasJfif = 1;
      remaining -= 14;
    }
  }
  if (remaining >= 6) {
    status = PeekIdentifier("JFXX", 5, &matches);
    if (status != 0) return status;
    if (matches) {
      status = SkipBytes(5);
      if (status == 0) status = ReadField(input, 1, &jfxxCode);
      if (status != 0) return status;
      hasJfxx = 1;
      remaining -= 6;
    }
  }
  if (remaining >= 14) {
    status = PeekIdentifier("AVI1", 4, &matches);
    if (status != 0) return status;
    if (matches) {
      status = SkipBytes(4);
      if (status == 0) status = ReadField(input, 1, &avi1Polarity);
      if (status != 0) return status;
      hasAvi1 = 1;
      remaining -= 5;
      if (remaining == 9) {
        status = ReadField(input, 1, &avi1Reserved);
        if (status == 0) status = ReadField(input, 4, &avi1FieldSize);
        if (status == 0) status = ReadField(input, 4, &avi1FieldSizeLessPadding);
        if (status != 0) return status;
        remaining = 0;
      }
    }
  }
  status = SkipBytes(remaining);  // thumbnails and anything unrecognised
  if (status == 0) marker = 0;
  return status;
}

int32_t CJPEGDecoder::ReadApp1() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  const int32_t remaining = length - 2;
  bool matches = false;
  if (remaining >= 5) {
    status = PeekIdentifier("Exif", 5, &matches);
    if (status != 0) return status;
  }
  if (matches && remaining >= 6) {
    hasExif = 1;
    status = SkipBytes(6);  // "Exif" 0 and the pad byte
    if (status != 0) return status;
    exifLength = length - 8;
    if (exifLength == 0) {
      // An empty Exif body: recorded as present, with no block to own.
      AlignedFree(exif);
      exif = nullptr;
    } else {
      status = CopySegmentBytes(&exif, exifLength);
      if (status != 0) {
        if (exif == nullptr) exifLength = 0;
        return status;
      }
    }
  } else {
    if (matches) hasExif = 1;
    status = SkipBytes(remaining);
    if (status != 0) return status;
  }
  marker = 0;
  return 0;
}

int32_t CJPEGDecoder::ReadApp14() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  int32_t remaining = length - 2;
  if (remaining >= 12) {
    bool matches = false;
    status = PeekIdentifier("Adobe", 5, &matches);
    if (status != 0) return status;
    if (matches) {
      status = SkipBytes(5);
      if (status == 0) status = ReadField(input, 2, &adobeVersion);
      if (status == 0) status = ReadField(input, 2, &adobeFlags0);
      if (status == 0) status = ReadField(input, 2, &adobeFlags1);
      if (status == 0) status = ReadField(input, 1, &adobeTransform);
      if (status != 0) return status;
      hasAdobe = 1;
      remaining -= 12;
    }
  }
  status = SkipBytes(remaining);
  if (status == 0) marker = 0;
  return status;
}

int32_t CJPEGDecoder::ReadCom() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  hasComment = 1;
  commentLength = length - 2;
  status = CopySegmentBytes(&comment, commentLength);
  if (status != 0) {
    if (comment == nullptr) commentLength = 0;
    return status;
  }
  marker = 0;
  return 0;
}

int32_t CJPEGDecoder::ReadDqt() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  int32_t remaining = length - 2;
  while (remaining > 0) {
    uint8_t pqTq = 0;
    status = input.ReadByte(&pqTq);
    if (status != 0) return status;
    const int32_t pq = pqTq >> 4;
    const int32_t tq = pqTq & 15;
    if (tq >= 4 || pq > 1) return -9;
    const int32_t tableBytes = 65 + 64 * pq;
    // Checked before the values are read, so that the bytes of the next
    // segment are never loaded as a table.
    if (tableBytes > remaining) return -9;
    CJPEGDecoderQuantTable& table = quantTables[tq];
    if (pq == 0) {
      uint8_t values[64];
      status = ReadBytes(values, 64);
      if (status != 0) return status;
      if (table.LoadQuant8(values) != 0) return -2;
    } else {
      uint16_t values[64];
      for (uint16_t& value : values) {
        status = input.ReadWord(&value);
        if (status != 0) return status;
      }
      if (table.LoadQuant16(values) != 0) return -2;
    }
    table.id = tq;
    table.ready = 1;
    remaining -= tableBytes;
  }
  if (remaining != 0) return -9;
  marker = 0;
  return 0;
}

int32_t CJPEGDecoder::ReadDht() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  int32_t remaining = length - 2;
  while (remaining > 16) {
    uint8_t tcTh = 0;
    status = input.ReadByte(&tcTh);
    if (status != 0) return status;
    const int32_t tc = tcTh >> 4;
    const int32_t th = tcTh & 15;
    if (tc > 1 || th > 3) return -7;
    uint8_t bits[16];
    status = ReadBytes(bits, 16);
    if (status != 0) return status;
    int32_t total = 0;
    for (uint8_t count : bits) total += count;
    if (total > 256 || total > remaining - 17) return -10;
    uint8_t values[256] = {};
    status = ReadBytes(values, total);
    if (status != 0) return status;
    remaining -= 17 + total;
    CJPEGDecoderHuffmanTable& table = tc == 0 ? dcTables[th] : acTables[th];
    status = table.BuildHuffmanTable(bits, values, th, tc);
    if (status != 0) return status;
  }
  if (remaining != 0) return -10;
  marker = 0;
  return 0;
}

int32_t CJPEGDecoder::ReadSof(JpegFrameKind kind) {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  uint8_t p = 0;
  status = input.ReadByte(&p);
  if (status != 0) return status;
  switch (kind) {
    case kFrameBaseline:
    case kFrameExtended:
      if (p != 8 && p != 12) return -8;
      break;
    case kFrameProgressive:
      if (p != 8) return -1;
      break;
    case kFrameLossless:
      if (p < 2 || p > 16) return -8;
      break;
  }
  uint16_t y = 0, x = 0;
  uint8_t nf = 0;
  status = input.ReadWord(&y);
  if (status == 0) status = input.ReadWord(&x);
  if (status == 0) status = input.ReadByte(&nf);
  if (status != 0) return status;
  if (x < 1 || y < 1) return -8;
  if (nf == 0 || nf > 4 || length - 8 != 3 * nf) return -8;

  struct FrameComponent {
    uint8_t id, h, v, tq;
  } read[4];
  for (int32_t i = 0; i < nf; ++i) {
    uint8_t hv = 0;
    status = input.ReadByte(&read[i].id);
    if (status == 0) status = input.ReadByte(&hv);
    if (status == 0) status = input.ReadByte(&read[i].tq);
    if (status != 0) return status;
    read[i].h = static_cast<uint8_t>(hv >> 4);
    read[i].v = static_cast<uint8_t>(hv & 15);
    // A single component is one block per MCU whatever its factors say.
    if (nf == 1) read[i].h = read[i].v = 1;
    if (read[i].h < 1 || read[i].v < 1 || read[i].h > 4 || read[i].v > 4 || read[i].tq > 3) {
      return -8;
    }
  }

  precision = p;
  height = y;
  width = x;
  componentCount = nf;
  blocksPerMcu = 0;
  maxHSampling = maxVSampling = 0;
  for (int32_t i = 0; i < nf; ++i) {
    CJPEGColorComponent& component = components[i];
    component.id = read[i].id;
    // The scan header stores the index again; setting it here too keeps
    // every frame kind's records complete before the first scan.
    component.index = i;
    component.hSampling = read[i].h;
    component.vSampling = read[i].v;
    component.quantSelector = read[i].tq;
    component.blocksInMcu = read[i].h * read[i].v;
    blocksPerMcu += component.blocksInMcu;
    if (read[i].h > maxHSampling) maxHSampling = read[i].h;
    if (read[i].v > maxVSampling) maxVSampling = read[i].v;
  }
  status = ClassifySampling();
  if (status != 0) return status;
  for (int32_t i = 0; i < nf; ++i) {
    components[i].hRatio = maxHSampling / components[i].hSampling;
    components[i].vRatio = maxVSampling / components[i].vSampling;
  }
  mode = kind;
  marker = 0;
  return 0;
}

int32_t CJPEGDecoder::ReadDri() {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  if (length != 4) return -12;
  uint16_t interval = 0;
  status = input.ReadWord(&interval);
  if (status != 0) return status;
  restartInterval = interval;
  restartsLeft = interval;
  marker = 0;
  return 0;
}

// Whether Ss, Se, Ah and Al suit a scan of a frame of the given mode.
static bool ScanParametersValid(int32_t mode, int32_t precision, int32_t ss, int32_t se,
                                int32_t ah, int32_t al) {
  switch (mode) {
    case kFrameBaseline:
    case kFrameExtended:
      return ss == 0 && se == 63 && ah == 0 && al == 0;
    case kFrameProgressive:
      if (ss > 63 || se > 63 || ss > se || ah > 13 || al > 13) return false;
      if (ah != 0 && ah < al) return false;
      return ss != 0 || se == 0;  // a scan with DC carries nothing else
    case kFrameLossless:
      return ss >= 1 && ss <= 7 && se == 0 && ah == 0 && al < precision;
    default:
      return false;
  }
}

int32_t CJPEGDecoder::ReadSos(int32_t passMode) {
  int32_t length = 0;
  int32_t status = ReadSegmentLength(&length);
  if (status != 0) return status;
  uint8_t ns = 0;
  status = input.ReadByte(&ns);
  if (status != 0) return status;
  if (ns == 0 || ns > 4) return -11;
  if (mode != kFrameProgressive && ns > 1 && ns < componentCount) return -1;
  if (ns * 2 != length - 6) return -11;

  struct ScanComponent {
    int32_t frameIndex, td, ta;
  } listed[4];
  for (int32_t j = 0; j < ns; ++j) {
    uint8_t cs = 0, tdTa = 0;
    status = input.ReadByte(&cs);
    if (status == 0) status = input.ReadByte(&tdTa);
    if (status != 0) return status;
    listed[j].td = tdTa >> 4;
    listed[j].ta = tdTa & 15;
    if (listed[j].td >= 4 || listed[j].ta >= 4) return -11;
    listed[j].frameIndex = -1;
    for (int32_t k = 0; k < componentCount; ++k) {
      if (components[k].id == cs) {
        listed[j].frameIndex = k;
        break;
      }
    }
    if (listed[j].frameIndex < 0) return -11;
    for (int32_t earlier = 0; earlier < j; ++earlier) {
      if (listed[earlier].frameIndex == listed[j].frameIndex) return -11;
    }
  }
  uint8_t ss = 0, se = 0, ahAl = 0;
  status = input.ReadByte(&ss);
  if (status == 0) status = input.ReadByte(&se);
  if (status == 0) status = input.ReadByte(&ahAl);
  if (status != 0) return status;
  const int32_t ah = ahAl >> 4;
  const int32_t al = ahAl & 15;
  if (!ScanParametersValid(mode, precision, ss, se, ah, al)) return -11;

  sosLength = length;
  scanComponentCount = ns;
  for (int32_t j = 0; j < ns; ++j) {
    CJPEGColorComponent& component = components[listed[j].frameIndex];
    component.index = listed[j].frameIndex;
    component.dcSelector = listed[j].td;
    component.acSelector = listed[j].ta;
    component.lastDc = 0;
    scanComponent = listed[j].frameIndex;
  }
  Ss = ss;
  Se = se;
  Ah = ah;
  Al = al;
  if (passMode == 0) DecideColorSpace();
  restartsLeft = restartInterval;
  nextRestartNumber = 0;
  marker = 0;
  return 0;
}

}  // namespace vv
