// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Frequencies from here up have eight digits ("wide"); below, seven.
inline constexpr std::int32_t kWideFromHz = 10'000'000;

// How one tuning step turns a frequency into the one the radio is sent.
struct StepRow {
    int kHz;
    std::size_t keptDigitsNarrow;
    std::size_t keptDigitsWide;
    std::int64_t factor;
    // 1-based position of the digit that must be 0 or 5; 0 when there is no test.
    std::size_t testedNarrow;
    std::size_t testedWide;
};

inline constexpr std::array<StepRow, 3> kStepTable{{
    {50, 3, 4, 10'000, 3, 4},
    {100, 2, 3, 100'000, 0, 0},
    {500, 2, 3, 100'000, 2, 3},
}};

// The step of `kHz`, or nullptr when the table has none.
const StepRow* FindStep(double kHz);
// The steps there are, for messages: "50, 100, 500 kHz".
std::string StepChoices();

// The stepped frequency to send, as decimal text, or empty when this
// frequency lies between step windows, when the step is none of the table's,
// or when there is no frequency (0: the rate matched no row).
std::string Candidate(std::int32_t frequency, std::string_view stepText,
                      std::string_view separator);

}  // namespace morvane
