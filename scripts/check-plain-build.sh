#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves, on a copy of this tree, that building Morvane needs only the build
# tier of scripts/deps.sh and the .deb only the build and package tiers:
#
#  1. a copy that also looks for GoogleTest where every build looks must fail
#     to configure here, or this check could not see such a lookup at all;
#  2. `cmake -S . -B build && cmake --build build` builds morvane, with one
#     notice for the manual page and icons it skips;
#  3. `scripts/run.sh --version` answers, as a user types it;
#  4. `cmake --workflow --preset package` makes a .deb with its manual page.
#
# A trimmed PATH would prove nothing, because CMake searches /usr/bin anyway.
# Each step runs in a private mount namespace with /dev/null bind-mounted over
# every test-only program and an empty folder over the test-only libraries'
# headers and CMake files; steps 1-3 hide help2man and rsvg-convert too.
#
#   scripts/check-plain-build.sh
set -euo pipefail
cd "$(dirname "$0")/.."

test_tools=(/usr/bin/wine* /usr/bin/x86_64-w64-mingw32-* /usr/bin/clang* /usr/bin/lintian
            /usr/bin/Xvfb /usr/bin/xvfb-run /usr/bin/rigctl* /usr/bin/gnuplot* /usr/bin/faketime)
test_folders=(/usr/include/gtest /usr/include/gmock /usr/include/benchmark /usr/src/googletest
              /usr/lib/x86_64-linux-gnu/cmake/GTest /usr/lib/x86_64-linux-gnu/cmake/benchmark)
doc_tools=(/usr/bin/help2man /usr/bin/rsvg-convert)
disabled=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)

# Runs "$@" where the test-only tools (and with --no-doc-tools, help2man and
# rsvg-convert) cannot be found.
hidden() {
  local hide=("${test_tools[@]}")
  if [ "$1" = --no-doc-tools ]; then hide+=("${doc_tools[@]}"); fi
  shift
  local empty=$work/empty
  mkdir -p "$empty"
  local mounts="set -e"
  for path in "${hide[@]}"; do
    if [ -e "$path" ]; then mounts+="; mount --bind /dev/null '$path'"; fi
  done
  for path in "${test_folders[@]}"; do
    if [ -d "$path" ]; then mounts+="; mount --bind '$empty' '$path'"; fi
  done
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then as_root=(--map-root-user); fi
  unshare --mount --propagation private "${as_root[@]}" bash -c "$mounts; exec \"\$@\"" hidden "$@"
}

fail() {
  echo "check-plain-build: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/morvane
mkdir -p "$tree"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$tree"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

echo "check-plain-build: a test-only lookup where every build looks is seen" >&2
cp -r "$tree" "$work/planted"
sed -i 's|^include(cmake/MorvaneTarget.cmake)$|&\nfind_package(GTest REQUIRED)|' \
  "$work/planted/CMakeLists.txt"
grep -q '^find_package(GTest REQUIRED)$' "$work/planted/CMakeLists.txt" ||
  fail "could not plant the lookup"
if hidden --no-doc-tools cmake -S "$work/planted" -B "$work/planted/build" "${disabled[@]}" \
  >"$work/planted.log" 2>&1; then
  fail "a plain configure that looks for GoogleTest passed: the test-only tools are not hidden"
fi
grep -q GTest "$work/planted.log" || fail "the planted configure failed for another reason: $(tail -5 "$work/planted.log")"

echo "check-plain-build: cmake -S . -B build && cmake --build build" >&2
(cd "$tree" && hidden --no-doc-tools cmake -S . -B build "${disabled[@]}") >"$work/plain.log" 2>&1 ||
  fail "a plain configure failed: $(tail -20 "$work/plain.log")"
notices=$(grep -c "The manual page and PNG icons are not made" "$work/plain.log" || true)
[ "$notices" = 1 ] || fail "expected one notice for the manual page and icons, saw $notices"
(cd "$tree" && hidden --no-doc-tools cmake --build build) >>"$work/plain.log" 2>&1 ||
  fail "a plain build failed: $(tail -20 "$work/plain.log")"
"$tree/build/app/morvane" --version | grep -q '^Morvane V' || fail "the plain build's morvane does not answer --version"

echo "check-plain-build: scripts/run.sh --version" >&2
answer=$(cd "$tree" && hidden --no-doc-tools scripts/run.sh --version 2>&1) ||
  fail "scripts/run.sh failed: $answer"
[[ $answer == "Morvane V"* ]] || fail "scripts/run.sh --version answered: $answer"

echo "check-plain-build: cmake --workflow --preset package" >&2
(cd "$tree" && hidden --with-doc-tools cmake --workflow --preset package) >"$work/package.log" 2>&1 ||
  fail "the package workflow failed: $(tail -20 "$work/package.log")"
deb=$(ls "$tree"/build/package/packages/morvane_*.deb)
dpkg-deb -c "$deb" >"$work/contents"
grep -q 'usr/share/man/man1/morvane.1.gz' "$work/contents" || fail "$deb has no manual page"
echo "check-plain-build: passed ($(basename "$deb"))" >&2
