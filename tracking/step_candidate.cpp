// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/step_candidate.hpp"

#include "tracking/number_text.hpp"

namespace morvane {
namespace {

// The leading digits of `digits` read back as a number.
std::int64_t LeadingDigits(const std::string& digits, std::size_t count) {
    std::int64_t value = 0;
    for (std::size_t i = 0; i < count && i < digits.size(); ++i)
        value = value * 10 + (digits[i] - '0');
    return value;
}

}  // namespace

const StepRow* FindStep(double kHz) {
    for (const StepRow& row : kStepTable) {
        if (kHz == row.kHz) return &row;
    }
    return nullptr;
}

std::string StepChoices() {
    std::string choices;
    for (const StepRow& row : kStepTable) choices += DecimalText(row.kHz) + ", ";
    return choices.substr(0, choices.size() - 2) + " kHz";
}

std::string Candidate(std::int32_t frequency, std::string_view stepText,
                      std::string_view separator) {
    const StepRow* row = FindStep(NumberFromText(stepText, separator, SettingField::Step));
    // No frequency means no sweep to follow: never send the radio to 0 Hz.
    if (row == nullptr || frequency <= 0) return {};
    const bool wide = frequency >= kWideFromHz;
    const std::string digits = DecimalText(frequency);
    const std::size_t kept = wide ? row->keptDigitsWide : row->keptDigitsNarrow;
    std::string rebuilt = DecimalText(LeadingDigits(digits, kept) * row->factor);
    const std::size_t tested = wide ? row->testedWide : row->testedNarrow;
    if (tested == 0) return rebuilt;
    if (tested > rebuilt.size()) return {};
    const char digit = rebuilt[tested - 1];
    return digit == '0' || digit == '5' ? rebuilt : std::string{};
}

}  // namespace morvane
