#!/bin/bash
# Fuzzes the decoder with libFuzzer (clang, ASan, UBSan): the viewer's
# decode path, and every other output form of the decoder.
#   scripts/fuzz.sh [SECONDS]     default 600; corpora grow in build/fuzz/corpus*
# Seeds are made here with cjpeg from synthetic pictures. A crash, leak or
# time-out leaves its input in build/fuzz/artifacts/ and fails the script.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
"$root/scripts/setup.sh"
dir="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVV_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" >/dev/null

seeds="$dir/seeds"
# Bump when the seed list changes, so existing trees remake their seeds.
seed_version=2
if [ "$(cat "$seeds/.made" 2>/dev/null)" != "$seed_version" ]; then
  rm -rf "$seeds"
  mkdir -p "$seeds"
  tmp="$(mktemp -d)"
  for size in 64x48 17x9 1x1 40x8; do
    convert -seed 7 -size "$size" plasma:fractal "$tmp/p$size.ppm"
    cjpeg -quality 75 "$tmp/p$size.ppm" >"$seeds/base420_$size.jpg"
    cjpeg -quality 90 -sample 2x1 "$tmp/p$size.ppm" >"$seeds/base422_$size.jpg"
    cjpeg -quality 50 -sample 1x1 -restart 1 "$tmp/p$size.ppm" >"$seeds/restart444_$size.jpg"
    cjpeg -grayscale "$tmp/p$size.ppm" >"$seeds/gray_$size.jpg"
    cjpeg -progressive "$tmp/p$size.ppm" >"$seeds/progressive_$size.jpg"
    cjpeg -sample 1x2 -optimize "$tmp/p$size.ppm" >"$seeds/optimized440_$size.jpg"
  done
  # Lossless (8 and 12 bits, restarts) and 12-bit DCT frames from libjpeg-tools.
  convert -seed 7 -size 40x24 plasma:fractal "$tmp/p.ppm"
  convert "$tmp/p.ppm" -colorspace Gray -depth 12 "$tmp/g12.pgm"
  jpeg -p -c "$tmp/p.ppm" "$seeds/lossless_rgb.jpg" >/dev/null 2>&1 || true
  jpeg -p -c -z 40 "$tmp/p.ppm" "$seeds/lossless_restart.jpg" >/dev/null 2>&1 || true
  jpeg -p -c "$tmp/g12.pgm" "$seeds/lossless12.jpg" >/dev/null 2>&1 || true
  jpeg -q 80 "$tmp/g12.pgm" "$seeds/extended12.jpg" >/dev/null 2>&1 || true
  rm -rf "$tmp"
  echo "$seed_version" > "$seeds/.made"
fi
# The forms target reads its output description from an input's last byte:
# each seed again with RGB, BGRA at scale 3, planar, and 16-bit output.
forms_seeds="$dir/seeds-forms"
if [ "$(cat "$forms_seeds/.made" 2>/dev/null)" != "$seed_version" ]; then
  rm -rf "$forms_seeds"
  mkdir -p "$forms_seeds"
  for f in "$seeds"/*.jpg; do
    for option in 02 1e 40 80; do
      { cat "$f"; printf "\\x$option"; } >"$forms_seeds/$(basename "$f" .jpg)_$option"
    done
  done
  echo "$seed_version" > "$forms_seeds/.made"
fi
mkdir -p "$dir/corpus" "$dir/corpus-forms" "$dir/artifacts"

# fuzz TARGET CORPUS SEEDS SECONDS
fuzz() {
  local log="$dir/$1.log"
  echo "fuzz.sh: $1 for $4 s"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    "$dir/bin/$1" "$2" "$3" \
    -max_total_time="$4" -timeout=25 -rss_limit_mb=4096 -max_len=262144 \
    -artifact_prefix="$dir/artifacts/$1-" -print_final_stats=1 2>"$log" ||
    { tail -60 "$log"; exit 1; }
  grep -E 'stat::number_of_executed_runs|stat::peak_rss_mb' "$log" || true
}
# The viewer's path gets two thirds of the time: it is what hosts run.
fuzz vv_fuzz_viewer_decode "$dir/corpus" "$seeds" $((seconds * 2 / 3))
fuzz vv_fuzz_decoder_forms "$dir/corpus-forms" "$forms_seeds" $((seconds - seconds * 2 / 3))
echo "fuzz.sh: no crash in $seconds s"
