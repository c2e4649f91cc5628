#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tracking/sweep_frequency.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane::reliability {

inline constexpr std::int64_t kDayMs = 86'400'000;
inline constexpr std::int64_t kNoonMs = kDayMs / 2;

// The settings of one simulated stretch, as the user would enter them.
struct DaySettings {
    std::string period = "300";
    const RateRow* rate = &kRateTable[1];
    int stepKHz = 100;
    int slider = 0;
    std::string chirpTime = "0";
    TickTiming timing = TickTiming::SweepLocked;

    std::string Describe() const;
};

// A stretch of ticks with fixed settings and an open link, each tick placed
// where the one before armed it, as the windows do.
struct DayRun {
    DaySettings settings;
    std::int64_t fromMs = kNoonMs;  // clock of the first tick, ms after midnight
    std::int64_t untilMs = kNoonMs + kDayMs;
};

// What a run sent and which of its properties did not hold.
struct RunReport {
    std::int64_t ticks = 0;
    std::int64_t commands = 0;
    std::int64_t midnights = 0;       // times the clock passed midnight
    std::int64_t sweepsChecked = 0;   // seen from their start to their end
    std::int64_t sweepsCutShort = 0;  // of those, ended below the rate's limit
    std::int64_t highestHz = 0;       // highest frequency commanded
    // Step windows above the band's bottom that the sweep opened between two
    // ticks (the limit's own, 1 ms long, aside), and how many were commanded.
    std::int64_t windowsPassed = 0;
    std::int64_t windowsCommanded = 0;
    std::int64_t faultCount = 0;
    std::vector<std::string> faults;  // the first few, with where they happened
};

// Runs every tick of `run` through the real tick and hand-off and checks what
// the radio is sent: well-formed and in band, never the same twice running,
// rising within a sweep, each command while its step window is open, every
// window the sweep opens commanded, and the positions running on between
// ticks but where a sweep restarts (or midnight moves a period that does not
// divide the day).
RunReport Simulate(const DayRun& run);

// Noon to noon, so that midnight lies inside.
DayRun WholeDay(const DaySettings& settings);
// One period either side of midnight.
DayRun AroundMidnight(const DaySettings& settings);

// Every listed period and one that is no multiple of 50 ms, every rate, step
// and slider end, and three chirp times: on the clock's grid, 25 ms off it and
// a fraction of a millisecond off. MORVANE_WHOLE_DAYS says how much of the day
// each runs: "all", every combination the whole day; "none" (sanitizer
// builds), only the periods around midnight; unset, half the period, rate and
// step triples one whole day each (slider and chirp time turning) and every
// combination the periods around midnight.
std::vector<DayRun> PlanFromEnvironment();

// Simulates the runs spread over every core; the core is pure, so they share nothing.
std::vector<RunReport> SimulateAll(const std::vector<DayRun>& runs);

// The figures by rate, step and chirp time, for the reliability report.
void PrintFigures(const std::vector<DayRun>& runs, const std::vector<RunReport>& reports);

// The faults a run recorded, one a line.
std::string Joined(const std::vector<std::string>& lines);

}  // namespace morvane::reliability
