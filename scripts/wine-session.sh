#!/bin/bash
# A Wine session for a test run or the demo: a private prefix (created once,
# with Managed=N so windows hide and close without a window manager's delay),
# one persistent wineserver, and an Xvfb display when DISPLAY is not set.
#   wine-session.sh start STATE_FILE   writes DISPLAY/WINEPREFIX/... to STATE_FILE
#   wine-session.sh stop STATE_FILE    stops only what start started
# VV_WINEPREFIX overrides the prefix location (default ~/.cache/videoviewer/wineprefix).
set -euo pipefail
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
cmd="${1:-}"; state="${2:-}"
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE_FILE" >&2; exit 2; }

prefix="${VV_WINEPREFIX:-${HOME:-/root}/.cache/videoviewer/wineprefix}"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

server_running() {
  # wineserver's socket lives in /tmp/.wine-UID/server-DEV-INODE of the prefix.
  [ -d "$prefix" ] || return 1
  local dev ino
  dev=$(printf '%x' "0x$(stat -c '%D' "$prefix")")
  ino=$(printf '%x' "$(stat -c '%i' "$prefix")")
  [ -S "/tmp/.wine-$(id -u)/server-$dev-$ino/socket" ]
}

case "$cmd" in
start)
  mkdir -p "$(dirname "$prefix")"
  xvfb_pid=""
  # A failed start leaves no display behind.
  trap '[ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null' EXIT
  if [ -z "${DISPLAY:-}" ]; then
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
    display=":$(head -n1 "$fdfile")"; rm -f "$fdfile"
    [ "$display" != ":" ] || { echo "wine-session: Xvfb did not start" >&2; kill "$xvfb_pid" 2>/dev/null; exit 1; }
    export DISPLAY="$display"
  fi
  (
    flock 9
    if [ ! -f "$prefix/.videoviewer-ready" ]; then
      rm -rf "$prefix"
      t0=$(date +%s)
      "$WINE" wineboot -i >/dev/null 2>&1
      "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      "$WINESERVER" -w
      touch "$prefix/.videoviewer-ready"
      echo "wine-session: new prefix $prefix in $(( $(date +%s) - t0 )) s" >&2
    fi
  ) 9>"$prefix.lock"
  server_started=0
  if ! server_running; then
    if ! "$WINESERVER" -p </dev/null >/dev/null 2>&1; then
      # A server of this prefix that cannot be reached (its socket directory
      # was removed): end it and start a fresh one.
      "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
      sleep 1
      "$WINESERVER" -p </dev/null >/dev/null 2>&1
    fi
    server_started=1
  fi
  # Wine's system processes (services, winedevice, ...) start with the first
  # program and live as long as the server; start them here with their output
  # to /dev/null, or they would keep the first test's output pipe open.
  "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  {
    echo "export DISPLAY='$DISPLAY'"
    echo "export WINEPREFIX='$prefix' WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='"
    echo "VV_XVFB_PID='$xvfb_pid'"
    echo "VV_SERVER_STARTED=$server_started"
  } >"$state"
  trap - EXIT
  ;;
stop)
  [ -f "$state" ] || exit 0
  # shellcheck disable=SC1090
  . "$state"
  if [ "${VV_SERVER_STARTED:-0}" = 1 ]; then "$WINESERVER" -k 2>/dev/null || true; fi
  if [ -n "${VV_XVFB_PID:-}" ]; then kill "$VV_XVFB_PID" 2>/dev/null || true; fi
  rm -f "$state"
  ;;
*) echo "usage: $0 start|stop STATE_FILE" >&2; exit 2 ;;
esac
