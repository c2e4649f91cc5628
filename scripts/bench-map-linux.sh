#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What reading the S-meter for the propagation map costs the retunes: two
# programs side by side, each driving its own real `rigctld -m 1` on loopback
# with the same settings, one reading the meter at every step (with --log, as
# a user making a map runs it) and one with --no-meter. Lateness comes from
# rigctld's own microsecond log, as in bench-lateness-linux.sh; the program
# that reads the meter counts its reads and the retunes a read held up.
#
#   scripts/bench-map-linux.sh RATE STEP CHIRP   one run (period 300 s)
#   scripts/bench-map-linux.sh                   the runs docs/PERFORMANCE.md shows:
#       100/100, 125/100, 50/50, 500/100 and 500/50 (kHz/s / kHz)
#
# A run lasts BENCH_SECONDS (default 40; 20 at 500 kHz/s). Results:
# build/bench/map/rateR-stepS-chirpC/{meter,no-meter}/, one block each in
# build/bench/map/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

scripts/deps.sh test
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane_bench lateness_report sweep_plan >/dev/null
out=${BENCH_OUT:-build/bench/map}
mkdir -p "$out"

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

# Starts rigctld and a bench window, with the meter read or not; its pid in PROGRAM_PID.
start_one() {
  local dir=$1 meter=$2 rate=$3 step=$4 chirp=$5 port
  mkdir -p "$dir"
  port=$(free_port)
  start_rigctld "$port" "$dir/rigctld.log"
  pids+=("$RIGCTLD_PID")
  # The dummy radio starts in FM, whose 15 kHz passband the chirp enters 75 ms
  # before it reaches the step at 100 kHz/s; sounders are heard in USB.
  rigctl -m 2 -r "127.0.0.1:$port" M USB 2400
  local reading=(--log "$dir/steps.csv")
  [ "$meter" = no-meter ] && reading=(--no-meter)
  QT_QPA_PLATFORM=offscreen "$BENCH_TOOLS/morvane_bench" -- -m 2 -r "127.0.0.1:$port" \
    --period "$BENCH_PERIOD" --chirptime "$chirp" --rate "$rate" --step "$step" "${reading[@]}" \
    2>"$dir/morvane.err" &
  PROGRAM_PID=$!
  pids+=("$PROGRAM_PID")
}

# The 99th percentile (nearest rank) of the counted retunes' lateness in a lateness CSV.
p99() {
  awk -F, 'NR > 1 && $5 == 1 { print $4 }' "$1" | sort -n |
    awk '{ v[NR] = $1 } END { r = int(NR * 0.99); if (r < NR * 0.99) r++; if (r < 1) r = 1; print v[r] }'
}

run_one() {
  local rate=$1 step=$2 chirp=$3
  local seconds=${BENCH_SECONDS:-40}
  [ "$rate" = 500 ] && seconds=${BENCH_SECONDS:-20}
  local dir=$out/rate$rate-step$step-chirp$chirp
  rm -rf "$dir"
  wait_for_retunes "$chirp" "$rate" "$step" "$seconds" 2
  local started ended
  started=$(ms_of_day)
  start_one "$dir/meter" meter "$rate" "$step" "$chirp"
  start_one "$dir/no-meter" no-meter "$rate" "$step" "$chirp"
  sleep $((seconds + 1))
  ended=$(ms_of_day)
  kill "${pids[@]}"
  wait "${pids[@]}" 2>/dev/null || true
  pids=()
  {
    echo "linux rate $rate step $step chirp $chirp ($seconds s from $(date -u +%T), $(machine_load))"
    for side in meter no-meter; do
      arrivals_from_rigctld_log "$dir/$side/rigctld.log" >"$dir/$side/arrivals.txt"
      report_lateness "$dir/$side" "$chirp" "$rate" "$step" "$started" "$ended"
      echo "  $side: $(cat "$dir/$side/lateness.txt")"
      echo "    lateness p99: $(p99 "$dir/$side/lateness.csv") ms"
    done
    echo "    $(grep '^meter:' "$dir/meter/morvane.err"); logged $(($(wc -l <"$dir/meter/steps.csv") - 1)) steps:" \
      "$(grep -c ',true,' "$dir/meter/steps.csv") on time, $(grep -c ',-\?[0-9.]*,-\?[0-9.]*,true,' "$dir/meter/steps.csv") with floor and peak"
  } | tee -a "$out/summary.txt"
}

lateness_runs "100:100 125:100 50:50 500:100 500:50" "0" 5 "$@"
