#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One Wine session for the Windows tests and benchmarks: a virtual X display,
# a throw-away Wine prefix and a persistent wineserver, all kept under one folder.
#
#   wine-session.sh check                       can Wine start on this machine at all?
#   wine-session.sh start DIR [PROGRAM ARGS...] set up a fresh session in DIR
#   wine-session.sh stop DIR                    end the session's processes, drop its prefix
#
# DIR/env holds everything a program run in the session needs (the display,
# the prefix, Wine's quiet settings): `source DIR/env` and run `wine`.
#
# PROGRAM, a Windows program that idles until the session ends, keeps Wine's
# desktop up: without one, the desktop closes after every program and the next
# window-owning program can hang while it comes back.
set -euo pipefail
display_script="$(dirname "$0")/virtual-display.sh"

# Quiet, and without looking for Wine's Mono and Gecko add-ons.
wine_settings='WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="'

check() {
  command -v wine >/dev/null && command -v wineserver >/dev/null && command -v Xvfb >/dev/null &&
    env WINEDEBUG=-all wine --version >/dev/null 2>&1
}

start() {
  local dir=$1
  shift
  stop "$dir" 2>/dev/null || true
  rm -rf "$dir"
  "$display_script" start "$dir"
  printf 'export DISPLAY=:%s WINEPREFIX=%s %s\n' "$(tr -d '\n' <"$dir/display")" "$dir/prefix" \
    "$wine_settings" >"$dir/env"
  # shellcheck source=/dev/null
  source "$dir/env"
  mkdir -p "$WINEPREFIX"
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
  "$display_script" stop "$dir"
}

case "${1:-}" in
  check) check ;;
  start) start "$(realpath -m "$2")" "${@:3}" ;;
  stop) stop "$(realpath -m "$2")" ;;
  *)
    echo "usage: $0 check | start DIR [PROGRAM ARGS...] | stop DIR" >&2
    exit 2
    ;;
esac
