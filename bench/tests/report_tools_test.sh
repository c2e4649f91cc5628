#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark's report tools on arrivals and ticks made up here, whose
# figures are known: lateness, missed and duplicate commands, tick period and phase.
#   report_tools_test.sh LATENESS_REPORT TICK_REPORT
set -uo pipefail
lateness_report=$1
tick_report=$2
failures=0

expect() {
  local what=$1 text=$2 pattern=$3
  if grep -q -- "$pattern" <<<"$text"; then
    echo "ok: $what"
  else
    echo "FAILED: $what: expected '$pattern' in: $text"
    failures=$((failures + 1))
  fi
}

# With the default settings (period 300, chirp 235, rate 100, step 100) the
# step of F Hz begins F / 100 ms into the sweep, which is 100 ms (the lead)
# before 235 s + F / 100 ms past midnight: 2 500 000 Hz at 259 900 ms.
arrivals() {
  local late=$1 hz
  for hz in $(seq 2500000 100000 3400000); do
    echo "$((235000 + hz / 100 - 100 + late)) $hz"
  done
}

summary() {
  "$lateness_report" 300 235 100 100 0 "$@" 2>&1 >/dev/null
}

on_time=$(arrivals 3 | summary)
expect "each command 3 ms late" "$on_time" "median 3.0 ms  p95 3.0 ms  max 3.0 ms"
expect "ten steps, none missed" "$on_time" "commands 10 .*missed 0  duplicates 0"

one_missing=$(arrivals 3 | sed 5d | summary)
expect "a step never sent is missed" "$one_missing" "missed 1  duplicates 0"

one_twice=$(arrivals 3 | sed '5p' | summary)
expect "a step sent twice is a duplicate" "$one_twice" "duplicates 1"

late_start=$(arrivals 3 | sed 's/^\([0-9]*\) 2500000$/\1 2400000/' | summary 259000)
expect "the step running at start-up is listed, not counted" "$late_start" "at start-up 1"

lagged=$(arrivals 3 | awk 'NR == 6 { $1 -= 1000 } { print }' | summary)
expect "a stamp a second behind is repaired" "$lagged" "max 3.0 ms .*repaired 1"

csv=$(arrivals 12 | "$lateness_report" 300 235 100 100 0 2>/dev/null | sed -n 2p)
expect "per-command line: arrival, frequency, ideal moment, lateness" "$csv" \
  "^259912.000,2500000,259900,12.000,1$"

ticks=$(seq 0 99 | awk '{ printf "%.3f\n", 1000002 + 50 * $1 }' | "$tick_report")
expect "ticks 2 ms past each mark" "$ticks" "ticks 100  mean period 50.000 ms"
expect "phase of ticks 2 ms past each mark" "$ticks" "phase median 2.00 p95 2.00 min 2.00 max 2.00"

swept=$(seq 0 99 | awk '{ printf "%.3f\n", 1000027 + 50 * $1 }' | "$tick_report" 0.125)
expect "ticks 2 ms past the marks of a sweep 25 ms off the clock's" "$swept" "phase median 2.00"

coarse=$(seq 0 99 | awk '{ printf "%.3f\n", 62.5 * $1 }' | "$tick_report")
expect "a 62.5 ms timer shows as such" "$coarse" "mean period 62.500 ms"

echo "$failures failed"
[ "$failures" -eq 0 ]
