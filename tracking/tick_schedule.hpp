// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

namespace morvane {

// The tick comes every 50 ms for as long as the window exists.
inline constexpr int kTickIntervalMs = 50;

// How long after a step window opens its tick comes. Every step window of
// every listed rate and step opens when ctime is a whole multiple of the tick
// interval, so a tick placed just after those moments sees (and sends) each
// new step at once, however short its window. Timers have been seen to fire a
// fraction of a millisecond early (0.38 ms once, in some 60 000 ticks); the
// margin keeps a tick after the moment it is for all the same, and covers a
// clock that NTP slews.
inline constexpr int kTickMarginMs = 1;

// However the clock behaves (standing still, stepping, running fast), the
// ticks come at most 40 a second and never more than one interval plus the
// margin apart. A gap shorter than half an interval is allowed only right
// after a gap long enough that the two together make a whole interval: then
// a tick that a moved phase put just before a mark still catches the window
// that opens there.
inline constexpr int kShortestTickGapMs = kTickIntervalMs / 2;
inline constexpr int kLongestTickGapMs = kTickIntervalMs + kTickMarginMs;

// Milliseconds from this tick to the next: the margin after `sweepMs` next
// reaches a multiple of the tick interval. `sweepMs` is the ctime the tick
// worked out, or the clock's millisecond when it failed before it had one;
// `previousGapMs` is how long this tick was armed for. Re-armed from every
// tick's own reading, the ticks follow the sweep however late each timer fires.
int MillisecondsToNextTick(std::int64_t sweepMs, int previousGapMs);

// Where a window places its ticks. Morvane itself follows the sweep; the
// clock's own 50 ms grid is there so that benchmarks can measure both.
enum class TickTiming { SweepLocked, ClockLocked };

// The same for a tick that worked out `ctime` (or did not) from a clock
// reading with this millisecond field, in the window's timing.
int MillisecondsToNextTick(TickTiming timing, std::optional<std::int32_t> ctime,
                           int clockMillisecond, int previousGapMs);

// Where work that must not hold up a retune goes: halfway between two ticks.
inline constexpr int kQuietAfterTickMs = kTickIntervalMs / 2;

// Milliseconds until the first moment, at least `atLeastMs` from now, that
// lies halfway between two ticks, given how long ago the last tick came.
int MillisecondsToQuietMoment(std::int64_t sinceTickMs, int atLeastMs);

}  // namespace morvane
