#include "reliability/simulated_day.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

namespace morvane::reliability {
namespace {

constexpr int kPeriods[] = {60, 300, 600, 900, 1200, 1800};
constexpr int kSteps[] = {50, 100, 500};
constexpr int kSliders[] = {-10, 0, 10};
// One on the 50 ms grid the ticks fall on; one 25 ms off it, which also puts
// midnight in the middle of a sweep for the short periods.
const char* const kChirpTimes[] = {"0", "29.525"};

constexpr std::int64_t kNoonMs = kDayMs / 2;

struct Combination {
    DaySettings settings;
    bool inWholeDaySubset;
};

// Each period, rate and step once in the whole-day subset, the slider and chirp
// time turning so that every rate and step meets all six of their pairs.
bool InWholeDaySubset(std::size_t period, std::size_t rate, std::size_t step, std::size_t slider,
                      std::size_t chirp) {
    return (period + rate + step) % 6 == slider + 3 * chirp;
}

// Every listed period, rate, step and offset, with both chirp times: 432.
std::vector<Combination> EveryCombination() {
    std::vector<Combination> all;
    for (std::size_t p = 0; p < std::size(kPeriods); ++p)
        for (std::size_t r = 0; r < kRateTable.size(); ++r)
            for (std::size_t s = 0; s < std::size(kSteps); ++s)
                for (std::size_t o = 0; o < std::size(kSliders); ++o)
                    for (std::size_t c = 0; c < std::size(kChirpTimes); ++c)
                        all.push_back(
                            {{kPeriods[p], &kRateTable[r], kSteps[s], kSliders[o], kChirpTimes[c]},
                             InWholeDaySubset(p, r, s, o, c)});
    return all;
}

DayRun WholeDay(const DaySettings& settings) {
    return {settings, kNoonMs, kTicksPerDay};  // noon to noon, so midnight lies inside
}
DayRun AroundMidnight(const DaySettings& settings) {
    const std::int64_t periodMs = settings.periodSeconds * std::int64_t{1000};
    return {settings, kDayMs - periodMs, 2 * periodMs / kTickMs};
}

// MORVANE_WHOLE_DAYS: "all" runs every combination for the whole day; "none"
// (for sanitizer builds) only the periods around midnight; unset, the subset
// runs whole days and every combination its periods around midnight.
std::vector<DayRun> Plan() {
    const char* wanted = std::getenv("MORVANE_WHOLE_DAYS");
    const std::string_view wholeDays = wanted != nullptr ? wanted : "subset";
    std::vector<DayRun> wholeDayRuns;
    std::vector<DayRun> midnightRuns;
    for (const Combination& c : EveryCombination()) {
        if (wholeDays == "all" || (wholeDays == "subset" && c.inWholeDaySubset)) {
            wholeDayRuns.push_back(WholeDay(c.settings));
        }
        if (wholeDays != "all") midnightRuns.push_back(AroundMidnight(c.settings));
    }
    // The long runs first, so that both cores stay busy to the end.
    wholeDayRuns.insert(wholeDayRuns.end(), midnightRuns.begin(), midnightRuns.end());
    return wholeDayRuns;
}

// The runs spread over every core; the core is pure, so they share nothing.
std::vector<RunReport> SimulateAll(const std::vector<DayRun>& runs) {
    std::vector<RunReport> reports(runs.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < runs.size(); i = next++) reports[i] = Simulate(runs[i]);
    };
    {
        std::vector<std::jthread> workers;
        for (unsigned n = std::max(1u, std::thread::hardware_concurrency()); n > 0; --n) {
            workers.emplace_back(work);
        }
    }
    return reports;
}

// Worked out by hand from when each rate reaches its limit after the chirp:
// 50 kHz/s 16 MHz at 320 s, 100 kHz/s 30 MHz at 300 s, 125 kHz/s 30 MHz at
// 240 s, 500 kHz/s 16 MHz at 32 s. A 300 s period at 100 kHz/s ends its sweep
// just short of 30 MHz unless the slider moves the sweep 1.5 s on.
bool PeriodEndsTheSweepShort(const DaySettings& s) {
    const std::string_view rate = s.rate->text;
    if (s.periodSeconds == 60) return rate != "500";
    if (s.periodSeconds == 300) return rate == "50" || (rate == "100" && s.slider <= 0);
    return false;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

// The figures of a group of runs, for docs/RELIABILITY.md.
struct Totals {
    std::int64_t runs = 0, ticks = 0, commands = 0, sweeps = 0, cutShort = 0, windows = 0,
                 shortMissed = 0, topMissed = 0;
    void Add(const RunReport& r) {
        ++runs;
        ticks += r.ticks;
        commands += r.commands;
        sweeps += r.sweepsChecked;
        cutShort += r.sweepsCutShort;
        windows += r.windowsCommanded;
        shortMissed += r.shortWindowsMissed;
        topMissed += r.topMissed;
    }
    void Print(const std::string& name) const {
        std::printf("%-22s %5lld %11lld %9lld %7lld %6lld %9lld %8lld %6lld\n", name.c_str(),
                    static_cast<long long>(runs), static_cast<long long>(ticks),
                    static_cast<long long>(commands), static_cast<long long>(sweeps),
                    static_cast<long long>(cutShort), static_cast<long long>(windows),
                    static_cast<long long>(shortMissed), static_cast<long long>(topMissed));
    }
};

void PrintFigures(const std::vector<DayRun>& runs, const std::vector<RunReport>& reports) {
    std::map<std::tuple<int, int, std::string>, Totals> byRateStepChirp;
    Totals all;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const DaySettings& s = runs[i].settings;
        byRateStepChirp[{s.rate->kHzPerSecond, s.stepKHz, s.chirpTime}].Add(reports[i]);
        all.Add(reports[i]);
    }
    std::printf("%-22s %5s %11s %9s %7s %6s %9s %8s %6s\n", "rate/step/chirp", "runs", "ticks",
                "commands", "sweeps", "short", "windows", "missed", "top");
    for (const auto& [key, totals] : byRateStepChirp) {
        const auto& [rate, step, chirp] = key;
        totals.Print(std::to_string(rate) + "/" + std::to_string(step) + "/" + chirp);
    }
    all.Print("all");
}

TEST(SimulatedDay, EveryCombinationSendsWellFormedRisingCommandsOncePerStepWindow) {
    const std::vector<DayRun> runs = Plan();
    const auto start = std::chrono::steady_clock::now();
    const std::vector<RunReport> reports = SimulateAll(runs);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const DaySettings& s = runs[i].settings;
        const RunReport& r = reports[i];
        SCOPED_TRACE(s.Describe() + (runs[i].ticks == kTicksPerDay ? ", whole day" : ""));
        EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
        EXPECT_EQ(r.midnights, 1);
        EXPECT_GT(r.sweepsChecked, 0);
        EXPECT_EQ(r.sweepsCutShort, PeriodEndsTheSweepShort(s) ? r.sweepsChecked : 0);
    }
    PrintFigures(runs, reports);
    std::printf("%zu runs in %.1f s\n", runs.size(), took.count());
}

// Hand-worked: a 60 s period at 50 kHz/s reaches 2 997 500 Hz as it ends, so
// each sweep sends 2.0, 2.1, ... 2.9 MHz: ten commands. From noon to noon the
// first sweep is already running (the 100 ms lead), 1 439 sweeps run whole and
// the last has just begun at 2 MHz: 10 + 1 439 x 10 + 1 commands.
TEST(SimulatedDay, AMinutePeriodAt50kHzPerSecondClimbsTo2900kHzInEverySweep) {
    const RunReport r = Simulate(WholeDay({60, &kRateTable[0], 100, 0, "0"}));
    EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
    EXPECT_EQ(r.ticks, 1'728'000);
    EXPECT_EQ(r.commands, 14'401);
    EXPECT_EQ(r.sweepsChecked, 1'439);
    EXPECT_EQ(r.sweepsCutShort, 1'439);
    EXPECT_EQ(r.highestHz, 2'900'000);
    EXPECT_EQ(r.windowsCommanded, 1'439 * 9);
}

// Hand-worked: at 500 kHz/s a tick moves 25 kHz and a 50 kHz step is sent only
// in the first 10 kHz above it, 20 ms. Ticks p ms after the chirp's 50 ms grid
// are at 500p Hz and 25 000 + 500p Hz above a step: in its window when p < 20,
// never otherwise. The 279 steps from 2.05 to 15.95 MHz are all seen or all
// missed, and the 16 MHz limit, reached for an instant, only when p is 0.
TEST(SimulatedDay, TickPhaseDecidesWhether50kHzStepsAreSeenAt500kHzPerSecond) {
    for (int phase = 0; phase < 50; ++phase) {
        SCOPED_TRACE("ticks " + std::to_string(phase) + " ms off the chirp's grid");
        DayRun run = AroundMidnight({60, &kRateTable[3], 50, 0, "0"});
        run.firstTickMs += phase;
        const RunReport r = Simulate(run);
        const std::int64_t seen = phase < 20 ? 279 : 0;
        EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
        EXPECT_EQ(r.sweepsChecked, 1);
        EXPECT_EQ(r.windowsCommanded, seen + (phase == 0 ? 1 : 0));
        EXPECT_EQ(r.shortWindowsMissed, 279 - seen);
        EXPECT_EQ(r.topMissed, phase == 0 ? 0 : 1);
    }
}

struct CutShortCase {
    DaySettings settings;
    std::int64_t highestHz;
};

// Hand-worked: where the sweep stands when the period ends, and the step below it.
TEST(SimulatedDay, ASweepCutShortByItsPeriodEndsOnTheLastStepItReached) {
    const CutShortCase cases[] = {
        // 59 950 ms at 50 kHz/s: 2 997 500 Hz.
        {{60, &kRateTable[0], 100, 0, "0"}, 2'900'000},
        // 299 950 ms at 100 kHz/s: 29 995 000 Hz, past the 29.95 MHz window.
        {{300, &kRateTable[1], 50, 0, "0"}, 29'950'000},
        // 299 950 + 1 500 ms at 50 kHz/s: 15 072 500 Hz.
        {{300, &kRateTable[0], 500, 10, "0"}, 15'000'000},
        // 59 975 - 1 500 ms at 125 kHz/s: 7 309 375 Hz.
        {{60, &kRateTable[2], 100, -10, "29.525"}, 7'300'000},
    };
    for (const CutShortCase& c : cases) {
        SCOPED_TRACE(c.settings.Describe());
        const RunReport r = Simulate(AroundMidnight(c.settings));
        EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
        EXPECT_EQ(r.sweepsCutShort, r.sweepsChecked);
        EXPECT_EQ(r.highestHz, c.highestHz);
    }
}

}  // namespace
}  // namespace morvane::reliability
