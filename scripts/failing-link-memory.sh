#!/usr/bin/env bash
# Resident memory of morvane over a long run with a failing link, on Linux
# (Qt window, Hamlib link) and under Wine (Win32 window, DDE link), all four
# runs side by side:
#
#   scripts/failing-link-memory.sh [SECONDS]     # default 600, after a 10 s start
#
# Linux: reliability/failing_link_memory.cpp ("refusing": every frequency
# refused, the link open; "lost": rigctld killed, the link closed).
# Windows, each in a Wine session of its own: "refusing" against the stand-in
# server with --refuse; "absent" against one that offers no service, so the
# link never opens. Each reports the peak (VmHWM) and current (VmRSS) resident
# memory of the Wine process that runs morvane.exe.
#
# The figures are for docs/RELIABILITY.md, not a pass or fail: the script
# exits non-zero only when a morvane did not live through the run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
out=build/memory
mkdir -p "$out"

cmake --preset ci >/dev/null
cmake --build --preset ci --target morvane failing_link_memory >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target morvane morvane_dde_server >/dev/null

kb() { # PID FIELD
  awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status" 2>/dev/null || echo "-1"
}

# One morvane.exe against the stand-in server started with SWITCH, in a Wine
# session under build/memory/wine-NAME; writes build/memory/windows-NAME.txt.
windows_run() { # NAME SWITCH
  local name=$1 switch=$2 dir="$out/wine-$1"
  scripts/wine-session.sh start "$dir" >/dev/null
  # Copies of their own, so that this session's morvane.exe is told apart by its path.
  cp build/windows/bin/morvane.exe build/windows/bin/morvane_dde_server.exe "$dir/"
  # shellcheck source=/dev/null
  source "$dir/env"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine "$dir/morvane_dde_server.exe" --log "$dir/server.log" "$switch" </dev/null >/dev/null 2>&1 &
  sleep 3
  wine "$dir/morvane.exe" </dev/null >/dev/null 2>&1 &
  sleep 10
  local pid
  pid=$(pgrep -f "wine-$name.morvane\.exe" | head -1 || true)
  if [ -z "$pid" ]; then
    echo "$name: morvane.exe did not start" >"$out/windows-$name.txt"
    scripts/wine-session.sh stop "$dir"
    return 1
  fi
  local peak rss
  peak=$(kb "$pid" VmHWM) rss=$(kb "$pid" VmRSS)
  sleep "$seconds"
  local lived=""
  kill -0 "$pid" 2>/dev/null || lived="  DIED"
  printf '%-9s peak %6s kB -> %6s kB, resident %6s kB -> %6s kB%s\ncommands the server got: %s\n' \
    "$name" "$peak" "$(kb "$pid" VmHWM)" "$rss" "$(kb "$pid" VmRSS)" "$lived" \
    "$(wc -l <"$dir/server.log")" >"$out/windows-$name.txt"
  scripts/wine-session.sh stop "$dir"
  [ -z "$lived" ]
}

build/ci/reliability/failing_link_memory build/ci/app/morvane "$seconds" >"$out/linux.txt" &
linux=$!
windows=()
if scripts/wine-session.sh check; then
  (windows_run refusing --refuse) &
  windows+=($!)
  (windows_run absent --absent) &
  windows+=($!)
fi

status=0
wait $linux || status=1
for run in "${windows[@]}"; do wait "$run" || status=1; done
cat "$out/linux.txt"
if [ ${#windows[@]} -eq 0 ]; then
  echo "Windows: NOT RUN, Wine cannot start on this machine"
else
  echo "Windows under Wine, $seconds s after a 10 s start:"
  cat "$out/windows-refusing.txt" "$out/windows-absent.txt"
fi
exit $status
