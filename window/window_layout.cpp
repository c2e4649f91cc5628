// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_layout.hpp"

#include <algorithm>
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

namespace {

std::string Titled(const SettingProblem& problem) {
    std::string text(SettingName(problem.field));
    if (!text.empty()) text.front() = static_cast<char>(std::toupper(text.front()));
    return text + ": " + problem.reason;
}

}  // namespace

std::string SettingProblemText(const SettingProblem& problem) {
    return Titled(problem) + "; the sweep is not followed";
}

std::vector<FieldMark> FieldMarks(const std::optional<SettingProblem>& problem,
                                  const std::vector<SettingProblem>& marks) {
    std::vector<FieldMark> shown;
    if (problem) shown.push_back({ControlForSetting(problem->field), SettingProblemText(*problem)});
    for (const SettingProblem& mark : marks) {
        const ControlId control = ControlForSetting(mark.field);
        const bool taken = std::any_of(shown.begin(), shown.end(),
                                       [control](const FieldMark& m) { return m.control == control; });
        if (!taken) shown.push_back({control, Titled(mark)});
    }
    return shown;
}

int TwipsToPixels(int twips, int dpi) {
    // Rounded to the nearest pixel, halves away from zero.
    const std::int64_t scaled = std::int64_t{twips} * dpi;
    const std::int64_t pixels = scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440);
    return static_cast<int>(pixels);
}

}  // namespace morvane
