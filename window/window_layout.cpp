// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_layout.hpp"

#include <cctype>
#include <cstdint>

namespace morvane {

ControlId ControlForSetting(SettingField field) {
    switch (field) {
        case SettingField::Offset:
            return ControlId::Slider1;
        case SettingField::Period:
            return ControlId::Combo_period;
        case SettingField::ChirpTime:
            return ControlId::chirptime;
        case SettingField::Rate:
            return ControlId::Combo_rate;
        case SettingField::Step:
            return ControlId::Combo_step;
        case SettingField::Clock:
            break;
    }
    return ControlId::Text1;  // the clock shows in the time of day
}

std::string SettingProblemText(const SettingProblem& problem) {
    std::string text(SettingName(problem.field));
    if (!text.empty()) text.front() = static_cast<char>(std::toupper(text.front()));
    return text + ": " + problem.reason + "; the sweep is not followed";
}

int TwipsToPixels(int twips, int dpi) {
    // Rounded to the nearest pixel, halves away from zero.
    const std::int64_t scaled = std::int64_t{twips} * dpi;
    const std::int64_t pixels = scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440);
    return static_cast<int>(pixels);
}

}  // namespace morvane
