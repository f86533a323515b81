#!/bin/bash
# The main job: installs what is missing, builds, and runs a host program
# that loads VideoViewer.dll under Wine (in your X display when DISPLAY is
# set, else headless in Xvfb). Until the player lands, the host proves that
# an application can load the library and drive a viewer's lifecycle on a
# real window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" --windows-only
cd "$root/build/windows/bin"
"$root/scripts/wine-run.sh" vvhostcheck.exe
