#include "reliability/simulated_day.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>

#include "radiolink/hand_off.hpp"
#include "testsupport/command_check.hpp"
#include "tracking/tick.hpp"
#include "tracking/tick_failure.hpp"

namespace morvane::reliability {
namespace {

constexpr std::int64_t kBottomHz = 2'000'000;
constexpr std::size_t kFaultsKept = 5;

// An open link that keeps what the hand-off sends on the current tick.
class RecordingLink final : public RadioLink {
  public:
    bool IsOpen() const override { return true; }
    void Execute(const std::string& command) override { sent.push_back(command); }
    std::vector<std::string> sent;
};

ClockReading ClockAt(std::int64_t msOfDay) {
    return {static_cast<int>(msOfDay / 3'600'000), static_cast<int>(msOfDay / 60'000 % 60),
            static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000)};
}

std::string ClockText(std::int64_t ms) {
    const ClockReading clock = ClockAt(ms % kDayMs);
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", clock.hour, clock.minute, clock.second,
                  clock.millisecond);
    return text;
}

// A "0.0" readout in tenths ("-1.5" is -15), or nullopt when it is not one.
std::optional<std::int64_t> TenthsOf(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.size() < 3 || text[text.size() - 2] != '.') return std::nullopt;
    std::int64_t tenths = 0;
    for (const char c : text) {
        if (c == '.') continue;
        if (c < '0' || c > '9') return std::nullopt;
        tenths = tenths * 10 + (c - '0');
    }
    return negative ? -tenths : tenths;
}

// A position readout: it climbs by at most a tenth of a second a tick, and
// starts again from below exactly once every period.
class CyclingReadout {
  public:
    CyclingReadout(const char* name, std::int64_t periodTicks)
        : name_(name), periodTicks_(periodTicks) {}

    // Whether this tick began a new cycle; sets `fault` when the readout jumped.
    bool Next(std::int64_t tick, std::int64_t tenths, std::string& fault) {
        const std::optional<std::int64_t> previous = std::exchange(previous_, tenths);
        if (!previous) return false;
        if (tenths >= *previous) {
            if (tenths - *previous > 1) fault = std::string(name_) + " jumped forward";
            return false;
        }
        const std::optional<std::int64_t> lastStart = std::exchange(lastStart_, tick);
        if (lastStart && tick - *lastStart != periodTicks_) {
            fault = std::string(name_) + " started again " + std::to_string(tick - *lastStart) +
                    " ticks after its previous start, not one period";
        }
        return true;
    }

  private:
    const char* name_;
    std::int64_t periodTicks_;
    std::optional<std::int64_t> previous_;
    std::optional<std::int64_t> lastStart_;
};

// One sweep as the radio saw it.
struct Sweep {
    bool seenFromStart = false;
    std::vector<std::int64_t> commandedAboveBottom;  // in the order sent
    std::int64_t lastHz = 0;                         // 0 until the sweep sends
    bool parked = false;                             // went back to 2 MHz after the top
    std::int64_t lastCtimeTenths = 0;                // how far the sweep had run, as shown
};

class DayChecker {
  public:
    explicit DayChecker(const DayRun& run);
    void OnTick(std::int64_t tick, std::int64_t clockMs, const MainFields& fields,
                const std::vector<std::string>& sent);
    void Fault(const std::string& what);
    RunReport Finish() { return std::move(report_); }

  private:
    void FollowPositions(std::int64_t tick, const MainFields& fields);
    void OnCommand(const std::string& command);
    void CheckRise(std::int64_t hertz);
    void CheckWindows();
    void CountMissed(std::int64_t window);
    std::int64_t ReachHz(std::int64_t roundingMs) const;

    const DaySettings& settings_;
    std::int64_t stepHz_;
    std::int64_t windowHz_;  // how far above a step its candidate is formed
    std::int64_t limitHz_;
    CyclingReadout ctime_;
    CyclingReadout ctime1_;
    Sweep sweep_;
    std::int64_t previousHz_ = 0;
    std::int64_t clockMs_ = 0;
    RunReport report_;
};

DayChecker::DayChecker(const DayRun& run)
    : settings_(run.settings),
      stepHz_(std::int64_t{run.settings.stepKHz} * 1000),
      // A 50 kHz step is sent in the first 10 kHz above it, the others in the first 100 kHz.
      windowHz_(run.settings.stepKHz == 50 ? 10'000 : 100'000),
      limitHz_(run.settings.rate->upperLimitHz),
      ctime_("ctime", std::int64_t{run.settings.periodSeconds} * 1000 / kTickMs),
      ctime1_("ctime1", std::int64_t{run.settings.periodSeconds} * 1000 / kTickMs),
      clockMs_(run.firstTickMs) {}

void DayChecker::Fault(const std::string& what) {
    if (report_.faultCount++ < static_cast<std::int64_t>(kFaultsKept)) {
        report_.faults.push_back("at " + ClockText(clockMs_) + ": " + what);
    }
}

void DayChecker::OnTick(std::int64_t tick, std::int64_t clockMs, const MainFields& fields,
                        const std::vector<std::string>& sent) {
    if (clockMs / kDayMs != clockMs_ / kDayMs) ++report_.midnights;
    clockMs_ = clockMs;
    ++report_.ticks;
    FollowPositions(tick, fields);
    if (sent.size() > 1) Fault("one tick sent " + std::to_string(sent.size()) + " commands");
    for (const std::string& command : sent) OnCommand(command);
}

// A new sweep begins where ctime starts again; the one it ends is checked whole.
void DayChecker::FollowPositions(std::int64_t tick, const MainFields& fields) {
    const std::optional<std::int64_t> ctime = TenthsOf(fields.Text3);
    const std::optional<std::int64_t> ctime1 = TenthsOf(fields.Text5);
    if (!ctime || !ctime1)
        return Fault("unreadable positions " + fields.Text3 + ", " + fields.Text5);
    std::string fault;
    ctime1_.Next(tick, *ctime1, fault);
    if (ctime_.Next(tick, *ctime, fault)) {
        if (sweep_.seenFromStart) CheckWindows();
        sweep_ = Sweep{true, {}, 0, false, 0};
    }
    sweep_.lastCtimeTenths = *ctime;
    if (!fault.empty()) Fault(fault);
}

void DayChecker::OnCommand(const std::string& command) {
    ++report_.commands;
    const testing::CommandCheck check = testing::CheckCommand(command, limitHz_);
    if (!check.fault.empty()) return Fault("\"" + command + "\" " + check.fault);
    if (check.hertz % stepHz_ != 0) Fault("\"" + command + "\" is off the step grid");
    if (check.hertz == previousHz_) Fault("\"" + command + "\" repeats the previous command");
    previousHz_ = check.hertz;
    CheckRise(check.hertz);
}

// Within a sweep: 2 MHz first at most, then rising, then back to 2 MHz past the top.
void DayChecker::CheckRise(std::int64_t hertz) {
    if (sweep_.parked) Fault("a command after the sweep parked at 2 MHz");
    if (hertz == kBottomHz) {
        sweep_.parked = sweep_.lastHz > kBottomHz;
    } else {
        if (hertz <= sweep_.lastHz) Fault("the frequency fell within a sweep");
        sweep_.commandedAboveBottom.push_back(hertz);
    }
    sweep_.lastHz = hertz;
}

// How far the sounder got in this sweep: rate times time since it began, the
// time read back from the last ctime shown, which is rounded to a tenth of a second.
std::int64_t DayChecker::ReachHz(std::int64_t roundingMs) const {
    const std::int64_t ms = sweep_.lastCtimeTenths * 100 + roundingMs;
    return settings_.rate->kHzPerSecond * std::max<std::int64_t>(ms, 0);  // kHz/s times ms is Hz
}

// A window no tick fell in: allowed only where windows last less than a tick.
void DayChecker::CountMissed(std::int64_t window) {
    if (windowHz_ / settings_.rate->kHzPerSecond < kTickMs) {
        ++report_.shortWindowsMissed;
    } else {
        Fault("a sweep passed the window at " + std::to_string(window) + " Hz unsent");
    }
}

// Every step window the sweep passed whole is commanded once. The limit's own
// window lasts an instant, seen only by a tick landing on it: counted.
void DayChecker::CheckWindows() {
    const std::vector<std::int64_t>& commanded = sweep_.commandedAboveBottom;
    const std::int64_t passedHz = ReachHz(-50);
    if (!commanded.empty() && commanded.back() > ReachHz(50)) Fault("commanded ahead of the sweep");
    auto next = commanded.begin();
    for (std::int64_t window = kBottomHz + stepHz_; window <= limitHz_; window += stepHz_) {
        if (next != commanded.end() && *next == window) {
            ++next;
            ++report_.windowsCommanded;
        } else if (window == limitHz_) {
            report_.topMissed += passedHz > limitHz_ ? 1 : 0;
        } else if (window + windowHz_ <= passedHz) {
            CountMissed(window);
        }
    }
    ++report_.sweepsChecked;
    if (passedHz <= limitHz_) ++report_.sweepsCutShort;
    if (!commanded.empty()) report_.highestHz = std::max(report_.highestHz, commanded.back());
}

MainFields FieldsFor(const DaySettings& settings) {
    MainFields fields;
    fields.Combo_period = std::to_string(settings.periodSeconds);
    fields.chirptime = settings.chirpTime;
    fields.Combo_rate = std::string(settings.rate->text);
    fields.Combo_step = std::to_string(settings.stepKHz);
    fields.Slider1 = settings.slider;
    return fields;
}

}  // namespace

std::string DaySettings::Describe() const {
    return "period " + std::to_string(periodSeconds) + " s, rate " + std::string(rate->text) +
           " kHz/s, step " + std::to_string(stepKHz) + " kHz, slider " + std::to_string(slider) +
           ", chirp time " + chirpTime + " s";
}

RunReport Simulate(const DayRun& run) {
    MainFields fields = FieldsFor(run.settings);
    RecordingLink link;
    LinkHandOff handOff(link);
    DayChecker checker(run);
    for (std::int64_t tick = 0; tick < run.ticks; ++tick) {
        const std::int64_t clockMs = run.firstTickMs + tick * kTickMs;
        link.sent.clear();
        const TickOutcome outcome = RunTick(fields, ClockAt(clockMs % kDayMs), ".", handOff);
        if (outcome.problem) checker.Fault("the tick failed: " + outcome.problem->reason);
        checker.OnTick(tick, clockMs, fields, link.sent);
    }
    return checker.Finish();
}

namespace {

constexpr int kPeriods[] = {60, 300, 600, 900, 1200, 1800};
constexpr int kSteps[] = {50, 100, 500};
constexpr int kSliders[] = {-10, 0, 10};
// One on the 50 ms grid the ticks fall on; one 25 ms off it, which also puts
// midnight in the middle of a sweep for the short periods.
const char* const kChirpTimes[] = {"0", "29.525"};

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

}  // namespace

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
std::vector<DayRun> PlanFromEnvironment() {
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

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

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

}  // namespace morvane::reliability
