#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws docs/propagation-map.png: the real program mapping the test sounder
# (testsupport/sounder_peer, a real rigctld behind it) over a whole UTC day,
# each half hour's sweep run in a few seconds of real time. Each run moves
# the wall clock of both the program and its sounder by the same whole number
# of seconds (faketime; the steady clocks stay real), so that the sweep of
# that half hour is on the air now; the sounder's highest usable frequency
# follows a day: about 5 MHz at night, 14 MHz in the early afternoon.
#
#   scripts/map-picture.sh [OUTPUT.png]     default docs/propagation-map.png
#
# The sounder sweeps at 500 kHz/s, once every 30 minutes, from 2 to 16 MHz;
# Morvane follows in 100 kHz steps. Four runs go at a time (48 runs, about
# 8 minutes); their logs are put together and a last run draws the picture.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/propagation-map.png}
scripts/deps.sh bench
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane sounder_peer >/dev/null
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export TZ=UTC0 FAKETIME_DONT_FAKE_MONOTONIC=1
period=1800 rate=500 step=100
libfaketime=$(dpkg -L libfaketime | grep '/libfaketimeMT.so.1$')

# The highest usable frequency, in MHz, at a half hour of the day (0 to 47).
muf_at() {
  awk -v h="$1" 'BEGIN { x = (h / 2 - 6) / 14 * 3.14159; m = 5 + 9 * (x > 0 && x < 3.14159 ? sin(x) : 0);
                         printf "%.1f", m }'
}

# One sweep, that of half hour SLOT of today (UTC), its steps logged to LOG.
sweep() {
  local slot=$1 log=$2 map=${3:-} now start offset peer
  now=$(date +%s)
  start=$(( (now / 86400) * 86400 + slot * 1800 ))
  # The sweep leaves 2 MHz (4 s after it starts at 500 kHz/s) 3 s from now.
  offset=$(( start - now - 3 + 4 ))
  # libfaketime itself, not the faketime wrapper, which would stand between
  # the script and the program and not pass the signal that ends it.
  local fake=(env LD_PRELOAD="$libfaketime" FAKETIME="$( [ $offset -ge 0 ] && echo + )${offset}s")
  exec {peer_out}< <(exec "${fake[@]}" build/ci/testsupport/sounder_peer "$period" 0 "$rate" "$(muf_at "$slot")")
  local peer_pid=$!
  read -r -u "$peer_out" peer
  local pictures=()
  [ -n "$map" ] && pictures=(--map "$map")
  "${fake[@]}" QT_QPA_PLATFORM=offscreen build/ci/app/morvane -m 2 -r "$peer" --utc \
    --period "$period" --chirptime 0 --rate "$rate" --step "$step" --log "$log" "${pictures[@]}" \
    2>/dev/null &
  local program=$!
  sleep 34  # 2 to 16 MHz at 500 kHz/s: 28 s, and the start
  kill "$program"
  wait "$program" || true
  kill "$peer_pid"
  exec {peer_out}<&-
}

for slot in $(seq 0 46); do
  sweep "$slot" "$work/$slot.csv" &
  [ $((slot % 4)) -eq 3 ] && wait
done
wait
# Today's rows, in the order of the day; the last sweep redraws the picture with them.
{ head -1 "$work/0.csv"; tail -q -n +2 "$work"/[0-9]*.csv | sort; } >"$work/day.csv"
sweep 47 "$work/day.csv" "$output"
echo "map-picture: $output, from $(($(wc -l <"$work/day.csv") - 1)) steps"
