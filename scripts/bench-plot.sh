#!/usr/bin/env bash
# Plots the lateness of every retune across the sweep, phase-locked (the
# shipped programs) beside free-running, for Linux and for Windows under Wine,
# from the step-100 runs of scripts/bench-lateness-linux.sh and
# scripts/bench-lateness-windows.sh.
#
#   scripts/bench-plot.sh [picture.png]        (default docs/lateness.png)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bench-deps.sh

picture=${1:-docs/lateness.png}
runs=build/bench
for csv in {linux,windows}/{shipped,free-running}-step100/lateness.csv; do
  if [ ! -s "$runs/$csv" ]; then
    echo "bench-plot: no $runs/$csv; run the lateness benchmarks first" >&2
    exit 1
  fi
done

# Only the counted retunes: the step running at start-up was never a retune.
panel() {
  local platform=$1 title=$2
  cat <<PANEL
set title "$title"
plot '$runs/$platform/free-running-step100/lateness.csv' every ::1 using (\$5 == 1 ? \$2 / 1e6 : 1/0):4 \\
       with points pt 6 ps 0.8 lc rgb '#c0392b' title 'free-running 50 ms timer', \\
     '$runs/$platform/shipped-step100/lateness.csv' every ::1 using (\$5 == 1 ? \$2 / 1e6 : 1/0):4 \\
       with points pt 7 ps 0.6 lc rgb '#1f5fa8' title 'phase-locked (shipped)'
PANEL
}

gnuplot <<PLOT
set terminal pngcairo size 1000,760 font 'DejaVu Sans,10'
set output '$picture'
set datafile separator ','
set multiplot layout 2,1 title 'Retune lateness across a sweep: default settings (period 300 s, rate 100 kHz/s, step 100 kHz)'
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
