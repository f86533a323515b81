#!/bin/bash
# vvplay dewarp under Wine: ffmpeg's v360 turns an equirectangular scene into
# a 180-degree ceiling fisheye clip, and renders each perspective view's
# reference straight from the scene (60 degrees, pitch -30, yaw = pan).
#   vvplay_dewarp_test.sh BIN_DIR   (holds vvplay.exe and VideoViewer.dll)
set -u
bin="$(cd "${1:?directory of vvplay.exe}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$here/script_test_lib.sh"
require_tools ffmpeg python3 compare convert
start_work

scene="testsrc2=size=1440x720:rate=25,drawgrid=w=48:h=48:t=2:c=white@0.6"
frames=6
ffmpeg -v error -f lavfi -i "$scene" -frames:v $frames \
  -vf "v360=input=e:output=fisheye:h_fov=180:v_fov=180:pitch=-90:w=480:h=480,format=yuvj420p" \
  -c:v mjpeg -huffman default -q:v 3 -f mjpeg made.mjpeg || exit 1
python3 "$root/scripts/mjpeg_tool.py" strip made.mjpeg fisheye.mjpeg || exit 1
ffmpeg -v error -i fisheye.mjpeg -vf "select=eq(n\,$((frames - 1)))" -frames:v 1 raw.png || exit 1

view() {
  ffmpeg -v error -f lavfi -i "$scene" -frames:v $frames \
    -vf "v360=input=e:output=flat:h_fov=60:v_fov=60:yaw=$2:pitch=-30:w=$3:h=$3" -update 1 "$1" ||
    fail "cannot render the reference $1"
}

play() {
  "$root/scripts/wine-run.sh" "$bin/vvplay.exe" fisheye.mjpeg --frames $frames --fps 0 "$@" \
    >out.txt 2>err.txt || fail "vvplay $* exited $?: $(tr '\n' ' ' < out.txt)"
}

mae() { compare -metric MAE "$1" "$2" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'; }

# close|far PICTURE REFERENCE LIMIT: mean absolute error at most / above LIMIT
close() { local d; d="$(mae "$1" "$2")"; echo "$1 against $2: mae $d"
  awk -v d="$d" -v l="$3" 'BEGIN { exit !(d != "" && d <= l) }' || fail "$1 is not $2 (mae $d > $3)"; }
far() { local d; d="$(mae "$1" "$2")"
  awk -v d="$d" -v l="$3" 'BEGIN { exit !(d != "" && d > l) }' || fail "$1 looks like $2 (mae $d)"; }

not_blank() {
  local s; s="$(convert "$1" -colorspace gray -format '%[fx:standard_deviation]' info:)"
  awk -v s="$s" 'BEGIN { exit !(s > 0.1) }' || fail "$1 is blank (stddev $s)"
}

# Quad view, 400x400 for a 400-wide window: pans -45, 45, 135, 225 in reading
# order; the screenshot is it stretched over the window.
play --dewarp ceiling --composition quad --size 400x240 --snapshot quad.bmp --screenshot shown.bmp
expect_line "snapshot: quad.bmp (400x400, frame $frames)"
expect_line "screenshot: shown.bmp (400x240)"
convert quad.bmp quad.png
quarter=0
for yaw in -45 45 135 -135; do
  convert quad.png -crop "200x200+$((quarter % 2 * 200))+$((quarter / 2 * 200))" +repage \
    "quarter$quarter.png"
  view "pan$yaw.png" "$yaw" 200
  close "quarter$quarter.png" "pan$yaw.png" 0.09
  quarter=$((quarter + 1))
done
far quarter0.png pan45.png 0.2
not_blank quad.png
convert quad.png -resize '400x240!' quad-stretched.png
close shown.bmp quad-stretched.png 0.06
convert quad.png -resize '480x480!' quad-as-frame.png
far quad-as-frame.png raw.png 0.15

play --dewarp ceiling --size 320x200 --snapshot single.bmp
expect_line "snapshot: single.bmp (320x320, frame $frames)"
view pan0.png 0 320
close single.bmp pan0.png 0.07
not_blank single.bmp

play --dewarp ceiling --composition panorama --size 400x300 --snapshot panorama.bmp
expect_line "snapshot: panorama.bmp (400x400, frame $frames)"
not_blank panorama.bmp
convert panorama.bmp -resize '480x480!' panorama-as-frame.png
far panorama-as-frame.png raw.png 0.15

echo "vvplay_dewarp_test: $failures failure(s)"
[ "$failures" = 0 ]
