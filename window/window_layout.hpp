// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "morvane_version.hpp"
#include "tracking/tick_failure.hpp"
#include "window/main_fields.hpp"

namespace morvane {

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

// Every control of the main window, in the order of the layout table below.
// clang-format off
enum class ControlId : std::size_t {
    Label4, text2, Text4, Label2, Combo_period, Label3, chirptime, Label10, Combo_rate, Label8,
    Combo_step, Label6, Slider1, Text7, Label9, Label7, Text1, status, Label5, Text3, Label1,
    Text5, Text6
};
// clang-format on

// One control of the main window: where it stands, how it looks, and which
// field of MainFields it shows (nullptr for labels with a fixed caption).
struct ControlSpec {
    ControlId id;
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
inline constexpr std::array<ControlSpec, 23> kMainWindowLayout = [] {
  using enum ControlId;
  using enum ControlKind;
  return std::array<ControlSpec, 23>{{
    // id, name        kind       caption       left, top, width, height  font   field    list  visible
    {Label4, "Label4", Label,     "Frequency",  {120, 120, 1215, 375},   kVerdanaBold,   nullptr,                   {},        true},
    {text2, "text2",   TextField, "",           {1440, 120, 1815, 405},  kVerdanaLarge,  &MainFields::text2,        {},        true},
    {Text4, "Text4",   TextField, "",           {1440, 120, 1815, 405},  kVerdanaLarge,  &MainFields::Text4,        {},        false},
    {Label2, "Label2", Label,     "Period",     {120, 600, 855, 255},    kSansSerifBold, nullptr,                   {},        true},
    {Combo_period, "Combo_period", DropDown, "", {1440, 600, 855, 315},  kDefaultFont,   &MainFields::Combo_period, {},        true},
    {Label3, "Label3", Label,     "Chirptime",  {120, 960, 975, 255},    kSansSerifBold, nullptr,                   {},        true},
    {chirptime, "chirptime", TextField, "",     {1440, 960, 495, 285},   kDefaultFont,   &MainFields::chirptime,    {},        true},
    {Label10, "Label10", Label,   "Rate KHz/s", {120, 1320, 1215, 255},  kSansSerifBold, nullptr,                   {},        true},
    {Combo_rate, "Combo_rate", DropDown, "",    {1440, 1320, 855, 315},  kDefaultFont,   &MainFields::Combo_rate,   kRateList, true},
    {Label8, "Label8", Label,     "Step KHz",   {120, 1800, 1215, 255},  kSansSerifBold, nullptr,                   {},        true},
    {Combo_step, "Combo_step", DropDown, "",    {1440, 1800, 855, 315},  kDefaultFont,   &MainFields::Combo_step,   kStepList, true},
    {Label6, "Label6", Label,     "Offset",     {120, 2280, 1215, 495},  kVerdanaBold,   nullptr,                   {},        true},
    {Slider1, "Slider1", Slider,  "",           {1440, 2280, 1815, 255}, kDefaultFont,   nullptr,                   {},        true},
    {Text7, "Text7",   TextField, "",           {3360, 2280, 495, 285},  kDefaultFont,   &MainFields::Text7,        {},        true},
    {Label9, "Label9", Label,     "ms",         {3960, 2280, 375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {Label7, "Label7", Label,     "Time",       {120, 2640, 1095, 255},  kSansSerifBold, nullptr,                   {},        true},
    {Text1, "Text1",   TextField, "",           {1440, 2640, 855, 285},  kDefaultFont,   &MainFields::Text1,        {},        true},
    {status, "status", Label,     "",           {120, 3120, 4695, 375},  kDefaultFont,   &MainFields::status,       {},        true},
    {Label5, "Label5", Label,     "ctime (current sounder position in period)",
                                                {240, 3960, 3375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {Text3, "Text3",   TextField, "",           {3720, 3960, 855, 345},  kDefaultFont,   &MainFields::Text3,        {},        true},
    {Label1, "Label1", Label,     "ctime1 (Current position for Period",
                                                {240, 4440, 3375, 255},  kDefaultFont,   nullptr,                   {},        true},
    {Text5, "Text5",   TextField, "",           {3720, 4440, 855, 285},  kDefaultFont,   &MainFields::Text5,        {},        true},
    {Text6, "Text6",   TextField, "",           {5160, 4560, 615, 285},  kDefaultFont,   &MainFields::Text6,        {},        true},
  }};
}();
// clang-format on

constexpr std::size_t IndexOf(ControlId id) {
    return static_cast<std::size_t>(id);
}

constexpr const ControlSpec& Spec(ControlId id) {
    return kMainWindowLayout[IndexOf(id)];
}

// Each row stands at its id's place, so that Spec() cannot pick another control.
static_assert([] {
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i)
        if (IndexOf(kMainWindowLayout[i].id) != i) return false;
    return true;
}());

// Keyboard focus order; the window opens with the focus on the first.
inline constexpr std::array<ControlId, 11> kFocusOrder = [] {
    using enum ControlId;
    return std::array{Text5,        Text3,      text2,      chirptime, Slider1, Text1,
                      Combo_period, Combo_rate, Combo_step, Text6,     Text7};
}();

// The control that shows a setting the tick could not use.
ControlId ControlForSetting(SettingField field);

// What the marked control's tooltip says: "Rate: \"200\" is not one of 50,
// 100, 125, 500 kHz/s; the sweep is not followed".
std::string SettingProblemText(const SettingProblem& problem);

// A control shown in red, and what its tooltip says.
struct FieldMark {
    ControlId control;
    std::string tip;
    bool operator==(const FieldMark&) const = default;
};

// The controls a window marks: the setting the tick could not use, then the
// settings no sounder has ("Period: 5 s is outside 60 s to 30 min"), one
// mark to a control.
std::vector<FieldMark> FieldMarks(const std::optional<SettingProblem>& problem,
                                  const std::vector<SettingProblem>& marks);

// Twips to device pixels at the given logical dpi (96 dpi: 15 twips a pixel).
int TwipsToPixels(int twips, int dpi);

}  // namespace morvane
