#include "mjpeg_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace vv {
namespace {

uint32_t Little32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool StartsWithSoi(const uint8_t* data, size_t size) {
  return size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

// Adds a frame unless the index is full; false once it is.
bool AddFrame(MjpegIndex* index, size_t offset, size_t size) {
  if (index->frames.size() >= kMaxIndexedFrames) return false;
  index->frames.push_back({offset, size, 1});
  return true;
}

// ---------------------------------------------------------------- JPEG

// Position of the next marker (its 0xFF) in entropy-coded data from pos:
// stuffed zeros, restart markers and fill bytes belong to the data.
size_t SkipEntropyCodedData(const uint8_t* data, size_t size, size_t pos) {
  while (pos + 1 < size) {
    const void* ff = std::memchr(data + pos, 0xFF, size - pos - 1);
    if (ff == nullptr) return size;
    pos = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
    const uint8_t next = data[pos + 1];
    if (next == 0x00 || next == 0xFF || (next >= 0xD0 && next <= 0xD7)) {
      pos += 1;
      continue;
    }
    return pos;
  }
  return size;
}

void IndexJpegSequence(const uint8_t* data, size_t size, MjpegIndex* index) {
  size_t pos = 0;
  while (pos + 2 < size) {
    const void* ff = std::memchr(data + pos, 0xFF, size - pos - 2);
    if (ff == nullptr) break;
    const size_t start = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
    // SOI followed by another marker: a lone FF D8 in garbage is no image.
    if (data[start + 1] != 0xD8 || data[start + 2] != 0xFF) {
      pos = start + 1;
      continue;
    }
    const size_t length = JpegImageLength(data + start, size - start);
    if (!AddFrame(index, start, length)) return;
    pos = start + length;
  }
}

// ---------------------------------------------------------------- AVI

struct AviStream {
  char chunkId[4] = {'0', '0', 'd', 'c'};
  double framesPerSecond = 0;
};

constexpr int kMaxListDepth = 4;

// Calls visit(id, body, bodySize) for each RIFF chunk in [begin, end); a
// chunk that claims more than is there is cut at end.
template <typename Visit>
void ForEachChunk(const uint8_t* data, size_t begin, size_t end, Visit visit) {
  size_t pos = begin;
  while (pos + 8 <= end) {
    const uint8_t* id = data + pos;
    const size_t declared = Little32(data + pos + 4);
    const size_t body = pos + 8;
    const size_t bodySize = std::min(declared, end - body);
    if (!visit(id, body, bodySize)) return;
    if (declared > end - body) return;
    // Chunks are padded to an even length.
    pos = body + bodySize + (bodySize & 1);
  }
}

void ReadStreamList(const uint8_t* data, size_t begin, size_t end, int streamNumber,
                    AviStream* video, bool* found) {
  ForEachChunk(data, begin, end, [&](const uint8_t* id, size_t body, size_t bodySize) {
    if (std::memcmp(id, "strh", 4) != 0 || bodySize < 28) return true;
    if (std::memcmp(data + body, "vids", 4) != 0) return false;
    const uint32_t scale = Little32(data + body + 20);
    const uint32_t rate = Little32(data + body + 24);
    if (scale != 0 && rate != 0) video->framesPerSecond = double(rate) / double(scale);
    video->chunkId[0] = static_cast<char>('0' + streamNumber / 10 % 10);
    video->chunkId[1] = static_cast<char>('0' + streamNumber % 10);
    *found = true;
    return false;
  });
}

void ReadHeaderList(const uint8_t* data, size_t begin, size_t end, AviStream* video) {
  double mainFramesPerSecond = 0;
  int streamNumber = 0;
  bool found = false;
  ForEachChunk(data, begin, end, [&](const uint8_t* id, size_t body, size_t bodySize) {
    if (std::memcmp(id, "avih", 4) == 0 && bodySize >= 4) {
      const uint32_t microseconds = Little32(data + body);
      if (microseconds != 0) mainFramesPerSecond = 1e6 / microseconds;
    } else if (std::memcmp(id, "LIST", 4) == 0 && bodySize >= 4 &&
               std::memcmp(data + body, "strl", 4) == 0) {
      if (!found) ReadStreamList(data, body + 4, body + bodySize, streamNumber, video, &found);
      ++streamNumber;
    }
    return true;
  });
  if (video->framesPerSecond == 0) video->framesPerSecond = mainFramesPerSecond;
}

bool ReadMovieList(const uint8_t* data, size_t begin, size_t end, const AviStream& video,
                   int depth, MjpegIndex* index) {
  bool room = true;
  ForEachChunk(data, begin, end, [&](const uint8_t* id, size_t body, size_t bodySize) {
    if (std::memcmp(id, "LIST", 4) == 0) {
      if (depth < kMaxListDepth && bodySize >= 4)
        room = ReadMovieList(data, body + 4, body + bodySize, video, depth + 1, index);
    } else if (std::memcmp(id, video.chunkId, 4) == 0) {
      if (StartsWithSoi(data + body, bodySize))
        room = AddFrame(index, body, bodySize);
      else if (bodySize == 0 && !index->frames.empty() && index->frames.back().periods < 1000000)
        ++index->frames.back().periods;
    }
    return room;
  });
  return room;
}

// The RIFF forms of the file: "AVI " first, then "AVIX" extensions of large
// files, each with its own movi list.
void IndexAvi(const uint8_t* data, size_t size, MjpegIndex* index) {
  AviStream video;
  bool room = true;
  ForEachChunk(data, 0, size, [&](const uint8_t* id, size_t body, size_t bodySize) {
    if (std::memcmp(id, "RIFF", 4) != 0 || bodySize < 4) return false;
    ForEachChunk(data, body + 4, body + bodySize,
                 [&](const uint8_t* child, size_t listBody, size_t listSize) {
                   if (std::memcmp(child, "LIST", 4) != 0 || listSize < 4) return true;
                   const uint8_t* kind = data + listBody;
                   if (std::memcmp(kind, "hdrl", 4) == 0)
                     ReadHeaderList(data, listBody + 4, listBody + listSize, &video);
                   else if (std::memcmp(kind, "movi", 4) == 0)
                     room = ReadMovieList(data, listBody + 4, listBody + listSize, video, 0, index);
                   return room;
                 });
    return room;
  });
  // A rate outside what any camera sends is a damaged header, not a rate.
  const double fps = video.framesPerSecond;
  index->framesPerSecond = fps > 0.01 && fps <= 1000 ? fps : 0;
}

// ---------------------------------------------------------------- multipart

struct Text {
  const uint8_t* data;
  size_t size;
};

char Lower(uint8_t c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); }

// Position of needle (compared without case when folded) in [pos, end), or end.
size_t Find(Text text, size_t pos, size_t end, const std::string& needle, bool folded) {
  if (needle.empty() || end > text.size || end < needle.size()) return end;
  for (size_t i = pos; i + needle.size() <= end; ++i) {
    size_t k = 0;
    while (k < needle.size() &&
           (folded ? Lower(text.data[i + k]) == needle[k]
                   : text.data[i + k] == static_cast<uint8_t>(needle[k])))
      ++k;
    if (k == needle.size()) return i;
  }
  return end;
}

// End of the line that starts at pos (the position of its '\n', or size).
size_t LineEnd(Text text, size_t pos) {
  const void* lf = pos < text.size ? std::memchr(text.data + pos, '\n', text.size - pos) : nullptr;
  return lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - text.data) : text.size;
}

// Length of the line [pos, lineEnd) without its '\r'.
size_t LineLength(Text text, size_t pos, size_t lineEnd) {
  size_t length = lineEnd - pos;
  if (length > 0 && text.data[pos + length - 1] == '\r') --length;
  return length;
}

// Skips header lines from pos to the first empty line; returns the position
// after it, or size when the headers never end. Reports a Content-Type
// boundary and a Content-Length when asked for.
size_t ReadHeaders(Text text, size_t pos, std::string* boundary, long long* contentLength) {
  while (pos < text.size) {
    const size_t end = LineEnd(text, pos);
    const size_t length = LineLength(text, pos, end);
    if (length == 0) return std::min(end + 1, text.size);
    std::string line;
    for (size_t i = 0; i < length && i < 1024; ++i) line.push_back(Lower(text.data[pos + i]));
    if (boundary && line.rfind("content-type:", 0) == 0) {
      const size_t at = line.find("boundary=");
      if (at != std::string::npos) {
        // The value keeps its case: take it from the original bytes.
        size_t b = pos + at + 9;
        const size_t lineStop = pos + std::min<size_t>(length, 1024);
        const bool quoted = b < lineStop && text.data[b] == '"';
        if (quoted) ++b;
        std::string value;
        while (b < lineStop) {
          const char c = static_cast<char>(text.data[b++]);
          if (quoted ? c == '"' : (c == ';' || c == ' ' || c == '\t')) break;
          value.push_back(c);
        }
        if (!value.empty()) *boundary = value;
      }
    }
    if (contentLength && line.rfind("content-length:", 0) == 0) {
      size_t i = 15;
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      long long value = 0;
      bool digits = false;
      while (i < line.size() && line[i] >= '0' && line[i] <= '9' && value < (1LL << 40)) {
        value = value * 10 + (line[i++] - '0');
        digits = true;
      }
      if (digits) *contentLength = value;
    }
    pos = end + 1;
  }
  return text.size;
}

// Position of the next delimiter line ("--boundary" at a line start) at or
// after pos, or size.
size_t FindDelimiter(Text text, size_t pos, const std::string& delimiter) {
  while (pos < text.size) {
    const size_t at = Find(text, pos, text.size, delimiter, false);
    if (at == text.size) return at;
    if (at == 0 || text.data[at - 1] == '\n') return at;
    pos = at + 1;
  }
  return text.size;
}

bool LooksLikeHeaderLine(Text text) {
  const size_t end = LineEnd(text, 0);
  const size_t length = LineLength(text, 0, end);
  if (length >= 5 && std::memcmp(text.data, "HTTP/", 5) == 0) return true;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = text.data[i];
    if (c == ':') return i > 0;
    if (c < 0x21 || c > 0x7E) return false;
  }
  return false;
}

bool LooksLikeMultipart(Text text) {
  return (text.size >= 2 && text.data[0] == '-' && text.data[1] == '-') || LooksLikeHeaderLine(text);
}

// Boundaries are at most 70 characters; a longer one is no boundary, and
// the cap bounds the cost of searching for it.
constexpr size_t kMaxDelimiter = 72;

void IndexMultipart(Text text, MjpegIndex* index) {
  std::string boundary;
  size_t pos = 0;
  if (LooksLikeHeaderLine(text)) pos = ReadHeaders(text, 0, &boundary, nullptr);
  if (boundary.size() > kMaxDelimiter - 2) boundary.clear();
  std::string delimiter = "--" + boundary;
  size_t at = boundary.empty() ? text.size : FindDelimiter(text, pos, delimiter);
  // Some cameras announce the boundary with the leading dashes already in it.
  if (at == text.size && boundary.size() > 2 && boundary.compare(0, 2, "--") == 0) {
    delimiter = boundary;
    at = FindDelimiter(text, pos, delimiter);
  }
  if (at == text.size) {
    // No usable header: the first line that starts with "--" names it.
    const size_t first = FindDelimiter(text, pos, "--");
    if (first == text.size) return;
    const size_t end = LineEnd(text, first);
    delimiter.assign(reinterpret_cast<const char*>(text.data + first),
                     LineLength(text, first, end));
    while (!delimiter.empty() && (delimiter.back() == ' ' || delimiter.back() == '\t'))
      delimiter.pop_back();
    if (delimiter.size() <= 2 || delimiter.size() > kMaxDelimiter) return;
    at = first;
  }
  while (at < text.size) {
    const size_t after = at + delimiter.size();
    if (after + 2 <= text.size && text.data[after] == '-' && text.data[after + 1] == '-') return;
    long long contentLength = -1;
    const size_t body = ReadHeaders(text, std::min(LineEnd(text, at) + 1, text.size), nullptr,
                                    &contentLength);
    size_t bodyEnd;
    if (contentLength >= 0 && static_cast<unsigned long long>(contentLength) <= text.size - body) {
      bodyEnd = body + static_cast<size_t>(contentLength);
      at = FindDelimiter(text, bodyEnd, delimiter);
    } else {
      at = FindDelimiter(text, body, delimiter);
      bodyEnd = at;
      // The line break before the delimiter belongs to it, not to the body.
      if (bodyEnd > body && text.data[bodyEnd - 1] == '\n') --bodyEnd;
      if (bodyEnd > body && text.data[bodyEnd - 1] == '\r') --bodyEnd;
    }
    if (StartsWithSoi(text.data + body, bodyEnd - body) && !AddFrame(index, body, bodyEnd - body))
      return;
  }
}

}  // namespace

const char* ContainerName(MjpegContainer container) {
  switch (container) {
    case MjpegContainer::kJpegSequence: return "JPEG sequence";
    case MjpegContainer::kAvi: return "AVI";
    case MjpegContainer::kMultipart: return "multipart";
    case MjpegContainer::kNone: break;
  }
  return "none";
}

size_t JpegImageLength(const uint8_t* data, size_t size) {
  if (!StartsWithSoi(data, size)) return 0;
  size_t pos = 2;
  while (pos < size) {
    if (data[pos] != 0xFF) {
      // Stray bytes between segments: resynchronise on the next marker.
      const void* ff = std::memchr(data + pos, 0xFF, size - pos);
      if (ff == nullptr) return size;
      pos = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
    }
    while (pos + 1 < size && data[pos + 1] == 0xFF) ++pos;  // fill bytes
    if (pos + 1 >= size) return size;
    const uint8_t marker = data[pos + 1];
    if (marker == 0xD9) return pos + 2;
    if (marker == 0xD8) return pos;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (pos + 4 > size) return size;
    const size_t length = size_t{data[pos + 2]} << 8 | data[pos + 3];
    if (length < 2 || length > size - pos - 2) return size;
    pos += 2 + length;
    if (marker == 0xDA) pos = SkipEntropyCodedData(data, size, pos);
  }
  return size;
}

bool ReadJpegFrameSize(const uint8_t* data, size_t size, int32_t* width, int32_t* height) {
  if (!StartsWithSoi(data, size)) return false;
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return false;
    const uint8_t marker = data[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return false;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    const size_t length = size_t{data[pos + 2]} << 8 | data[pos + 3];
    if (length < 2 || length > size - pos - 2) return false;
    const bool frameHeader = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                             marker != 0xC8 && marker != 0xCC;
    if (frameHeader) {
      if (length < 7) return false;
      const uint8_t* p = data + pos + 4;
      *height = int32_t{p[1]} << 8 | p[2];
      *width = int32_t{p[3]} << 8 | p[4];
      return true;
    }
    pos += 2 + length;
  }
  return false;
}

bool IndexMjpegSource(const uint8_t* data, size_t size, MjpegIndex* index) {
  if (data == nullptr) return false;
  MjpegIndex found;
  const Text text{data, size};
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "AVI ", 4) == 0) {
    found.container = MjpegContainer::kAvi;
    IndexAvi(data, size, &found);
  } else if (!StartsWithSoi(data, size) && LooksLikeMultipart(text)) {
    found.container = MjpegContainer::kMultipart;
    IndexMultipart(text, &found);
  }
  if (found.frames.empty()) {
    // Unknown or damaged containers: whatever JPEG images they hold.
    found = MjpegIndex();
    found.container = MjpegContainer::kJpegSequence;
    IndexJpegSequence(data, size, &found);
  }
  if (found.frames.empty()) return false;
  *index = std::move(found);
  return true;
}

bool ReadWholeFile(const char* path, size_t maxBytes, std::vector<uint8_t>* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::vector<uint8_t> data;
  bool ok = true;
  uint8_t chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got > maxBytes - data.size()) {
      ok = false;
      break;
    }
    data.insert(data.end(), chunk, chunk + got);
    if (got < sizeof chunk) {
      ok = std::ferror(file) == 0;
      break;
    }
  }
  std::fclose(file);
  if (!ok) return false;
  *bytes = std::move(data);
  return true;
}

}  // namespace vv
