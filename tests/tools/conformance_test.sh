#!/bin/bash
# Conformance corpus: JPEG files made at test time by independent encoders
# (cjpeg, the `jpeg` tool of libjpeg-tools, ffmpeg), decoded by vvdecode and
# by an independent decoder (djpeg for 8-bit DCT frames, `jpeg` for 12-bit
# ones; lossless frames are compared with the source picture itself), one
# line per file: its family, PSNR and largest sample difference.
#   conformance_test.sh PATH/TO/vvdecode
# Skips (exit 0) when a tool is missing.
#
# Thresholds, from the arithmetic:
# - Lossless frames must reproduce the source exactly.
# - Gray and 4:4:4 DCT frames differ from djpeg only by the rounding of the
#   two integer inverse transforms and of the colour conversion: a level or
#   three per sample, so max <= 3; PSNR >= 40 dB (a 1x1 picture with one
#   sample off by 3 is at 43 dB).
# - Chroma-subsampled frames also differ in the upsampler: at MCU-row edges
#   this decoder repeats the row's last chroma line where djpeg looks into
#   the next row, so a strong vertical chroma gradient at a row edge can
#   change a sample by a large amount; only PSNR is bounded there (>= 34 dB
#   for 2x2, >= 40 dB for 2x1). 1x2 chroma is replicated vertically (only
#   2x1 and 2x2 have a smoothing upsampler) where djpeg interpolates, a
#   difference of up to half the step between chroma lines: >= 27 dB.
# - 12-bit frames against `jpeg`: both use floating or wide integer
#   transforms; PSNR on the 12-bit scale >= 60 dB.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
vvdecode="$(realpath "${1:?path to vvdecode}")"
. "$(dirname "$0")/script_test_lib.sh"
require_tools cjpeg djpeg jpeg ffmpeg convert compare python3
start_work

# measure FAMILY OURS REFERENCE MAXVAL MIN_PSNR MAX_DIFF(-1: unbounded)
measure() {
  local family="$1" ours="$2" ref="$3" maxval="$4" want_psnr="$5" want_diff="$6"
  local psnr pae diff
  psnr="$(compare -metric PSNR "$ours" "$ref" null: 2>&1)"
  pae="$(compare -metric PAE "$ours" "$ref" null: 2>&1)"
  diff="$(awk -v p="$pae" -v m="$maxval" 'BEGIN { sub(/.*\(/, "", p); sub(/\).*/, "", p); printf "%d", p * m + 0.5 }')"
  printf '%-34s %-28s PSNR %-8s max diff %d\n' "$family" "$ours" "$psnr" "$diff"
  awk -v v="$psnr" -v min="$want_psnr" 'BEGIN { exit !(v == "inf" || v + 0 >= min) }' ||
    fail "$family: $ours PSNR $psnr dB < $want_psnr"
  if [ "$want_diff" -ge 0 ] && [ "$diff" -gt "$want_diff" ]; then
    fail "$family: $ours max difference $diff > $want_diff"
  fi
}

decode() {  # decode ARGS...: vvdecode must succeed
  "$vvdecode" "$@" 2>err.txt && return 0
  fail "vvdecode $* failed: $(cat err.txt)"
  return 1
}

# Source pictures: textured (plasma), odd sizes with partial MCUs.
for size in 1x1 17x9 637x479; do
  convert -size "$size" -seed 11 plasma:fractal -blur 0x0.7 -depth 8 "p$size.ppm" || exit 1
  convert "p$size.ppm" -colorspace Gray -depth 8 "g$size.pgm"
done

# cjpeg: sampling x quality, gray and progressive with optimised Huffman
# tables, restarts, one scan per component, restarts in progressive scans.
printf '0: 0 63 0 0;\n1: 0 63 0 0;\n2: 0 63 0 0;\n' > noninterleaved.scans
# Progressive with a separate DC scan per component, DC refined later.
printf '0: 0 0 0 1;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 0;\n2: 1 63 0 0;\n1: 1 63 0 0;\n0: 0 0 1 0;\n' > dc.scans
for size in 1x1 17x9 637x479; do
  for sample in 2x2 2x1 1x2 1x1; do
    case $sample in 2x2) psnr=34 diff=-1 ;; 1x2) psnr=27 diff=-1 ;; 2x1) psnr=40 diff=-1 ;; 1x1) psnr=40 diff=3 ;; esac
    for q in 50 75 95; do
      name="c${sample}_q${q}_$size"
      cjpeg -quality $q -sample "$sample" "p$size.ppm" > "$name.jpg"
      djpeg "$name.jpg" > "$name.ref.ppm"
      decode "$name.jpg" "$name.ppm" && measure "cjpeg $sample" "$name.ppm" "$name.ref.ppm" 255 $psnr $diff
    done
  done
  cjpeg -quality 85 -optimize -grayscale "g$size.pgm" > "gray_$size.jpg"
  djpeg "gray_$size.jpg" > "gray_$size.ref.pgm"
  decode "gray_$size.jpg" "gray_$size.pgm" && measure "cjpeg gray" "gray_$size.pgm" "gray_$size.ref.pgm" 255 40 3
  cjpeg -quality 85 -optimize -progressive "p$size.ppm" > "prog_$size.jpg"
  djpeg "prog_$size.jpg" > "prog_$size.ref.ppm"
  decode "prog_$size.jpg" "prog_$size.ppm" && measure "cjpeg progressive 2x2" "prog_$size.ppm" "prog_$size.ref.ppm" 255 34 -1
  cjpeg -quality 85 -sample 2x1 -restart 1 "p$size.ppm" > "rst_$size.jpg"
  djpeg "rst_$size.jpg" > "rst_$size.ref.ppm"
  decode "rst_$size.jpg" "rst_$size.ppm" && measure "cjpeg restart 2x1" "rst_$size.ppm" "rst_$size.ref.ppm" 255 40 -1
  cjpeg -quality 85 -sample 1x1 -scans noninterleaved.scans "p$size.ppm" > "scans_$size.jpg"
  djpeg "scans_$size.jpg" > "scans_$size.ref.ppm"
  decode "scans_$size.jpg" "scans_$size.ppm" && measure "cjpeg one scan per component" "scans_$size.ppm" "scans_$size.ref.ppm" 255 40 3
done
# Restarts inside progressive scans (EOB runs end at each marker).
n=0
for opts in "-progressive -restart 2B" "-scans dc.scans -restart 1B"; do
  n=$((n + 1)) name="prst$n"
  cjpeg -quality 90 -sample 1x1 $opts p637x479.ppm > "$name.jpg"
  djpeg "$name.jpg" > "$name.ref.ppm"
  decode "$name.jpg" "$name.ppm" && measure "cjpeg 1x1 $opts" "$name.ppm" "$name.ref.ppm" 255 40 4
done

# `jpeg`: lossless at 8, 12 and 16 bits, with and without restarts (whole
# rows: T.81 wants lossless restart intervals to be multiples of a row);
# 12-bit extended DCT.
convert g637x479.pgm -depth 12 g12.pgm
convert g637x479.pgm -depth 16 g16.pgm
for case in "p637x479.ppm ll8.ppm 255 8" "p637x479.ppm ll8r.ppm 255 8 -z 1274" \
            "g12.pgm ll12.pgm 4095 12" "g16.pgm ll16.pgm 65535 16" "p17x9.ppm ll8s.ppm 255 8"; do
  read -r src out maxval bits extra <<<"$case"
  jpeg -p -c $extra "$src" "${out%.*}.jpg" >/dev/null 2>&1 || { fail "jpeg -p could not encode $src"; continue; }
  if [ "$maxval" = 255 ]; then decode "${out%.*}.jpg" "$out"; else decode --deep "${out%.*}.jpg" "$out"; fi &&
    measure "jpeg lossless ${bits}-bit" "$out" "$src" "$maxval" inf 0
done
for q in 75 95; do
  jpeg -q $q g12.pgm "e12_q$q.jpg" >/dev/null 2>&1 || { fail "jpeg could not encode 12-bit"; continue; }
  jpeg "e12_q$q.jpg" "e12_q$q.ref.pgm" >/dev/null 2>&1
  decode --deep "e12_q$q.jpg" "e12_q$q.pgm" && measure "jpeg 12-bit gray" "e12_q$q.pgm" "e12_q$q.ref.pgm" 4095 60 -1
done
# The -1 paths: arithmetic coding, and 12-bit frames with subsampled chroma
# (16-bit planes are never upsampled).
jpeg -a -q 80 p637x479.ppm arith.jpg >/dev/null 2>&1
convert p637x479.ppm -depth 12 p12.ppm
jpeg -q 80 -s 1x1,2x2,2x2 p12.ppm e12_420.jpg >/dev/null 2>&1
for name in arith e12_420; do
  "$vvdecode" --deep "$name.jpg" "$name.ppm" 2>err.txt
  grep -q '^vvdecode: error -1: ' err.txt || fail "$name.jpg: want error -1, got: $(cat err.txt)"
done

# ffmpeg Motion-JPEG frames as cameras send them: the DHT segments removed,
# so the decoder must fall back to the standard tables. The reference is
# djpeg on the frame with its tables.
for fmt in yuvj422p yuvj420p; do
  ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=636x356:rate=25 -frames:v 3 \
    -c:v mjpeg -huffman default -pix_fmt $fmt -q:v 4 -f image2 "ff_${fmt}_%d.jpg" || { fail "ffmpeg"; continue; }
  for f in ff_${fmt}_*.jpg; do
    python3 "$root/scripts/mjpeg_tool.py" strip "$f" "${f%.jpg}.nodht.jpg"
    if cmp -s "$f" "${f%.jpg}.nodht.jpg"; then fail "$f had no DHT to strip"; fi
    djpeg "$f" > "${f%.jpg}.ref.ppm"
    case $fmt in yuvj422p) psnr=40 ;; *) psnr=34 ;; esac
    decode "${f%.jpg}.nodht.jpg" "${f%.jpg}.ppm" &&
      measure "ffmpeg MJPEG without DHT ${fmt#yuvj}" "${f%.jpg}.ppm" "${f%.jpg}.ref.ppm" 255 $psnr -1
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all conformance checks passed"
