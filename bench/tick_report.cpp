// SPDX-License-Identifier: GPL-3.0-or-later
// How regularly the window ticked, from a tick log (one line per tick: local
// milliseconds since midnight, fractions allowed).
//
//   tick_report [CHIRP] < ticks.log
//
// Prints, on one line: the number of ticks, the mean period over the whole
// log, the median, 5th and 95th percentile and largest gap between ticks, and
// where ticks fell against the sweep's 50 ms grid (the clock's when no chirp
// time in seconds is given): the median, 95th percentile, smallest and largest
// milliseconds past a mark. A timer rounded to the 15.6 ms system tick shows
// here as a 62.5 ms period; a tick on the sweep's grid as a phase near 2 ms,
// and one that fired before its mark as a phase just under 50.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bench/percentile.hpp"
#include "tracking/sweep_position.hpp"
#include "tracking/tick_schedule.hpp"

namespace {

using morvane::bench::Percentile;

constexpr double kDayMs = 86'400'000.0;

std::vector<double> ReadTicks() {
    std::vector<double> ticks;
    for (double ms = 0; std::cin >> ms;) {
        if (!ticks.empty() && ms < ticks.back() - kDayMs / 2) ms += kDayMs;  // past midnight
        ticks.push_back(ms);
    }
    return ticks;
}

}  // namespace

int main(int argc, char** argv) {
    // The sweep's marks fall where ctime, 100 ms ahead of the clock and
    // counted from the chirp time, is a multiple of 50 ms.
    const double chirpMs = argc > 1 ? std::stod(argv[1]) * 1000.0 : morvane::kLeadMs;
    const std::vector<double> ticks = ReadTicks();
    if (ticks.size() < 2) {
        std::fprintf(stderr, "tick_report: fewer than two ticks\n");
        return 1;
    }
    std::vector<double> gaps, phases;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        if (i > 0) gaps.push_back(ticks[i] - ticks[i - 1]);
        const double sinceChirp = ticks[i] + morvane::kLeadMs - chirpMs + kDayMs;
        phases.push_back(std::fmod(sinceChirp, morvane::kTickIntervalMs));
    }
    const double meanPeriod = (ticks.back() - ticks.front()) / static_cast<double>(gaps.size());
    std::printf(
        "ticks %zu  mean period %.3f ms  gap median %.2f p5 %.2f p95 %.2f max %.2f ms  "
        "phase median %.2f p95 %.2f min %.2f max %.2f ms past the 50 ms mark\n",
        ticks.size(), meanPeriod, Percentile(gaps, 0.5), Percentile(gaps, 0.05),
        Percentile(gaps, 0.95), *std::max_element(gaps.begin(), gaps.end()),
        Percentile(phases, 0.5), Percentile(phases, 0.95),
        *std::min_element(phases.begin(), phases.end()),
        *std::max_element(phases.begin(), phases.end()));
    return 0;
}
