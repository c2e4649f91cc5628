#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Resident memory of morvane over a long run with a failing link, two runs
# side by side, each reporting the peak (VmHWM) and current (VmRSS) resident
# memory of the program at the start and at the end.
#
#   scripts/failing-link-memory.sh linux PROGRAM     # build/ci/app/morvane
#   scripts/failing-link-memory.sh windows BIN_DIR   # the windows build's bin folder
#
# Linux (offscreen): "waiting" for a rigctld that never comes, so the link
# tries to open every 2 s; "lost": a real rigctld killed 5 s in, so every tick
# takes the not-connected path. Windows under Wine, each in a Wine session of
# its own: "refusing" against the stand-in server with --refuse (the link
# open, every command refused); "absent" against one that offers no service,
# so the link keeps trying to open.
#
# Each runs MORVANE_MEMORY_SECONDS (default 10; the report's figures come from
# 600) after a 10 s start. CTest runs them in the ci and windows presets. The
# figures are for docs/RELIABILITY.md, not a pass or fail: it fails only when
# a morvane did not live through the run.
set -euo pipefail
platform=$1
target=$(realpath "$2")
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

seconds=${MORVANE_MEMORY_SECONDS:-10}
out=$PWD/build/memory
mkdir -p "$out"

kb() { # PID FIELD
  awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status" 2>/dev/null || echo "-1"
}

# Watches process PID for the run and writes NAME's line; fails when it died.
watch_memory() { # NAME PID NOTE
  local name=$1 pid=$2 note=$3 peak rss lived=""
  peak=$(kb "$pid" VmHWM) rss=$(kb "$pid" VmRSS)
  sleep "$seconds"
  kill -0 "$pid" 2>/dev/null || lived="  DIED"
  printf '%-9s peak %6s kB -> %6s kB, resident %6s kB -> %6s kB%s; %s\n' "$name" "$peak" \
    "$(kb "$pid" VmHWM)" "$rss" "$(kb "$pid" VmRSS)" "$lived" "$note" >"$out/$platform-$name.txt"
  [ -z "$lived" ]
}

linux_run() { # NAME
  local name=$1 port pid rigctld=""
  port=$(free_port)
  if [ "$name" = lost ]; then
    start_rigctld "$port" "$out/linux-rigctld.log"
    rigctld=$RIGCTLD_PID
  fi
  QT_QPA_PLATFORM=offscreen "$target" -m 2 -r "127.0.0.1:$port" </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep 5
  [ -n "$rigctld" ] && kill "$rigctld"
  sleep 5
  local status=0
  watch_memory "$name" "$pid" "a rigctld at 127.0.0.1:$port" || status=1
  kill "$pid" 2>/dev/null || true
  return $status
}

# One morvane.exe against the stand-in server started with SWITCH, in a Wine
# session under build/memory/wine-NAME.
windows_run() { # NAME SWITCH
  local name=$1 switch=$2 dir="$out/wine-$1"
  scripts/wine-session.sh start "$dir" >/dev/null
  # Copies of their own, so that this session's morvane.exe is told apart by its path.
  cp "$target/morvane.exe" "$target/morvane_dde_server.exe" "$dir/"
  # shellcheck source=/dev/null
  source "$dir/env"
  wine "$dir/morvane_dde_server.exe" --log "$dir/server.log" "$switch" </dev/null >/dev/null 2>&1 &
  sleep 3
  wine "$dir/morvane.exe" </dev/null >/dev/null 2>&1 &
  sleep 10
  local pid status=0
  pid=$(pgrep -f "wine-$name.morvane\.exe" | head -1 || true)
  if [ -z "$pid" ]; then
    echo "$name: morvane.exe did not start" >"$out/$platform-$name.txt"
    status=1
  else
    watch_memory "$name" "$pid" "the server got $(wc -l <"$dir/server.log") commands" || status=1
  fi
  scripts/wine-session.sh stop "$dir"
  return $status
}

case $platform in
  linux) runs=("linux_run waiting" "linux_run lost") ;;
  windows) runs=("windows_run refusing --refuse" "windows_run absent --absent") ;;
  *) echo "usage: $0 linux PROGRAM | windows BIN_DIR" >&2; exit 2 ;;
esac
pids=()
for run in "${runs[@]}"; do
  $run &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
echo "$platform: $seconds s after a 10 s start"
cat "$out/$platform"-*.txt
exit $status
