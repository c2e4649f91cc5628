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

// What one tick came to, beyond the fields it wrote.
struct TickOutcome {
    // How long ago the running sweep began, once the tick got that far; the
    // next tick is placed by it.
    std::optional<std::int32_t> ctime;
    // A setting the tick could not use: either the tick ended before the
    // hand-off (a text that does not convert, an overflow) or it went on
    // following nothing (a rate or step none of the lists offer).
    std::optional<SettingProblem> problem;
};

// One 50 ms tick: reads the settings from `fields`, writes the offset,
// position and time readouts, and hands the stepped frequency to `handOff`.
// A failure inside the hand-off ends the tick quietly.
TickOutcome RunTick(MainFields& fields, const ClockReading& clock, std::string_view separator,
                    HandOff& handOff);

}  // namespace morvane
