#!/bin/bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 xvfb xauth libgl1 libglx-mesa0 libgl1-mesa-dri x11-apps imagemagick
  libturbojpeg0-dev libjpeg-turbo-progs clang libclang-rt-14-dev ffmpeg python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The posix-threads flavour of the cross compiler (std::thread for tests).
if [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ] &&
   [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++)" != /usr/bin/x86_64-w64-mingw32-g++-posix ]; then
  update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null
  update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null
fi
