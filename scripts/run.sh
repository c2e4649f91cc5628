#!/usr/bin/env bash
# Installs what is missing, builds morvane and starts it. Arguments go to
# morvane; with none it follows the sweep with Hamlib's dummy radio.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target morvane
exec build/dev/app/morvane "$@"
