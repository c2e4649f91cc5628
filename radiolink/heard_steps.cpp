// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/heard_steps.hpp"

#include <algorithm>
#include <utility>

namespace morvane {
namespace {

// A reading is reported as soon as its last read ends, before the next retune
// is due; this covers a busy event thread.
constexpr std::chrono::seconds kReadingGrace{2};
// The step count forgets retunes after a few seconds at the fastest steps; a
// step still unjudged by then will never be.
constexpr std::chrono::seconds kVerdictGrace{10};
// Steps kept waiting at most: a radio that never answers must not grow the queue.
constexpr std::size_t kMostWaiting = 256;

}  // namespace

void HeardSteps::Sent(HeardStep step, SteadyTime reachedAt, const MeterPlan& plan, bool metered) {
    waiting_.push_back({std::move(step), reachedAt, plan.leaveBy + kReadingGrace, metered});
    if (waiting_.size() > kMostWaiting) waiting_.pop_front();
}

void HeardSteps::Heard(const MeterReading& reading) {
    // The newest step for this frequency not yet heard: the one the reads were planned for.
    const auto step = std::find_if(waiting_.rbegin(), waiting_.rend(), [&](const Waiting& w) {
        return w.step.hertz == reading.hertz && !w.heard;
    });
    if (step == waiting_.rend()) return;
    step->heard = true;
    step->step.floorDb = reading.floorDb;
    step->step.peakDb = reading.peakDb;
}

void HeardSteps::Finish(const StepCount& count, SteadyTime now) {
    while (!waiting_.empty()) {
        Waiting& first = waiting_.front();
        const std::optional<bool> onTime = count.Judgement(first.step.hertz, first.reachedAt);
        const bool forgotten = now > first.reachedAt + kVerdictGrace;
        if (!onTime && !forgotten) return;
        if (onTime && *onTime && first.metered && !first.heard && now < first.readingDue) return;
        first.step.onTime = onTime.value_or(false);
        // Levels read while the radio was not on the step say nothing of the path.
        if (!first.step.onTime) first.step.floorDb = first.step.peakDb = std::nullopt;
        finished_.push_back(std::move(first.step));
        waiting_.pop_front();
    }
}

std::vector<HeardStep> HeardSteps::Take() {
    return std::exchange(finished_, {});
}

}  // namespace morvane
