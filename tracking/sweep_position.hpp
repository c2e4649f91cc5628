// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// One reading of the local clock: time of day and the millisecond field.
struct ClockReading {
    int hour = 0;         // 0 to 23
    int minute = 0;       // 0 to 59
    int second = 0;       // 0 to 59
    int millisecond = 0;  // 0 to 999
};

// Everything is computed this far ahead of the clock.
inline constexpr std::int32_t kLeadMs = 100;
// Offset per slider step, and how far the slider goes either way.
inline constexpr std::int32_t kOffsetPerSliderStepMs = 150;
inline constexpr int kSliderLowest = -10;
inline constexpr int kSliderHighest = 10;

// The millisecond field of the clock reading as decimal text ("7", "999").
std::string TimeToMillisecond(const ClockReading& clock);

// The slider position as an offset in ms.
std::int16_t Offset(int sliderPosition);

// Milliseconds since local midnight plus the lead: 100 to 86 400 099.
std::int32_t Day(const ClockReading& clock);

// ctime1: how far the current period has run, in ms.
std::int32_t PositionInPeriod(std::int32_t day, std::string_view periodText,
                              std::string_view separator);

// ctime: how long ago the running sweep began, trimmed by the offset, in ms.
std::int32_t TimeSinceSweepBegan(std::int32_t ctime1, std::string_view chirpText,
                                 std::string_view periodText, std::int16_t offset,
                                 std::string_view separator);

// "h:m:s" without leading zeros: 9:5:3.
std::string TimeOfDayText(const ClockReading& clock);

}  // namespace morvane
