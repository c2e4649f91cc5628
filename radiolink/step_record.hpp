// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>

#include "radiolink/radio_link.hpp"
#include "tracking/listening.hpp"
#include "tracking/tick.hpp"

namespace morvane {

// Counts the steps of the sweep in progress that the radio was on time for.
// A step was on time when the radio took its retune before the chirp came
// into the passband, and the next retune did not take it away before the
// chirp had passed. In USB the chirp is in the passband from 300 Hz to
// 2 700 Hz above the step, 300 Hz / rate to 2 700 Hz / rate after the sweep
// reaches it; in another mode where its span puts it. Every step window the sweep opens counts, those no
// retune reached included, so that a radio that refuses, answers late or is
// passed over by late ticks shows as what it is.
class StepCount {
  public:
    // A retune for `hertz` left at `sentAt`; the sweep reaches `hertz` at `reachedAt`.
    void Sent(std::int64_t hertz, SteadyTime sentAt, SteadyTime reachedAt, std::int32_t rateKHz);
    // Where the radio hears the chirp from now on, by its mode.
    void ListenOver(const ListeningSpan& span) { span_ = span; }
    void Answered(const TuneAnswer& answer);
    // Where the sweep stands at `now`: judges every step whose chirp has passed.
    void SweepAt(const SweepPoint& point, SteadyTime now);

    int OnTime() const { return onTime_; }
    int Windows() const { return windows_; }
    // Whether the latest step judged was on time; nullopt before the first.
    std::optional<bool> LatestOnTime() const { return latestOnTime_; }
    // Why the latest step was not on time, in the user's words.
    const std::string& WhyNot() const { return whyNot_; }
    // Why the radio refused the latest retune it answered, if it did.
    const std::optional<std::string>& Refusal() const { return refusal_; }
    // How long the radio takes to answer a retune, as measured lately.
    std::optional<std::chrono::milliseconds> AnswerTime() const;
    // Whether the retune for `hertz` that the sweep reaches at `reachedAt` was
    // on time; nullopt until it is judged, or once it is forgotten.
    std::optional<bool> Judgement(std::int64_t hertz, SteadyTime reachedAt) const;
    // "on time for 112 of 112 steps", or of the last sweep while none is judged yet.
    std::string Text() const;

  private:
    struct Retune {
        std::int64_t hertz;
        SteadyTime sentAt, reachedAt;
        std::int32_t rateKHz;
        ListeningSpan span;
        std::optional<TuneAnswer> answer;
        bool judged = false;
        bool onTime = false;
    };
    void Judge(Retune& retune, const Retune* next);
    std::string WhyLate(const Retune& retune, const Retune* next) const;
    void CountWindows(const SweepPoint& point, std::int64_t sweepHz);

    ListeningSpan span_ = SpanForMode("USB", 0);
    std::deque<Retune> sent_;  // the latest retunes, judged or not
    std::set<std::int64_t> onTimeSteps_;
    std::int64_t sweepHz_ = 0;  // how far the sweep had run at the last tick
    std::int64_t latestStepHz_ = 0;
    std::int64_t lastJudgedHz_ = 0;
    std::string lastJudgedWhy_;
    int onTime_ = 0, windows_ = 0;
    std::optional<std::pair<int, int>> lastSweep_;  // on time, windows
    std::optional<bool> latestOnTime_;
    std::string whyNot_;
    std::optional<std::string> refusal_;
    std::deque<std::chrono::milliseconds> answerTimes_;
};

}  // namespace morvane
