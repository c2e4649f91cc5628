// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/sweep_position.hpp"

#include <cmath>
#include <limits>

#include "tracking/number_text.hpp"

namespace morvane {
namespace {

std::int32_t ToInt32(std::int64_t value, SettingField field) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw TickFailure(field, "overflows");
    }
    return static_cast<std::int32_t>(value);
}

double Finite(double value, SettingField field) {
    if (!std::isfinite(value)) throw TickFailure(field, "overflows");
    return value;
}

}  // namespace

std::string TimeToMillisecond(const ClockReading& clock) {
    return DecimalText(clock.millisecond);
}

std::int16_t Offset(int sliderPosition) {
    const std::int32_t product =
        ToInt32(std::int64_t{sliderPosition} * kOffsetPerSliderStepMs, SettingField::Offset);
    return NarrowToInt16(product, SettingField::Offset);
}

std::int32_t Day(const ClockReading& clock) {
    const std::int64_t wholeSeconds =
        std::int64_t{clock.hour} * 3600 + std::int64_t{clock.minute} * 60 + clock.second;
    const double milliseconds = NumberFromText(TimeToMillisecond(clock), ".", SettingField::Clock);
    const double day = static_cast<double>(wholeSeconds) * 1000.0 + milliseconds + kLeadMs;
    return RoundToInt32(day, SettingField::Clock);
}

std::int32_t PositionInPeriod(std::int32_t day, std::string_view periodText,
                              std::string_view separator) {
    const double seconds = NumberFromText(periodText, separator, SettingField::Period);
    const std::int32_t period = RoundToInt32(seconds * 1000.0, SettingField::Period);
    if (period == 0) throw TickFailure(SettingField::Period, "rounds to 0 ms");
    // Widened so that the one quotient that overflows (minimum / -1) cannot occur.
    return static_cast<std::int32_t>(std::int64_t{day} % period);
}

std::int32_t TimeSinceSweepBegan(std::int32_t ctime1, std::string_view chirpText,
                                 std::string_view periodText, std::int16_t offset,
                                 std::string_view separator) {
    const double chirp =
        Finite(NumberFromText(chirpText, separator, SettingField::ChirpTime) * 1000.0,
               SettingField::ChirpTime);
    std::int32_t since = 0;
    if (chirp > ctime1) {
        // This period's sweep has not begun yet: the running one began in the previous period.
        const double periodMs =
            Finite(NumberFromText(periodText, separator, SettingField::Period) * 1000.0,
                   SettingField::Period);
        since = RoundToInt32(periodMs + (ctime1 - chirp), SettingField::ChirpTime);
    } else {
        since = RoundToInt32(ctime1 - chirp, SettingField::ChirpTime);
    }
    return ToInt32(std::int64_t{since} + offset, SettingField::ChirpTime);
}

std::string TimeOfDayText(const ClockReading& clock) {
    return DecimalText(clock.hour) + ":" + DecimalText(clock.minute) + ":" +
           DecimalText(clock.second);
}

}  // namespace morvane
