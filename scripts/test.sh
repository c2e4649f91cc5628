#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test,
# then again under AddressSanitizer and UndefinedBehaviorSanitizer, the link
# tests under ThreadSanitizer, and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

timings=()
# Runs one stage and notes how long it took.
stage() {
  local name="$1"
  shift
  echo "== $name ==" >&2
  local start=$SECONDS
  "$@"
  timings+=("$name: $((SECONDS - start)) s")
}

build_and_test() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  ctest --preset "$1"
}

for preset in ci asan tsan; do
  stage "$preset" build_and_test "$preset"
done
stage fuzz scripts/fuzz.sh "${MORVANE_FUZZ_SECONDS:-45}"

printf '%s\n' "${timings[@]}" >&2
