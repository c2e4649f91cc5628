// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/step_record.hpp"

#include <algorithm>
#include <vector>

#include "radiolink/frequency_text.hpp"
#include "tracking/number_text.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/sweep_position.hpp"

namespace morvane {
namespace {

using std::chrono::milliseconds;

// Enough to judge every retune still on its way, and to measure the radio by.
constexpr std::size_t kRetunesKept = 32;
constexpr std::size_t kAnswerTimesKept = 5;
// A sweep that falls back further than this has begun again (or the settings moved it).
constexpr std::int64_t kNewSweepFallHz = 1'000'000;

std::string Kilohertz(std::int64_t hertz) {
    return DecimalText(hertz / 1000) + " kHz";
}

}  // namespace

void StepCount::Sent(std::int64_t hertz, SteadyTime sentAt, SteadyTime reachedAt,
                     std::int32_t rateKHz) {
    sent_.push_back({hertz, sentAt, reachedAt, rateKHz, span_, std::nullopt});
    if (sent_.size() > kRetunesKept) sent_.pop_front();
}

void StepCount::Answered(const TuneAnswer& answer) {
    const auto retune = std::find_if(sent_.begin(), sent_.end(), [&](const Retune& r) {
        return r.hertz == answer.hertz && !r.answer;
    });
    refusal_ = answer.accepted ? std::nullopt : std::optional(answer.refusal);
    if (retune == sent_.end()) return;
    retune->answer = answer;
    if (!answer.accepted) return;
    answerTimes_.push_back(std::chrono::duration_cast<milliseconds>(answer.at - retune->sentAt));
    if (answerTimes_.size() > kAnswerTimesKept) answerTimes_.pop_front();
}

std::optional<milliseconds> StepCount::AnswerTime() const {
    if (answerTimes_.empty()) return std::nullopt;
    std::vector<milliseconds> sorted(answerTimes_.begin(), answerTimes_.end());
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    return sorted[sorted.size() / 2];
}

void StepCount::SweepAt(const SweepPoint& point, SteadyTime now) {
    const std::int64_t sweepHz = std::int64_t{point.rateKHzPerS} * (point.ctime - kLeadMs);
    if (sweepHz + kNewSweepFallHz < sweepHz_) {
        if (windows_ > 0) lastSweep_ = {onTime_, windows_};
        onTimeSteps_.clear();
        onTime_ = windows_ = 0;
        latestStepHz_ = 0;
    }
    sweepHz_ = sweepHz;
    for (std::size_t i = 0; i < sent_.size(); ++i) {
        Retune& retune = sent_[i];
        if (retune.judged || now < retune.reachedAt + SweepTime(retune.span.highHz, retune.rateKHz))
            continue;
        Judge(retune, i + 1 < sent_.size() ? &sent_[i + 1] : nullptr);
    }
    CountWindows(point, sweepHz);
}

void StepCount::Judge(Retune& retune, const Retune* next) {
    retune.judged = true;
    std::string why = WhyLate(retune, next);
    retune.onTime = why.empty();
    if (retune.onTime) onTimeSteps_.insert(retune.hertz);
    lastJudgedHz_ = retune.hertz;
    lastJudgedWhy_ = std::move(why);
}

// Empty when the retune was on time.
std::string StepCount::WhyLate(const Retune& retune, const Retune* next) const {
    const SteadyTime heardFrom = retune.reachedAt + SweepTime(retune.span.lowHz, retune.rateKHz);
    const SteadyTime heardUntil = retune.reachedAt + SweepTime(retune.span.highHz, retune.rateKHz);
    if (retune.answer && !retune.answer->accepted)
        return "the radio refuses the frequency: " + retune.answer->refusal;
    // Morvane started, or the link came back, after the sweep had reached this step.
    if (retune.sentAt >= std::min(retune.reachedAt, heardFrom))
        return "the retune to " + Kilohertz(retune.hertz) + " left after the sweep had reached it";
    const std::optional<milliseconds> took =
        retune.answer ? std::chrono::duration_cast<milliseconds>(retune.answer->at - retune.sentAt)
                      : AnswerTime();
    if (!took) return "the radio did not answer the retune before the chirp";
    if (!retune.answer || retune.answer->at > heardFrom) {
        return "the radio answers in about " + DecimalText(took->count()) + " ms; each step is sent " +
               DecimalText(kLeadMs) + " ms ahead, so it arrives after the chirp";
    }
    if (next != nullptr && next->sentAt < heardUntil)
        return "each step is replaced by the next before its chirp has passed; "
               "a larger step or a slower rate would be heard";
    return {};
}

void StepCount::CountWindows(const SweepPoint& point, std::int64_t sweepHz) {
    const std::int64_t stepHz = std::int64_t{point.stepKHz} * 1000;
    // A step counts once the chirp has passed its passband. The sweep stops at
    // the top of the band, so a step whose passband reaches past the top has no
    // chirp to hear: at 500 kHz/s the 16 MHz step, whose window closes as it opens.
    const std::int64_t judgedUpTo =
        std::min<std::int64_t>(sweepHz, point.upperLimitHz) - span_.highHz;
    if (stepHz <= 0 || judgedUpTo < kBandBottomHz) return;
    windows_ = static_cast<int>((judgedUpTo - kBandBottomHz) / stepHz + 1);
    onTime_ = static_cast<int>(std::count_if(onTimeSteps_.begin(), onTimeSteps_.end(),
                                             [&](std::int64_t hz) { return hz <= judgedUpTo; }));
    const std::int64_t latest = kBandBottomHz + (windows_ - 1) * stepHz;
    if (latest == latestStepHz_) return;
    latestStepHz_ = latest;
    latestOnTime_ = onTimeSteps_.contains(latest);
    if (*latestOnTime_) {
        whyNot_.clear();
    } else {
        whyNot_ = lastJudgedHz_ == latest && !lastJudgedWhy_.empty()
                      ? lastJudgedWhy_
                      : "no retune reached the step at " + Kilohertz(latest) + " in time";
    }
}

std::optional<bool> StepCount::Judgement(std::int64_t hertz, SteadyTime reachedAt) const {
    for (const Retune& retune : sent_) {
        if (retune.hertz == hertz && retune.reachedAt == reachedAt && retune.judged)
            return retune.onTime;
    }
    return std::nullopt;
}

std::string StepCount::Text() const {
    if (windows_ == 0 && lastSweep_) {
        return "last sweep on time for " + DecimalText(lastSweep_->first) + " of " +
               DecimalText(lastSweep_->second) + " steps";
    }
    return "on time for " + DecimalText(onTime_) + " of " + DecimalText(windows_) + " steps";
}

}  // namespace morvane
