#include "reliability/simulated_day.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace morvane::reliability {
namespace {

// Worked out by hand from when each rate reaches its limit after the chirp:
// 50 kHz/s 16 MHz at 320 s, 100 kHz/s 30 MHz at 300 s, 125 kHz/s 30 MHz at
// 240 s, 500 kHz/s 16 MHz at 32 s. A 300 s period at 100 kHz/s ends its sweep
// just short of 30 MHz unless the slider moves the sweep 1.5 s on.
bool PeriodEndsTheSweepShort(const DaySettings& s) {
    const std::string_view rate = s.rate->text;
    if (s.period == "60") return rate != "500";
    if (s.period == "300" || s.period == "299.99")
        return rate == "50" || (rate == "100" && s.slider <= 0);
    return false;
}

TEST(SimulatedDay, EveryCombinationSendsEachStepWindowOnceWhileItIsOpen) {
    const std::vector<DayRun> runs = PlanFromEnvironment();
    const auto start = std::chrono::steady_clock::now();
    const std::vector<RunReport> reports = SimulateAll(runs);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const DaySettings& s = runs[i].settings;
        const RunReport& r = reports[i];
        SCOPED_TRACE(s.Describe() +
                     (runs[i].untilMs - runs[i].fromMs == kDayMs ? ", whole day" : ""));
        EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
        EXPECT_EQ(r.midnights, 1);
        EXPECT_GT(r.windowsPassed, 0);
        EXPECT_EQ(r.sweepsCutShort, PeriodEndsTheSweepShort(s) ? r.sweepsChecked : 0);
    }
    PrintFigures(runs, reports);
    std::printf("%zu runs in %.1f s\n", runs.size(), took.count());
}

// Hand-worked: a 60 s period at 50 kHz/s reaches 2 997 600 Hz at its last
// tick, so each sweep sends 2.0, 2.1, ... 2.9 MHz: ten commands. From noon to
// noon the first sweep is already running (the 100 ms lead), 1 439 sweeps run
// whole and the last has just begun at 2 MHz: 10 + 1 439 x 10 + 1 commands.
TEST(SimulatedDay, AMinutePeriodAt50kHzPerSecondClimbsTo2900kHzInEverySweep) {
    const RunReport r = Simulate(WholeDay({"60", &kRateTable[0], 100, 0, "0"}));
    EXPECT_EQ(r.faultCount, 0) << Joined(r.faults);
    EXPECT_EQ(r.ticks, 1'728'000);
    EXPECT_EQ(r.commands, 14'401);
    EXPECT_EQ(r.sweepsChecked, 1'439);
    EXPECT_EQ(r.highestHz, 2'900'000);
    EXPECT_EQ(r.windowsCommanded, 1'440 * 9);
}

// At 500 kHz/s a 50 kHz step is sent only in the first 10 kHz above it, 20 ms.
// Ticks on the sweep's grid see every one (279 from 2.05 to 15.95 MHz in a
// whole sweep), whatever the chirp time's phase; ticks on the clock's grid
// 25 ms off it see none.
TEST(SimulatedDay, EveryShortStepWindowIsSeenWhateverTheChirpTimesPhase) {
    std::vector<DaySettings> rows;
    for (int phase = 0; phase < 50; ++phase) {
        rows.push_back(
            {"60", &kRateTable[3], 50, 0, "29." + std::to_string(1000 + phase).substr(1)});
    }
    rows.push_back({"60", &kRateTable[3], 50, 0, "29.0007"});
    rows.push_back({"60", &kRateTable[3], 50, 0, "29.525", TickTiming::ClockLocked});
    for (const DaySettings& settings : rows) {
        SCOPED_TRACE(settings.Describe());
        const RunReport r = Simulate(AroundMidnight(settings));
        const bool clockLocked = settings.timing == TickTiming::ClockLocked;
        EXPECT_EQ(r.faultCount, clockLocked ? 1 : 0) << Joined(r.faults);
        EXPECT_GT(r.windowsPassed, 279);  // a whole sweep and parts of two more
        EXPECT_EQ(r.windowsCommanded, clockLocked ? 0 : r.windowsPassed);
    }
}

struct CutShortCase {
    DaySettings settings;
    std::int64_t highestHz;
};

// Hand-worked: where the sweep stands at its last tick, and the step below it.
TEST(SimulatedDay, ASweepCutShortByItsPeriodEndsOnTheLastStepItReached) {
    const CutShortCase cases[] = {
        // 59 952 ms at 50 kHz/s: 2 997 600 Hz.
        {{"60", &kRateTable[0], 100, 0, "0"}, 2'900'000},
        // 299 952 ms at 100 kHz/s: 29 995 200 Hz, past the 29.95 MHz window.
        {{"300", &kRateTable[1], 50, 0, "0"}, 29'950'000},
        // 299 952 + 1 500 ms at 50 kHz/s: 15 072 600 Hz.
        {{"300", &kRateTable[0], 500, 10, "0"}, 15'000'000},
        // 59 952 - 1 500 ms at 125 kHz/s: 7 306 500 Hz.
        {{"60", &kRateTable[2], 100, -10, "29.525"}, 7'300'000},
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
