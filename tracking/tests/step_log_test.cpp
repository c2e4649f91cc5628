// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/step_log.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "tracking/propagation_map.hpp"

namespace morvane {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kDec7 = 20'794 * kMsPerDay;  // 2026-12-07T00:00:00Z

StepRow Row(std::int64_t utcMs, std::int64_t hertz, std::optional<double> floor = -40.0,
            std::optional<double> peak = 12.3, double periodS = 300) {
    return {utcMs, periodS, 467.2, 100, 50, -120, hertz, floor, peak, true, "USB"};
}

TEST(StepLog, WritesTheHeaderAndRowsWithPointsWhateverTheLocale) {
    EXPECT_EQ(StepLogHeader(),
              "time_utc,period_s,chirptime_s,rate_khz_per_s,step_khz,offset_ms,"
              "frequency_hz,floor_db,peak_db,on_time,mode");
    const StepRow row = Row(kDec7 + 69'631'123, 7'050'000);
    const std::string line =
        "2026-12-07T19:20:31.123Z,300,467.2,100,50,-120,7050000,-40.0,12.3,true,USB";
    EXPECT_EQ(StepLogLine(row), line);
    EXPECT_EQ(UtcTimeText(-1), "1969-12-31T23:59:59.999Z");
    // The C library's locale is what a printf-style writer would follow; Windows
    // names it differently.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "German_Germany.1252"))
        GTEST_SKIP() << "no German locale (de_DE.UTF-8 or German_Germany.1252) to write under; "
                        "scripts/deps.sh makes de_DE.UTF-8";
    const std::string decimalPoint = std::localeconv()->decimal_point;
    const std::string written = StepLogLine(row);
    const std::optional<StepRow> read = ParseStepLogLine(line);
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(decimalPoint, ",");  // or this would prove nothing
    EXPECT_EQ(written, line);
    EXPECT_EQ(read, row);
}

TEST(StepLog, ReadsBackTheRowsItWrote) {
    StepRow fractional = Row(kDec7 - 1, 29'999'000, std::nullopt, -3.0, 467.25);
    fractional.offsetMs = -2500;
    fractional.onTime = false;
    StepRow leapDay = Row(21'243 * kMsPerDay + 1, 2'000'000, -0.5, std::nullopt, 3600);
    leapDay.mode = "CW";
    for (const StepRow& row :
         {Row(kDec7, 7'050'000), Row(kDec7, 0, std::nullopt, std::nullopt), fractional, leapDay}) {
        EXPECT_EQ(ParseStepLogLine(StepLogLine(row)), row) << StepLogLine(row);
        EXPECT_EQ(ParseStepLogLine(StepLogLine(row) + "\r"), row);
    }
    StepRow commas = Row(kDec7, 7'050'000);
    commas.mode = "U,S\nB";
    EXPECT_EQ(ParseStepLogLine(StepLogLine(commas)).value().mode, "U S B");
}

TEST(StepLog, RefusesLinesThatAreNotRows) {
    const std::string good =
        "2026-12-07T19:20:31.123Z,300,467.2,100,50,-120,7050000,-40.0,12.3,true,USB";
    ASSERT_TRUE(ParseStepLogLine(good));
    // clang-format off
    const std::pair<std::string, std::string> swaps[] = {
        {"2026-12-07T19:20:31.123Z", "2026-02-29T19:20:31.123Z"}, {"T19", "T24"},
        {"T19", " 19"}, {"31.123Z", "31.123"}, {",300,", ",3e999,"}, {",300,", ",nan,"},
        {",300,", ", 300,"}, {",100,", ",3000000000,"}, {",7050000,", ",7050k00,"},
        {",7050000,", ",99999999999999999999,"}, {"-40.0", "-40,0"}, {"12.3", "1e400"},
        {"true", "TRUE"}, {"true", "1"}, {"USB", "USB,x"},
    };
    // clang-format on
    std::vector<std::string> bad = {"", "\r", StepLogHeader(), good.substr(0, 60), "\r" + good};
    for (const auto& [from, to] : swaps)
        bad.push_back(std::string(good).replace(good.find(from), from.size(), to));
    for (const std::string& line : bad) EXPECT_EQ(ParseStepLogLine(line), std::nullopt) << line;
}

TEST(PropagationMap, PutsEachRowInTheColumnOfTheSweepItBelongsTo) {
    // ms of the day the step was reached, its frequency, the period, its column
    // and the day's columns; at 100 kHz/s a sweep reaches 10 MHz 100 s in.
    const std::tuple<std::int64_t, std::int64_t, double, std::int32_t, std::int32_t> rows[] = {
        {100'000, 10'000'000, 300, 0, 288},        {30'000, 10'000'000, 300, 0, 288},
        {399'999, 10'000'000, 300, 0, 288},        {400'000, 10'000'000, 300, 1, 288},
        {kMsPerDay - 1, 2'000'000, 300, 287, 288}, {1'199'999, 30'000'000, 900, 0, 96},
        {1'200'000, 30'000'000, 900, 1, 96},       {kMsPerDay - 1, 2'000'000, 7000, 12, 13},
    };
    PropagationMap map;
    for (const auto& [msOfDay, hertz, periodS, column, columns] : rows) {
        map.Add(Row(kDec7 + msOfDay, hertz, -40.0, 12.3, periodS));
        EXPECT_EQ(map.LatestColumn(), column) << msOfDay << " ms, " << hertz << " Hz";
        EXPECT_EQ(map.ColumnCount(), columns);
        EXPECT_EQ(map.PeriodS(), periodS);
    }
}

TEST(PropagationMap, HoldsTheLatestDaysLatestReadings) {
    PropagationMap map;
    map.Add(Row(kDec7 + 200'000, 5'000'000, -40.0, -20.0));
    map.Add(Row(kDec7 + 201'000, 5'000'000, std::nullopt, -20.0));  // the same step, read again
    map.Add(Row(kDec7 - 1, 6'000'000));                             // the day before: too late
    StepRow noRate = Row(kDec7 + 300'000, 7'000'000);
    noRate.rateKHzPerS = 0;
    map.Add(noRate);
    ASSERT_EQ(map.Cells().size(), 1U);
    EXPECT_EQ(map.DayText(), "2026-12-07");
    const auto& [key, cell] = *map.Cells().begin();
    EXPECT_EQ(key, (MapCellKey{0, 5'000'000}));
    EXPECT_EQ(cell.highHertz - cell.lowHertz, 50'000);
    EXPECT_EQ(cell.riseDb, std::nullopt);
    map.Add(Row(kDec7 + kMsPerDay + 200'000, 5'000'000, -40.0, -20.0));
    EXPECT_EQ(map.DayText(), "2026-12-08");
    ASSERT_EQ(map.Cells().size(), 1U);
    EXPECT_EQ(map.Cells().begin()->second.riseDb, 20.0);
}

TEST(PropagationMap, ColoursRisesOnARampThatEndsAtBothEnds) {
    const std::pair<double, std::uint32_t> rows[] = {
        {-HUGE_VAL, 0x0D0887}, {-5, 0x0D0887}, {0, 0x0D0887},   {3.75, 0x460698},
        {15, 0xCC4778},        {30, 0xF0F921}, {1e9, 0xF0F921}, {NAN, kNoLevelsColour},
    };
    for (const auto& [riseDb, colour] : rows) EXPECT_EQ(RiseColour(riseDb), colour) << riseDb;
}

}  // namespace
}  // namespace morvane
