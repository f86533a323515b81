#!/usr/bin/env python3
"""picture_compare.py PICTURE.bmp FRAME.yuv WIDTH HEIGHT: prints "mae M psnr P stddev S" of the
picture against the 4:2:0 frame upsampled 3:1 and converted by BT.601 studio range (a smaller
picture against the pixel under each pixel's centre)."""
import math
import struct
import sys


def read_bmp(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits not in (24, 32):
        sys.exit("unsupported BMP depth %d" % bits)
    step = ((width * bits // 8) + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        row_index = abs(height) - 1 - y if height > 0 else y
        start = offset + row_index * step
        row = data[start:start + width * bits // 8]
        rows.append([row[i:i + 3] for i in range(0, len(row), bits // 8)])
    return width, abs(height), rows


def reference(yuv, width, height):
    cw, ch = (width + 1) // 2, (height + 1) // 2
    luma = yuv[:width * height]
    cb = yuv[width * height:width * height + cw * ch]
    cr = yuv[width * height + cw * ch:width * height + 2 * cw * ch]

    def upsample(plane):
        def at(x, y):
            return plane[min(max(y, 0), ch - 1) * cw + min(max(x, 0), cw - 1)]
        out = []
        for y in range(height):
            near_y, far_y = y // 2, y // 2 + (1 if y % 2 else -1)
            row = []
            for x in range(width):
                near_x, far_x = x // 2, x // 2 + (1 if x % 2 else -1)
                row.append((9 * at(near_x, near_y) + 3 * at(far_x, near_y) +
                            3 * at(near_x, far_y) + at(far_x, far_y)) / 16.0)
            out.append(row)
        return out

    ucb, ucr = upsample(cb), upsample(cr)
    clamp = lambda v: min(max(int(round(v)), 0), 255)
    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            yy = 1.164383 * (luma[y * width + x] - 16)
            b_, r_ = ucb[y][x] - 128, ucr[y][x] - 128
            row.append((clamp(yy + 2.017232 * b_),
                        clamp(yy - 0.391762 * b_ - 0.812968 * r_),
                        clamp(yy + 1.596027 * r_)))
        pixels.append(row)
    return pixels


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    width, height = int(argv[3]), int(argv[4])
    ref = reference(open(argv[2], "rb").read(), width, height)
    bw, bh, rows = read_bmp(argv[1])
    total, squares, count, values = 0, 0, 0, []
    for y in range(bh):
        for x in range(bw):
            expect = ref[(2 * y + 1) * height // (2 * bh)][(2 * x + 1) * width // (2 * bw)]
            got = rows[y][x]
            for k in range(3):
                d = got[k] - expect[k]
                total += abs(d)
                squares += d * d
                values.append(got[k])
                count += 1
    psnr = 99.0 if squares == 0 else 10 * math.log10(255.0 ** 2 * count / squares)
    mean = sum(values) / count
    stddev = math.sqrt(sum((v - mean) ** 2 for v in values) / count)
    print("mae %.3f psnr %.2f stddev %.1f" % (total / count, psnr, stddev))


if __name__ == "__main__":
    main(sys.argv)
