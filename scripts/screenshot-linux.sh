#!/usr/bin/env bash
# Photographs the running window on a virtual X display for the README:
# morvane with Hamlib's dummy radio, a few seconds after start-up.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/linux-window.png}

scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target morvane >/dev/null

# Xvfb picks a free display and writes its number once it accepts clients.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
morvane=""
trap 'kill $morvane $xvfb 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
display=:$(head -n 1 "$display_file")

DISPLAY=$display build/dev/app/morvane &
morvane=$!
sleep 3  # the dummy radio opens and the first retunes come back
DISPLAY=$display import -window "Morvane V1.11" "$output"
echo "screenshot: $output" >&2
