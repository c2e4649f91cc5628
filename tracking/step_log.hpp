// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// One step of the sweep as the radio heard it: a row of the step log and a
// cell of the propagation map.
struct HeardStep {
    std::int64_t reachedUtcMs = 0;  // when the sweep reached the step: ms since 1970, UTC
    double periodS = 0;             // the settings the step was followed with
    double chirptimeS = 0;
    std::int32_t rateKHzPerS = 0;
    std::int32_t stepKHz = 0;
    std::int32_t offsetMs = 0;
    std::int64_t hertz = 0;          // the step's frequency
    std::optional<double> floorDb;   // the S-meter before the chirp could arrive, dB over S9
    std::optional<double> peakDb;    // its highest reading after the chirp had passed
    bool onTime = false;             // the radio was on the step while its chirp passed
    std::string mode;                // the radio's mode: "USB", "LSB", "AM", "CW"...
    bool operator==(const HeardStep&) const = default;
};

// The log's first line: the column names.
std::string StepLogHeader();
// One row as a line of the log, without its line end. Numbers are written with
// "." whatever the locale; a level not read is an empty field.
std::string StepLogLine(const HeardStep& row);
// A line of the log read back; nullopt for the header, a blank line or one
// that is not a row (a torn last line, a hand-edited one).
std::optional<HeardStep> ParseStepLogLine(std::string_view line);

// "2026-12-07T19:20:31.123Z": ISO 8601, UTC, with milliseconds.
std::string UtcTimeText(std::int64_t utcMs);

}  // namespace morvane
