#!/bin/bash
# vvplay under Wine on ffmpeg clips reshaped as cameras send them (no DHT;
# AVI; multipart): window and snapshot against ffmpeg's decoding of the frame.
#   vvplay_test.sh BIN_DIR   (holds vvplay.exe and VideoViewer.dll)
set -u
bin="$(cd "${1:?directory of vvplay.exe}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$here/script_test_lib.sh"
require_tools ffmpeg python3
start_work

ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 12 -c:v mjpeg \
  -huffman default -q:v 3 -f mjpeg made.mjpeg || exit 1
python3 "$root/scripts/mjpeg_tool.py" strip made.mjpeg clip.mjpeg || exit 1
ffmpeg -v error -f mjpeg -framerate 25 -i clip.mjpeg -c:v copy -r 25 clip.avi || exit 1
python3 "$root/scripts/mjpeg_tool.py" multipart clip.mjpeg clip.mjpg || exit 1
{ head -c "$(stat -c %s clip.mjpeg)" clip.mjpeg; printf '\377\330\377\331'; } > damaged.mjpeg
printf 'no pictures in here\n' > garbage.bin

reference() {
  python3 "$root/scripts/mjpeg_tool.py" frame clip.mjpeg "$1" "ref-$1.jpg" &&
    ffmpeg -v error -i "ref-$1.jpg" -f rawvideo -pix_fmt yuvj420p "ref-$1.yuv"
}

play() {
  local want="$1"; shift
  "$root/scripts/wine-run.sh" "$bin/vvplay.exe" "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" = "$want" ] || fail "vvplay $* exited $got, want $want: $(tr '\n' ' ' < out.txt)"
}

# matches PICTURE.bmp INDEX MAX_MAE MIN_PSNR (and not blank)
matches() {
  local result
  result="$(python3 "$here/picture_compare.py" "$1" "ref-$2.yuv" 320 240)" ||
    { fail "cannot compare $1"; return; }
  echo "$1 against frame $2: $result"
  awk -v r="$result" -v mae="$3" -v psnr="$4" 'BEGIN { split(r, f, " ");
      exit !(f[2] <= mae && f[4] >= psnr && f[6] > 20) }' ||
    fail "$1 does not show frame $2 ($result; want mae <= $3, psnr >= $4, stddev > 20)"
}

reference 11 && reference 2 || exit 1

play 0 clip.avi --frames 12 --stats --screenshot shot.bmp --snapshot snap.bmp
expect_line "source: clip.avi, AVI, 12 frames, 320x240, playing at 25 fps"
expect_line "frames decoded 12, failed 0"
expect_line "snapshot: snap.bmp (320x240, frame 12)"
expect_line "screenshot: shot.bmp (320x240)"
matches shot.bmp 11 0.5 40
matches snap.bmp 11 0.5 40

# Stretched: dropped rows and columns may be off by one (another frame: mae ~10).
play 0 clip.mjpg --frames 12 --fps 0 --size 200x150 --screenshot stretched.bmp
expect_line "source: clip.mjpg, multipart, 12 frames"
expect_line "screenshot: stretched.bmp (200x150)"
matches stretched.bmp 11 3 22

# Looping: frame 15 is frame 2 again; a damaged frame is counted.
play 0 clip.mjpeg --frames 15 --fps 0 --stats --snapshot loop.bmp
expect_line "source: clip.mjpeg, JPEG sequence, 12 frames"
expect_line "frames decoded 15, failed 0"
expect_line "snapshot: loop.bmp (320x240, frame 15)"
matches loop.bmp 2 0.5 40

play 1 damaged.mjpeg --frames 13 --fps 0 --stats --snapshot none.bmp
expect_line "frames decoded 12, failed 1"
expect_line "snapshot FAILED"

play 1 garbage.bin --frames 3
expect_line "garbage.bin: no JPEG frames found"
play 2 --frames

echo "vvplay_test: $failures failure(s)"
[ "$failures" = 0 ]
