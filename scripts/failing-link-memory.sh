#!/usr/bin/env bash
# Resident memory of morvane.exe under Wine over a long run with a failing
# link, two runs side by side, each in a Wine session of its own: "refusing"
# against the stand-in server with --refuse (the link open, every command
# refused); "absent" against one that offers no service, so the link never
# opens. Each reports the peak (VmHWM) and current (VmRSS) resident memory of
# the Wine process that runs morvane.exe, at the start and at the end.
#
#   scripts/failing-link-memory.sh BIN_DIR     # the windows build's bin folder
#
# It runs MORVANE_MEMORY_SECONDS (default 20; the report's figures come from
# 600) after a 10 s start. CTest runs it in the windows preset; the Linux
# program's counterpart is reliability/failing_link_memory.cpp. The figures
# are for docs/RELIABILITY.md, not a pass or fail: it fails only when a
# morvane.exe did not live through the run.
set -euo pipefail
bin=$(realpath "$1")
cd "$(dirname "$0")/.."

seconds=${MORVANE_MEMORY_SECONDS:-20}
out=$PWD/build/memory
mkdir -p "$out"

kb() { # PID FIELD
  awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status" 2>/dev/null || echo "-1"
}

# One morvane.exe against the stand-in server started with SWITCH, in a Wine
# session under build/memory/wine-NAME; writes build/memory/windows-NAME.txt.
windows_run() { # NAME SWITCH
  local name=$1 switch=$2 dir="$out/wine-$1"
  scripts/wine-session.sh start "$dir" >/dev/null
  # Copies of their own, so that this session's morvane.exe is told apart by its path.
  cp "$bin/morvane.exe" "$bin/morvane_dde_server.exe" "$dir/"
  # shellcheck source=/dev/null
  source "$dir/env"
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

(windows_run refusing --refuse) &
refusing=$!
(windows_run absent --absent) &
absent=$!
status=0
wait $refusing || status=1
wait $absent || status=1
echo "Windows under Wine, $seconds s after a 10 s start:"
cat "$out/windows-refusing.txt" "$out/windows-absent.txt"
exit $status
