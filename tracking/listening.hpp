// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Where, around the frequency the radio is tuned to, its mode lets it hear the
// chirp: from lowHz to highHz relative to that frequency.
struct ListeningSpan {
    std::int64_t lowHz = 300;
    std::int64_t highHz = 2'700;
    std::string text = "USB: 300 to 2 700 Hz above the step";  // for the tooltip
    bool operator==(const ListeningSpan&) const = default;
};

// The span for the radio's mode ("USB", "LSB", "AM", "CW", "PKTUSB"...) and
// passband: above the frequency in the upper sidebands, below it in the lower,
// around it otherwise. A passband of 0 (the mode's default) counts as 2 400 Hz.
ListeningSpan SpanForMode(std::string_view mode, std::int64_t passbandHz);

// The longest path delay a sounder's chirp is allowed to take to the receiver.
inline constexpr std::chrono::milliseconds kLongestPathDelay{40};
// Beyond this the clock's own error estimate says nothing about where the chirp is.
inline constexpr std::chrono::microseconds kLargestClockAllowance{20'000};

using MeterTime = std::chrono::steady_clock::time_point;

// When the S-meter may be read around one step: its floor before floorBy, the
// earliest the chirp can come into the passband; its peak from peakFrom, the
// latest it can have left it, until leaveBy, when the next step's retune is due.
struct MeterPlan {
    MeterTime floorBy;
    MeterTime peakFrom;
    MeterTime leaveBy;
    bool operator==(const MeterPlan&) const = default;
};

// The plan for the step the sweep reaches at `reachedAt` (by the clock, without
// the lead), at `rateKHz`, heard over `span`, with the clock off by up to
// `clockError` either way and the next retune due at `nextRetuneAt`.
MeterPlan PlanMeterReads(MeterTime reachedAt, std::int32_t rateKHz, const ListeningSpan& span,
                         std::chrono::microseconds clockError, MeterTime nextRetuneAt);

// How long the sweep takes to cover `hertz` at `rateKHz` (kHz/s, so Hz per ms).
std::chrono::microseconds SweepTime(std::int64_t hertz, std::int32_t rateKHz);

// Whether a read that takes `readTime` and starts at `now` ends by `deadline`.
bool ReadFits(MeterTime now, std::chrono::microseconds readTime, MeterTime deadline);

}  // namespace morvane
