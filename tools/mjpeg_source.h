// Motion-JPEG sources for the player: finds the JPEG images in a file of
// concatenated JPEG frames, in an AVI file with Motion-JPEG video, or in a
// multipart/x-mixed-replace capture as IP cameras send it over HTTP. The
// input is untrusted: every length is checked against the bytes at hand and
// nothing is read outside them. Portable; the frames are located, never
// copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vv {

enum class MjpegContainer {
  kNone,          // no frame found
  kJpegSequence,  // JPEG images one after the other (garbage between them skipped)
  kAvi,           // RIFF AVI, video chunks of the movi list
  kMultipart,     // multipart/x-mixed-replace parts
};

// Text for messages: "JPEG sequence", "AVI", "multipart" or "none".
const char* ContainerName(MjpegContainer container);

// One frame: `size` bytes at `offset` of the indexed data, shown for
// `periods` frame periods (more than 1 when the AVI dropped frames after it).
struct MjpegFrameSpan {
  size_t offset = 0;
  size_t size = 0;
  uint32_t periods = 1;
};

struct MjpegIndex {
  MjpegContainer container = MjpegContainer::kNone;
  double framesPerSecond = 0;  // 0 when the source does not say
  std::vector<MjpegFrameSpan> frames;
};

// More frames than this are taken as a hostile file rather than indexed; the
// index then holds the first kMaxIndexedFrames.
constexpr size_t kMaxIndexedFrames = size_t{1} << 20;

// Indexes the frames of a source held in memory. The container is told from
// the first bytes: "RIFF....AVI " is AVI; an HTTP response, a header block or
// a first line that starts with "--" is multipart; anything else is searched
// for JPEG images. AVI frames are the chunks of the first video stream
// ("NNdc", NN its stream number) in every movi list, nested 'rec ' lists
// included, with the frame rate from the stream header (rate / scale) or,
// failing that, the main header's microseconds per frame. Multipart parts are
// delimited by "--" + boundary, the boundary taken from a Content-Type header
// or else from the first "--" line; a part's Content-Length is used when it
// fits in the data, otherwise the part runs to the next delimiter line. Only
// parts, chunks and images that start with a JPEG start-of-image marker are
// kept; an empty AVI chunk (a dropped frame: the picture stays) adds a
// period to the frame before it. A frame cut
// short by the end of the data is kept with the bytes that are there: the
// decoder decides what to make of it. Returns false (and leaves *index
// untouched) when no frame is found.
bool IndexMjpegSource(const uint8_t* data, size_t size, MjpegIndex* index);

// The length of the JPEG image that starts (with its start-of-image marker)
// at data: segments are skipped by their lengths and entropy-coded data up
// to the next marker, so thumbnails inside application segments do not end
// it. Ends after the end-of-image marker; at the data's end when the image
// is cut short; before a second start-of-image marker met between segments.
// 0 when data does not start with FF D8.
size_t JpegImageLength(const uint8_t* data, size_t size);

// Width and height from the first frame header (SOF0..SOF15 except the DHT,
// JPG and DAC markers) of a JPEG image. False when there is none before the
// first scan or the data ends inside it; *width and *height are untouched
// then. A height of 0 (defined later by a DNL marker) is returned as it is.
bool ReadJpegFrameSize(const uint8_t* data, size_t size, int32_t* width, int32_t* height);

// Reads a whole file. False when it cannot be opened or read, or is larger
// than maxBytes; *bytes is untouched then.
bool ReadWholeFile(const char* path, size_t maxBytes, std::vector<uint8_t>* bytes);

}  // namespace vv
