#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Retune lateness of the Windows program under Wine, end to end: the window
# driving the stand-in radio-control server, which logs each DDE execute with
# its arrival time to the microsecond (the system clock's precise reading).
# bench's lateness_run.exe starts the server and bench's morvane_bench.exe
# (the shipped window with a tick log), types the settings into its fields as
# a user would (WM_CHAR) and closes it at the end. Each run measures the window
# ticking on the sweep's grid, as shipped, then on the clock's grid
# (--clock-locked), one after the other: two programs would share one server.
#
#   scripts/bench-lateness-windows.sh RATE STEP CHIRP   one run (period 300 s); waits
#                                                       for the sweep's retunes if need be
#   scripts/bench-lateness-windows.sh                   the runs docs/PERFORMANCE.md shows:
#       100 kHz/s step 100 and 500 kHz/s step 50, with chirp times on the clock's
#       grid and 25 ms off it
#
# A run lasts BENCH_SECONDS (default 60; 25 at 500 kHz/s). Results:
# build/bench/windows/rateR-stepS-chirpC/{sweep,clock}-locked/, one line each
# in build/bench/windows/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

scripts/deps.sh test
cmake --preset ci >/dev/null
cmake --build --preset ci --target lateness_report tick_report sweep_plan >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target morvane_bench morvane_dde_server lateness_run >/dev/null
bin=$PWD/build/windows/bin
out=$PWD/build/bench/windows
session=$out/wine-session
mkdir -p "$out"

start_bench_wine_session "$session" "$bin"
trap 'scripts/wine-session.sh stop "$session"' EXIT

# "20:07:29.637290<tab>freq 2300000" -> "72449637.290 2300000"
arrivals_from_server_log() {
  awk -F'\t' '{ split($1, t, ":"); sub(/^freq /, "", $2)
    printf "%.3f %s\n", ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000, $2 }' "$1"
}

measure() {
  local dir=$1 timing=$2 rate=$3 step=$4 chirp=$5 seconds=$6
  mkdir -p "$dir"
  wait_for_retunes "$chirp" "$rate" "$step" "$seconds" 5
  local locked=()
  [ "$timing" = clock-locked ] && locked=(--clock-locked)
  scripts/wine-run.sh "$session" "$bin/lateness_run.exe" --server-log "$(windows_path "$dir/server.log")" \
    --seconds $((seconds + 5)) --chirp "$chirp" --rate "$rate" --step "$step" -- \
    "$(windows_path "$bin/morvane_bench.exe")" "${locked[@]}" --tick-log "$(windows_path "$dir/ticks.log")" \
    >"$dir/run.txt" 2>&1 &
  local run=$! pid cpu rss
  pid=$(wine_pid_of morvane_bench.exe)
  sleep 8
  cpu=$(cpu_percent_over "$pid" $((seconds - 5)))
  rss=$(peak_rss_mb "$pid")
  wait "$run"
  local settled ended
  settled=$(awk '/^settled_ms/ { print $2 }' "$dir/run.txt")
  ended=$(tail -n 1 "$dir/ticks.log")
  arrivals_from_server_log "$dir/server.log" >"$dir/arrivals.txt"
  report_lateness "$dir" "$chirp" "$rate" "$step" "$settled" "$ended"
  echo "  $timing: $(cat "$dir/lateness.txt")"
  echo "    ticks: $("$BENCH_TOOLS/tick_report" "$chirp" <"$dir/ticks.log")"
  echo "    cpu $cpu % of one core (the program's Wine process), peak resident $rss MB, $(machine_load)"
}

run_one() {
  local rate=$1 step=$2 chirp=$3
  local seconds=${BENCH_SECONDS:-60}
  [ "$rate" = 500 ] && seconds=${BENCH_SECONDS:-25}
  local dir=$out/rate$rate-step$step-chirp$chirp
  rm -rf "$dir"
  {
    echo "windows rate $rate step $step chirp $chirp ($seconds s each)"
    measure "$dir/sweep-locked" sweep-locked "$rate" "$step" "$chirp" "$seconds"
    measure "$dir/clock-locked" clock-locked "$rate" "$step" "$chirp" "$seconds"
  } | tee -a "$out/summary.txt"
}

lateness_runs "100:100 500:50" "0 25" 10 "$@"
