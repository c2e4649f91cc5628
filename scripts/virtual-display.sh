#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A virtual X display (Xvfb) for programs that need a screen where there is none:
#
#   virtual-display.sh start DIR [WIDTHxHEIGHTxDEPTH]   its number into DIR/display
#   virtual-display.sh stop DIR
set -euo pipefail

start() {
  local dir=$1 screen=${2:-1024x768x24}
  mkdir -p "$dir"
  rm -f "$dir/display"
  # Xvfb picks a free display itself and writes its number to fd 3 once it takes clients.
  # -noreset: when its last client leaves, Xvfb would otherwise reset, turning away
  # a client that connects meanwhile.
  setsid Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" \
    </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && return 0
    sleep 0.1
  done
  echo "virtual-display: Xvfb did not start, see $dir/xvfb.log" >&2
  return 1
}

stop() {
  local dir=$1
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
}

case "${1:-}" in
  start) start "${@:2}" ;;
  stop) stop "$2" ;;
  *)
    echo "usage: $0 start DIR [WIDTHxHEIGHTxDEPTH] | stop DIR" >&2
    exit 2
    ;;
esac
