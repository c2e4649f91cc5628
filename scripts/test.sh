#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test,
# then again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# cross-builds the Windows program and runs its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

for preset in ci asan; do
  echo "== $preset ==" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== windows ==" >&2
cmake --preset windows >/dev/null
cmake --build --preset windows
if scripts/wine-session.sh check; then
  ctest --preset windows
else
  cat >&2 <<'NOTICE'
########################################################################
##  WINDOWS TESTS SKIPPED: Wine cannot start on this machine.         ##
##  morvane.exe was built but NOT tested. Install wine64 and xvfb     ##
##  (scripts/deps.sh does) and run: ctest --preset windows            ##
########################################################################
NOTICE
fi
