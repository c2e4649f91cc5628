// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how late each retune reached the radio side, from a log of
// arrival times, using the tracking core itself as the reference.
//
//   lateness_report PERIOD CHIRP RATE STEP SLIDER [STARTED_MS [ENDED_MS]]
//                   < arrivals > per-command.csv
//
// Each input line is "<local milliseconds since midnight> <hertz>" (fractions
// allowed). A command's ideal moment is the instant its stepped frequency first
// became the candidate; lateness is arrival minus that. The summary (median,
// p95, maximum, missed and duplicate commands) goes to stderr.
//
// STARTED_MS, the moment the program started with these settings, marks the
// command that tunes the radio to the step already running then: it was never
// a retune the program could have made on time, so it is listed but not
// counted, and no step before that moment counts as missed. ENDED_MS, when
// the program was stopped: steps up to a second before it count as missed
// when nothing arrived for them (by default, up to a second before the last
// arrival).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bench/percentile.hpp"
#include "tracking/tick.hpp"

namespace {

using morvane::bench::Percentile;

using namespace morvane;

constexpr long kDayMs = 86'400'000;

struct Arrival {
    double ms;  // local milliseconds since midnight, may run past midnight
    std::string frequency;
};

// Keeps the candidate instead of sending it.
class CandidateProbe : public HandOff {
  public:
    void HandOffCandidate(MainFields&, const std::string& candidate) override { last = candidate; }
    std::string last;
};

class Sweep {
  public:
    explicit Sweep(MainFields settings) : fields_(std::move(settings)) {}

    // The candidate a tick reading the clock at `ms` would form.
    std::string CandidateAt(long ms) {
        const long m = ((ms % kDayMs) + kDayMs) % kDayMs;
        const ClockReading clock{static_cast<int>(m / 3'600'000), static_cast<int>(m / 60'000 % 60),
                                 static_cast<int>(m / 1000 % 60), static_cast<int>(m % 1000)};
        RunTick(fields_, clock, ".", probe_);
        return probe_.last;
    }

    // The first millisecond of the stretch in which `frequency` was the
    // candidate, searching back from `ms` (at most a minute).
    std::optional<long> OnsetBefore(long ms, const std::string& frequency) {
        long t = ms;
        while (t > ms - 60'000 && CandidateAt(t) != frequency) --t;
        if (t <= ms - 60'000) return std::nullopt;
        while (CandidateAt(t - 1) == frequency) --t;
        return t;
    }

  private:
    MainFields fields_;
    CandidateProbe probe_;
};

struct Onset {
    long ms;
    std::string frequency;
    long lastsMs;
};

// Every change to a new, non-empty candidate between `from` and `to`: the
// commands a perfect program would send, with how long each candidate lasted.
std::vector<Onset> ExpectedCommands(Sweep& sweep, long from, long to) {
    std::vector<Onset> onsets;
    std::string previous = sweep.CandidateAt(from - 1);
    std::string lastSent = previous;
    for (long t = from; t <= to; ++t) {
        const std::string candidate = sweep.CandidateAt(t);
        if (candidate != previous && !onsets.empty() && onsets.back().lastsMs == 0) {
            onsets.back().lastsMs = t - onsets.back().ms;
        }
        if (!candidate.empty() && candidate != lastSent) {
            onsets.push_back({t, candidate, 0});
            lastSent = candidate;
        }
        previous = candidate;
    }
    return onsets;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 8) {
        std::fprintf(stderr,
                     "usage: %s PERIOD CHIRP RATE STEP SLIDER [STARTED_MS [ENDED_MS]] < arrivals\n",
                     argv[0]);
        return 2;
    }
    const double startedMs = argc >= 7 ? std::stod(argv[6]) : -1e18;
    MainFields settings;
    settings.Combo_period = argv[1];
    settings.chirptime = argv[2];
    settings.Combo_rate = argv[3];
    settings.Combo_step = argv[4];
    settings.Slider1 = std::stoi(argv[5]);
    Sweep sweep(settings);

    std::vector<Arrival> arrivals;
    int repaired = 0;
    for (Arrival a; std::cin >> a.ms >> a.frequency;) {
        if (!arrivals.empty() && a.ms < arrivals.back().ms - kDayMs / 2)
            a.ms += kDayMs;  // past midnight
        arrivals.push_back(a);
    }
    if (arrivals.empty()) {
        std::fprintf(stderr, "no arrivals\n");
        return 1;
    }

    std::vector<double> lateness;
    int duplicates = 0, atStartUp = 0;
    std::printf("arrival_ms,frequency,ideal_ms,lateness_ms,counted\n");
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        Arrival& a = arrivals[i];
        if (i > 0 && arrivals[i - 1].frequency == a.frequency) ++duplicates;
        std::optional<long> ideal =
            sweep.OnsetBefore(static_cast<long>(std::floor(a.ms)), a.frequency);
        // rigctld's stamp was once seen a whole second behind (...26.829, then
        // ...26.004 for a command that came at 27.004): a command "before" its
        // step began, which began within the next second, arrived a second later.
        if (!ideal) {
            ideal = sweep.OnsetBefore(static_cast<long>(std::floor(a.ms)) + 1000, a.frequency);
            if (ideal && static_cast<double>(*ideal) > a.ms) {
                a.ms += 1000;
                ++repaired;
            } else {
                ideal.reset();
            }
        }
        if (!ideal) {
            std::printf("%.3f,%s,,,0\n", a.ms, a.frequency.c_str());
            continue;
        }
        const double late = a.ms - static_cast<double>(*ideal);
        const bool counted = static_cast<double>(*ideal) >= startedMs;
        if (counted) {
            lateness.push_back(late);
        } else {
            ++atStartUp;
        }
        std::printf("%.3f,%s,%ld,%.3f,%d\n", a.ms, a.frequency.c_str(), *ideal, late, counted);
    }

    // Expected commands between the first arrival (or the start) and a second before the last
    // (so that a command on its way at the end is not counted as missed).
    const long from = static_cast<long>(std::max(arrivals.front().ms, startedMs)) + 1;
    const long to = static_cast<long>(argc == 8 ? std::stod(argv[7]) : arrivals.back().ms) - 1000;
    int missed = 0, topOfBand = 0;
    for (const Onset& onset : ExpectedCommands(sweep, from, to)) {
        const bool arrived = std::any_of(arrivals.begin(), arrivals.end(), [&](const Arrival& a) {
            return a.frequency == onset.frequency && a.ms >= static_cast<double>(onset.ms) &&
                   a.ms < static_cast<double>(onset.ms) + 1000;
        });
        if (arrived) continue;
        // The limit itself is a candidate for 1 ms before the sweep parks: no
        // tick with a margin can catch it.
        if (onset.lastsMs == 1) {
            ++topOfBand;
        } else {
            ++missed;
        }
    }
    std::fprintf(stderr,
                 "commands %zu  at start-up %d  unmatched %zu  median %.1f ms  p95 %.1f ms  "
                 "max %.1f ms  missed %d  duplicates %d  1 ms top-of-band windows, not sent %d  "
                 "stamps a second behind, repaired %d\n",
                 arrivals.size(), atStartUp, arrivals.size() - lateness.size() - atStartUp,
                 Percentile(lateness, 0.5), Percentile(lateness, 0.95),
                 lateness.empty() ? NAN : *std::max_element(lateness.begin(), lateness.end()),
                 missed, duplicates, topOfBand, repaired);
    return 0;
}
