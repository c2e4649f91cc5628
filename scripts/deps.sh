#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages of one tier, and of the tiers below it:
#
#   build    build and run morvane (scripts/run.sh, a plain configure)
#   package  also make the .deb with its manual page and icons
#            (cmake --workflow --preset package)
#   package-windows
#            also cross-build the Windows zip with mingw-w64
#            (cmake --workflow --preset package-windows)
#   test     also everything the tests need: GoogleTest, Google Benchmark,
#            rigctld, Wine, mingw-w64, clang, Xvfb, lintian, and the
#            de_DE.UTF-8 locale the step log is written under (the default;
#            scripts/test.sh)
#   bench    also what the benchmark commands need (gnuplot for the plot,
#            faketime for the frozen clock), which the test command never installs
#
# Does nothing when they are all present; needs root (or sudo) otherwise.
#
#   scripts/deps.sh [build|package|package-windows|test|bench]
set -euo pipefail

tier=${1:-test}
build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libhamlib-dev)
package=(dpkg-dev file help2man librsvg2-bin)
package_windows=(g++-mingw-w64-x86-64-posix)
test=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev libhamlib-utils
  wine wine64 xvfb xauth x11-utils
  clang clang-tidy libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation python3 iproute2 imagemagick util-linux
  lintian desktop-file-utils appstream locales
)
bench=(gnuplot-nox faketime)

case "$tier" in
  build) packages=("${build[@]}") ;;
  package) packages=("${build[@]}" "${package[@]}") ;;
  package-windows) packages=("${build[@]}" "${package[@]}" "${package_windows[@]}") ;;
  test) packages=("${build[@]}" "${package[@]}" "${package_windows[@]}" "${test[@]}") ;;
  bench) packages=("${build[@]}" "${package[@]}" "${package_windows[@]}" "${test[@]}" "${bench[@]}") ;;
  *)
    echo "deps.sh: unknown tier '$tier' (build, package, package-windows, test or bench)" >&2
    exit 2
    ;;
esac

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# The step log must be written with points under a locale that writes commas.
make_comma_locale() {
  if [ "$tier" != build ] && [ "$tier" != package ] && [ "$tier" != package-windows ] &&
    ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "deps: making the de_DE.UTF-8 locale" >&2
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  make_comma_locale
  exit 0
fi

echo "deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
make_comma_locale
