#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Morvane needs to build, run and test, and
# with `bench` also what the benchmark commands need (gnuplot for the plot,
# faketime for the frozen clock),
# which the test command never installs. Does nothing when they are all
# present; needs root (or sudo) otherwise.
#
#   scripts/deps.sh [bench]
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libhamlib-dev libhamlib-utils
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth x11-utils
  clang libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation python3 iproute2 imagemagick
  dpkg-dev help2man lintian desktop-file-utils appstream librsvg2-bin
)
if [ "${1:-}" = bench ]; then
  packages+=(gnuplot-nox faketime)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
