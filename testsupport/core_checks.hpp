// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tests of the tick and the hand-off share. The command check is written
// with no help from the code that builds or parses commands, so that a fault there shows.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/radio_link.hpp"
#include "tracking/sweep_position.hpp"

namespace morvane::testing {

// The clock `msOfDay` milliseconds after midnight.
inline ClockReading ClockAt(std::int64_t msOfDay) {
    return {static_cast<int>(msOfDay / 3'600'000), static_cast<int>(msOfDay / 60'000 % 60),
            static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000)};
}

// A link that keeps the commands it is given, as "freq N".
class RecordingLink : public RadioLink {
  public:
    void Tune(std::int64_t hertz) override { commands.push_back("freq " + std::to_string(hertz)); }
    void Listen(std::int64_t hertz, const MeterPlan& plan) override { plans.push_back({hertz, plan}); }
    std::vector<std::string> commands;
    std::vector<std::pair<std::int64_t, MeterPlan>> plans;
};

// What a command sent to the radio turned out to be.
struct CommandCheck {
    std::int64_t hertz = 0;  // the frequency commanded, when well-formed
    std::string fault;       // why the radio must not be sent this; empty when it may
};

// A command may only be "freq " followed by the decimal digits (no sign, no
// leading zero) of a frequency from the band's bottom, 2 MHz, up to `limitHz`.
inline CommandCheck CheckCommand(std::string_view command, std::int64_t limitHz) {
    constexpr std::string_view prefix = "freq ";
    constexpr std::int64_t bandBottomHz = 2'000'000;
    if (!command.starts_with(prefix)) return {0, "does not start with \"freq \""};
    const std::string_view digits = command.substr(prefix.size());
    if (digits.empty()) return {0, "has no frequency"};
    if (digits.size() > 9) return {0, "has more digits than any frequency in band"};
    if (digits.front() == '0') return {0, "has a leading zero"};
    std::int64_t hertz = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return {0, "has a character other than a digit"};
        hertz = hertz * 10 + (c - '0');
    }
    if (hertz < bandBottomHz || hertz > limitHz) return {hertz, "is out of band"};
    return {hertz, {}};
}

}  // namespace morvane::testing
