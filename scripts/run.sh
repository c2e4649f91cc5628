#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds morvane (the ci preset) and starts it.
# Arguments go to morvane; with none it follows the sweep with Hamlib's dummy radio.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane >/dev/null
exec build/ci/app/morvane "$@"
