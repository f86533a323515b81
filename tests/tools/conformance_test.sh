#!/bin/bash
# Files made by cjpeg, `jpeg` and ffmpeg, decoded by vvdecode against djpeg, `jpeg` or the lossless source.
#   conformance_test.sh PATH/TO/vvdecode   (skips when a tool is missing)
# Lossless exact; gray, 4:4:4 max 3; subsampled chroma by PSNR (upsampling differs at MCU-row edges).
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

for size in 1x1 17x9 637x479; do
  convert -size "$size" -seed 11 plasma:fractal -blur 0x0.7 -depth 8 "p$size.ppm" || exit 1
  convert "p$size.ppm" -colorspace Gray -depth 8 "g$size.pgm"
done

# cjpeg: sampling x quality, gray, progressive, restarts, one scan per component.
printf '0: 0 63 0 0;\n1: 0 63 0 0;\n2: 0 63 0 0;\n' > noninterleaved.scans
# Progressive with a separate DC scan per component, DC refined later.
printf '0: 0 0 0 1;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 0;\n2: 1 63 0 0;\n1: 1 63 0 0;\n0: 0 0 1 0;\n' > dc.scans
# against_djpeg NAME FAMILY PSNR MAX_DIFF SOURCE CJPEG_ARGS...
against_djpeg() {
  local name="$1" family="$2" psnr="$3" diff="$4" src="$5" ext="${5##*.}"; shift 5
  cjpeg "$@" "$src" > "$name.jpg"
  djpeg "$name.jpg" > "$name.ref.$ext"
  decode "$name.jpg" "$name.$ext" && measure "$family" "$name.$ext" "$name.ref.$ext" 255 "$psnr" "$diff"
}
for size in 1x1 17x9 637x479; do
  for sample in 2x2 2x1 1x2 1x1; do
    case $sample in 2x2) psnr=34 diff=-1 ;; 1x2) psnr=27 diff=-1 ;; 2x1) psnr=40 diff=-1 ;; 1x1) psnr=40 diff=3 ;; esac
    for q in 50 75 95; do
      against_djpeg "c${sample}_q${q}_$size" "cjpeg $sample" $psnr $diff "p$size.ppm" -quality $q -sample "$sample"
    done
  done
  against_djpeg "gray_$size" "cjpeg gray" 40 3 "g$size.pgm" -quality 85 -optimize -grayscale
  against_djpeg "prog_$size" "cjpeg progressive 2x2" 34 -1 "p$size.ppm" -quality 85 -optimize -progressive
  against_djpeg "rst_$size" "cjpeg restart 2x1" 40 -1 "p$size.ppm" -quality 85 -sample 2x1 -restart 1
  against_djpeg "scans_$size" "cjpeg one scan per component" 40 3 "p$size.ppm" -quality 85 -sample 1x1 \
    -scans noninterleaved.scans
done
# Restarts inside progressive scans (EOB runs end at each marker).
n=0
for opts in "-progressive -restart 2B" "-scans dc.scans -restart 1B"; do
  n=$((n + 1))
  against_djpeg "prst$n" "cjpeg 1x1 $opts" 40 4 p637x479.ppm -quality 90 -sample 1x1 $opts
done

# `jpeg`: lossless at 8, 12 and 16 bits, with whole-row restarts; 12-bit DCT.
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
# Error -1: arithmetic coding, 12-bit frames with subsampled chroma.
jpeg -a -q 80 p637x479.ppm arith.jpg >/dev/null 2>&1
convert p637x479.ppm -depth 12 p12.ppm
jpeg -q 80 -s 1x1,2x2,2x2 p12.ppm e12_420.jpg >/dev/null 2>&1
for name in arith e12_420; do
  "$vvdecode" --deep "$name.jpg" "$name.ppm" 2>err.txt
  grep -q '^vvdecode: error -1: ' err.txt || fail "$name.jpg: want error -1, got: $(cat err.txt)"
done

# ffmpeg MJPEG frames without DHT (standard tables), against djpeg on the originals.
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

echo "conformance: $failures failure(s)"
[ "$failures" = 0 ]
