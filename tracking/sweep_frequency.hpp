// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

inline constexpr std::int32_t kBandBottomHz = 2'000'000;

// One sweep rate the sounder may use, and the top of its band.
struct RateRow {
    std::string_view text;  // as typed or chosen in the rate list, matched exactly
    std::int32_t kHzPerSecond;
    std::int32_t upperLimitHz;
};

// In the order they are tested.
inline constexpr std::array<RateRow, 4> kRateTable{{
    {"50", 50, 16'000'000},
    {"100", 100, 30'000'000},
    {"125", 125, 30'000'000},
    {"500", 500, 16'000'000},
}};

// The row whose text is exactly `rateText`, or nullptr.
const RateRow* FindRate(std::string_view rateText);
// The rates there are, for messages: "50, 100, 125, 500 kHz/s".
std::string RateChoices();

// The sounder's frequency in Hz `ctime` ms into its sweep, kept between the
// band bottom and the rate's limit (past the top it parks at the bottom);
// 0 when the rate text matches no row.
std::int32_t Frequency(std::string_view rateText, std::int32_t ctime, std::string_view separator);

}  // namespace morvane
