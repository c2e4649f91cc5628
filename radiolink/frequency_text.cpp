// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/frequency_text.hpp"

#include <algorithm>

#include "radiolink/hand_off.hpp"
#include "tracking/number_text.hpp"

namespace morvane {

std::string DisplayFrequencyText(std::int64_t hertz) {
    const bool negative = hertz < 0;
    // Unsigned, so that the most negative value has a magnitude too.
    const auto bits = static_cast<std::uint64_t>(hertz);
    const std::uint64_t magnitude = negative ? 0 - bits : bits;
    std::string text = DecimalText(static_cast<std::int64_t>(magnitude / 1'000'000));
    for (const std::uint64_t group : {magnitude / 1000 % 1000, magnitude % 1000}) {
        const std::string digits = DecimalText(static_cast<std::int64_t>(group));
        text += '.';
        text.append(3 - digits.size(), '0');
        text += digits;
    }
    return negative ? "-" + text : text;
}

std::optional<std::int64_t> HertzOfText(std::string_view digits) {
    // Ten digits cover every frequency a receiver tunes to, with room to spare.
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int64_t hertz = 0;
    for (const char c : digits) hertz = hertz * 10 + (c - '0');
    return hertz;
}

std::optional<std::int64_t> FrequencyOfCommand(std::string_view command) {
    if (!command.starts_with(kCommandPrefix)) return std::nullopt;
    return HertzOfText(command.substr(kCommandPrefix.size()));
}

}  // namespace morvane
