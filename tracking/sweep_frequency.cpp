// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/sweep_frequency.hpp"

#include "tracking/number_text.hpp"

namespace morvane {

const RateRow* FindRate(std::string_view rateText) {
    for (const RateRow& row : kRateTable) {
        if (rateText == row.text) return &row;
    }
    return nullptr;
}

std::string RateChoices() {
    std::string choices;
    for (const RateRow& row : kRateTable) choices += std::string(row.text) + ", ";
    return choices.substr(0, choices.size() - 2) + " kHz/s";
}

std::int32_t Frequency(std::string_view rateText, std::int32_t ctime, std::string_view separator) {
    const RateRow* row = FindRate(rateText);
    if (row == nullptr) return 0;
    const double rate = NumberFromText(rateText, separator, SettingField::Rate);
    std::int32_t frequency = RoundToInt32(rate * ctime, SettingField::Rate);
    if (frequency < kBandBottomHz) frequency = kBandBottomHz;
    // Past the top of the band the receiver waits at the bottom for the next sweep.
    if (frequency > row->upperLimitHz) frequency = kBandBottomHz;
    return frequency;
}

}  // namespace morvane
