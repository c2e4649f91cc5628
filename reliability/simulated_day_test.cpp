// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated day: the real tick and hand-off over an open link that records
// each command, each tick placed where the one before armed it, as the windows
// do. What the radio is sent is checked with no help from the code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <thread>

#include "radiolink/hand_off.hpp"
#include "testsupport/core_checks.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/tick.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane {
namespace {

constexpr std::int64_t kDayMs = 86'400'000;
constexpr std::int64_t kNoonMs = kDayMs / 2;
constexpr std::int64_t kBottomHz = 2'000'000;

// One simulated stretch: the settings as the user would enter them, from one
// period before midnight to one after, or the whole day from noon to noon.
struct DaySettings {
    std::string period = "300";
    const RateRow* rate = &kRateTable[1];
    int stepKHz = 100;
    int slider = 0;
    std::string chirpTime = "0";
    TickTiming timing = TickTiming::SweepLocked;
    bool wholeDay = false;

    std::int64_t PeriodMs() const { return std::llround(std::stod(period) * 1000); }
    std::int64_t FromMs() const { return wholeDay ? kNoonMs : kDayMs - PeriodMs(); }
    std::int64_t UntilMs() const { return wholeDay ? kNoonMs + kDayMs : kDayMs + PeriodMs(); }
    std::string Describe() const {
        return period + " s, " + std::string(rate->text) + " kHz/s, " + std::to_string(stepKHz) +
               " kHz, slider " + std::to_string(slider) + ", chirp " + chirpTime +
               (timing == TickTiming::ClockLocked ? ", clock-locked" : "") +
               (wholeDay ? ", whole day" : "");
    }
};

struct RunReport {
    std::int64_t ticks = 0, commands = 0, highestHz = 0;
    // Step windows above the band's bottom that the sweep opened between two
    // settled ticks (the limit's own, 1 ms long, aside), and those commanded.
    std::int64_t windowsPassed = 0, windowsCommanded = 0;
    std::vector<std::string> faults;
};

class DayChecker {
  public:
    explicit DayChecker(const DaySettings& s)
        : rate_(s.rate->kHzPerSecond),
          stepHz_(std::int64_t{s.stepKHz} * 1000),
          // A 50 kHz step is sent in the first 10 kHz above it, the others in the first 100 kHz.
          windowHz_(s.stepKHz == 50 ? 10'000 : 100'000),
          limitHz_(s.rate->upperLimitHz),
          offsetMs_(s.slider * kOffsetPerSliderStepMs),
          periodDividesDay_(kDayMs % s.PeriodMs() == 0) {}

    void OnTick(std::int64_t clockMs, std::int32_t ctime, const std::vector<std::string>& sent) {
        ++report_.ticks;
        if (sent.size() > 1) Fault("one tick sent " + std::to_string(sent.size()) + " commands");
        steadySpans_ = lastClockMs_ && RanOn(clockMs, ctime) ? steadySpans_ + 1 : 0;
        // Where the phase moved (the first tick, a restart off the 50 ms grid), the
        // ticks take two gaps to settle on the sweep's grid, and may miss a window.
        const bool settled = steadySpans_ > 2;
        if (settled) CountWindowsOpened(lastCtime_, ctime);
        lastClockMs_ = clockMs;
        for (const std::string& command : sent) OnCommand(command, ctime, settled);
        lastCtime_ = ctime;
    }
    void Fault(const std::string& what) {
        if (report_.faults.size() < 5)
            report_.faults.push_back("at " + std::to_string(lastClockMs_.value_or(0)) +
                                     " ms: " + what);
    }
    RunReport Finish() {
        if (report_.windowsCommanded != report_.windowsPassed)
            Fault(std::to_string(report_.windowsPassed - report_.windowsCommanded) + " of " +
                  std::to_string(report_.windowsPassed) + " step windows went by unsent");
        return std::move(report_);
    }

  private:
    // Whether ctime ran on by the time between this tick and the last; where it
    // did not, the sweep must have begun again since, or midnight moved a period
    // that does not divide the day.
    bool RanOn(std::int64_t clockMs, std::int32_t ctime) {
        const std::int64_t gap = clockMs - *lastClockMs_;
        const bool midnight = clockMs / kDayMs != *lastClockMs_ / kDayMs;
        if (ctime - lastCtime_ == gap) return true;
        const bool restarted = ctime - offsetMs_ < gap;
        if (!restarted && !(midnight && !periodDividesDay_))
            Fault("ctime went from " + std::to_string(lastCtime_) + " to " + std::to_string(ctime));
        return false;
    }
    // The windows the sweep opened between two ticks: multiples of the step above
    // the band's bottom and below the limit; but not the one the radio is on
    // already (midnight moved the sweep back to it). kHz/s times ms is Hz.
    void CountWindowsOpened(std::int64_t fromCtime, std::int64_t toCtime) {
        const std::int64_t from = std::max(rate_ * fromCtime, kBottomHz);
        const std::int64_t to = std::min(rate_ * toCtime, limitHz_ - 1);
        if (to <= from) return;
        report_.windowsPassed += to / stepHz_ - from / stepHz_;
        report_.windowsPassed -= previousHz_ > from && previousHz_ <= to ? 1 : 0;
    }
    // A step is commanded only while its window is open, so the commands climb
    // with the sweep; 2 MHz, the band's bottom, while the sweep is below or past it.
    void OnCommand(const std::string& command, std::int32_t ctime, bool counted) {
        ++report_.commands;
        const testing::CommandCheck check = testing::CheckCommand(command, limitHz_);
        if (!check.fault.empty()) return Fault("\"" + command + "\" " + check.fault);
        if (check.hertz % stepHz_ != 0) Fault("\"" + command + "\" is off the step grid");
        if (check.hertz == previousHz_) Fault("\"" + command + "\" repeats the previous command");
        previousHz_ = check.hertz;
        const std::int64_t sweepHz = rate_ * ctime;
        if (check.hertz == kBottomHz) {
            if (sweepHz >= kBottomHz + windowHz_ && sweepHz <= limitHz_) Fault("2 MHz mid-sweep");
            return;
        }
        const std::int64_t intoWindowHz = sweepHz - check.hertz;
        if (intoWindowHz < 0 || intoWindowHz >= windowHz_)
            Fault("\"" + command + "\" sent " + std::to_string(intoWindowHz) +
                  " Hz into its window");
        report_.highestHz = std::max(report_.highestHz, check.hertz);
        report_.windowsCommanded += counted && check.hertz < limitHz_ ? 1 : 0;
    }

    std::int64_t rate_, stepHz_, windowHz_, limitHz_, offsetMs_;
    bool periodDividesDay_;
    std::optional<std::int64_t> lastClockMs_;
    std::int32_t lastCtime_ = 0;
    int steadySpans_ = 0;  // between ticks, since the sweep's phase last moved
    std::int64_t previousHz_ = 0;
    RunReport report_;
};

RunReport Simulate(const DaySettings& s) {
    MainFields fields;
    fields.Combo_period = s.period;
    fields.chirptime = s.chirpTime;
    fields.Combo_rate = std::string(s.rate->text);
    fields.Combo_step = std::to_string(s.stepKHz);
    fields.Slider1 = s.slider;
    testing::RecordingLink link;
    LinkHandOff handOff(link);
    handOff.SetLinkUp(true);
    DayChecker checker(s);
    int gapMs = kTickIntervalMs;
    for (std::int64_t clockMs = s.FromMs(); clockMs < s.UntilMs(); clockMs += gapMs) {
        link.commands.clear();
        const ClockReading clock = testing::ClockAt(clockMs % kDayMs);
        const TickOutcome outcome = RunTick(fields, clock, ".", handOff);
        if (outcome.problem) checker.Fault("the tick failed: " + outcome.problem->reason);
        if (outcome.ctime) checker.OnTick(clockMs, *outcome.ctime, link.commands);
        gapMs = MillisecondsToNextTick(s.timing, outcome.ctime, clock.millisecond, gapMs);
    }
    return checker.Finish();
}

// Every listed period and one that is no multiple of 50 ms, every rate, step
// and slider end, and chirp times on the clock's 50 ms grid, 25 ms off it and a
// fraction of a millisecond off: each around midnight. MORVANE_WHOLE_DAYS says
// which run the whole day: "all"; "none" (sanitizer builds); by default half
// the period, rate and step triples, each with one slider and chirp time, turning.
std::vector<DaySettings> Plan() {
    const char* wanted = std::getenv("MORVANE_WHOLE_DAYS");
    const std::string wholeDays = wanted != nullptr ? wanted : "subset";
    const char* periods[] = {"60", "300", "600", "900", "1200", "1800", "299.99"};
    const int steps[] = {50, 100, 500}, sliders[] = {-10, 0, 10};
    const char* chirpTimes[] = {"0", "29.525", "35.0007"};
    std::vector<DaySettings> whole, midnight;
    for (std::size_t p = 0; p < std::size(periods); ++p)
        for (std::size_t r = 0; r < kRateTable.size(); ++r)
            for (std::size_t s = 0; s < std::size(steps); ++s)
                for (std::size_t o = 0; o < std::size(sliders); ++o)
                    for (std::size_t c = 0; c < std::size(chirpTimes); ++c) {
                        DaySettings settings{periods[p], &kRateTable[r], steps[s], sliders[o],
                                             chirpTimes[c]};
                        const bool inSubset =
                            (p + r + s) % 2 == 0 && (p + r + s) / 2 % 9 == o + 3 * c;
                        if (wholeDays != "all") midnight.push_back(settings);
                        settings.wholeDay = true;
                        if (wholeDays == "all" || (wholeDays == "subset" && inSubset))
                            whole.push_back(settings);
                    }
    whole.insert(whole.end(), midnight.begin(), midnight.end());  // the long runs first
    return whole;
}

TEST(SimulatedDay, EveryCombinationSendsEachStepWindowOnceWhileItIsOpen) {
    const std::vector<DaySettings> runs = Plan();
    std::vector<RunReport> reports(runs.size());
    std::atomic<std::size_t> next{0};
    const auto simulateTheRest = [&] {
        for (std::size_t i = next++; i < runs.size(); i = next++) reports[i] = Simulate(runs[i]);
    };
    // The runs spread over every core; the core is pure, so they share nothing.
    std::vector<std::jthread> helpers(std::max(1u, std::thread::hardware_concurrency()) - 1);
    for (std::jthread& helper : helpers) helper = std::jthread(simulateTheRest);
    simulateTheRest();
    helpers.clear();  // joins them
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(runs[i].Describe());
        EXPECT_EQ(reports[i].faults, std::vector<std::string>{});
        EXPECT_GT(reports[i].windowsPassed, 0);
    }
}

// At 500 kHz/s a 50 kHz step is sent only in the first 10 kHz above it, 20 ms.
// Ticks on the sweep's grid see every one (279 from 2.05 to 15.95 MHz in a
// whole sweep), whatever the chirp time's phase; ticks on the clock's grid
// 25 ms off it see none. And a sweep cut short by its period ends on the last
// step its last tick reached (hand-worked below). A 60 s period at 50 kHz/s,
// run from noon to noon, sends 2.0, 2.1, ... 2.9 MHz in each sweep; the first
// is already running (the 100 ms lead), 1 439 run whole and the last has just
// begun at 2 MHz: 10 + 1 439 x 10 + 1 commands, at one tick every 50 ms.
TEST(SimulatedDay, EveryShortWindowIsSeenWhateverThePhaseAndACutSweepEndsOnItsLastStep) {
    std::vector<std::pair<DaySettings, std::int64_t>> rows;  // settings, highest frequency
    for (int phase = 0; phase < 50; ++phase)
        rows.push_back(
            {{"60", &kRateTable[3], 50, 0, "29." + std::to_string(1000 + phase).substr(1)},
             15'950'000});
    rows.push_back({{"60", &kRateTable[3], 50, 0, "29.0007"}, 15'950'000});
    rows.push_back({{"60", &kRateTable[3], 50, 0, "29.525", TickTiming::ClockLocked}, 0});
    // 59 951 ms at 50 kHz/s: 2 997 550 Hz; 299 951 ms at 100 kHz/s: 29 995 100 Hz,
    // past the 29.95 MHz window; 299 951 + 1 500 ms at 50 kHz/s: 15 072 550 Hz;
    // 59 951 - 1 500 ms at 125 kHz/s: 7 306 375 Hz.
    rows.push_back({{"60", &kRateTable[0], 100, 0, "0", TickTiming::SweepLocked, true}, 2'900'000});
    rows.push_back({{"300", &kRateTable[1], 50, 0, "0"}, 29'950'000});
    rows.push_back({{"300", &kRateTable[0], 500, 10, "0"}, 15'000'000});
    rows.push_back({{"60", &kRateTable[2], 100, -10, "29.525"}, 7'300'000});
    for (const auto& [settings, highestHz] : rows) {
        SCOPED_TRACE(settings.Describe());
        const RunReport r = Simulate(settings);
        const bool clockLocked = settings.timing == TickTiming::ClockLocked;
        EXPECT_EQ(r.faults.size(), clockLocked ? 1u : 0u);
        EXPECT_EQ(r.windowsCommanded, clockLocked ? 0 : r.windowsPassed);
        EXPECT_EQ(r.highestHz, highestHz);
        EXPECT_GT(r.windowsPassed, settings.rate->kHzPerSecond == 500 ? 279 : 0);
        if (!settings.wholeDay) continue;
        EXPECT_EQ(r.ticks, 1'728'000);
        EXPECT_EQ(r.commands, 14'401);
    }
}

}  // namespace
}  // namespace morvane
