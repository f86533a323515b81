#!/bin/bash
# The main job: installs what is missing, builds the Windows tree, and plays
# a Motion-JPEG clip with vvplay, the demo host of VideoViewer.dll, under
# Wine (in your X display when DISPLAY is set, else headless in Xvfb).
# Without a SOURCE it makes a camera-like clip first: ffmpeg's test pattern
# at 1280x720 and 25 frames a second (VV_DEMO_SIZE=WxH for another size),
# encoded as Motion-JPEG with the standard Huffman tables, the DHT segments
# stripped from every frame as cameras send them, stored as an AVI (and, for
# trying the other readers, as concatenated frames and an HTTP multipart
# capture beside it). With --dewarp MOUNT and no SOURCE the clip is a
# fisheye one instead: the test pattern with a 12-degree grid, taken as an
# equirectangular picture of the whole sphere and turned by ffmpeg's v360
# filter into an equidistant 180-degree fisheye circle as tall as the frame
# (the player's default lens, 0,0,0.3183), looking the way the mount says
# (wall: along the horizon, ceiling: down, floor: up); 640x640
# (VV_DEMO_FISHEYE_SIZE=N for NxN), 25 frames a second, DHT stripped.
# Outputs go to build/demo/.
#   scripts/demo.sh [SOURCE] [vvplay options]
# e.g. scripts/demo.sh --dewarp ceiling --composition quad
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
mount=""
previous=""
for arg in "$@"; do
  [ "$previous" = "--dewarp" ] && mount="$arg"
  previous="$arg"
done
if [ -z "$source" ] && [ -n "$mount" ]; then
  case "$mount" in
    wall) pitch=0 ;;
    ceiling) pitch=-90 ;;
    floor) pitch=90 ;;
    *) pitch="" ;;  # vvplay reports the bad word
  esac
  if [ -n "$pitch" ]; then
    n="${VV_DEMO_FISHEYE_SIZE:-640}"
    source="$out/fisheye-$mount-$n.mjpeg"
    if [ ! -s "$source" ]; then
      echo "demo: making a ${n}x${n} fisheye clip ($mount mount) in $out"
      ffmpeg -v error -y -f lavfi \
        -i "testsrc2=size=1440x720:rate=25,drawgrid=w=48:h=48:t=2:c=white@0.6" -frames:v 250 \
        -vf "v360=input=e:output=fisheye:h_fov=180:v_fov=180:pitch=$pitch:w=$n:h=$n,format=yuvj420p" \
        -c:v mjpeg -huffman default -q:v 3 -f mjpeg "$out/made-fisheye.mjpeg"
      python3 "$root/scripts/mjpeg_tool.py" strip "$out/made-fisheye.mjpeg" "$source"
      rm -f "$out/made-fisheye.mjpeg"
    fi
  fi
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
