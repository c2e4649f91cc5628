#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building needs (the build tier of scripts/deps.sh), builds
# morvane in build/ as `cmake -S . -B build && cmake --build build` does (the
# run workflow) and starts it. Arguments go to morvane; with none it follows
# the sweep with Hamlib's dummy radio. The build says nothing unless it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build
if ! log=$(cmake --workflow --preset run 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi
exec build/app/morvane "$@"
