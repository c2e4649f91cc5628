// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes into the number conversion. Input: the decimal separator, a
// line end, then the text (which may hold further line ends); an input without
// a line end is all text, read with ".".
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "tracking/number_text.hpp"

namespace {

using morvane::SettingField;
using morvane::TickFailure;

constexpr SettingField kField = SettingField::ChirpTime;

struct Input {
    std::string_view separator;
    std::string_view text;
};

Input Split(std::string_view data) {
    const std::size_t lineEnd = data.find('\n');
    if (lineEnd == std::string_view::npos) return {".", data};
    return {data.substr(0, lineEnd), data.substr(lineEnd + 1)};
}

[[noreturn]] void Fail(const Input& input, const std::string& what) {
    std::fprintf(stderr, "number conversion: %s\n  text \"%s\" separator \"%s\"\n", what.c_str(),
                 std::string(input.text).c_str(), std::string(input.separator).c_str());
    std::abort();
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Without the blanks around it and its sign.
std::string_view Unsigned(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.front() == '-' || text.front() == '+') text.remove_prefix(1);
    return text;
}

// Blanks around, a sign, then digits alone or digits with one separator among
// them. Where the separator holds digits too, only its first place can leave
// digits alone, as every other place leaves its non-digits behind.
bool HasNumberShape(std::string_view text, std::string_view separator) {
    const std::string_view number = Unsigned(text);
    std::string rest(number);
    if (const std::size_t at = rest.find(separator); at != std::string::npos)
        rest.erase(at, separator.size());
    return AllDigits(number) || AllDigits(rest);
}

std::optional<double> Convert(const Input& input) {
    try {
        const double value = morvane::NumberFromText(input.text, input.separator, kField);
        if (!std::isfinite(value)) Fail(input, "converted to a number that is not finite");
        return value;
    } catch (const TickFailure& failure) {
        if (failure.field() != kField) Fail(input, "the failure names another field");
        return std::nullopt;
    }
}

// Written out in full and read back, the number is the same double.
void CheckReadsBack(const Input& input, double value) {
    char buffer[400];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (written.ec != std::errc{}) Fail(input, "the number cannot be written out");
    const std::string text(buffer, written.ptr);
    if (morvane::NumberFromText(text, ".", kField) != value) Fail(input, "does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = Split(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const std::optional<double> value = Convert(input);
        if (!value) return 0;
        if (!HasNumberShape(input.text, input.separator)) Fail(input, "accepted a non-number");
        // The sign is the one written (reading back would not show it).
        const bool minus = input.text[input.text.find_first_not_of(" \t")] == '-';
        if (minus ? *value > 0 : *value < 0) Fail(input, "the sign changed");
        CheckReadsBack(input, *value);
    } catch (const std::exception& unexpected) {
        Fail(input, std::string("threw ") + unexpected.what());
    }
    return 0;
}
