#pragma once

namespace morvane {

// The tick comes every 50 ms for as long as the window exists.
inline constexpr int kTickIntervalMs = 50;

// Where within each 50 ms of the clock a tick is placed: just after the
// moment a new stepped frequency can begin, so it is seen (and sent) at once.
inline constexpr int kTickPhaseMs = 2;

// How a window keeps its ticks coming. Morvane itself always runs
// phase-locked: each tick arms the next for the clock's next mark, from its own
// reading. Free-running is a plain timer repeating every 50 ms at whatever
// phase it started with; it is there so that benchmarks can measure both.
enum class TickTiming { PhaseLocked, FreeRunning };

// Milliseconds from a clock reading with this millisecond field to the next
// tick on the clock's 50 ms grid (1 to 50). Re-armed from every tick's own
// reading, the ticks stay on the grid however late each timer fires.
int MillisecondsToNextTick(int millisecond);

// Halfway between two ticks: the moment furthest from any retune.
inline constexpr int kQuietPhaseMs = kTickPhaseMs + kTickIntervalMs / 2;

// Milliseconds from a clock reading with this millisecond field to the first
// moment halfway between two ticks that is at least `atLeastMs` away. Work
// done then (reading the radio's frequency) never holds up a tick's retune.
int MillisecondsToQuietMoment(int millisecond, int atLeastMs);

}  // namespace morvane
