#!/usr/bin/env python3
"""Reshapes a file of concatenated JPEG frames the way cameras send them.

  mjpeg_tool.py strip IN OUT          drops the DHT segments of every frame
                                      (cameras leave them out and rely on the
                                      standard tables)
  mjpeg_tool.py multipart IN OUT      wraps the frames in an HTTP
                                      multipart/x-mixed-replace response
  mjpeg_tool.py frame IN INDEX OUT    writes frame INDEX (0-based; -1 the last)
"""
import sys


def frames(data):
    """Yields the JPEG images of a file by walking their segments."""
    pos = data.find(b"\xff\xd8")
    while pos >= 0:
        start, i = pos, pos + 2
        while i + 2 <= len(data):
            if data[i] != 0xFF:
                i += 1
                continue
            marker = data[i + 1]
            if marker == 0xD9:
                i += 2
                break
            if marker == 0xFF or marker == 0x01 or 0xD0 <= marker <= 0xD7:
                i += 1 if marker == 0xFF else 2
                continue
            length = int.from_bytes(data[i + 2:i + 4], "big")
            i += 2 + length
            if marker == 0xDA:  # entropy-coded data runs to the next marker
                while i + 1 < len(data) and not (
                        data[i] == 0xFF and data[i + 1] not in (0x00, 0xFF) and
                        not 0xD0 <= data[i + 1] <= 0xD7):
                    i += 1
        yield data[start:i]
        pos = data.find(b"\xff\xd8", i)


def strip_dht(frame):
    out, i = bytearray(frame[:2]), 2
    while i + 4 <= len(frame) and frame[i] == 0xFF:
        marker = frame[i + 1]
        length = int.from_bytes(frame[i + 2:i + 4], "big")
        if marker != 0xC4:
            out += frame[i:i + 2 + length]
        i += 2 + length
        if marker == 0xDA:
            break
    out += frame[i:]
    return bytes(out)


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    mode, source = argv[1], open(argv[2], "rb").read()
    images = list(frames(source))
    if mode == "strip":
        open(argv[3], "wb").write(b"".join(strip_dht(f) for f in images))
    elif mode == "multipart":
        parts = [b"HTTP/1.0 200 OK\r\n"
                 b"Content-Type: multipart/x-mixed-replace; boundary=videoboundary\r\n\r\n"]
        for f in images:
            parts.append(b"--videoboundary\r\nContent-Type: image/jpeg\r\n"
                         b"Content-Length: %d\r\n\r\n" % len(f) + f + b"\r\n")
        open(argv[3], "wb").write(b"".join(parts))
    elif mode == "frame" and len(argv) == 5:
        open(argv[4], "wb").write(images[int(argv[3])])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
