// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "tracking/clock_trust.hpp"
#include "tracking/number_text.hpp"
#include "tracking/step_candidate.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/sweep_position.hpp"

namespace morvane {
namespace {

TEST(Day, CountsFromMidnightWithTheLeadAndRunsOnAcrossMidnight) {
    EXPECT_EQ(Day({0, 0, 0, 0}), 100);
    EXPECT_EQ(Day({0, 4, 0, 0}), 240'100);
    EXPECT_EQ(Day({12, 0, 0, 0}), 43'200'100);
    EXPECT_EQ(Day({23, 59, 59, 999}), 86'400'099);
    EXPECT_EQ(PositionInPeriod(86'400'099, "300", "."), 99);
    EXPECT_EQ(Offset(-10), -1'500);
}

TEST(TimeSinceSweepBegan, MeasuresFromTheChirpOfThisOrThePreviousPeriod) {
    // clang-format off
    const std::tuple<std::int32_t, const char*, const char*, std::int16_t, std::int32_t> rows[] = {
        // ctime1, chirp time, period, offset: since
        {235'000, "235", "300", 0, 0}, {234'999, "235", "300", 0, 299'999},
        {0, "235", "300", 0, 65'000}, {240'100, "235", "300", 0, 5'100},
        {0, "400", "300", 0, -100'000},  // chirp beyond the period: always the first branch
        {250'000, "400", "300", 0, 150'000}, {240'000, "235.5", "300", 0, 4'500},
        {235'063, "235.0625", "300", 0, 0},     // 0.5 ms: a tie, to even
        {235'064, "235.0625", "300", 0, 2},     // 1.5 ms
        {235'065, "235.0625", "300", 0, 2},     // 2.5 ms
        {235'000, "235", "300", -1500, -1500},  // just after the start, offset back: negative
        {10'000, "235,5", "300", 150, 74'650},
        // Chirp ahead: the period unrounded, the sum rounded once (a rounded
        // 300 526 ms period would give 250 626).
        {240'100, "290.0004", "300.5256", 0, 250'625},
    };
    // clang-format on
    for (const auto& [ctime1, chirp, period, offset, since] : rows) {
        const char* separator =
            std::string_view(chirp).find(',') == std::string_view::npos ? "." : ",";
        EXPECT_EQ(TimeSinceSweepBegan(ctime1, chirp, period, offset, separator), since)
            << "ctime1 " << ctime1 << " chirp " << chirp;
    }
    // The offset takes ctime to the ends of 32 bits and no further.
    EXPECT_EQ(TimeSinceSweepBegan(0, "-2147483.547", "300", 100, "."), INT32_MAX);
    EXPECT_EQ(TimeSinceSweepBegan(0, "2147782.148", "300", -1500, "."), INT32_MIN);
    EXPECT_THROW(TimeSinceSweepBegan(0, "-2147483.547", "300", 101, "."), TickFailure);
    EXPECT_THROW(TimeSinceSweepBegan(0, "2147782.149", "300", -1500, "."), TickFailure);
}

TEST(Frequency, FollowsTheRateAndParksAtTheBottomOutsideTheBand) {
    // clang-format off
    const std::tuple<const char*, std::int32_t, std::int32_t> rows[] = {
        {"100", 5'100, 2'000'000}, {"100", 20'000, 2'000'000}, {"100", 300'000, 30'000'000},
        {"100", 300'001, 2'000'000}, {"50", 320'000, 16'000'000}, {"50", 320'001, 2'000'000},
        {"500", 32'000, 16'000'000}, {"500", 32'001, 2'000'000}, {"125", 100'000, 12'500'000},
        {"125", 240'000, 30'000'000}, {"125", 240'001, 2'000'000}, {"100", -1'500, 2'000'000},
        {"100", 123'457, 12'345'700}, {" 100", 100'000, 0}, {"0100", 100'000, 0},
        {"100.0", 100'000, 0}, {"", 100'000, 0}, {"75", 100'000, 0}, {"Fifty", 100'000, 0},
    };
    // clang-format on
    for (const auto& [rate, ctime, hertz] : rows) {
        EXPECT_EQ(Frequency(rate, ctime, "."), hertz) << rate << " @ " << ctime;
    }
    EXPECT_THROW(Frequency("500", 5'000'000, "."), TickFailure);  // a very long sweep overflows
}

TEST(Candidate, KeepsLeadingDigitsAndAcceptsOnlyTheStepWindow) {
    // clang-format off
    const std::tuple<std::int32_t, const char*, const char*> rows[] = {
        {12'345'678, "50", ""}, {12'352'000, "50", "12350000"}, {2'351'234, "50", "2350000"},
        {2'345'000, "50", ""}, {12'345'678, "100", "12300000"}, {2'345'678, "100", "2300000"},
        {12'567'000, "500", "12500000"}, {12'600'000, "500", ""}, {2'567'000, "500", "2500000"},
        {2'000'000, "50", "2000000"}, {2'000'000, "100", "2000000"}, {2'000'000, "500", "2000000"},
        {10'000'000, "100", "10000000"}, {10'000'000, "50", "10000000"},
        {9'999'999, "100", "9900000"}, {9'509'999, "500", "9500000"},
        {30'000'000, "500", "30000000"}, {16'009'975, "50", "16000000"}, {16'010'000, "50", ""},
        // Any text that reads as a listed step selects it; other numbers none.
        {12'352'000, "50.0", "12350000"}, {12'352'000, " 050", "12350000"}, {12'352'000, "25", ""},
        {12'352'000, "-50", ""},
        // An unknown rate leaves the frequency at 0: the radio must not be sent to 0 Hz.
        {0, "50", ""}, {0, "100", ""}, {0, "500", ""},
    };
    // clang-format on
    for (const auto& [hertz, step, candidate] : rows) {
        EXPECT_EQ(Candidate(hertz, step, "."), candidate) << hertz << " step " << step;
    }
    EXPECT_EQ(Candidate(12'352'000, "50,0", ","), "12350000");
    // A step that does not convert is a failure, even without a frequency.
    for (const char* step : {"", "fifty", "5O"}) EXPECT_THROW(Candidate(0, step, "."), TickFailure);
}

TEST(TrustIn, MarksAClockThatIsNotSynchronisedOrMayBeMoreThan20MsOff) {
    // clang-format off
    const std::pair<ClockStatus, ClockTrust> rows[] = {
        {{false, 16'000'000},
         {true, "the clock is not synchronised (NTP): the sweep may be off by up to 16 s"}},
        {{true, 35'000},
         {true,
          "the clock is synchronised (NTP) but may be off by up to 35 ms, and the sweep with it"}},
        {{true, 20'000}, {false, "the clock is synchronised (NTP), within 20 ms"}},
        {{false, 9'999'999},
         {true, "the clock is not synchronised (NTP): the sweep may be off by up to 9999 ms"}},
        {{true, 1'234}, {false, "the clock is synchronised (NTP), within 1.2 ms"}},
        {{true, 250}, {false, "the clock is synchronised (NTP), within 250 us"}},
        {{true, 0, false}, {true, "the clock's state is unknown: the kernel did not say whether "
                                  "NTP keeps it synchronised"}},
    };
    // clang-format on
    for (const auto& [status, trust] : rows) EXPECT_EQ(TrustIn(status), trust);
}

}  // namespace
}  // namespace morvane
