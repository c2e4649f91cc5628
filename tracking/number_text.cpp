// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/number_text.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace morvane {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Rewrites "[-]digits[<separator>digits]" into the form from_chars reads,
// or returns an empty string when the text is not of that form.
std::string CanonicalNumber(std::string_view text, std::string_view separator) {
    std::string out;
    out.reserve(text.size());
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        if (text.front() == '-') out.push_back('-');
        text.remove_prefix(1);
    }
    bool seenSeparator = false;
    bool seenDigit = false;
    while (!text.empty()) {
        if (IsDigit(text.front())) {
            out.push_back(text.front());
            seenDigit = true;
            text.remove_prefix(1);
        } else if (!seenSeparator && !separator.empty() && text.starts_with(separator)) {
            out.push_back('.');
            seenSeparator = true;
            text.remove_prefix(separator.size());
        } else {
            return {};
        }
    }
    return seenDigit ? out : std::string{};
}

}  // namespace

std::string_view SettingName(SettingField field) {
    switch (field) {
        case SettingField::Offset:
            return "offset";
        case SettingField::Clock:
            return "clock";
        case SettingField::Period:
            return "period";
        case SettingField::ChirpTime:
            return "chirp time";
        case SettingField::Rate:
            return "rate";
        case SettingField::Step:
            return "step";
    }
    return "setting";
}

double NumberFromText(std::string_view text, std::string_view separator, SettingField field) {
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty()) throw TickFailure(field, "is empty");
    const std::string canonical = CanonicalNumber(trimmed, separator);
    if (canonical.empty()) throw TickFailure(field, "is not a number");
    double value = 0;
    const auto [end, error] =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Out of range below the smallest double is as good as zero; above the largest it is not.
        const bool belowOne = canonical.find_first_not_of("-0") == canonical.find('.');
        if (!belowOne) throw TickFailure(field, "is too large");
        return 0.0;
    }
    if (error != std::errc{} || end != canonical.data() + canonical.size()) {
        throw TickFailure(field, "is not a number");
    }
    return value;
}

std::int32_t RoundToInt32(double value, SettingField field) {
    if (!std::isfinite(value)) throw TickFailure(field, "overflows");
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        throw TickFailure(field, "overflows");
    }
    return static_cast<std::int32_t>(rounded);
}

std::int16_t NarrowToInt16(std::int64_t value, SettingField field) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        throw TickFailure(field, "overflows");
    }
    return static_cast<std::int16_t>(value);
}

std::string DecimalText(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string ReadoutText(std::int32_t milliseconds, std::string_view separator) {
    // Tenths of a second, halves rounded away from zero as printed figures usually are.
    const std::int64_t ms = milliseconds;
    const std::int64_t tenths = ms >= 0 ? (ms + 50) / 100 : -((-ms + 50) / 100);
    const std::int64_t magnitude = tenths < 0 ? -tenths : tenths;
    // A negative time keeps its sign when it rounds to nothing: -0.0.
    std::string text = ms < 0 ? "-" : "";
    text += DecimalText(magnitude / 10);
    text += separator;
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

}  // namespace morvane
