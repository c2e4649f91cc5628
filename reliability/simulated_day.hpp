#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tracking/sweep_frequency.hpp"

namespace morvane::reliability {

inline constexpr std::int64_t kTickMs = 50;
inline constexpr std::int64_t kDayMs = 86'400'000;
inline constexpr std::int64_t kTicksPerDay = kDayMs / kTickMs;

// The settings of one simulated stretch, as the user would pick them.
struct DaySettings {
    int periodSeconds = 300;
    const RateRow* rate = &kRateTable[1];
    int stepKHz = 100;
    int slider = 0;
    std::string chirpTime = "0";

    std::string Describe() const;
};

// A stretch of consecutive 50 ms ticks with fixed settings and an open link.
struct DayRun {
    DaySettings settings;
    std::int64_t firstTickMs = 0;  // clock of the first tick, ms after midnight
    std::int64_t ticks = kTicksPerDay;
};

// What a run sent and which of its properties did not hold. Only sweeps seen
// from their start to their end count as checked; the run's first and last
// sweeps are usually cut by the run itself.
struct RunReport {
    std::int64_t ticks = 0;
    std::int64_t commands = 0;
    std::int64_t midnights = 0;  // times the clock passed midnight
    std::int64_t sweepsChecked = 0;
    std::int64_t sweepsCutShort = 0;    // checked sweeps that ended below the rate's limit
    std::int64_t highestHz = 0;         // highest frequency commanded in a checked sweep
    std::int64_t windowsCommanded = 0;  // step windows above 2 MHz commanded in checked sweeps
    // Windows lasting less than a tick that no tick fell in (50 kHz steps at 500 kHz/s).
    std::int64_t shortWindowsMissed = 0;
    // Checked sweeps that passed the limit without commanding it: the limit's own
    // window lasts an instant, and only a tick landing on that instant sees it.
    std::int64_t topMissed = 0;
    std::int64_t faultCount = 0;
    std::vector<std::string> faults;  // the first few, with where they happened
};

// Runs every tick of `run` through the real tick and hand-off and checks what
// the radio is sent: well-formed and in band, never the same twice running,
// rising within a sweep, once in every step window the sweep passes, and the
// positions running on through midnight.
RunReport Simulate(const DayRun& run);

constexpr std::int64_t kNoonMs = kDayMs / 2;

// Noon to noon, so that midnight lies inside.
DayRun WholeDay(const DaySettings& settings);
// One period either side of midnight.
DayRun AroundMidnight(const DaySettings& settings);

// Every listed period, rate, step and offset with two chirp times: on the 50 ms
// grid the ticks fall on, and 25 ms off it. MORVANE_WHOLE_DAYS says how much of
// the day each runs: "all", every combination the whole day; "none" (sanitizer
// builds), only the periods around midnight; unset, a subset that meets every
// rate and step with every slider and chirp time runs whole days and every
// combination its periods around midnight.
std::vector<DayRun> PlanFromEnvironment();

// Simulates the runs spread over every core; the core is pure, so they share nothing.
std::vector<RunReport> SimulateAll(const std::vector<DayRun>& runs);

// The figures by rate, step and chirp time, for the reliability report.
void PrintFigures(const std::vector<DayRun>& runs, const std::vector<RunReport>& reports);

// The faults a run recorded, one a line.
std::string Joined(const std::vector<std::string>& lines);

}  // namespace morvane::reliability
