#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "tracking/tick_failure.hpp"
#include "tracking/tick_schedule.hpp"
#include "window/main_fields.hpp"

namespace morvane {

inline constexpr std::string_view kWindowCaption = "Morvane V1.11";
inline constexpr int kClientWidthTwips = 4950;
inline constexpr int kClientHeightTwips = 3645;

enum class ControlKind { Label, TextField, DropDown, Slider };

struct Twips {
    int left, top, width, height;
};

// A font by name and size; an empty family means the window's default font.
struct FontSpec {
    std::string_view family;
    double points;
    bool bold;
};

inline constexpr FontSpec kDefaultFont{"", 0, false};
inline constexpr FontSpec kVerdanaBold{"Verdana", 9.75, true};
inline constexpr FontSpec kVerdanaLarge{"Verdana", 14.25, false};
inline constexpr FontSpec kSansSerifBold{"MS Sans Serif", 9.75, true};

inline constexpr std::array<std::string_view, 4> kRateList{"100", "125", "50", "500"};
inline constexpr std::array<std::string_view, 3> kStepList{"100", "50", "500"};
// Given to the period list while the window loads: 1, 5, 10, 15, 20 and 30 minutes.
inline constexpr std::array<std::string_view, 6> kPeriodList{"60",  "300",  "600",
                                                             "900", "1200", "1800"};

// One control of the main window: where it stands, how it looks, and which
// field of MainFields it shows (nullptr for labels with a fixed caption).
struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    Twips twips;
    FontSpec font;
    std::string MainFields::*field;
    std::span<const std::string_view> list;  // a drop-down's stored entries
    bool visible;
};

// clang-format off
inline constexpr std::array<ControlSpec, 23> kMainWindowLayout{{
    // name          kind                    caption       left, top, width, height  font   field    list  visible
    {"Label4",       ControlKind::Label,     "Frequency",  {120, 120, 1215, 375},   kVerdanaBold,   nullptr,                   {},        true},
    {"text2",        ControlKind::TextField, "",           {1440, 120, 1815, 405},  kVerdanaLarge,  &MainFields::text2,        {},        true},
    {"Text4",        ControlKind::TextField, "",           {1440, 120, 1815, 405},  kVerdanaLarge,  &MainFields::Text4,        {},        false},
    {"Label2",       ControlKind::Label,     "Period",     {120, 600, 855, 255},    kSansSerifBold, nullptr,                   {},        true},
    {"Combo_period", ControlKind::DropDown,  "",           {1440, 600, 855, 315},   kDefaultFont,   &MainFields::Combo_period, {},        true},
    {"Label3",       ControlKind::Label,     "Chirptime",  {120, 960, 975, 255},    kSansSerifBold, nullptr,                   {},        true},
    {"chirptime",    ControlKind::TextField, "",           {1440, 960, 495, 285},   kDefaultFont,   &MainFields::chirptime,    {},        true},
    {"Label10",      ControlKind::Label,     "Rate KHz/s", {120, 1320, 1215, 255},  kSansSerifBold, nullptr,                   {},        true},
    {"Combo_rate",   ControlKind::DropDown,  "",           {1440, 1320, 855, 315},  kDefaultFont,   &MainFields::Combo_rate,   kRateList, true},
    {"Label8",       ControlKind::Label,     "Step KHz",   {120, 1800, 1215, 255},  kSansSerifBold, nullptr,                   {},        true},
    {"Combo_step",   ControlKind::DropDown,  "",           {1440, 1800, 855, 315},  kDefaultFont,   &MainFields::Combo_step,   kStepList, true},
    {"Label6",       ControlKind::Label,     "Offset",     {120, 2280, 1215, 495},  kVerdanaBold,   nullptr,                   {},        true},
    {"Slider1",      ControlKind::Slider,    "",           {1440, 2280, 1815, 255}, kDefaultFont,   nullptr,                   {},        true},
    {"Text7",        ControlKind::TextField, "",           {3360, 2280, 495, 285},  kDefaultFont,   &MainFields::Text7,        {},        true},
    {"Label9",       ControlKind::Label,     "ms",         {3960, 2280, 375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {"Label7",       ControlKind::Label,     "Time",       {120, 2640, 1095, 255},  kSansSerifBold, nullptr,                   {},        true},
    {"Text1",        ControlKind::TextField, "",           {1440, 2640, 855, 285},  kDefaultFont,   &MainFields::Text1,        {},        true},
    {"status",       ControlKind::Label,     "",           {120, 3120, 4695, 375},  kDefaultFont,   &MainFields::status,       {},        true},
    {"Label5",       ControlKind::Label,     "ctime (current sounder position in period)",
                                                           {240, 3960, 3375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {"Text3",        ControlKind::TextField, "",           {3720, 3960, 855, 345},  kDefaultFont,   &MainFields::Text3,        {},        true},
    {"Label1",       ControlKind::Label,     "ctime1 (Current position for Period",
                                                           {240, 4440, 3375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {"Text5",        ControlKind::TextField, "",           {3720, 4440, 855, 285},  kDefaultFont,   &MainFields::Text5,        {},        true},
    {"Text6",        ControlKind::TextField, "",           {5160, 4560, 615, 285},  kDefaultFont,   &MainFields::Text6,        {},        true},
}};
// clang-format on

// Keyboard focus order; the window opens with the focus on the first.
inline constexpr std::array<std::string_view, 11> kFocusOrder{
    "Text5",        "Text3",      "text2",      "chirptime", "Slider1", "Text1",
    "Combo_period", "Combo_rate", "Combo_step", "Text6",     "Text7"};

// The control called `name`, or nullptr.
const ControlSpec* FindControl(std::string_view name);

// The control that shows the setting a failed tick could not use.
const ControlSpec& ControlForSetting(SettingField field);

// Twips to device pixels at the given logical dpi (96 dpi: 15 twips a pixel).
int TwipsToPixels(int twips, int dpi);

}  // namespace morvane
