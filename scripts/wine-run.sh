#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one Windows program inside the Wine session in DIR (see wine-session.sh):
#   wine-run.sh DIR program.exe [arguments...]
# The program's output goes through a file, never straight into the caller's
# pipe: processes Wine starts on the side would inherit that pipe and keep the
# caller waiting for its end long after the program has exited.
set -uo pipefail

dir=$1
shift
if [ ! -f "$dir/env" ]; then
  echo "wine-run: no Wine session in $dir (scripts/wine-session.sh start $dir)" >&2
  exit 1
fi
# shellcheck source=/dev/null
source "$dir/env"

output=$(mktemp "$dir/run.XXXXXX")
wine "$@" </dev/null >"$output" 2>&1
status=$?
cat "$output"
rm -f "$output"
exit $status
