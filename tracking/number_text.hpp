// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tracking/tick_failure.hpp"

namespace morvane {

// Reads a plain decimal number written with the given decimal separator
// ("235", "-1,5", " 300 "). Throws TickFailure naming `field` when the text
// is empty, not a number, or too large for a double.
double NumberFromText(std::string_view text, std::string_view separator, SettingField field);

// Rounds to the nearest 32-bit integer, ties to even; throws TickFailure
// naming `field` when the value is not finite or out of range.
std::int32_t RoundToInt32(double value, SettingField field);

// Narrows to 16 bits; throws TickFailure naming `field` when out of range.
std::int16_t NarrowToInt16(std::int64_t value, SettingField field);

// Decimal text without leading zeros, plus sign or blank: -150, 0, 235.
std::string DecimalText(std::int64_t value);

// A millisecond count shown in seconds with exactly one decimal, the
// pattern "0.0": 5100 -> "5.1", -1500 -> "-1.5", 40 -> "0.0", -40 -> "-0.0".
std::string ReadoutText(std::int32_t milliseconds, std::string_view separator);

}  // namespace morvane
