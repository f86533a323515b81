#!/bin/bash
# Decoding speed against libjpeg-turbo: builds the native tree, makes
# 1920x1080 and 3840x2160 frames from a synthetic natural-looking picture
# (fractal plasma, softened, with a little sensor-like noise; fixed seed, so
# every run measures the same bytes) with cjpeg: 4:2:0 and 4:2:2 at quality
# 75 and 90, one progressive and one with a restart interval per MCU row;
# then runs vvbench on them, at processor level 0 and at this machine's
# level; then encodes the two base pictures with vvbench --encode
# (qualities 75 and 90), at level 0 and at this machine's level. Frames are
# kept in build/bench/ between runs.
#   scripts/bench.sh [--runs N]   (passed on to vvbench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" --native-only
bench="$root/build/bench"
mkdir -p "$bench"
for tool in convert cjpeg; do
  command -v "$tool" >/dev/null || { echo "bench.sh: $tool is needed" >&2; exit 1; }
done

base="$bench/base_3840x2160.ppm"
if [ ! -s "$base" ]; then
  convert -size 3840x2160 -seed 20261206 plasma:fractal -blur 0x2 \
    -attenuate 0.25 +noise Gaussian -depth 8 "$base.tmp.ppm"
  mv "$base.tmp.ppm" "$base"
fi
files=()
for size in 1920x1080 3840x2160; do
  picture="$bench/base_$size.ppm"
  if [ ! -s "$picture" ]; then
    convert "$base" -resize "$size!" -depth 8 "$picture.tmp.ppm"
    mv "$picture.tmp.ppm" "$picture"
  fi
  # name: cjpeg options
  for variant in "420_q75:-sample 2x2 -quality 75" "420_q90:-sample 2x2 -quality 90" \
                 "422_q75:-sample 2x1 -quality 75" "422_q90:-sample 2x1 -quality 90" \
                 "420_q75_progressive:-sample 2x2 -quality 75 -progressive" \
                 "420_q75_restart:-sample 2x2 -quality 75 -restart 1"; do
    name="${variant%%:*}"
    options="${variant#*:}"
    out="$bench/${size}_$name.jpg"
    # shellcheck disable=SC2086  # the options are words on purpose
    [ -s "$out" ] || cjpeg $options "$picture" > "$out"
    files+=("$out")
  done
done
# The portable level 0 first, then the level the library picks here (the
# same when this machine has nothing above SSE2).
"$root/build/native/bin/vvbench" --level 0 "$@" "${files[@]}"
"$root/build/native/bin/vvbench" "$@" "${files[@]}"
pictures=("$bench/base_1920x1080.ppm" "$bench/base_3840x2160.ppm")
for level in 0 machine; do
  levelOption=()
  [ "$level" = machine ] || levelOption=(--level "$level")
  for quality in 75 90; do
    echo "encode, quality $quality:"
    "$root/build/native/bin/vvbench" ${levelOption[@]+"${levelOption[@]}"} --encode \
      --quality "$quality" "$@" "${pictures[@]}"
  done
done
