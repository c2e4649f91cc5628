// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "tracking/tick_failure.hpp"
#include "window/main_fields.hpp"

namespace morvane {

// Settings no sounder has: a period outside 60 s to 30 min or one that does
// not divide the day, a chirp time outside the period, or settings with which
// the sweep never takes the radio off the band's bottom. They are still
// followed exactly as they stand; these only say what is wrong and what would
// work. At most one per field, its reasons joined; the period's comes first.
// A setting that does not convert yields none: the tick names that itself.
std::vector<SettingProblem> SettingMarks(const MainFields& fields, std::string_view separator);

// What a window opened on these fields would mark first: what its first tick
// could not use, else the first of SettingMarks.
std::optional<SettingProblem> FirstMark(const MainFields& fields, std::string_view separator);

}  // namespace morvane
