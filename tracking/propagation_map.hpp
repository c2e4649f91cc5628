// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tracking/step_log.hpp"

namespace morvane {

// Where a step lands on the map: the sweep's column and the step's frequency.
struct MapCellKey {
    std::int32_t column = 0;
    std::int64_t hertz = 0;
    bool operator==(const MapCellKey&) const = default;
    // Column by column, each from the lowest frequency up.
    friend bool operator<(const MapCellKey& a, const MapCellKey& b) {
        return a.column != b.column ? a.column < b.column : a.hertz < b.hertz;
    }
};

// One step of one sweep as the map draws it.
struct MapCell {
    std::int64_t lowHertz = 0;     // the step's frequency...
    std::int64_t highHertz = 0;    // ...up to where the next step begins
    std::optional<double> riseDb;  // peak over floor; nothing when a level was not read
};

// A UTC day of the step log as a picture: one column per sweep, frequency
// upwards, how far the chirp rose above the floor at each step.
class PropagationMap {
  public:
    static constexpr std::int64_t kLowestHertz = 2'000'000;
    static constexpr std::int64_t kHighestHertz = 30'000'000;

    // Takes a row of the latest day in. A row of a later day, or of another
    // period, starts the map afresh; a row of an earlier day, or one that
    // cannot be placed (no period, no rate, above the map), is left out.
    void Add(const StepRow& row);

    bool Empty() const { return cells_.empty(); }
    const std::map<MapCellKey, MapCell>& Cells() const { return cells_; }
    std::string DayText() const;  // "2026-12-07"; empty before the first row
    double PeriodS() const { return periodS_; }
    std::int32_t ColumnCount() const;  // sweeps in a day, the last one cut at midnight
    std::int32_t LatestColumn() const { return latestColumn_; }  // the sweep now followed

  private:
    std::map<MapCellKey, MapCell> cells_;
    std::optional<std::int64_t> day_;  // days since 1970-01-01
    double periodS_ = 0;
    std::int32_t latestColumn_ = 0;
};

// The column of the sweep a row belongs to, in its own UTC day and period;
// nothing when the row has no period of a second or more, no rate, or a
// frequency below 0 or above the map.
std::optional<std::int32_t> MapColumnOf(const StepRow& row);

// Colours as 0xRRGGBB.
constexpr std::uint32_t kNoLevelsColour = 0x808080;  // a step whose levels were not read
constexpr std::uint32_t kEmptyMapColour = 0xFFFFFF;  // no step heard there
constexpr double kScaleTopDb = 30;  // the scale's brightest colour, and anything above it
// The colour of a rise above the floor: dark blue at 0 dB or below, through
// purple and orange, to yellow at kScaleTopDb and above.
std::uint32_t RiseColour(double riseDb);

}  // namespace morvane
