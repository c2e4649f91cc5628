// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace morvane {

// The setting a tick could not use, so that a window can mark its field.
enum class SettingField { Offset, Clock, Period, ChirpTime, Rate, Step };

// A short English name of the setting, for messages and tooltips.
std::string_view SettingName(SettingField field);

// A setting that keeps the sweep from being followed, and why.
struct SettingProblem {
    SettingField field;
    std::string reason;  // "is not a number", "\"200\" is not one of 50, 100, 125, 500 kHz/s"
    bool operator==(const SettingProblem&) const = default;
};

// Raised inside the tick's computations when it cannot go on: a settings
// text that does not convert, a period that rounds to 0 ms, or an overflow.
// what() says what is wrong.
class TickFailure : public std::runtime_error {
  public:
    TickFailure(SettingField field, const std::string& reason)
        : std::runtime_error(reason), field_(field) {}

    SettingField field() const { return field_; }

  private:
    SettingField field_;
};

}  // namespace morvane
