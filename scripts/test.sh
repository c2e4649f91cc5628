#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing (every tier of scripts/deps.sh), checks on a copy
# of the tree that the program, scripts/run.sh and the .deb build without any
# test-only tool (scripts/check-plain-build.sh), then runs the workflows of
# CMakePresets.json one after another: every test with warnings as errors
# (ci), again under AddressSanitizer and UndefinedBehaviorSanitizer (asan),
# the link tests under ThreadSanitizer (tsan), each fuzz target for a bounded
# time (fuzz), clang-tidy over the program's sources (tidy), and the
# cross-built Windows program with its tests under Wine (windows). Each
# workflow is `cmake --workflow --preset NAME` and can be run on its own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test

timings=()
# Runs one step and notes how long it took.
step() {
  echo "== $1 ==" >&2
  local start=$SECONDS
  "${@:2}"
  timings+=("$1: $((SECONDS - start)) s")
}
workflow() {
  step "$1" cmake --workflow --preset "$1"
}

step plain scripts/check-plain-build.sh

for preset in ci asan tsan fuzz tidy; do
  workflow "$preset"
done

# The Windows tests need Wine; skip them only when it genuinely cannot start.
if scripts/wine-session.sh check; then
  workflow windows
else
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  cat >&2 <<'NOTICE'
########################################################################
##  WINDOWS TESTS SKIPPED: Wine cannot start on this machine.         ##
##  morvane.exe was built but NOT tested. Install wine64 and xvfb     ##
##  (scripts/deps.sh does) and run: cmake --workflow --preset windows ##
########################################################################
NOTICE
fi

printf '%s\n' "${timings[@]}" >&2
