// The player's source reader on hand-made JPEG sequences, AVI and multipart
// bodies, and damaged variants of each.
#include "mjpeg_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Segment(uint8_t marker, const Bytes& body) {
  const size_t length = body.size() + 2;
  return Cat({{0xFF, marker, uint8_t(length >> 8), uint8_t(length)}, body});
}

// APP0, SOF, SOS, scan bytes with a stuffed zero and a restart marker, EOI.
Bytes Jpeg(int width, int height, uint8_t sof = 0xC0) {
  return Cat({{0xFF, 0xD8},
              Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0}),
              Segment(sof, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                            uint8_t(width), 1, 1, 0x11, 0}),
              Segment(0xDA, {1, 1, 0, 0, 63, 0}),
              {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD9}});
}

Bytes Little(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Chunk(const std::string& id, const Bytes& body) {
  Bytes out = Cat({Text(id), Little(uint32_t(body.size())), body});
  if (body.size() & 1) out.push_back(0);
  return out;
}

Bytes List(const std::string& kind, const Bytes& body) { return Chunk("LIST", Cat({Text(kind), body})); }

Bytes StreamHeader(const std::string& type, uint32_t scale, uint32_t rate) {
  Bytes body = Cat({Text(type), Text("MJPG"), Bytes(12, 0), Little(scale), Little(rate)});
  body.resize(56, 0);
  return List("strl", Chunk("strh", body));
}

Bytes Avi(const Bytes& hdrl, const Bytes& movi) {
  return Chunk("RIFF", Cat({Text("AVI "), List("hdrl", hdrl), List("movi", movi)}));
}

Bytes MainHeader(uint32_t microseconds) {
  Bytes body = Little(microseconds);
  body.resize(56, 0);
  return Chunk("avih", body);
}

struct Expected {
  size_t offset;
  size_t size;
  uint32_t periods;
};

size_t Find(const Bytes& data, const Bytes& needle, int n = 0) {
  for (size_t i = 0; i + needle.size() <= data.size(); ++i)
    if (std::equal(needle.begin(), needle.end(), data.begin() + i) && n-- == 0) return i;
  return data.size();
}

TEST(IndexMjpegSource, FindsTheFramesOfEachContainerOrRefuses) {
  const Bytes a = Jpeg(16, 16), b = Jpeg(32, 8), c = Jpeg(8, 8);
  const Bytes odd = Cat({a, {0x00}});  // odd size: the chunk gets a pad byte

  const Bytes sequence = Cat({Text("garbage\xFF\xD8 no"), a, {0x00, 0x00}, b, Bytes(c.begin(), c.end() - 4)});
  const Bytes avi = Avi(Cat({MainHeader(40000), StreamHeader("vids", 1001, 30000)}),
                        Cat({Chunk("00dc", odd), Chunk("00dc", {}), Chunk("00dc", {}),
                             Chunk("01wb", a), List("rec ", Chunk("00dc", b)), Chunk("00dc", Text("x"))}));
  const Bytes aviCut = Bytes(avi.begin(), avi.begin() + Find(avi, b) + 10);
  const Bytes multipart = Cat({Text("HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;"
                                    " boundary=\"my b\"\r\n\r\n--my b\r\nContent-Type: image/jpeg\r\n"
                                    "Content-Length: " + std::to_string(a.size()) + "\r\n\r\n"),
                               a, Text("\r\n--my b\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
                                       "--my b\r\ncontent-length: 99999\r\n\r\n"),
                               b, Text("\r\n--my b--\r\n--my b\r\n\r\n"), c});

  struct Case {
    const char* name;
    Bytes data;
    MjpegContainer container;
    double fps;
    std::vector<Expected> frames;
  } cases[] = {
      {"sequence with garbage and a cut last image", sequence, MjpegContainer::kJpegSequence, 0,
       {{Find(sequence, a), a.size(), 1}, {Find(sequence, b), b.size(), 1},
        {Find(sequence, {0xFF, 0xD8, 0xFF}, 2), c.size() - 4, 1}}},
      {"AVI: padding, dropped frames, audio, rec list", avi, MjpegContainer::kAvi, 30000.0 / 1001,
       {{Find(avi, odd), odd.size(), 3}, {Find(avi, b), b.size(), 1}}},
      {"AVI cut inside a frame", aviCut, MjpegContainer::kAvi, 30000.0 / 1001,
       {{Find(avi, odd), odd.size(), 3}, {Find(avi, b), 10, 1}}},
      {"multipart: length, text part, bad length, closing delimiter", multipart,
       MjpegContainer::kMultipart, 0,
       {{Find(multipart, a), a.size(), 1}, {Find(multipart, b), b.size(), 1}}},
      {"empty", {}, MjpegContainer::kJpegSequence, 0, {}},
      {"text", Text("plain text, no picture"), MjpegContainer::kJpegSequence, 0, {}},
      {"AVI without a JPEG", Avi(MainHeader(0), Chunk("00dc", Text("not a jpeg"))), MjpegContainer::kAvi, 0, {}},
      {"multipart without a JPEG", Text("--b\r\n\r\nhello\r\n--b--\r\n"), MjpegContainer::kMultipart, 0, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    MjpegIndex index;
    index.framesPerSecond = 7;
    ASSERT_EQ(IndexMjpegSource(t.data.data(), t.data.size(), &index), !t.frames.empty());
    if (t.frames.empty()) {
      EXPECT_EQ(index.framesPerSecond, 7) << "untouched";
      continue;
    }
    EXPECT_EQ(index.container, t.container);
    EXPECT_NEAR(index.framesPerSecond, t.fps, 1e-9);
    ASSERT_EQ(index.frames.size(), t.frames.size());
    for (size_t i = 0; i < t.frames.size(); ++i) {
      EXPECT_EQ(index.frames[i].offset, t.frames[i].offset) << i;
      EXPECT_EQ(index.frames[i].size, t.frames[i].size) << i;
      EXPECT_EQ(index.frames[i].periods, t.frames[i].periods) << i;
    }
  }
  MjpegIndex index;
  EXPECT_FALSE(IndexMjpegSource(nullptr, 0, &index));
}

// Every prefix of each container is indexed without reading outside the data.
TEST(IndexMjpegSource, StaysInsideDamagedData) {
  const Bytes a = Jpeg(16, 16);
  const Bytes sources[] = {
      Avi(Cat({MainHeader(40000), StreamHeader("vids", 1, 25)}),
          Cat({Chunk("00dc", a), List("rec ", Chunk("00dc", a))})),
      Cat({Text("Content-Type: multipart/x-mixed-replace; boundary=b\r\n\r\n--b\r\n"
                "Content-Length: 40\r\n\r\n"), a, Text("\r\n--b\r\n\r\n"), a}),
      Cat({a, a}),
  };
  auto check = [](const Bytes& data) {
    MjpegIndex index;
    if (!IndexMjpegSource(data.data(), data.size(), &index)) return;
    for (const MjpegFrameSpan& f : index.frames) {
      ASSERT_LE(f.offset, data.size());
      ASSERT_LE(f.size, data.size() - f.offset);
      ASSERT_GE(f.size, 2u);
    }
  };
  for (const Bytes& source : sources)
    for (size_t n = 0; n <= source.size(); ++n) check(Bytes(source.begin(), source.begin() + n));
}

}  // namespace
}  // namespace vv
