// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/step_log.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <system_error>
#include <type_traits>

namespace morvane {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::size_t kFieldCount = 11;

// Rounds towards minus infinity, so that a time before 1970 falls on its own day.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// Days since 1970-01-01 to the proleptic Gregorian date and back (H. Hinnant's
// algorithms): the C library's gmtime_r and timegm are missing on Windows.
CivilDate CivilFromDays(std::int64_t days) {
    days += 719'468;
    const std::int64_t era = FloorDiv(days, 146'097);
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
    const auto day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t DaysFromCivil(CivilDate date) {
    const std::int64_t year = date.year - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const int shiftedMonth = date.month > 2 ? date.month - 3 : date.month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + date.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

void AppendPadded(std::string& out, std::int64_t value, int width) {
    std::array<char, 24> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    for (auto length = end - digits.data(); length < width; ++length) out.push_back('0');
    out.append(digits.data(), end);
}

// Shortest text that reads back as the same double, "." whatever the locale.
void AppendShortest(std::string& out, double value) {
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), end);
}

// A level not read, or one no number can stand for, is an empty field.
void AppendLevel(std::string& out, const std::optional<double>& level) {
    if (!level || !std::isfinite(*level)) return;
    std::array<char, 400> text{};  // a finite double in fixed notation fits in 400
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), *level, std::chars_format::fixed, 1);
    out.append(text.data(), end);
}

// A comma or a line break in the mode would tear the row apart.
void AppendMode(std::string& out, std::string_view mode) {
    for (const char c : mode) out.push_back(c == ',' || c == '\n' || c == '\r' ? ' ' : c);
}

}  // namespace

std::string UtcTimeText(std::int64_t utcMs) {
    const std::int64_t days = FloorDiv(utcMs, kMsPerDay);
    const std::int64_t msOfDay = utcMs - days * kMsPerDay;
    const CivilDate date = CivilFromDays(days);
    std::string out;
    AppendPadded(out, date.year, 4);
    out.push_back('-');
    AppendPadded(out, date.month, 2);
    out.push_back('-');
    AppendPadded(out, date.day, 2);
    out.push_back('T');
    AppendPadded(out, msOfDay / 3'600'000, 2);
    out.push_back(':');
    AppendPadded(out, msOfDay / 60'000 % 60, 2);
    out.push_back(':');
    AppendPadded(out, msOfDay / 1000 % 60, 2);
    out.push_back('.');
    AppendPadded(out, msOfDay % 1000, 3);
    out.push_back('Z');
    return out;
}

std::string StepLogHeader() {
    return "time_utc,period_s,chirptime_s,rate_khz_per_s,step_khz,offset_ms,frequency_hz,"
           "floor_db,peak_db,on_time,mode";
}

std::string StepLogLine(const StepRow& row) {
    std::string out = UtcTimeText(row.reachedUtcMs);
    out.push_back(',');
    AppendShortest(out, row.periodS);
    out.push_back(',');
    AppendShortest(out, row.chirptimeS);
    for (const std::int64_t whole : {std::int64_t{row.rateKHzPerS}, std::int64_t{row.stepKHz},
                                     std::int64_t{row.offsetMs}, row.hertz}) {
        out.push_back(',');
        AppendPadded(out, whole, 1);
    }
    out.push_back(',');
    AppendLevel(out, row.floorDb);
    out.push_back(',');
    AppendLevel(out, row.peakDb);
    out.append(row.onTime ? ",true," : ",false,");
    AppendMode(out, row.mode);
    return out;
}

namespace {

// The whole field as one number, or nothing; from_chars ignores the locale.
template <typename Number>
std::optional<Number> WholeNumber(std::string_view field) {
    Number value{};
    const char* const end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

std::optional<std::optional<double>> Level(std::string_view field) {
    if (field.empty()) return std::optional<double>{};
    const auto level = WholeNumber<double>(field);
    if (!level) return std::nullopt;
    return level;
}

// Digits only, of the given width: no sign, no blank.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t width) {
    if (at + width > text.size()) return std::nullopt;
    int value = 0;
    for (const char c : text.substr(at, width)) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

int DaysInMonth(std::int64_t year, int month) {
    if (month != 2) return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return leap ? 29 : 28;
}

// "2026-12-07T19:20:31.123Z" back to ms since 1970; nothing for any other text.
std::optional<std::int64_t> UtcMsFromText(std::string_view text) {
    constexpr std::string_view kPattern = "0000-00-00T00:00:00.000Z";
    if (text.size() != kPattern.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kPattern[i] != '0' && text[i] != kPattern[i]) return std::nullopt;
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
    const auto second = Digits(text, 17, 2), ms = Digits(text, 20, 3);
    if (!year || !month || !day || !hour || !minute || !second || !ms) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month) || *hour > 23 ||
        *minute > 59 || *second > 59)
        return std::nullopt;
    const std::int64_t days = DaysFromCivil({*year, *month, *day});
    return days * kMsPerDay + ((*hour * 60 + *minute) * 60 + *second) * std::int64_t{1000} + *ms;
}

std::optional<std::array<std::string_view, kFieldCount>> SplitFields(std::string_view line) {
    std::array<std::string_view, kFieldCount> fields;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const std::size_t comma = line.find(',');
        if ((comma == std::string_view::npos) != (i + 1 == kFieldCount)) return std::nullopt;
        fields[i] = line.substr(0, comma);
        line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
    }
    return fields;
}

std::optional<bool> OnTime(std::string_view field) {
    if (field == "true") return true;
    if (field == "false") return false;
    return std::nullopt;
}

}  // namespace

std::optional<StepRow> ParseStepLogLine(std::string_view line) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    const auto fields = SplitFields(line);
    if (!fields) return std::nullopt;  // blank, torn, or a comma too many
    const auto& f = *fields;
    const auto time = UtcMsFromText(f[0]);
    const auto period = WholeNumber<double>(f[1]), chirptime = WholeNumber<double>(f[2]);
    const auto rate = WholeNumber<std::int32_t>(f[3]), step = WholeNumber<std::int32_t>(f[4]);
    const auto offset = WholeNumber<std::int32_t>(f[5]);
    const auto hertz = WholeNumber<std::int64_t>(f[6]);
    const auto floor = Level(f[7]), peak = Level(f[8]);
    const auto onTime = OnTime(f[9]);
    if (!time || !period || !chirptime || !rate || !step || !offset || !hertz || !floor || !peak ||
        !onTime)
        return std::nullopt;  // the header lands here too: its time is no time
    return StepRow{*time, *period, *chirptime,        *rate, *step, *offset, *hertz, *floor,
                   *peak, *onTime, std::string(f[10])};
}

}  // namespace morvane
