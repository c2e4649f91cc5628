# Shared by the benchmark commands (sourced, not run).
#
# Every run pins TZ=UTC0 for the program and the peer that logs arrivals:
# rigctld's -Z stamps carry a zone suffix built from C's `timezone` (sign
# inverted, summer time ignored), and the program works in local time. With
# both on UTC the stamps and the program's clock are the same scale, so an
# arrival's time of day needs no conversion.
export TZ=UTC0

# The default settings every lateness run uses, as lateness_report takes them.
BENCH_PERIOD=300
BENCH_CHIRP=235
BENCH_RATE=100
# At 100 kHz/s the sweep leaves the band bottom 20 s after the chirp time and
# changes step until the period ends: 280 s of retunes in every 300 s.
BENCH_SWEEP_FROM_MS=20000

# Milliseconds since midnight now (UTC, which is local time here), with fractions.
ms_of_day() {
  local ns
  ns=$(date +%s%N)
  echo "$(((ns / 1000) % 86400000000))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}

# How far into its sweep the default sounder is now, in ms (the tick's own
# arithmetic: 100 ms lead, then the position after the chirp time).
sweep_position_ms() {
  local now
  now=$(ms_of_day)
  awk -v now="$now" -v p="$BENCH_PERIOD" -v c="$BENCH_CHIRP" 'BEGIN {
    x = (int(now) + 100 - c * 1000) % (p * 1000); if (x < 0) x += p * 1000; print x }'
}

# Waits, when needed, until a run of $1 seconds lies wholly within the sweep's
# retunes, so that each run measures retunes from start to end.
wait_for_sweep_stretch() {
  local seconds=$1 position wait_ms
  position=$(sweep_position_ms)
  local last_start=$((BENCH_PERIOD * 1000 - (seconds + 5) * 1000))
  if [ "$position" -ge "$BENCH_SWEEP_FROM_MS" ] && [ "$position" -le "$last_start" ]; then
    return 0
  fi
  wait_ms=$(((BENCH_SWEEP_FROM_MS + 500 - position + BENCH_PERIOD * 1000) % (BENCH_PERIOD * 1000)))
  echo "bench: waiting $((wait_ms / 1000)) s for the sweep to leave the band bottom" >&2
  sleep "$(awk -v ms="$wait_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
}

# User plus system CPU time of a process, in clock ticks.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# CPU use of process $1 over $2 seconds, in percent of one core.
cpu_percent_over() {
  local pid=$1 seconds=$2 before after
  before=$(cpu_ticks "$pid")
  sleep "$seconds"
  after=$(cpu_ticks "$pid")
  awk -v b="$before" -v a="$after" -v s="$seconds" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.2f\n", 100 * (a - b) / hz / s }'
}

# Peak resident memory of a running process, in MB.
peak_rss_mb() {
  awk '/^VmHWM/ { printf "%.1f\n", $2 / 1024 }' "/proc/$1/status"
}

# A TCP port on loopback that nothing listens on.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    if ! ss -ltnH "sport = :$port" | grep -q .; then
      echo "$port"
      return
    fi
  done
}

# The lateness figures of one run: arrivals ("ms hertz" lines) in, the
# per-command CSV and the one-line summary into DIR.
report_lateness() {
  local dir=$1 step=$2 started_ms=$3 tools=$4
  "$tools/lateness_report" "$BENCH_PERIOD" "$BENCH_CHIRP" "$BENCH_RATE" "$step" 0 "$started_ms" \
    <"$dir/arrivals.txt" >"$dir/lateness.csv" 2>"$dir/lateness.txt"
}

# ---- Under Wine ----------------------------------------------------------------

# A Wine session for benchmark runs in DIR, kept up by an absent stand-in
# server from BIN; sets BENCH_WINE_PREFIX.
start_bench_wine_session() {
  local session=$1 bin=$2
  scripts/wine-session.sh start "$session" "$bin/morvane_dde_server.exe" --absent >/dev/null
  BENCH_WINE_PREFIX=$(sed -n 's/.*WINEPREFIX=\([^ ]*\).*/\1/p' "$session/env")
}

windows_path() {
  local path=$1
  echo "Z:${path//\//\\}"
}

# The first process of the bench's Wine prefix whose command matches the
# grep pattern $1.
bench_prefix_pid() {
  local pattern=$1 pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline" | head -n 1 | grep -q "$pattern" || continue
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$BENCH_WINE_PREFIX" || continue
    echo "$pid"
    return 0
  done
  return 1
}

# The Linux process in which Wine runs the Windows program `name` of the
# bench session (its first argument is the program's Windows path); it may
# take a few seconds to appear.
wine_pid_of() {
  for _ in $(seq 100); do
    bench_prefix_pid "\\\\$1\$" && return 0
    sleep 0.1
  done
  return 1
}

# The wineserver of the bench session.
wineserver_pid() {
  bench_prefix_pid 'wineserver'
}

# A chirp time (whole seconds) that puts a sounder of period 1800 s, at
# 100 kHz/s, 600 s into its sweep now: far above the band's top, so the
# program is parked at the band bottom with nothing to send for ten minutes.
parked_chirp_time() {
  awk -v now="$(ms_of_day)" 'BEGIN { c = (int((now + 100) / 1000) - 600) % 1800; if (c < 0) c += 1800; print c }'
}

# The machine's load while a run went on: figures taken while something else
# kept the cores busy are worth less, and the summary says so.
machine_load() {
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
}
