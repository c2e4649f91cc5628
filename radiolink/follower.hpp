// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "radiolink/heard_steps.hpp"
#include "radiolink/radio_link.hpp"
#include "radiolink/step_record.hpp"
#include "tracking/clock_trust.hpp"
#include "tracking/sweep_position.hpp"
#include "tracking/tick.hpp"
#include "tracking/tick_failure.hpp"
#include "tracking/tick_schedule.hpp"
#include "window/main_fields.hpp"

namespace morvane {

// Where a follower reads the time: the time of day the sweep is computed
// from (local or UTC), a steady clock that the link's answers are stamped
// with too, and the kernel's view of the clock where a platform has one.
struct FollowerClock {
    std::function<ClockReading()> timeOfDay;
    std::function<SteadyTime()> steady = [] { return std::chrono::steady_clock::now(); };
    std::function<std::optional<ClockStatus>()> status = [] { return std::nullopt; };
    // The wall clock in ms since 1970, UTC, for the steps' times in the log.
    std::function<std::int64_t()> utcMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
};

// How the frequency box shows the radio's state. Linux adds amber for a
// radio that is connected but not on time; Windows keeps the system's own
// two colours, and only a refusal reads as not connected there.
enum class ColourScheme { TwoColours, WithAmber };

inline constexpr Colour kLateColour = 0x00BFFF;  // amber: red 255, green 191, blue 0

struct FollowerOptions {
    // The decimal separator the settings are read with. Read once, when the
    // window opens: the same typed text must not mean two numbers on two
    // ticks because the desktop's settings changed between them.
    std::string separator = ".";
    ColourScheme colours = ColourScheme::WithAmber;
    TickTiming timing = TickTiming::SweepLocked;
    // Where the link stands until it reports: "Not connected, ...", "waiting for ...".
    LinkReport firstReport;
    // Whether the link reads the radio's S-meter around each step.
    bool meterRead = false;
};

// What a window shows after a tick or a link's event, beyond MainFields.
struct FollowerView {
    int nextTickMs = kTickIntervalMs;              // when to run the next tick
    std::optional<SettingProblem> problem;         // a setting the tick could not use
    // Settings no sounder has; still followed as they stand, so only marked.
    std::vector<SettingProblem> marks;
    std::string statusTip;                         // the status line's tooltip
    std::string linkDetail;                        // what the link says of itself
    std::string stepCount;                         // "on time for 112 of 112 steps"
    std::optional<ClockTrust> clock;               // set when the clock's health is (re)read
    std::string sweep;                             // "sweep in 3:20", "sweep at 14.3 MHz"
    std::string progress;                          // both above: the status's second line
    // How the S-meter is read for the map: "S-meter read at each step; USB: 300
    // to 2 700 Hz above the step", or why it is not.
    std::string meter;
    bool meterMissing = false;  // the radio has no meter to read
};

// Follows the sweep: runs every tick against the fields, hands the stepped
// frequency to the link, keeps the link's state and the count of steps the
// radio was on time for, and says what the window must show. Platform-free:
// the window only arms its timer and shows what comes back; the link only
// carries retunes and reports.
class Follower final : public LinkListener {
  public:
    Follower(MainFields fields, RadioLink& link, FollowerClock clock, FollowerOptions options);

    MainFields& fields() { return fields_; }
    const MainFields& fields() const { return fields_; }

    // When the first tick comes: on the clock's grid, until a tick knows the sweep.
    int FirstTickInMs() const;
    // One tick, then what to show and when the next comes.
    FollowerView Tick();
    // What to show now, after a link's event.
    FollowerView View() const;

    void OnLinkState(const LinkReport& report) override;
    void OnItemValue(LinkItem item, std::string text) override;
    void OnTuneAnswer(const TuneAnswer& answer) override;
    void OnMeterReading(const MeterReading& reading) override;
    void OnRadioMode(const RadioMode& mode) override;
    void OnMeterMissing(const std::string& why) override;

    // The steps finished since the last call, with what the radio heard at each.
    std::vector<HeardStep> TakeHeardSteps() { return heard_.Take(); }

    // Read by the tests and the bench.
    const StepCount& Steps() const { return steps_; }
    LinkState State() const { return report_.state; }

  private:
    struct Look {
        Colour colour;
        std::string status;
        // Why the radio counts as not connected while the link is open; empty otherwise.
        std::string notConnected = {};
    };
    Look LookNow() const;
    std::string TipHead() const;
    std::optional<std::string> NotFollowing() const;
    void ShowConnection();
    std::optional<LateTick> Lateness() const;
    void NoteSteps(const TickOutcome& outcome, SteadyTime now);
    void ListenAt(std::int64_t hertz, const SweepPoint& point, SteadyTime now, SteadyTime reachedAt);
    std::string MeterText() const;
    std::optional<ClockTrust> CheckClock(SteadyTime now);
    void CheckSettings();

    MainFields fields_;
    RadioLink& link_;
    LinkHandOff handOff_;
    FollowerClock clock_;
    FollowerOptions options_;
    LinkReport report_;
    bool acceptedSinceConnected_ = false;  // the radio has taken a retune since it connected
    StepCount steps_;
    std::optional<SettingProblem> problem_;
    struct SettingsChecked {
        std::string period, chirptime, rate;
        int slider = 0;
        bool operator==(const SettingsChecked&) const = default;
    };
    std::optional<SettingsChecked> checked_;  // the settings marks_ was worked out from
    std::vector<SettingProblem> marks_;
    std::string sweepText_;  // where the sweep was at the last tick
    // The ctime the next tick is armed for, when the last one knew the sweep.
    std::optional<std::int32_t> armedCtime_;
    int lastGapMs_ = kTickIntervalMs;
    std::optional<SteadyTime> clockCheckedAt_;
    // How far off the clock may be, as the kernel last said: the meter's reads
    // keep this far clear of the chirp either way.
    std::chrono::microseconds clockAllowance_ = kLargestClockAllowance;
    ListeningSpan span_ = SpanForMode("", 0);
    std::string mode_;
    std::optional<std::string> meterMissing_;
    HeardSteps heard_;
};

}  // namespace morvane
