#!/usr/bin/env bash
# Retune lateness of the Linux program, end to end: morvane (offscreen)
# driving a real `rigctld -m 1` on loopback, each F command's arrival taken
# from rigctld's own microsecond log (-vvvvv -Z) as it parses the command.
#
#   scripts/bench-lateness-linux.sh [RUN...]      RUN is TIMING:STEP, e.g. free-running:50
#
# TIMING is `shipped` (the real morvane with its default settings; step 100
# only), `phase-locked` or `free-running` (bench/morvane_bench: the same window,
# the step typed into its step field before the first tick, and a tick log).
# With no RUN, all seven runs. Each lasts BENCH_SECONDS (default 70) within one
# sweep. Results: build/bench/linux/TIMING-stepSTEP/, one line each in
# build/bench/linux/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-common.sh
source scripts/bench-common.sh

seconds=${BENCH_SECONDS:-70}
runs=("$@")
if [ ${#runs[@]} -eq 0 ]; then
  runs=(shipped:100 phase-locked:100 phase-locked:50 phase-locked:500
    free-running:100 free-running:50 free-running:500)
fi

scripts/deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane morvane_bench lateness_report tick_report >/dev/null
tools=build/ci/bench
out=build/bench/linux
mkdir -p "$out"

rigctld_pid=""
program_pid=""
trap 'kill $program_pid $rigctld_pid 2>/dev/null || true' EXIT

start_rigctld() {
  local dir=$1 port=$2
  rigctld -m 1 -T 127.0.0.1 -t "$port" -vvvvv -Z >"$dir/rigctld.log" 2>&1 &
  rigctld_pid=$!
  for _ in $(seq 50); do
    ss -ltnH "sport = :$port" | grep -q . && return 0
    sleep 0.1
  done
  echo "bench: rigctld did not listen on $port" >&2
  return 1
}

program_for() {
  local timing=$1 step=$2 dir=$3
  case $timing in
    shipped) echo build/ci/app/morvane ;;
    phase-locked) echo "$tools/morvane_bench --tick-log $dir/ticks.log --step $step --" ;;
    free-running) echo "$tools/morvane_bench --free-running --tick-log $dir/ticks.log --step $step --" ;;
  esac
}

# "2026-12-06T20:07:29.637290-0000: rigctl(d): F 'currVFO' '2300000' '' ''" -> "72449637.290 2300000"
arrivals_from_rigctld_log() {
  grep -a "rigctl(d): F '" "$1" | awk -F"'" '{
    split(substr($1, 12, 15), t, ":")
    printf "%.3f %d\n", ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000, $4 }'
}

run_one() {
  local timing=$1 step=$2
  local dir=$out/$timing-step$step
  rm -rf "$dir"
  mkdir -p "$dir"
  local port
  port=$(free_port)
  start_rigctld "$dir" "$port"
  wait_for_sweep_stretch "$seconds"
  local started
  started=$(ms_of_day)
  # shellcheck disable=SC2046
  QT_QPA_PLATFORM=offscreen $(program_for "$timing" "$step" "$dir") -m 2 -r "127.0.0.1:$port" \
    2>"$dir/morvane.err" &
  program_pid=$!
  sleep 5
  local cpu rss
  cpu=$(cpu_percent_over "$program_pid" $((seconds - 6)))
  rss=$(peak_rss_mb "$program_pid")
  sleep 1
  kill "$program_pid" "$rigctld_pid"
  wait "$program_pid" "$rigctld_pid" 2>/dev/null || true
  program_pid="" rigctld_pid=""

  arrivals_from_rigctld_log "$dir/rigctld.log" >"$dir/arrivals.txt"
  report_lateness "$dir" "$step" "$started" "$tools"
  local ticks="no tick log (the shipped program)"
  if [ -s "$dir/ticks.log" ]; then
    ticks=$("$tools/tick_report" <"$dir/ticks.log")
    awk -v s="$started" 'NR == 1 { printf "first tick %.1f ms after start\n", $1 - s }' \
      "$dir/ticks.log" >"$dir/startup.txt"
  fi
  awk -v s="$started" 'NR == 1 { printf "first command at rigctld %.1f ms after start\n", $1 - s }' \
    "$dir/arrivals.txt" >>"$dir/startup.txt"
  {
    echo "linux $timing step $step ($seconds s from $(date -u -d "@$((${started%.*} / 1000))" +%T 2>/dev/null || true))"
    echo "  lateness: $(cat "$dir/lateness.txt")"
    echo "  ticks: $ticks"
    echo "  cpu $cpu % of one core over $((seconds - 6)) s, peak resident $rss MB, $(machine_load)"
    sed 's/^/  /' "$dir/startup.txt"
  } | tee -a "$out/summary.txt"
}

for run in "${runs[@]}"; do
  run_one "${run%%:*}" "${run##*:}"
done
