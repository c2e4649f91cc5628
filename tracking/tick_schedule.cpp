// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/tick_schedule.hpp"

#include <algorithm>

namespace morvane {
namespace {

// 0 to interval - 1, for negative values too.
int PhaseOf(std::int64_t ms) {
    return static_cast<int>((ms % kTickIntervalMs + kTickIntervalMs) % kTickIntervalMs);
}

}  // namespace

int MillisecondsToNextTick(std::int64_t sweepMs, int previousGapMs) {
    const int untilMark = kTickIntervalMs - PhaseOf(sweepMs - kTickMarginMs);
    // A tick that came a little before its moment waits for it and one more interval.
    if (untilMark <= kTickMarginMs) return untilMark + kTickIntervalMs;
    const int shortest = std::clamp(kTickIntervalMs - previousGapMs, 1, kShortestTickGapMs);
    return std::clamp(untilMark, shortest, kLongestTickGapMs);
}

int MillisecondsToNextTick(TickTiming timing, std::optional<std::int32_t> ctime,
                           int clockMillisecond, int previousGapMs) {
    if (timing == TickTiming::SweepLocked && ctime) return MillisecondsToNextTick(*ctime, previousGapMs);
    return MillisecondsToNextTick(clockMillisecond, previousGapMs);
}

int MillisecondsToQuietMoment(std::int64_t sinceTickMs, int atLeastMs) {
    return atLeastMs + PhaseOf(kQuietAfterTickMs - sinceTickMs - atLeastMs);
}

}  // namespace morvane
