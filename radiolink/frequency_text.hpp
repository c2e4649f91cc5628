// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// A frequency the way the radio-control program shows it: MHz, kHz and Hz
// in groups of three, dot-separated ("14.074.000", "2.000.000").
std::string DisplayFrequencyText(std::int64_t hertz);

// The frequency of decimal hertz digits ("2000000"; no sign, blank or other
// character), or nullopt.
std::optional<std::int64_t> HertzOfText(std::string_view digits);

// The frequency of a command "freq N" (N decimal hertz, nothing else around
// it), or nullopt when the text is any other command.
std::optional<std::int64_t> FrequencyOfCommand(std::string_view command);

}  // namespace morvane
