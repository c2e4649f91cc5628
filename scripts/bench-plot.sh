#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Plots the lateness of every retune across the sweep at 100 kHz/s with
# 100 kHz steps, for every chirp time the lateness benchmarks tried: ticks on
# the sweep's grid (as shipped) beside ticks on the clock's grid, for Linux
# and for Windows under Wine, from the runs of scripts/bench-lateness-linux.sh
# and scripts/bench-lateness-windows.sh.
#
#   scripts/bench-plot.sh [picture.png]        (default docs/lateness.png)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench

picture=${1:-docs/lateness.png}
runs=build/bench
data=$runs/plot
mkdir -p "$data"
# One file per platform and timing: the counted retunes of every chirp time.
for platform in linux windows; do
  for timing in sweep-locked clock-locked; do
    cat "$runs/$platform"/rate100-step100-chirp*/"$timing"/lateness.csv 2>/dev/null |
      awk -F, '$5 == 1' >"$data/$platform-$timing.csv"
    if [ ! -s "$data/$platform-$timing.csv" ]; then
      echo "bench-plot: no $platform $timing runs at 100 kHz/s, step 100; run the lateness benchmarks first" >&2
      exit 1
    fi
  done
done

panel() {
  local platform=$1 title=$2
  cat <<PANEL
set title "$title"
plot '$data/$platform-clock-locked.csv' using (\$2 / 1e6):4 \\
       with points pt 6 ps 0.8 lc rgb '#c0392b' title 'ticks on the clock''s grid', \\
     '$data/$platform-sweep-locked.csv' using (\$2 / 1e6):4 \\
       with points pt 7 ps 0.6 lc rgb '#1f5fa8' title 'ticks on the sweep''s grid (shipped)'
PANEL
}

gnuplot <<PLOT
set terminal pngcairo size 1000,760 font 'DejaVu Sans,10'
set output '$picture'
set datafile separator ','
set multiplot layout 2,1 title 'Retune lateness across the sweep, 100 kHz/s, step 100 kHz, every chirp time tried (on the clock''s grid and 12.5 to 37.5 ms off it)'
set xlabel 'frequency of the retune (MHz)'
set ylabel 'lateness (ms)'
set yrange [0:55]
set grid
set key top left opaque
$(panel linux 'Linux: morvane driving rigctld -m 1 (arrival from rigctld -vvvvv -Z)')
$(panel windows 'Windows under Wine: morvane.exe driving the stand-in DDE server (arrival from its log)')
unset multiplot
PLOT
echo "bench-plot: $picture" >&2
