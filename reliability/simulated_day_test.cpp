#include "reliability/simulated_day.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::reliability {
namespace {

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

TEST(SimulatedDay, EveryCombinationSendsWellFormedRisingCommandsOncePerStepWindow) {
    const std::vector<DayRun> runs = PlanFromEnvironment();
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
