#!/bin/bash
# vvdecode end to end: cjpeg writes the files, djpeg decodes the references,
# ImageMagick compares. Skips when a tool is missing.
#   vvdecode_test.sh info|decode PATH/TO/vvdecode
set -u
part="${1:?info or decode}"
vvdecode="${2:?path to vvdecode}"
. "$(dirname "$0")/script_test_lib.sh"
require_tools cjpeg djpeg wrjpgcom convert identify compare
start_work

# 61 x 75: partial MCUs on both edges.
convert -size 61x75 -seed 7 plasma:fractal -blur 0x1 -depth 8 pic.ppm || exit 1
convert pic.ppm -colorspace Gray -depth 8 pic.pgm || exit 1
cjpeg -quality 90 pic.ppm > c420.jpg
wrjpgcom -comment 'made for "vvdecode"' c420.jpg > c420c.jpg
cjpeg -quality 85 -sample 2x1 -restart 1 pic.ppm > c422r.jpg
cjpeg -quality 90 -grayscale pic.pgm > gray.jpg
cjpeg -quality 90 -sample 1x1 pic.ppm > c444.jpg

expect_status() {
  local want="$1"; shift
  "$vvdecode" "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" = "$want" ] || fail "vvdecode $* exited $got, want $want ($(head -1 err.txt))"
}

# info_has FILE LINE...: --info FILE succeeds and prints each LINE
info_has() {
  local file="$1" line; shift
  expect_status 0 --info "$file"
  for line in "$@"; do grep -qxF "$line" out.txt || fail "--info $file lacks line '$line'"; done
}

info_checks() {
  info_has c420c.jpg "width 61" "height 75" "components 3" "precision 8" "mode 1 baseline" \
    "colorSpace 4 YCbCr" "samplingClass 3" "sampling 2x2 1x1 1x1" "restartInterval 0" \
    'comment 19 "made for \"vvdecode\""'
  grep -q '^jfif 1\.0[12] ' out.txt || fail "no jfif line: $(cat out.txt)"
  info_has gray.jpg "components 1" "colorSpace 1 gray" "samplingClass 0" "sampling 1x1"
  # One restart per MCU row: 61 pixels are four 16-pixel MCUs.
  info_has c422r.jpg "samplingClass 1" "sampling 2x1 1x1 1x1" "restartInterval 4"

  expect_status 2  # usage
  expect_status 2 --scale 4 c420.jpg out.ppm

  head -c 200 /dev/urandom | tr -d '\377' > junk.jpg
  expect_status 1 --info junk.jpg
  grep -q '^vvdecode: error -4: end of data$' err.txt || fail "junk: $(cat err.txt)"
  printf '\377\330\377\331' > empty.jpg
  expect_status 1 --info empty.jpg
  grep -q '^vvdecode: error -3: no frame$' err.txt || fail "empty: $(cat err.txt)"
  expect_status 1 --info does-not-exist.jpg
}

psnr_at_least() {
  local value; value="$(compare -metric PSNR "$1" "$2" null: 2>&1)"
  awk -v v="$value" -v min="$3" 'BEGIN { exit !(v == "inf" || v + 0 >= min) }' ||
    fail "PSNR of $1 against $2 is $value, want >= $3"
}

geometry_is() {
  local got; got="$(identify -format '%wx%h' "$1" 2>&1)"
  [ "$got" = "$2" ] || fail "$1 is $got, want $2"
}

decode_checks() {
  # Decoding itself is held to djpeg by the conformance corpus; here each output form of the tool.
  djpeg c420.jpg > c420.ref.ppm
  djpeg gray.jpg > gray.ref.pgm
  expect_status 0 --scale 3 c444.jpg s3.ppm
  geometry_is s3.ppm 8x10  # sizes round up
  # The viewer's studio-range pictures stay close to the full-range ones.
  expect_status 0 --viewer c420.jpg viewer.bmp
  geometry_is viewer.bmp 61x75
  psnr_at_least viewer.bmp c420.ref.ppm 25
  expect_status 0 --viewer gray.jpg viewer_gray.ppm
  psnr_at_least viewer_gray.ppm gray.ref.pgm 45
  # Three-sample orders are full range; four-sample ones the viewer's picture.
  expect_status 0 --color bgr c420.jpg bgr.bmp
  psnr_at_least bgr.bmp c420.ref.ppm 45
  expect_status 0 --color rgba c420.jpg rgba.pam
  psnr_at_least rgba.pam viewer.bmp 99
  # CMYK from an Adobe YCCK file, against ImageMagick's reading.
  convert pic.ppm -colorspace CMYK -quality 92 ycck.jpg
  info_has ycck.jpg "colorSpace 6 YCCK"
  expect_status 0 ycck.jpg ycck.pam
  psnr_at_least ycck.pam ycck.jpg 45
  expect_status 2 ycck.jpg ycck.bmp
  # Packed 4:2:2, the odd width padded to a pair; planes at their own size.
  expect_status 0 --color yuy2 c422r.jpg packed.raw
  [ "$(stat -c %s packed.raw)" = $((62 * 2 * 75)) ] || fail "packed.raw is $(stat -c %s packed.raw) bytes"
  expect_status 0 --planar c420.jpg planes.pgm
  geometry_is planes.0.pgm 61x75
  geometry_is planes.2.pgm 31x38
}

case "$part" in
  info) info_checks ;;
  decode) decode_checks ;;
  *) echo "unknown part $part"; exit 2 ;;
esac
echo "vvdecode $part: $failures failure(s)"
[ "$failures" = 0 ]
