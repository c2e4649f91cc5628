#pragma once

#include <cstdint>
#include <optional>

namespace morvane {

// The tick comes every 50 ms for as long as the window exists.
inline constexpr int kTickIntervalMs = 50;

// How long after a step window opens its tick comes. Every step window of
// every listed rate and step opens when ctime is a whole multiple of the tick
// interval, so a tick placed just after those moments sees (and sends) each
// new step at once, however short its window. Timers were never seen to fire
// early, on a loaded machine either (the earliest of some 60 000 ticks came
// 0.1 ms after the moment aimed at); the margin keeps a millisecond between a
// tick and the step it is for all the same, for a clock that NTP slews and a
// system timer coarser than ours.
inline constexpr int kTickMarginMs = 1;

// However the clock behaves (standing still, stepping, running fast), no
// tick comes sooner than this after the one before, nor later than one
// interval plus the margin.
inline constexpr int kShortestTickGapMs = kTickIntervalMs / 2;
inline constexpr int kLongestTickGapMs = kTickIntervalMs + kTickMarginMs;

// Milliseconds from this tick to the next: the margin after `sweepMs` next
// reaches a multiple of the tick interval. `sweepMs` is the ctime the tick
// worked out, or the clock's millisecond when it failed before it had one.
// Re-armed from every tick's own reading, the ticks follow the sweep however
// late each timer fires; when the sweep's phase moves (a new chirp time), two
// gaps of the allowed range bring them back onto it.
int MillisecondsToNextTick(std::int64_t sweepMs);

// Where a window places its ticks. Morvane itself follows the sweep; the
// clock's own 50 ms grid is there so that benchmarks can measure both.
enum class TickTiming { SweepLocked, ClockLocked };

// The same for a tick that worked out `ctime` (or did not) from a clock
// reading with this millisecond field, in the window's timing.
int MillisecondsToNextTick(TickTiming timing, std::optional<std::int32_t> ctime,
                           int clockMillisecond);

// Where work that must not hold up a retune goes: halfway between two ticks.
inline constexpr int kQuietAfterTickMs = kTickIntervalMs / 2;

// Milliseconds until the first moment, at least `atLeastMs` from now, that
// lies halfway between two ticks, given how long ago the last tick came.
int MillisecondsToQuietMoment(std::int64_t sinceTickMs, int atLeastMs);

}  // namespace morvane
