#!/bin/bash
# Fuzzes the viewer's decode path with libFuzzer (clang, ASan, UBSan).
#   scripts/fuzz.sh [SECONDS]     default 600; the corpus grows in build/fuzz/corpus
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
if [ ! -f "$seeds/.made" ]; then
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
  rm -rf "$tmp"
  touch "$seeds/.made"
fi
mkdir -p "$dir/corpus" "$dir/artifacts"
echo "fuzz.sh: fuzzing for $seconds s"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  "$dir/bin/vv_fuzz_viewer_decode" "$dir/corpus" "$seeds" \
  -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=262144 \
  -artifact_prefix="$dir/artifacts/" -print_final_stats=1 2>"$dir/fuzz.log" ||
  { tail -60 "$dir/fuzz.log"; exit 1; }
grep -E 'stat::number_of_executed_runs|stat::peak_rss_mb' "$dir/fuzz.log" || true
echo "fuzz.sh: no crash in $seconds s"
