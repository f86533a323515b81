#!/bin/bash
# Runs a Windows program under Wine: CMake's CMAKE_CROSSCOMPILING_EMULATOR.
# Inside a test run it joins the session named by VV_WINE_STATE (see
# wine-session.sh); run by hand it starts a session of its own and stops it
# afterwards. The program's exit status is passed on.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ -n "${VV_WINE_STATE:-}" ] && [ -f "$VV_WINE_STATE" ]; then
  # shellcheck disable=SC1090
  . "$VV_WINE_STATE"
  exec /usr/lib/wine/wine64 "$@"
fi
state="$(mktemp)"
"$here/wine-session.sh" start "$state" || exit 1
# shellcheck disable=SC1090
. "$state"
/usr/lib/wine/wine64 "$@"
status=$?
"$here/wine-session.sh" stop "$state"
rm -f "$state"
exit $status
