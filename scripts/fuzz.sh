#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each of them, side by side,
# for the given number of seconds (default 45). Fails when a target finds a crash,
# a sanitizer report or a broken property; the input that did it is kept in
# build/fuzz/artifacts/. What the targets found stays in build/fuzz/corpus/ and is
# where the next run starts from; the committed seeds are never written to.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-45}"
targets=(number_text tick)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build/fuzz/artifacts
pids=()
for target in "${targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$target"
  "build/fuzz/fuzz/$target/fuzz_$target" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" \
    "build/fuzz/corpus/$target" "fuzz/$target/seeds" >"build/fuzz/$target.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  target="${targets[$i]}"
  if wait "${pids[$i]}"; then
    grep -h -E '^#[0-9]+[[:space:]]+DONE' "build/fuzz/$target.log" | sed "s/^/fuzz_$target: /" >&2
  else
    echo "fuzz_$target FAILED; the end of build/fuzz/$target.log:" >&2
    tail -n 40 "build/fuzz/$target.log" >&2
    failed=1
  fi
done
exit "$failed"
