# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the benchmark commands (sourced, not run).
#
# Every run pins TZ=UTC0 for the program and the peer that logs arrivals:
# rigctld's -Z stamps carry a zone suffix built from C's `timezone` (sign
# inverted, summer time ignored), and the program works in local time. With
# both on UTC the stamps and the program's clock are the same scale, so an
# arrival's time of day needs no conversion.
#
# Where the sweep is comes from bench/sweep_plan, which asks the tracking core:
# the scripts never work out the tick's arithmetic themselves.
export TZ=UTC0

# The bench's own tools, built by the scripts into the ci tree.
# Another build's tools (an earlier commit's, to compare) may stand in.
BENCH_TOOLS=${BENCH_TOOLS:-build/ci/bench}
# Every run's sounder repeats every 300 s, the program's default.
BENCH_PERIOD=300

# Milliseconds since midnight now (UTC, which is local time here), with fractions.
ms_of_day() {
  local ns
  ns=$(date +%s%N)
  echo "$(((ns / 1000) % 86400000000))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}

# A chirp time that has the sweep CTIME_MS under way IN_S seconds from now,
# its 50 ms grid PHASE_MS off the clock's: sweep_chirp_time RATE CTIME_MS IN_S PHASE_MS
sweep_chirp_time() {
  "$BENCH_TOOLS/sweep_plan" chirp "$BENCH_PERIOD" "$@"
}

# Waits until a run of SECONDS lies wholly within the sweep's retunes, less
# LEAD_S seconds for the programs to start: wait_for_retunes CHIRP RATE STEP SECONDS LEAD_S
wait_for_retunes() {
  local chirp=$1 rate=$2 step=$3 seconds=$4 lead=$5 wait_ms
  wait_ms=$("$BENCH_TOOLS/sweep_plan" wait "$BENCH_PERIOD" "$chirp" "$rate" "$step" "$seconds")
  wait_ms=$((wait_ms - lead * 1000))
  if [ "$wait_ms" -gt 0 ]; then
    echo "bench: waiting $((wait_ms / 1000)) s for the sweep's retunes" >&2
    sleep "$(awk -v ms="$wait_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
  fi
}

# A rigctld serving the dummy radio on loopback PORT, logging every command
# with a microsecond stamp to LOG; its pid goes into RIGCTLD_PID.
start_rigctld() {
  local port=$1 log=$2
  rigctld -m 1 -T 127.0.0.1 -t "$port" -vvvvv -Z >"$log" 2>&1 &
  RIGCTLD_PID=$!
  for _ in $(seq 50); do
    ss -ltnH "sport = :$port" | grep -q . && return 0
    sleep 0.1
  done
  echo "bench: rigctld did not listen on $port" >&2
  return 1
}

# "2026-12-06T20:07:29.637290-0000: rigctl(d): F 'currVFO' '2300000' '' ''" -> "72449637.290 2300000"
arrivals_from_rigctld_log() {
  grep -a "rigctl(d): F '" "$1" | awk -F"'" '{
    split(substr($1, 12, 15), t, ":")
    printf "%.3f %d\n", ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000, $4 }'
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

# The lateness figures of one run: arrivals ("ms hertz" lines) in DIR, the
# per-command CSV and the one-line summary out:
#   report_lateness DIR CHIRP RATE STEP STARTED_MS ENDED_MS
report_lateness() {
  local dir=$1 chirp=$2 rate=$3 step=$4 started_ms=$5 ended_ms=$6
  "$BENCH_TOOLS/lateness_report" "$BENCH_PERIOD" "$chirp" "$rate" "$step" 0 "$started_ms" \
    "$ended_ms" <"$dir/arrivals.txt" >"$dir/lateness.csv" 2>"$dir/lateness.txt"
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

# The machine's load while a run went on: figures taken while something else
# kept the cores busy are worth less, and the summary says so.
machine_load() {
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
}

# The lateness scripts' command line: RATE STEP CHIRP makes one run_one; no
# argument makes one for every RATE:STEP in RATE_STEPS with every PHASE (ms
# off the clock's 50 ms grid), the sweep leaving the band's bottom LEAD_S s
# after the chirp time is chosen. lateness_runs "RATE_STEPS" "PHASES" LEAD_S [ARG ...]
lateness_runs() {
  local rate_steps=$1 phases=$2 lead=$3 rate_step phase
  shift 3
  if [ $# -eq 3 ]; then
    run_one "$@"
    return
  fi
  if [ $# -ne 0 ]; then
    echo "usage: $0 [RATE STEP CHIRP]" >&2
    exit 2
  fi
  for rate_step in $rate_steps; do
    for phase in $phases; do
      run_one "${rate_step%%:*}" "${rate_step##*:}" \
        "$(sweep_chirp_time "${rate_step%%:*}" $((2000000 / ${rate_step%%:*} - 1000)) "$lead" "$phase")"
    done
  done
}
