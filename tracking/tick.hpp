#pragma once

#include <string>
#include <string_view>

#include "tracking/sweep_position.hpp"
#include "window/main_fields.hpp"

namespace morvane {

// The tick's last step: decides whether the candidate goes to the radio.
class HandOff {
  public:
    virtual ~HandOff() = default;
    virtual void HandOffCandidate(MainFields& fields, const std::string& candidate) = 0;
};

// One 50 ms tick: reads the settings from `fields`, writes the offset,
// position and time readouts, and hands the stepped frequency to `handOff`.
// Throws TickFailure when a setting cannot be used; the readouts written
// before that keep their new values and nothing is handed off. A failure
// inside the hand-off ends the tick quietly.
void RunTick(MainFields& fields, const ClockReading& clock, std::string_view separator,
             HandOff& handOff);

}  // namespace morvane
