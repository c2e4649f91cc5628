#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Photographs the running window on a virtual X display for the README:
# morvane with Hamlib's dummy radio, a few seconds after start-up.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/linux-window.png}

scripts/deps.sh test
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane >/dev/null

screen=build/ci/screenshot-display
scripts/virtual-display.sh start "$screen" 640x480x24
morvane=""
trap 'kill $morvane 2>/dev/null || true; scripts/virtual-display.sh stop "$screen"' EXIT
display=:$(head -n 1 "$screen/display")

DISPLAY=$display build/ci/app/morvane &
morvane=$!
sleep 3  # the dummy radio opens and the first retunes come back
DISPLAY=$display import -window "$(build/ci/app/morvane --version | head -n 1)" "$output"
echo "screenshot: $output" >&2
