#!/usr/bin/env bash
# Installs what the benchmark commands need beyond scripts/deps.sh: gnuplot
# for the lateness plot. Kept apart so that the test command never installs it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
if ! dpkg-query -W -f='${Status}' gnuplot-nox 2>/dev/null | grep -q 'install ok installed'; then
  echo "bench-deps: installing gnuplot-nox" >&2
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq gnuplot-nox >/dev/null
fi
