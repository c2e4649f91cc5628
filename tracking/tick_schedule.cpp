#include "tracking/tick_schedule.hpp"

namespace morvane {

int MillisecondsToNextTick(int millisecond) {
    const int sincePhase =
        ((millisecond - kTickPhaseMs) % kTickIntervalMs + kTickIntervalMs) % kTickIntervalMs;
    return kTickIntervalMs - sincePhase;
}

int MillisecondsToQuietMoment(int millisecond, int atLeastMs) {
    const int earliest = millisecond + atLeastMs;
    const int wait =
        ((kQuietPhaseMs - earliest) % kTickIntervalMs + kTickIntervalMs) % kTickIntervalMs;
    return atLeastMs + wait;
}

}  // namespace morvane
