#include "window/window_layout.hpp"

#include <cstdint>

namespace morvane {

const ControlSpec* FindControl(std::string_view name) {
    for (const ControlSpec& control : kMainWindowLayout) {
        if (control.name == name) return &control;
    }
    return nullptr;
}

const ControlSpec& ControlForSetting(SettingField field) {
    std::string_view name = "Text1";  // the clock shows in the time of day
    switch (field) {
        case SettingField::Offset:
            name = "Slider1";
            break;
        case SettingField::Clock:
            name = "Text1";
            break;
        case SettingField::Period:
            name = "Combo_period";
            break;
        case SettingField::ChirpTime:
            name = "chirptime";
            break;
        case SettingField::Rate:
            name = "Combo_rate";
            break;
        case SettingField::Step:
            name = "Combo_step";
            break;
    }
    return *FindControl(name);
}

int TwipsToPixels(int twips, int dpi) {
    // Rounded to the nearest pixel, halves away from zero.
    const std::int64_t scaled = std::int64_t{twips} * dpi;
    const std::int64_t pixels = scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440);
    return static_cast<int>(pixels);
}

}  // namespace morvane
