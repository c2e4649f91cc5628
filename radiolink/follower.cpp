// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/follower.hpp"

#include <cctype>
#include <utility>

#include "tracking/number_text.hpp"
#include "tracking/setting_check.hpp"
#include "tracking/sweep_position.hpp"
#include "tracking/sweep_frequency.hpp"

namespace morvane {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr auto kClockCheckInterval = std::chrono::seconds(60);

std::string Capitalised(std::string text) {
    if (!text.empty()) text.front() = static_cast<char>(std::toupper(text.front()));
    return text;
}

// When the sweep reaches `hertz`, seen from a tick at `now` that found it at
// `point`: clock and offset, without the lead. The band's bottom, handed off
// while the receiver waits past the top, is the next sweep's.
SteadyTime ReachedAt(std::int64_t hertz, const SweepPoint& point, SteadyTime now) {
    const std::int64_t rate = std::max<std::int32_t>(point.rateKHzPerS, 1);
    std::int64_t untilUs = hertz * 1000 / rate - std::int64_t{point.ctime - kLeadMs} * 1000;
    if (hertz == kBandBottomHz && rate * point.ctime > point.upperLimitHz)
        untilUs += std::int64_t{point.periodMs} * 1000;
    return now + microseconds(untilUs);
}

// "3:20": minutes and seconds, the seconds rounded up so that the count
// reaches 0:00 only as the sweep does.
std::string Countdown(std::int64_t untilMs) {
    const std::int64_t seconds = (untilMs + 999) / 1000;
    const std::string second = DecimalText(seconds % 60);
    return DecimalText(seconds / 60) + ":" + (second.size() < 2 ? "0" : "") + second;
}

// Where the sweep is on the air, seen from a tick that found it at `point`
// (the lead taken off): while the receiver is parked at the band's bottom,
// how long until the sweep reaches it; during the sweep, its frequency.
std::string WhereTheSweepIs(const SweepPoint& point, std::string_view separator) {
    const std::int64_t rate = std::max<std::int32_t>(point.rateKHzPerS, 1);
    const std::int64_t sinceBegan = std::int64_t{point.ctime} - kLeadMs;
    const std::int64_t bottomAt = kBandBottomHz / rate;  // ms into the sweep
    const std::int64_t hertz = rate * sinceBegan;
    if (hertz > point.upperLimitHz)
        return "sweep in " + Countdown(point.periodMs - sinceBegan + bottomAt);
    if (hertz < kBandBottomHz) return "sweep in " + Countdown(bottomAt - sinceBegan);
    return "sweep at " + ReadoutText(static_cast<std::int32_t>(hertz / 1000), separator) + " MHz";
}

}  // namespace

Follower::Follower(MainFields fields, RadioLink& link, FollowerClock clock,
                   FollowerOptions options)
    : fields_(std::move(fields)),
      link_(link),
      handOff_(link),
      clock_(std::move(clock)),
      options_(std::move(options)),
      report_(options_.firstReport) {}

int Follower::FirstTickInMs() const {
    return MillisecondsToNextTick(clock_.timeOfDay().millisecond, kTickIntervalMs);
}

FollowerView Follower::Tick() {
    const SteadyTime now = clock_.steady();
    const ClockReading reading = clock_.timeOfDay();
    // A stalled link still takes the step the sweep is on, to probe with.
    handOff_.SetLinkUp(report_.state == LinkState::Connected || report_.state == LinkState::Stalled);
    const TickOutcome outcome = RunTick(fields_, reading, options_.separator, handOff_, Lateness());
    link_.NoteTick();
    problem_ = outcome.problem;
    CheckSettings();
    sweepText_ = outcome.sweep ? WhereTheSweepIs(*outcome.sweep, options_.separator) : "";
    NoteSteps(outcome, now);
    lastGapMs_ = MillisecondsToNextTick(options_.timing, outcome.ctime, reading.millisecond, lastGapMs_);
    armedCtime_ = outcome.ctime ? std::optional(*outcome.ctime + lastGapMs_) : std::nullopt;
    ShowConnection();
    FollowerView view = View();
    view.nextTickMs = lastGapMs_;
    view.clock = CheckClock(now);
    return view;
}

// The settings are checked again only when one of them changed: they are
// typed now and then, and the tick comes 20 to 40 times a second.
void Follower::CheckSettings() {
    SettingsChecked now{fields_.Combo_period, fields_.chirptime, fields_.Combo_rate, fields_.Slider1};
    if (checked_ == now) return;
    marks_ = SettingMarks(fields_, options_.separator);
    checked_ = std::move(now);
}

// A tick that fires late still sends the window it was armed for while its
// retune can reach the radio ahead of the sweep: within the lead, less the
// time the radio takes to answer.
std::optional<LateTick> Follower::Lateness() const {
    if (!armedCtime_) return std::nullopt;
    const auto answer = steps_.AnswerTime().value_or(std::chrono::milliseconds(0));
    return LateTick{*armedCtime_, kLeadMs - static_cast<int>(answer.count())};
}

void Follower::NoteSteps(const TickOutcome& outcome, SteadyTime now) {
    const std::optional<std::int64_t> sent = handOff_.TakeSent();
    if (!outcome.sweep) return;
    if (sent) {
        const SteadyTime reachedAt = ReachedAt(*sent, *outcome.sweep, now);
        steps_.Sent(*sent, now, reachedAt, outcome.sweep->rateKHzPerS);
        ListenAt(*sent, *outcome.sweep, now, reachedAt);
    }
    steps_.SweepAt(*outcome.sweep, now);
    heard_.Finish(steps_, now);
}

// Plans the meter's reads around the step just sent, clear of the next
// step's retune, and keeps the step for the log and the map.
void Follower::ListenAt(std::int64_t hertz, const SweepPoint& point, SteadyTime now,
                        SteadyTime reachedAt) {
    const SteadyTime nextRetuneAt = reachedAt +
                                    SweepTime(std::int64_t{point.stepKHz} * 1000, point.rateKHzPerS) -
                                    milliseconds(kLeadMs);
    const MeterPlan plan =
        PlanMeterReads(reachedAt, point.rateKHzPerS, span_, clockAllowance_, nextRetuneAt);
    // A step whose chirp cannot have passed before the next retune has no peak
    // to read, and its floor alone says nothing.
    const bool metered = options_.meterRead && !meterMissing_ && plan.peakFrom < plan.leaveBy;
    if (metered) link_.Listen(hertz, plan);
    HeardStep step;
    step.reachedUtcMs =
        clock_.utcMs() + std::chrono::duration_cast<milliseconds>(reachedAt - now).count();
    step.periodS = NumberFromText(fields_.Combo_period, options_.separator, SettingField::Period);
    step.chirptimeS = NumberFromText(fields_.chirptime, options_.separator, SettingField::ChirpTime);
    step.rateKHzPerS = point.rateKHzPerS;
    step.stepKHz = point.stepKHz;
    step.offsetMs = Offset(fields_.Slider1);
    step.hertz = hertz;
    step.mode = mode_;
    heard_.Sent(std::move(step), reachedAt, plan, metered);
}

FollowerView Follower::View() const {
    FollowerView view;
    view.problem = problem_;
    view.marks = marks_;
    view.stepCount = steps_.Text();
    view.sweep = sweepText_;
    view.progress = view.sweep.empty() ? view.stepCount : view.stepCount + "; " + view.sweep;
    view.linkDetail = report_.detail;
    view.meter = MeterText();
    view.meterMissing = meterMissing_.has_value();
    view.statusTip = TipHead() + "\n" + view.progress;
    if (!view.meter.empty()) view.statusTip += "\n" + view.meter;
    if (const auto notFollowing = NotFollowing())
        view.statusTip += "\n" + *notFollowing;
    else if (steps_.Refusal())
        view.statusTip += "\nthe radio refuses the frequency: " + *steps_.Refusal();
    else if (!steps_.WhyNot().empty())
        view.statusTip += "\n" + steps_.WhyNot();
    return view;
}

// What the status line says of the link, in more words; a link that is open
// to a radio that counts as not connected must not read as connected there.
std::string Follower::TipHead() const {
    const std::string why = LookNow().notConnected;
    return why.empty() ? report_.detail : "not connected: " + why;
}

// A setting the last tick could not use: the radio is not moved until it is put right.
std::optional<std::string> Follower::NotFollowing() const {
    if (!problem_) return std::nullopt;
    return "Not following: the " + std::string(SettingName(problem_->field)) + " " +
           problem_->reason;
}

void Follower::OnLinkState(const LinkReport& report) {
    const bool newConversation = report.state == LinkState::Connected &&
                                 report_.state != LinkState::Connected &&
                                 report_.state != LinkState::Stalled;
    if (newConversation) acceptedSinceConnected_ = false;
    report_ = report;
    // Whatever was sent before may not have reached the radio: once the link is
    // back, the first tick sends the step the sweep is on.
    if (report_.state != LinkState::Connected) fields_.Text6 = kLinkDownMark;
    ShowConnection();
}

void Follower::OnItemValue(LinkItem item, std::string text) {
    ItemValueArrived(fields_, item, std::move(text));
    ShowConnection();
}

void Follower::OnTuneAnswer(const TuneAnswer& answer) {
    // A call that ended unanswered leaves the retune unanswered: late, not refused.
    if (!answer.answered) return;
    TuneAnswer taken = answer;
    // Under Wine a server that reports the new frequency before it acknowledges
    // the retune has it reported as not processed: the radio's own word that it
    // is on the frequency asked for says it was taken.
    if (!taken.accepted && fields_.Text4 == DecimalText(taken.hertz)) {
        taken.accepted = true;
        taken.refusal.clear();
    }
    steps_.Answered(taken);
    acceptedSinceConnected_ = acceptedSinceConnected_ || taken.accepted;
    ShowConnection();
}

void Follower::OnMeterReading(const MeterReading& reading) {
    heard_.Heard(reading);
    heard_.Finish(steps_, clock_.steady());
}

void Follower::OnRadioMode(const RadioMode& mode) {
    mode_ = mode.mode;
    span_ = SpanForMode(mode.mode, mode.passbandHz);
    steps_.ListenOver(span_);
}

void Follower::OnMeterMissing(const std::string& why) {
    meterMissing_ = why;
}

// How the map is fed, for the status's tooltip; nothing where no meter is read.
std::string Follower::MeterText() const {
    if (!options_.meterRead) return {};
    if (meterMissing_) return *meterMissing_ + ": the map stays empty";
    return "S-meter read at each step the radio is on in time; " + span_.text;
}

void Follower::ShowConnection() {
    Look look = LookNow();
    fields_.text2Background = look.colour;
    fields_.status = std::move(look.status);
}

// Red while retunes cannot get through; on Linux amber while they get
// through but the radio is not on the step when the chirp comes, or a
// setting keeps the sweep from being followed; green otherwise.
Follower::Look Follower::LookNow() const {
    const bool amber = options_.colours == ColourScheme::WithAmber;
    if (report_.state != LinkState::Connected) return {kNotConnectedColour, report_.status};
    const std::string notConnected =
        amber ? "Not connected: the radio reports no frequency" : std::string(kNotConnectedStatus);
    if (fields_.Text4.empty()) {
        return {kNotConnectedColour, notConnected, "the radio answers, but reports no frequency"};
    }
    const std::optional<std::string>& refusal = steps_.Refusal();
    // In the system's two colours a server that refuses every frequency is as
    // good as none: connected only once it has taken one.
    if (!amber && refusal) {
        return {kNotConnectedColour, notConnected, "the radio refuses the frequency"};
    }
    if (!amber && !acceptedSinceConnected_) {
        return {kNotConnectedColour, notConnected,
                "the radio has taken no frequency since the link opened"};
    }
    if (!amber) return {kConnectedColour, report_.status};
    if (const auto notFollowing = NotFollowing()) return {kLateColour, *notFollowing};
    if (refusal) return {kLateColour, "The radio refuses the frequency: " + *refusal};
    if (steps_.LatestOnTime() == false) return {kLateColour, Capitalised(steps_.WhyNot())};
    // The step count has a line of its own below.
    return {kConnectedColour, report_.status};
}

std::optional<ClockTrust> Follower::CheckClock(SteadyTime now) {
    if (clockCheckedAt_ && now - *clockCheckedAt_ < kClockCheckInterval) return std::nullopt;
    clockCheckedAt_ = now;
    const std::optional<ClockStatus> status = clock_.status();
    if (!status) return std::nullopt;
    // An unknown clock may be as far off as the largest allowance.
    clockAllowance_ = status->known ? microseconds(status->estimatedErrorUs) : kLargestClockAllowance;
    return TrustIn(*status);
}

}  // namespace morvane
