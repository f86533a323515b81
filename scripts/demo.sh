#!/bin/bash
# The main job: installs what is missing, builds the Windows tree, and plays
# a Motion-JPEG clip with vvplay, the demo host of VideoViewer.dll, under
# Wine (in your X display when DISPLAY is set, else headless in Xvfb).
# Without a SOURCE it makes a camera-like clip first: ffmpeg's test pattern
# at 1280x720 and 25 frames a second (VV_DEMO_SIZE=WxH for another size),
# encoded as Motion-JPEG with the standard Huffman tables, the DHT segments
# stripped from every frame as cameras send them, stored as an AVI (and, for
# trying the other readers, as concatenated frames and an HTTP multipart
# capture beside it). Outputs go to build/demo/.
#   scripts/demo.sh [SOURCE] [vvplay options]
# Without --frames it plays 250 frames (10 s at 25 fps); it always saves a
# snapshot and a screenshot and prints the statistics.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" --windows-only
out="$root/build/demo"
mkdir -p "$out"

source=""
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  source="$(realpath "$1")"
  shift
fi
if [ -z "$source" ]; then
  size="${VV_DEMO_SIZE:-1280x720}"
  source="$out/camera-$size.avi"
  if [ ! -s "$source" ]; then
    echo "demo: making a ${size} camera clip in $out"
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v 250 -c:v mjpeg \
      -huffman default -q:v 3 -f mjpeg "$out/made-$size.mjpeg"
    python3 "$root/scripts/mjpeg_tool.py" strip "$out/made-$size.mjpeg" "$out/camera-$size.mjpeg"
    python3 "$root/scripts/mjpeg_tool.py" multipart "$out/camera-$size.mjpeg" "$out/camera-$size.mjpg"
    ffmpeg -v error -y -f mjpeg -framerate 25 -i "$out/camera-$size.mjpeg" -c:v copy -r 25 "$source"
    rm -f "$out/made-$size.mjpeg"
  fi
fi

options=("$@")
case " $* " in *" --frames "*) ;; *) options+=(--frames 250) ;; esac
cd "$out"
rm -f snapshot.bmp screenshot.bmp
status=0
"$root/scripts/wine-run.sh" "$root/build/windows/bin/vvplay.exe" "$source" --stats \
  --snapshot snapshot.bmp --screenshot screenshot.bmp "${options[@]}" || status=$?
for picture in snapshot screenshot; do
  if [ -s "$picture.bmp" ]; then
    convert "$picture.bmp" "$picture.png" 2>/dev/null || true
    echo "demo: $picture written to $out/$picture.bmp (and .png)"
  fi
done
echo "demo: vvplay exited with status $status"
exit "$status"
