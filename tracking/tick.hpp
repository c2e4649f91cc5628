// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tracking/sweep_position.hpp"
#include "tracking/tick_failure.hpp"
#include "window/main_fields.hpp"

namespace morvane {

// The tick's last step: decides whether the candidate goes to the radio.
class HandOff {
  public:
    virtual ~HandOff() = default;
    virtual void HandOffCandidate(MainFields& fields, const std::string& candidate) = 0;
};

// Where the sweep stood at a tick whose settings all came from the lists,
// for whoever judges the steps it hands off.
struct SweepPoint {
    std::int32_t ctime = 0;     // ms since the running sweep began, offset and lead included
    std::int32_t periodMs = 0;
    std::int32_t rateKHzPerS = 0;
    std::int32_t upperLimitHz = 0;
    std::int32_t stepKHz = 0;
};

// What one tick came to, beyond the fields it wrote.
struct TickOutcome {
    // How long ago the running sweep began, once the tick got that far; the
    // next tick is placed by it.
    std::optional<std::int32_t> ctime;
    std::optional<SweepPoint> sweep;
    // A setting the tick could not use: either the tick ended before the
    // hand-off (a text that does not convert, an overflow) or it went on
    // following nothing (a rate or step none of the lists offer).
    std::optional<SettingProblem> problem;
};

// One 50 ms tick: writes the time of day, reads the settings from `fields`,
// writes the offset and position readouts, and hands the stepped frequency
// to `handOff`.
// A failure inside the hand-off ends the tick quietly.
//
// A tick whose timer fired late may name the ctime it was armed for: when
// the step window it was meant to catch has closed by now, that window's
// candidate is handed off instead of the empty one, since its command still
// reaches the radio ahead of the sweep. The readouts show the moment it ran.
struct LateTick {
    std::int32_t armedCtime;  // the ctime the tick's timer was armed for
    int reachableMs;          // how late it may be and still reach the radio ahead of the sweep
};
TickOutcome RunTick(MainFields& fields, const ClockReading& clock, std::string_view separator,
                    HandOff& handOff, std::optional<LateTick> late = std::nullopt);

}  // namespace morvane
