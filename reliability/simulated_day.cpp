#include "reliability/simulated_day.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
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
        try {
            RunTick(fields, ClockAt(clockMs % kDayMs), ".", handOff);
        } catch (const TickFailure& failure) {
            checker.Fault(std::string("the tick failed: ") + failure.what());
        }
        checker.OnTick(tick, clockMs, fields, link.sent);
    }
    return checker.Finish();
}

}  // namespace morvane::reliability
