#!/usr/bin/env bash
# Retune lateness of the Windows program under Wine, end to end: morvane.exe
# driving the stand-in radio-control server, which logs each DDE execute with
# its arrival time to the microsecond (the system clock's precise reading).
#
#   scripts/bench-lateness-windows.sh [RUN...]    RUN is TIMING:STEP, e.g. free-running:50
#
# TIMING is `shipped` (the real morvane.exe), `phase-locked` or `free-running`
# (bench's morvane_bench.exe: the same window with a tick log). In every run
# bench's lateness_run.exe starts the server and the program and types the step
# into the program's step field as a user would (WM_CHAR). With no RUN, seven
# runs. Each lasts BENCH_SECONDS (default 70) within one sweep. Results:
# build/bench/windows/TIMING-stepSTEP/, one line each in build/bench/windows/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

seconds=${BENCH_SECONDS:-70}
runs=("$@")
if [ ${#runs[@]} -eq 0 ]; then
  runs=(shipped:100 shipped:50 shipped:500 phase-locked:100
    free-running:100 free-running:50 free-running:500)
fi

scripts/deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci --target lateness_report tick_report >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target morvane morvane_bench morvane_dde_server lateness_run >/dev/null
tools=build/ci/bench
bin=$PWD/build/windows/bin
out=$PWD/build/bench/windows
session=$out/wine-session
mkdir -p "$out"

start_bench_wine_session "$session" "$bin"
trap 'scripts/wine-session.sh stop "$session"' EXIT

program_for() {
  local timing=$1 dir=$2
  case $timing in
    shipped) windows_path "$bin/morvane.exe" ;;
    phase-locked) echo "$(windows_path "$bin/morvane_bench.exe") --tick-log $(windows_path "$dir/ticks.log")" ;;
    free-running) echo "$(windows_path "$bin/morvane_bench.exe") --free-running --tick-log $(windows_path "$dir/ticks.log")" ;;
  esac
}

# "20:07:29.637290<tab>freq 2300000" -> "72449637.290 2300000"
arrivals_from_server_log() {
  awk -F'\t' '{ split($1, t, ":"); sub(/^freq /, "", $2)
    printf "%.3f %s\n", ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000, $2 }' "$1"
}

run_one() {
  local timing=$1 step=$2
  local dir=$out/$timing-step$step
  rm -rf "$dir"
  mkdir -p "$dir"
  wait_for_sweep_stretch "$seconds"
  # shellcheck disable=SC2046
  scripts/wine-run.sh "$session" "$bin/lateness_run.exe" --server-log "$(windows_path "$dir/server.log")" \
    --seconds "$seconds" --step "$step" -- $(program_for "$timing" "$dir") >"$dir/run.txt" 2>&1 &
  local run=$!
  local name=morvane.exe
  [ "$timing" = shipped ] || name=morvane_bench.exe
  local pid cpu rss
  pid=$(wine_pid_of "$name")
  sleep 8
  cpu=$(cpu_percent_over "$pid" $((seconds - 12)))
  rss=$(peak_rss_mb "$pid")
  wait "$run"

  local started settled
  started=$(awk '/^started_ms/ { print $2 }' "$dir/run.txt")
  settled=$(awk '/^settled_ms/ { print $2 }' "$dir/run.txt")
  arrivals_from_server_log "$dir/server.log" >"$dir/arrivals.txt"
  report_lateness "$dir" "$step" "$settled" "$tools"
  local ticks="no tick log (the shipped program)"
  if [ -s "$dir/ticks.log" ]; then
    ticks=$("$tools/tick_report" <"$dir/ticks.log")
    awk -v s="$started" 'NR == 1 { printf "first tick %.1f ms after start\n", $1 - s }' \
      "$dir/ticks.log" >"$dir/startup.txt"
  fi
  {
    echo "windows $timing step $step ($seconds s, $(grep '^field' "$dir/run.txt" | tr '\n' ' '))"
    echo "  lateness: $(cat "$dir/lateness.txt")"
    echo "  ticks: $ticks"
    echo "  cpu $cpu % of one core over $((seconds - 12)) s (the program's Wine process), peak resident $rss MB, $(machine_load)"
    if [ -s "$dir/startup.txt" ]; then sed 's/^/  /' "$dir/startup.txt"; fi
  } | tee -a "$out/summary.txt"
}

for run in "${runs[@]}"; do
  run_one "${run%%:*}" "${run##*:}"
done
