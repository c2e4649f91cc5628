#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes a picture of the Windows program's window, running under Wine on a
# virtual display and connected to the stand-in radio-control server.
#   scripts/windows-screenshot.sh [picture.png]     (default docs/windows-window.png)
# Needs the windows preset built: cmake --preset windows && cmake --build --preset windows
set -euo pipefail
cd "$(dirname "$0")/.."

picture=${1:-docs/windows-window.png}
bin=$PWD/build/windows/bin
session=$PWD/build/windows/screenshot-session
if [ ! -x "$bin/morvane.exe" ]; then
  echo "windows-screenshot: build the windows preset first" >&2
  exit 1
fi

scripts/wine-session.sh start "$session" >/dev/null
trap 'scripts/wine-session.sh stop "$session"' EXIT
# shellcheck source=/dev/null
source "$session/env"

# A virtual desktop of its own draws the window's frame and caption, which no
# window manager does on the bare display. Wine reads it when its desktop
# starts, so the session's programs are ended first.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 360x300 /f >/dev/null 2>&1
wineserver -k
wineserver -p </dev/null >/dev/null 2>&1

wine "$bin/morvane_dde_server.exe" --quit-after 30 </dev/null >"$session/server.log" 2>&1 &
sleep 2
wine "$bin/morvane.exe" </dev/null >"$session/morvane.log" 2>&1 &
sleep 5
import -window root -crop 360x300+0+0 +repage "$picture"
echo "windows-screenshot: $picture"
