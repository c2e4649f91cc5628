#include "tracking/tick_schedule.hpp"

namespace morvane {

int MillisecondsToNextTick(int millisecond) {
    const int sincePhase =
        ((millisecond - kTickPhaseMs) % kTickIntervalMs + kTickIntervalMs) % kTickIntervalMs;
    return kTickIntervalMs - sincePhase;
}

}  // namespace morvane
