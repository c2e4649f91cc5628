// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/setting_check.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tracking/number_text.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/sweep_position.hpp"
#include "tracking/tick.hpp"

namespace morvane {
namespace {

constexpr std::int64_t kDayMs = 86'400'000;
constexpr std::int64_t kShortestPeriodS = 60;
constexpr std::int64_t kLongestPeriodS = 1800;

// The settings as a tick computes with them.
struct Sweep {
    std::int64_t periodMs;
    std::int64_t chirpMs;
    std::int64_t offsetMs;
    const RateRow* rate;  // nullptr: no list offers it
};

Sweep ReadSweep(const MainFields& fields, std::string_view separator) {
    const auto ms = [separator](const std::string& text, SettingField field) {
        return RoundToInt32(NumberFromText(text, separator, field) * 1000.0, field);
    };
    return {ms(fields.Combo_period, SettingField::Period),
            ms(fields.chirptime, SettingField::ChirpTime), Offset(fields.Slider1),
            FindRate(fields.Combo_rate)};
}

// Thousandths as decimal text, trailing zeros dropped: 467200 -> "467.2".
std::string ThousandthsText(std::int64_t thousandths, std::string_view separator) {
    const std::int64_t magnitude = thousandths < 0 ? -thousandths : thousandths;
    const std::string whole = (thousandths < 0 ? "-" : "") + DecimalText(magnitude / 1000);
    std::string fraction = DecimalText(1000 + magnitude % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    return fraction.empty() ? whole : whole + std::string(separator) + fraction;
}

std::string Seconds(std::int64_t ms, std::string_view separator) {
    return ThousandthsText(ms, separator) + " s";
}

// To the nearest kHz: the last millisecond's 19 999 900 Hz is "20 MHz".
std::string Megahertz(std::int64_t hertz, std::string_view separator) {
    return ThousandthsText((hertz + 500) / 1000, separator) + " MHz";
}

// The highest frequency in the band that some moment of the period gives, if
// any. Either side of the chirp time the time since the sweep began grows with
// the moment, so each side's first and last moments bound its frequencies.
std::optional<std::int64_t> TopInBand(const Sweep& sweep) {
    const std::int64_t first = sweep.periodMs > kDayMs ? kLeadMs : 0;
    const std::int64_t last = std::min(sweep.periodMs - 1, kDayMs + kLeadMs - 1);
    const std::int64_t chirp = sweep.chirpMs;
    std::optional<std::int64_t> top;
    const auto take = [&](std::int64_t sinceFirst, std::int64_t sinceLast) {
        // kHz/s is Hz/ms.
        const std::int64_t lowest = (sinceFirst + sweep.offsetMs) * sweep.rate->kHzPerSecond;
        const std::int64_t highest = (sinceLast + sweep.offsetMs) * sweep.rate->kHzPerSecond;
        if (highest <= kBandBottomHz || lowest > sweep.rate->upperLimitHz) return;
        top = std::max(top.value_or(0), std::min<std::int64_t>(highest, sweep.rate->upperLimitHz));
    };
    // Before the chirp time the running sweep began in the previous period.
    if (first < chirp)
        take(sweep.periodMs + first - chirp, sweep.periodMs + std::min(last, chirp - 1) - chirp);
    if (last >= chirp) take(std::max(first, chirp) - chirp, last - chirp);
    return top;
}

// The whole-second period nearest `periodMs` that a sounder may have and the day divides.
std::int64_t NearestDayDivisorMs(std::int64_t periodMs) {
    std::int64_t best = kShortestPeriodS * 1000;
    for (std::int64_t seconds = kShortestPeriodS; seconds <= kLongestPeriodS; ++seconds) {
        const std::int64_t candidate = seconds * 1000;
        if (kDayMs % candidate == 0 && std::abs(candidate - periodMs) < std::abs(best - periodMs))
            best = candidate;
    }
    return best;
}

std::string PeriodReason(const Sweep& sweep, std::string_view separator) {
    const std::string period = Seconds(sweep.periodMs, separator);
    if (sweep.periodMs < kShortestPeriodS * 1000 || sweep.periodMs > kLongestPeriodS * 1000)
        return period + " is outside 60 s to 30 min";
    if (kDayMs % sweep.periodMs == 0) return {};
    return period + " does not divide the day's 86 400 s, so the sweep jumps at midnight; " +
           Seconds(NearestDayDivisorMs(sweep.periodMs), separator) + " does";
}

std::string AtRate(const Sweep& sweep) {
    return "at " + std::string(sweep.rate->text) + " kHz/s the sweep ";
}

std::string ChirpReason(const Sweep& sweep, const std::optional<std::int64_t>& top,
                        std::string_view separator) {
    std::string reason = Seconds(sweep.chirpMs, separator) + " is outside the " +
                         Seconds(sweep.periodMs, separator) + " period";
    if (sweep.rate != nullptr) {
        reason += ": " + AtRate(sweep) +
                  (top ? "tops out at " + Megahertz(*top, separator)
                       : "never takes the radio off " + Megahertz(kBandBottomHz, separator));
    }
    const std::int64_t inPeriod = (sweep.chirpMs % sweep.periodMs + sweep.periodMs) % sweep.periodMs;
    return reason + "; " + Seconds(inPeriod, separator) + " gives the whole sweep";
}

void AddMark(std::vector<SettingProblem>& marks, SettingField field, const std::string& reason) {
    if (reason.empty()) return;
    if (!marks.empty() && marks.back().field == field) {
        marks.back().reason += "; " + reason;
        return;
    }
    marks.push_back({field, reason});
}

std::vector<SettingProblem> MarksOf(const Sweep& sweep, std::string_view separator) {
    std::vector<SettingProblem> marks;
    AddMark(marks, SettingField::Period, PeriodReason(sweep, separator));
    if (sweep.periodMs <= 0) return marks;  // no moment of the period to speak of
    const std::optional<std::int64_t> top = sweep.rate ? TopInBand(sweep) : std::nullopt;
    const bool chirpInPeriod = sweep.chirpMs >= 0 && sweep.chirpMs < sweep.periodMs;
    if (!chirpInPeriod) {
        marks.push_back({SettingField::ChirpTime, ChirpReason(sweep, top, separator)});
    } else if (sweep.rate && !top) {
        AddMark(marks, SettingField::Period,
                AtRate(sweep) + "never takes the radio off " + Megahertz(kBandBottomHz, separator));
    }
    return marks;
}

// Hands nothing to any radio: for computing what a tick would make of the fields.
class DropCandidate final : public HandOff {
  public:
    void HandOffCandidate(MainFields&, const std::string&) override {}
};

}  // namespace

std::vector<SettingProblem> SettingMarks(const MainFields& fields, std::string_view separator) {
    try {
        return MarksOf(ReadSweep(fields, separator), separator);
    } catch (const TickFailure&) {
        return {};
    }
}

std::optional<SettingProblem> FirstMark(const MainFields& fields, std::string_view separator) {
    MainFields scratch = fields;
    DropCandidate dropped;
    if (auto problem = RunTick(scratch, ClockReading{}, separator, dropped).problem) return problem;
    const std::vector<SettingProblem> marks = SettingMarks(fields, separator);
    if (marks.empty()) return std::nullopt;
    return marks.front();
}

}  // namespace morvane
