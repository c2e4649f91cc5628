// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <vector>

#include "radiolink/radio_link.hpp"
#include "radiolink/step_record.hpp"
#include "tracking/listening.hpp"
#include "tracking/step_log.hpp"

namespace morvane {

// The steps sent to the radio, each waiting for its meter reading and for
// the step count's verdict on whether the radio was on it in time; then
// finished, in the order they were sent, for the log and the map.
class HeardSteps {
  public:
    // A retune left for `step`, which the sweep reaches at `reachedAt`; its
    // meter is read by `plan` when `metered`.
    void Sent(HeardStep step, SteadyTime reachedAt, const MeterPlan& plan, bool metered);
    void Heard(const MeterReading& reading);
    // Finishes each step the count has judged whose reading is in, or will not come.
    void Finish(const StepCount& count, SteadyTime now);
    // The steps finished since the last call.
    std::vector<HeardStep> Take();

  private:
    struct Waiting {
        HeardStep step;
        SteadyTime reachedAt;
        SteadyTime readingDue;  // when a reading that has not come never will
        bool metered;
        bool heard = false;
    };
    std::deque<Waiting> waiting_;
    std::vector<HeardStep> finished_;
};

}  // namespace morvane
