#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How often the Linux window ticks while its clock stands still: morvane
# (offscreen, Hamlib's dummy radio) under faketime with the wall clock frozen
# and the monotonic clock real, so its timers run while every reading of the
# time of day is the same. A short gap is allowed only after a gap that makes
# a whole tick interval with it, so this must stay at 40 ticks a second or
# fewer. Each phase is a chirp time that puts the frozen reading a given
# number of ms before the sweep's next 50 ms mark.
#
#   scripts/bench-frozen-clock.sh        results: build/bench/frozen/summary.txt
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane_bench >/dev/null
out=build/bench/frozen
mkdir -p "$out"
: >"$out/summary.txt"
seconds=10
# The frozen time is 12:00:00.000 UTC: ctime's phase is the chirp time's fraction.
for chirp in 235 235.002 235.010 235.024 235.030; do
  log="$out/ticks-$chirp.log"
  rm -f "$log"
  FAKETIME_DONT_FAKE_MONOTONIC=1 TZ=UTC0 QT_QPA_PLATFORM=offscreen \
    timeout -s INT "$seconds" faketime -f "2026-12-07 12:00:00" build/ci/bench/morvane_bench \
    --tick-log "$log" -- --chirptime "$chirp" 2>/dev/null || true
  ticks=$(wc -l <"$log")
  echo "chirp $chirp: $ticks ticks in $seconds s, $((ticks / seconds)) a second" | tee -a "$out/summary.txt"
done
