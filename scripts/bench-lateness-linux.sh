#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Retune lateness of the Linux program, end to end: morvane (offscreen)
# driving a real `rigctld -m 1` on loopback, each F command's arrival taken
# from rigctld's own microsecond log (-vvvvv -Z) as it parses the command.
# Every run starts two of them side by side, each with its own rigctld and
# the same settings: the window ticking on the sweep's grid, as shipped, and
# on the clock's grid (--clock-locked), so both are measured at the same time.
# Both are bench/morvane_bench, the shipped window with a tick log.
#
#   scripts/bench-lateness-linux.sh RATE STEP CHIRP   one run (period 300 s); waits
#                                                     for the sweep's retunes if need be
#   scripts/bench-lateness-linux.sh                   every run docs/PERFORMANCE.md shows:
#       steps 50, 100 and 500 at 100 kHz/s and step 50 at 500 and 125 kHz/s,
#       each with chirp times on the clock's 50 ms grid and 12.5, 25, 37.5 and
#       0.7 ms off it, chosen so that the sweep's retunes begin a few seconds on
#
# A run lasts BENCH_SECONDS (default 60; 25 at 500 kHz/s, whose retunes last
# 28 s). BENCH_BUSY=N runs N processes that keep a core busy beside it, for a
# loaded machine, at the niceness BENCH_BUSY_NICE (default 0; as root, -10
# makes them outweigh the program as a build or a game would); BENCH_TOOLS=DIR takes morvane_bench and the report tools
# from another build (an earlier commit's) to compare under the same load. Results: build/bench/linux/rateR-stepS-chirpC/{sweep,clock}-locked/,
# one line each in build/bench/linux/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

scripts/deps.sh test
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane_bench lateness_report tick_report sweep_plan >/dev/null
out=${BENCH_OUT:-build/bench/linux}
mkdir -p "$out"

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

# Starts rigctld and the bench window in TIMING with the settings; its pid in PROGRAM_PID.
start_pair() {
  local dir=$1 timing=$2 rate=$3 step=$4 chirp=$5 port
  mkdir -p "$dir"
  port=$(free_port)
  start_rigctld "$port" "$dir/rigctld.log"
  pids+=("$RIGCTLD_PID")
  local locked=()
  [ "$timing" = clock-locked ] && locked=(--clock-locked)
  QT_QPA_PLATFORM=offscreen "$BENCH_TOOLS/morvane_bench" "${locked[@]}" --tick-log "$dir/ticks.log" \
    -- -m 2 -r "127.0.0.1:$port" --period "$BENCH_PERIOD" --chirptime "$chirp" --rate "$rate" \
    --step "$step" 2>"$dir/morvane.err" &
  PROGRAM_PID=$!
  pids+=("$PROGRAM_PID")
}

report_one() {
  local dir=$1 name=$2 chirp=$3 rate=$4 step=$5 started=$6 ended=$7
  arrivals_from_rigctld_log "$dir/rigctld.log" >"$dir/arrivals.txt"
  report_lateness "$dir" "$chirp" "$rate" "$step" "$started" "$ended"
  echo "  $name: $(cat "$dir/lateness.txt")"
  echo "    ticks: $("$BENCH_TOOLS/tick_report" "$chirp" <"$dir/ticks.log")"
}

run_one() {
  local rate=$1 step=$2 chirp=$3
  local seconds=${BENCH_SECONDS:-60}
  [ "$rate" = 500 ] && seconds=${BENCH_SECONDS:-25}
  local dir=$out/rate$rate-step$step-chirp$chirp
  rm -rf "$dir"
  wait_for_retunes "$chirp" "$rate" "$step" "$seconds" 2
  local started sweep clock cpu rss
  for _ in $(seq "${BENCH_BUSY:-0}"); do
    nice -n "${BENCH_BUSY_NICE:-0}" sh -c 'while :; do :; done' &
    pids+=("$!")
  done
  started=$(ms_of_day)
  start_pair "$dir/sweep-locked" sweep-locked "$rate" "$step" "$chirp"
  sweep=$PROGRAM_PID
  start_pair "$dir/clock-locked" clock-locked "$rate" "$step" "$chirp"
  clock=$PROGRAM_PID
  sleep 3
  cpu=$(cpu_percent_over "$sweep" $((seconds - 2)))
  rss=$(peak_rss_mb "$sweep")
  sleep 1
  local ended
  ended=$(ms_of_day)
  kill "${pids[@]}"
  wait "${pids[@]}" 2>/dev/null || true
  pids=()
  {
    echo "linux rate $rate step $step chirp $chirp ($seconds s from $(date -u +%T), $(machine_load))"
    report_one "$dir/sweep-locked" "sweep-locked" "$chirp" "$rate" "$step" "$started" "$ended"
    echo "    cpu $cpu % of one core, peak resident $rss MB"
    report_one "$dir/clock-locked" "clock-locked" "$chirp" "$rate" "$step" "$started" "$ended"
  } | tee -a "$out/summary.txt"
}

lateness_runs "100:50 100:100 100:500 500:50 125:50" "0 12.5 25 37.5 0.7" 5 "$@"
