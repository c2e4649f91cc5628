#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the programs cost while they run, each figure measured on the real program:
#
#   scripts/bench-footprint.sh [linux-idle] [linux-startup] [windows-size] [windows-idle]
#
# linux-idle     CPU over 60 s and peak resident memory of morvane (the bench
#                entry point, ticking as shipped) driving rigctld -m 1,
#                ticking with the link up and nothing to send: period 1800 and a
#                chirp time that parks the sweep at the band bottom (given on the
#                command line); rigctld's log shows no retune in the 60 s.
# linux-startup  process start to the first tick, ten times: the tick log's first
#                line of bench/morvane_bench, and the first F command reaching
#                rigctld from the shipped morvane.
# windows-size   morvane.exe's size and the DLLs it imports.
# windows-idle   the same idle run as linux-idle for morvane.exe under Wine,
#                with the settings typed into its fields, and the wineserver's
#                share beside it.
# With no argument, all four. Results: build/bench/footprint/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(linux-idle linux-startup windows-size windows-idle)
out=$PWD/build/bench/footprint
mkdir -p "$out"
bin=$PWD/build/windows/bin
idle_seconds=60

scripts/deps.sh test
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane morvane_bench sweep_plan >/dev/null

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

# A chirp time that puts a sounder of period 1800 s, at 100 kHz/s, 600 s into
# its sweep now: far above the band's top, so the program is parked at the
# band bottom with nothing to send for ten minutes.
parked_chirp_time() {
  "$BENCH_TOOLS/sweep_plan" chirp 1800 100 600000 0 0
}

retunes_in_log() {
  grep -a -c "rigctl(d): F '" "$1" || true
}

linux_idle() {
  local port chirp before pid cpu rss
  port=$(free_port)
  start_rigctld "$port" "$out/idle-rigctld.log"
  pids+=("$RIGCTLD_PID")
  chirp=$(parked_chirp_time)
  QT_QPA_PLATFORM=offscreen "$BENCH_TOOLS/morvane_bench" -- --period 1800 --chirptime "$chirp" \
    -m 2 -r "127.0.0.1:$port" 2>/dev/null &
  pid=$!
  pids+=("$pid")
  sleep 5
  before=$(retunes_in_log "$out/idle-rigctld.log")
  cpu=$(cpu_percent_over "$pid" "$idle_seconds")
  rss=$(peak_rss_mb "$pid")
  echo "linux idle: cpu $cpu % of one core over $idle_seconds s, peak resident $rss MB," \
    "retunes in those $idle_seconds s: $(($(retunes_in_log "$out/idle-rigctld.log") - before))" \
    "(period 1800, chirp $chirp)"
  kill "${pids[@]}"
  wait 2>/dev/null || true
  pids=()
}

# Milliseconds from $1 (ms of day) to the first line of file $2, once it has one.
ms_until_first_line() {
  for _ in $(seq 100); do
    [ -s "$2" ] && break
    sleep 0.05
  done
  awk -v s="$1" 'NR == 1 { printf "%.1f\n", $1 - s }' "$2"
}

startup_once() {
  local kind=$1 port started pid
  port=$(free_port)
  start_rigctld "$port" "$out/startup-rigctld.log"
  pids+=("$RIGCTLD_PID")
  rm -f "$out/startup-ticks.log"
  started=$(ms_of_day)
  if [ "$kind" = tick ]; then
    QT_QPA_PLATFORM=offscreen "$BENCH_TOOLS/morvane_bench" --tick-log "$out/startup-ticks.log" -- \
      -m 2 -r "127.0.0.1:$port" 2>/dev/null &
  else
    QT_QPA_PLATFORM=offscreen build/ci/app/morvane -m 2 -r "127.0.0.1:$port" 2>/dev/null &
  fi
  pid=$!
  pids+=("$pid")
  sleep 2
  if [ "$kind" = tick ]; then
    ms_until_first_line "$started" "$out/startup-ticks.log"
  else
    grep -a "rigctl(d): F '" "$out/startup-rigctld.log" | head -n 1 | awk -v s="$started" '{
      split(substr($1, 12, 15), t, ":"); printf "%.1f\n", ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 - s }'
  fi
  kill "${pids[@]}"
  wait 2>/dev/null || true
  pids=()
}

linux_startup() {
  local kind times
  for kind in tick command; do
    times=$(for _ in $(seq 10); do startup_once "$kind"; done | sort -n | tr '\n' ' ')
    echo "linux start-up to the first $kind (ms, ten runs, sorted): $times"
  done
}

windows_size() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target morvane >/dev/null
  echo "windows size: morvane.exe $(stat -c %s "$bin/morvane.exe") bytes;" \
    "DLLs: $(x86_64-w64-mingw32-objdump -p "$bin/morvane.exe" | awk '/DLL Name/ { print $3 }' | sort | tr '\n' ' ')"
}

windows_idle() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target morvane morvane_dde_server lateness_run >/dev/null
  local session=$out/wine-session chirp run pid server cpu server_cpu rss
  start_bench_wine_session "$session" "$bin"
  chirp=$(parked_chirp_time)
  scripts/wine-run.sh "$session" "$bin/lateness_run.exe" \
    --server-log "$(windows_path "$out/idle-server.log")" --seconds $((idle_seconds + 15)) \
    --period 1800 --chirp "$chirp" -- "$(windows_path "$bin/morvane.exe")" >"$out/idle-run.txt" 2>&1 &
  run=$!
  pid=$(wine_pid_of morvane.exe)
  server=$(wineserver_pid)
  sleep 8
  local before_server before_lines
  before_server=$(cpu_ticks "$server")
  before_lines=$(wc -l <"$out/idle-server.log")
  cpu=$(cpu_percent_over "$pid" "$idle_seconds")
  server_cpu=$(awk -v b="$before_server" -v a="$(cpu_ticks "$server")" -v s="$idle_seconds" \
    -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", 100 * (a - b) / hz / s }')
  rss=$(peak_rss_mb "$pid")
  echo "windows idle under Wine: morvane.exe cpu $cpu % of one core over $idle_seconds s," \
    "wineserver $server_cpu %, peak resident $rss MB," \
    "retunes in those $idle_seconds s: $(($(wc -l <"$out/idle-server.log") - before_lines))" \
    "($(grep '^field' "$out/idle-run.txt" | tr '\n' ' '))"
  wait "$run" || true
  scripts/wine-session.sh stop "$session"
}

for part in "${parts[@]}"; do
  case $part in
    linux-idle) linux_idle ;;
    linux-startup) linux_startup ;;
    windows-size) windows_size ;;
    windows-idle) windows_idle ;;
    *) echo "bench-footprint: no part '$part'" >&2; exit 2 ;;
  esac
done | tee -a "$out/summary.txt"
