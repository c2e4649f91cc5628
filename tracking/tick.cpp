// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/tick.hpp"

#include <exception>

#include "tracking/number_text.hpp"
#include "tracking/step_candidate.hpp"
#include "tracking/sweep_frequency.hpp"

namespace morvane {
namespace {

// Long enough to recognise what was typed, short enough for a tooltip.
constexpr std::size_t kQuotedTextLength = 24;

std::string Quoted(std::string_view text) {
    if (text.size() <= kQuotedTextLength) return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, kQuotedTextLength)) + "...\"";
}

// A rate or step text that converts but that no list offers: the tick goes on,
// and the radio is sent nothing, which the user must be told.
std::optional<SettingProblem> SettingNotInTheLists(const MainFields& fields,
                                                   std::string_view separator) {
    if (FindRate(fields.Combo_rate) == nullptr) {
        return SettingProblem{SettingField::Rate,
                              Quoted(fields.Combo_rate) + " is not one of " + RateChoices()};
    }
    if (FindStep(NumberFromText(fields.Combo_step, separator, SettingField::Step)) == nullptr) {
        return SettingProblem{SettingField::Step,
                              Quoted(fields.Combo_step) + " is not one of " + StepChoices()};
    }
    return std::nullopt;
}

// The sweep's settings as the tables have them, for judging the steps.
std::optional<SweepPoint> PointOf(const MainFields& fields, std::int32_t ctime,
                                  std::string_view separator) {
    const RateRow* rate = FindRate(fields.Combo_rate);
    const StepRow* step = FindStep(NumberFromText(fields.Combo_step, separator, SettingField::Step));
    if (rate == nullptr || step == nullptr) return std::nullopt;
    const double periodMs = NumberFromText(fields.Combo_period, separator, SettingField::Period) * 1000.0;
    return SweepPoint{ctime, RoundToInt32(periodMs, SettingField::Period), rate->kHzPerSecond,
                      rate->upperLimitHz, step->kHz};
}

// The step the radio is to be on; for a late tick whose window has closed by
// now, the step of the window it was armed for while that can still be reached.
std::string CandidateOf(const MainFields& fields, std::int32_t frequency, std::int32_t ctime,
                        const std::optional<LateTick>& late, std::string_view separator) {
    std::string candidate = Candidate(frequency, fields.Combo_step, separator);
    if (!candidate.empty() || !late || late->armedCtime >= ctime ||
        ctime - late->armedCtime >= late->reachableMs) {
        return candidate;
    }
    return Candidate(Frequency(fields.Combo_rate, late->armedCtime, separator), fields.Combo_step,
                     separator);
}

}  // namespace

TickOutcome RunTick(MainFields& fields, const ClockReading& clock, std::string_view separator,
                    HandOff& handOff, std::optional<LateTick> late) {
    TickOutcome outcome;
    // The time of day comes first: it needs no setting, and a clock that stops
    // while a setting cannot be used would look like a program that hangs.
    fields.Text1 = TimeOfDayText(clock);
    try {
        const std::int16_t offset = Offset(fields.Slider1);
        fields.Text7 = DecimalText(offset);
        const std::int32_t day = Day(clock);
        const std::int32_t ctime1 = PositionInPeriod(day, fields.Combo_period, separator);
        const std::int32_t ctime =
            TimeSinceSweepBegan(ctime1, fields.chirptime, fields.Combo_period, offset, separator);
        outcome.ctime = ctime;
        fields.Text3 = ReadoutText(ctime, separator);
        fields.Text5 = ReadoutText(ctime1, separator);
        const std::int32_t frequency = Frequency(fields.Combo_rate, ctime, separator);
        const std::string candidate = CandidateOf(fields, frequency, ctime, late, separator);
        outcome.problem = SettingNotInTheLists(fields, separator);
        outcome.sweep = PointOf(fields, ctime, separator);
        try {
            handOff.HandOffCandidate(fields, candidate);
        } catch (const std::exception&) {
            // A link that fails ends the tick without a word; the next tick starts afresh.
        }
    } catch (const TickFailure& failure) {
        // The readouts written so far keep their new values; nothing is handed off.
        outcome.problem = SettingProblem{failure.field(), failure.what()};
    }
    return outcome;
}

}  // namespace morvane
