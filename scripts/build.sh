#!/bin/bash
# Configures and builds both trees: build/native (host g++: portable core,
# its tests and tools) and build/windows (mingw-w64: VideoViewer.dll, its
# Windows tests and host programs). Release with debug info.
#   scripts/build.sh [--sanitize] [--native-only|--windows-only]
#   --sanitize builds the native tree with AddressSanitizer and UBSan into
#   build/native-asan instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
native=1 windows=1 sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    --native-only) windows=0 ;;
    --windows-only) native=0 ;;
    *) echo "usage: $0 [--sanitize] [--native-only|--windows-only]" >&2; exit 2 ;;
  esac
done

if ((native)); then
  if ((sanitize)); then
    dir="$root/build/native-asan"; extra=(-DVV_SANITIZE=address,undefined)
  else
    dir="$root/build/native"; extra=()
  fi
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
fi
if ((windows)); then
  cmake -S "$root" -B "$root/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/windows" -j "$jobs"
fi
