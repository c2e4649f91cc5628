#include "reliability/simulated_day.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string_view>
#include <thread>
#include <tuple>

#include "radiolink/hand_off.hpp"
#include "testsupport/core_checks.hpp"
#include "tracking/tick.hpp"

namespace morvane::reliability {
namespace {

constexpr std::int64_t kBottomHz = 2'000'000;
constexpr std::size_t kFaultsKept = 5;

std::string ClockText(std::int64_t ms) {
    const ClockReading clock = testing::ClockAt(ms % kDayMs);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", clock.hour, clock.minute, clock.second,
                  clock.millisecond);
    return text;
}

std::int64_t PeriodMs(const DaySettings& settings) {
    return std::llround(std::stod(settings.period) * 1000);
}

class DayChecker {
  public:
    explicit DayChecker(const DaySettings& settings)
        : rate_(settings.rate->kHzPerSecond),
          stepHz_(std::int64_t{settings.stepKHz} * 1000),
          // A 50 kHz step is sent in the first 10 kHz above it, the others in the first 100 kHz.
          windowHz_(settings.stepKHz == 50 ? 10'000 : 100'000),
          limitHz_(settings.rate->upperLimitHz),
          offsetMs_(settings.slider * kOffsetPerSliderStepMs),
          periodDividesDay_(kDayMs % PeriodMs(settings) == 0) {}

    void OnTick(std::int64_t clockMs, std::int32_t ctime, const std::vector<std::string>& sent);
    void Fault(const std::string& what);
    RunReport Finish();

  private:
    bool RanOn(std::int64_t clockMs, std::int32_t ctime);
    void CountWindowsOpened(std::int64_t fromCtime, std::int64_t toCtime);
    void OnCommand(const std::string& command, std::int32_t ctime, bool counted);
    void StartSweep(bool fromItsStart);

    std::int64_t rate_, stepHz_, windowHz_, limitHz_, offsetMs_;
    bool periodDividesDay_;
    std::optional<std::int64_t> lastClockMs_;
    std::int32_t lastCtime_ = 0;
    int steadySpans_ = 0;  // between ticks, since the sweep's phase last moved
    bool sweepSeenFromStart_ = false;
    std::int64_t sweepHz_ = 0;  // the sweep's last command; 0 before it sends one
    bool parked_ = false;       // went back to 2 MHz after the top
    std::int64_t previousHz_ = 0;
    RunReport report_;
};

void DayChecker::Fault(const std::string& what) {
    if (report_.faultCount++ < static_cast<std::int64_t>(kFaultsKept)) {
        report_.faults.push_back("at " + ClockText(lastClockMs_.value_or(0)) + ": " + what);
    }
}

void DayChecker::OnTick(std::int64_t clockMs, std::int32_t ctime,
                        const std::vector<std::string>& sent) {
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

// Whether ctime ran on by the time between this tick and the last; where it
// did not, the sweep must have begun again since, or midnight moved a period
// that does not divide the day.
bool DayChecker::RanOn(std::int64_t clockMs, std::int32_t ctime) {
    const std::int64_t gap = clockMs - *lastClockMs_;
    const bool midnight = clockMs / kDayMs != *lastClockMs_ / kDayMs;
    report_.midnights += midnight ? 1 : 0;
    if (ctime - lastCtime_ == gap) return true;
    if (ctime - offsetMs_ < gap) {
        StartSweep(true);
    } else if (midnight && !periodDividesDay_) {
        StartSweep(false);  // the sweep runs on from elsewhere; it is checked no further
    } else {
        Fault("ctime went from " + std::to_string(lastCtime_) + " to " + std::to_string(ctime) +
              " in " + std::to_string(gap) + " ms");
    }
    return false;
}

// The step windows the sweep opened between two ticks: multiples of the step
// above the band's bottom and below the limit, whose window lasts 1 ms; but
// not the one the radio is on already (midnight moved the sweep back to it).
void DayChecker::CountWindowsOpened(std::int64_t fromCtime, std::int64_t toCtime) {
    const std::int64_t from = std::max(rate_ * fromCtime, kBottomHz);  // kHz/s times ms is Hz
    const std::int64_t to = std::min(rate_ * toCtime, limitHz_ - 1);
    if (to <= from) return;
    report_.windowsPassed += to / stepHz_ - from / stepHz_;
    report_.windowsPassed -= previousHz_ > from && previousHz_ <= to ? 1 : 0;
}

// A new sweep from its start, or the running one seen from another place.
void DayChecker::StartSweep(bool fromItsStart) {
    if (sweepSeenFromStart_ && fromItsStart) {
        ++report_.sweepsChecked;
        report_.sweepsCutShort += rate_ * lastCtime_ < limitHz_ ? 1 : 0;
    }
    sweepSeenFromStart_ = fromItsStart;
    sweepHz_ = 0;
    parked_ = false;
}

// Within a sweep: 2 MHz first at most, then rising, each while its window is
// open, then back to 2 MHz past the top, and nothing after that.
void DayChecker::OnCommand(const std::string& command, std::int32_t ctime, bool counted) {
    ++report_.commands;
    const testing::CommandCheck check = testing::CheckCommand(command, limitHz_);
    if (!check.fault.empty()) return Fault("\"" + command + "\" " + check.fault);
    if (check.hertz % stepHz_ != 0) Fault("\"" + command + "\" is off the step grid");
    if (check.hertz == previousHz_) Fault("\"" + command + "\" repeats the previous command");
    if (parked_) Fault("a command after the sweep parked at 2 MHz");
    previousHz_ = check.hertz;
    if (check.hertz == kBottomHz) {
        parked_ = sweepHz_ > kBottomHz;
        sweepHz_ = check.hertz;
        return;
    }
    const std::int64_t intoWindowHz = rate_ * ctime - check.hertz;
    if (intoWindowHz < 0 || intoWindowHz >= windowHz_) {
        Fault("\"" + command + "\" sent " + std::to_string(intoWindowHz) + " Hz into its window");
    }
    if (check.hertz <= sweepHz_) Fault("the frequency fell within a sweep");
    sweepHz_ = check.hertz;
    report_.highestHz = std::max(report_.highestHz, check.hertz);
    report_.windowsCommanded += counted && check.hertz < limitHz_ ? 1 : 0;
}

RunReport DayChecker::Finish() {
    if (report_.windowsCommanded != report_.windowsPassed) {
        Fault(std::to_string(report_.windowsPassed - report_.windowsCommanded) + " of " +
              std::to_string(report_.windowsPassed) + " step windows went by unsent");
    }
    return std::move(report_);
}

MainFields FieldsFor(const DaySettings& settings) {
    MainFields fields;
    fields.Combo_period = settings.period;
    fields.chirptime = settings.chirpTime;
    fields.Combo_rate = std::string(settings.rate->text);
    fields.Combo_step = std::to_string(settings.stepKHz);
    fields.Slider1 = settings.slider;
    return fields;
}

const char* const kPeriods[] = {"60", "300", "600", "900", "1200", "1800", "299.99"};
constexpr int kSteps[] = {50, 100, 500};
constexpr int kSliders[] = {-10, 0, 10};
// On the clock's 50 ms grid, 25 ms off it, and a fraction of a millisecond off.
const char* const kChirpTimes[] = {"0", "29.525", "35.0007"};

}  // namespace

std::string DaySettings::Describe() const {
    return "period " + period + " s, rate " + std::string(rate->text) + " kHz/s, step " +
           std::to_string(stepKHz) + " kHz, slider " + std::to_string(slider) + ", chirp time " +
           chirpTime + " s" +
           (timing == TickTiming::ClockLocked ? ", ticks on the clock's grid" : "");
}

RunReport Simulate(const DayRun& run) {
    MainFields fields = FieldsFor(run.settings);
    testing::RecordingLink link;
    LinkHandOff handOff(link);
    DayChecker checker(run.settings);
    for (std::int64_t clockMs = run.fromMs; clockMs < run.untilMs;) {
        link.commands.clear();
        const ClockReading clock = testing::ClockAt(clockMs % kDayMs);
        const TickOutcome outcome = RunTick(fields, clock, ".", handOff);
        if (outcome.problem) checker.Fault("the tick failed: " + outcome.problem->reason);
        if (outcome.ctime) checker.OnTick(clockMs, *outcome.ctime, link.commands);
        clockMs += MillisecondsToNextTick(run.settings.timing, outcome.ctime, clock.millisecond);
    }
    return checker.Finish();
}

DayRun WholeDay(const DaySettings& settings) {
    return {settings, kNoonMs, kNoonMs + kDayMs};
}

DayRun AroundMidnight(const DaySettings& settings) {
    return {settings, kDayMs - PeriodMs(settings), kDayMs + PeriodMs(settings)};
}

std::vector<DayRun> PlanFromEnvironment() {
    const char* wanted = std::getenv("MORVANE_WHOLE_DAYS");
    const std::string_view wholeDays = wanted != nullptr ? wanted : "subset";
    std::vector<DayRun> wholeDayRuns, midnightRuns;
    for (std::size_t p = 0; p < std::size(kPeriods); ++p)
        for (std::size_t r = 0; r < kRateTable.size(); ++r)
            for (std::size_t s = 0; s < std::size(kSteps); ++s)
                for (std::size_t o = 0; o < std::size(kSliders); ++o)
                    for (std::size_t c = 0; c < std::size(kChirpTimes); ++c) {
                        const DaySettings settings{kPeriods[p], &kRateTable[r], kSteps[s],
                                                   kSliders[o], kChirpTimes[c]};
                        // Half the period, rate and step triples (those whose places add up
                        // to an even number), each with one slider and chirp time, turning.
                        const std::size_t triple = p + r + s;
                        const bool inSubset = triple % 2 == 0 && triple / 2 % 9 == o + 3 * c;
                        if (wholeDays == "all" || (wholeDays == "subset" && inSubset))
                            wholeDayRuns.push_back(WholeDay(settings));
                        if (wholeDays != "all") midnightRuns.push_back(AroundMidnight(settings));
                    }
    // The long runs first, so that every core stays busy to the end.
    wholeDayRuns.insert(wholeDayRuns.end(), midnightRuns.begin(), midnightRuns.end());
    return wholeDayRuns;
}

std::vector<RunReport> SimulateAll(const std::vector<DayRun>& runs) {
    std::vector<RunReport> reports(runs.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < runs.size(); i = next++) reports[i] = Simulate(runs[i]);
    };
    std::vector<std::jthread> workers;
    for (unsigned n = std::max(1u, std::thread::hardware_concurrency()); n > 0; --n)
        workers.emplace_back(work);
    workers.clear();  // joins
    return reports;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

void PrintFigures(const std::vector<DayRun>& runs, const std::vector<RunReport>& reports) {
    std::map<std::tuple<int, int, std::string>, std::array<std::int64_t, 6>> groups;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const DaySettings& s = runs[i].settings;
        const RunReport& r = reports[i];
        for (const auto& key : {std::tuple{s.rate->kHzPerSecond, s.stepKHz, s.chirpTime},
                                std::tuple{0, 0, std::string("all")}}) {
            auto& totals = groups[key];
            const std::int64_t figures[] = {
                1, r.ticks, r.commands, r.sweepsChecked, r.windowsPassed, r.windowsCommanded};
            for (std::size_t f = 0; f < totals.size(); ++f) totals[f] += figures[f];
        }
    }
    std::printf("%-18s %5s %11s %9s %7s %9s %9s\n", "rate/step/chirp", "runs", "ticks", "commands",
                "sweeps", "windows", "commanded");
    for (const auto& [key, t] : groups) {
        const auto& [rate, step, chirp] = key;
        const std::string name =
            rate == 0 ? chirp : std::to_string(rate) + "/" + std::to_string(step) + "/" + chirp;
        std::printf("%-18s %5lld %11lld %9lld %7lld %9lld %9lld\n", name.c_str(),
                    static_cast<long long>(t[0]), static_cast<long long>(t[1]),
                    static_cast<long long>(t[2]), static_cast<long long>(t[3]),
                    static_cast<long long>(t[4]), static_cast<long long>(t[5]));
    }
}

}  // namespace morvane::reliability
