// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/propagation_map.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace morvane {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr double kSecondsPerDay = 86'400;

std::int64_t DayOf(std::int64_t utcMs) {
    const std::int64_t day = utcMs / kMsPerDay;
    return utcMs % kMsPerDay < 0 ? day - 1 : day;
}

std::int32_t ColumnsInDay(double periodS) {
    return static_cast<std::int32_t>(std::ceil(kSecondsPerDay / periodS));
}

// The scale's stops, evenly spaced from 0 dB to the top: the "plasma" ramp,
// whose lightness rises steadily, so a brighter cell is always a stronger echo.
constexpr std::array<std::uint32_t, 5> kRamp = {0x0D0887, 0x7E03A8, 0xCC4778, 0xF89540, 0xF0F921};

std::uint32_t Blend(std::uint32_t from, std::uint32_t to, double share) {
    std::uint32_t out = 0;
    for (const int shift : {16, 8, 0}) {
        const double a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
        out |= static_cast<std::uint32_t>(std::lround(a + (b - a) * share)) << shift;
    }
    return out;
}

}  // namespace

std::optional<std::int32_t> MapColumnOf(const StepRow& row) {
    if (!(row.periodS >= 1) || row.rateKHzPerS <= 0) return std::nullopt;
    if (row.hertz < 0 || row.hertz > PropagationMap::kHighestHertz) return std::nullopt;
    // kHz/s is Hz/ms: the sweep left 0 Hz this many ms before it reached the step.
    const std::int64_t sweptMs = row.hertz / row.rateKHzPerS;
    const std::int64_t msOfDay = row.reachedUtcMs - DayOf(row.reachedUtcMs) * kMsPerDay;
    // A sweep begun before midnight is the day's first.
    const auto beganMsOfDay = static_cast<double>(std::max<std::int64_t>(msOfDay - sweptMs, 0));
    const auto column = static_cast<std::int32_t>(std::floor(beganMsOfDay / (row.periodS * 1000)));
    return std::min(column, ColumnsInDay(row.periodS) - 1);
}

void PropagationMap::Add(const StepRow& row) {
    const std::optional<std::int32_t> column = MapColumnOf(row);
    const std::int64_t day = DayOf(row.reachedUtcMs);
    if (!column || (day_ && day < *day_)) return;
    // Columns of two periods do not line up: a new period is a new map.
    if (!day_ || day > *day_ || row.periodS != periodS_) {
        cells_.clear();
        day_ = day;
        periodS_ = row.periodS;
    }
    std::optional<double> rise;
    if (row.floorDb && row.peakDb) rise = *row.peakDb - *row.floorDb;
    cells_[{*column, row.hertz}] = {row.hertz, row.hertz + std::int64_t{row.stepKHz} * 1000, rise};
    latestColumn_ = *column;
}

std::string PropagationMap::DayText() const {
    if (!day_) return {};
    return UtcTimeText(*day_ * kMsPerDay).substr(0, 10);
}

std::int32_t PropagationMap::ColumnCount() const {
    return day_ ? ColumnsInDay(periodS_) : 0;
}

std::uint32_t RiseColour(double riseDb) {
    if (std::isnan(riseDb)) return kNoLevelsColour;
    const double position =
        std::clamp(riseDb / kScaleTopDb, 0.0, 1.0) * static_cast<double>(kRamp.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    if (below + 1 >= kRamp.size()) return kRamp.back();
    return Blend(kRamp[below], kRamp[below + 1], position - static_cast<double>(below));
}

}  // namespace morvane
