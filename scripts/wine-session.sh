#!/usr/bin/env bash
# One Wine session for the Windows tests: a virtual X display, a throw-away
# Wine prefix and a persistent wineserver, all kept under one folder.
#
#   wine-session.sh check                       can Wine start on this machine at all?
#   wine-session.sh start DIR [PROGRAM ARGS...] set up a fresh session in DIR
#   wine-session.sh stop DIR                    end the session's processes, drop its prefix
#
# PROGRAM, a Windows program that idles until the session ends, keeps Wine's
# desktop up: without one, the desktop closes after every program and the next
# window-owning program can hang while it comes back.
set -euo pipefail

wine_environment() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

check() {
  command -v wine >/dev/null && command -v wineserver >/dev/null && command -v Xvfb >/dev/null &&
    WINEDEBUG=-all wine --version >/dev/null 2>&1
}

# Xvfb picks a free display itself and writes its number to fd 3.
start_display() {
  local dir=$1
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" \
    </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && return 0
    sleep 0.1
  done
  echo "wine-session: Xvfb did not start, see $dir/xvfb.log" >&2
  return 1
}

start() {
  local dir=$1
  shift
  stop "$dir" 2>/dev/null || true
  rm -rf "$dir"
  mkdir -p "$dir"
  start_display "$dir"
  printf 'export DISPLAY=:%s WINEPREFIX=%s\n' "$(tr -d '\n' <"$dir/display")" "$dir/prefix" >"$dir/env"
  # shellcheck source=/dev/null
  source "$dir/env"
  mkdir -p "$WINEPREFIX"
  wine_environment
  # Started before any captured wine command: a wineserver that such a command
  # started would inherit its output pipe and hold the test runner until it exits.
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  if [ $# -gt 0 ]; then
    setsid wine "$@" </dev/null >"$dir/keeper.log" 2>&1 &
  fi
  echo "wine-session: display $DISPLAY, prefix $WINEPREFIX"
}

stop() {
  local dir=$1
  if [ -f "$dir/env" ]; then
    # shellcheck source=/dev/null
    source "$dir/env"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
}

case "${1:-}" in
  check) check ;;
  start) start "$(realpath -m "$2")" "${@:3}" ;;
  stop) stop "$(realpath -m "$2")" ;;
  *)
    echo "usage: $0 check | start DIR | stop DIR" >&2
    exit 2
    ;;
esac
