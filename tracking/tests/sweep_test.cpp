#include <gtest/gtest.h>

#include "tracking/clock_trust.hpp"
#include "tracking/number_text.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/sweep_position.hpp"

namespace morvane {
namespace {

TEST(Day, CountsFromMidnightWithTheLead) {
    EXPECT_EQ(Day({0, 0, 0, 0}), 100);
    EXPECT_EQ(Day({0, 4, 0, 0}), 240'100);
    EXPECT_EQ(Day({12, 0, 0, 0}), 43'200'100);
    EXPECT_EQ(Day({23, 59, 59, 999}), 86'400'099);
}

TEST(PositionInPeriod, RunsOnAcrossMidnightForEveryListedPeriod) {
    for (const char* period : {"60", "300", "600", "900", "1200", "1800"}) {
        const std::int32_t periodMs = std::stoi(period) * 1000;
        const std::int32_t beforeMidnight = PositionInPeriod(Day({23, 59, 59, 950}), period, ".");
        const std::int32_t afterMidnight = PositionInPeriod(Day({0, 0, 0, 0}), period, ".");
        EXPECT_EQ((beforeMidnight + 50) % periodMs, afterMidnight) << period;
    }
    EXPECT_EQ(PositionInPeriod(86'400'099, "300", "."), 99);
}

struct SinceCase {
    std::int32_t ctime1;
    const char* chirp;
    const char* period;
    std::int16_t offset;
    std::int32_t expected;
};

TEST(TimeSinceSweepBegan, MeasuresFromTheChirpOfThisOrThePreviousPeriod) {
    const SinceCase cases[] = {
        {235'000, "235", "300", 0, 0},
        {234'999, "235", "300", 0, 299'999},
        {0, "235", "300", 0, 65'000},
        {5'100, "235", "300", 0, 70'100},
        {240'100, "235", "300", 0, 5'100},
        {0, "400", "300", 0, -100'000},  // chirp beyond the period: always the first branch
        {250'000, "400", "300", 0, 150'000},
        {240'000, "235.5", "300", 0, 4'500},
        {235'063, "235.0625", "300", 0, 0},     // 0.5 ms: a tie, to even
        {235'064, "235.0625", "300", 0, 2},     // 1.5 ms
        {235'065, "235.0625", "300", 0, 2},     // 2.5 ms
        {235'000, "235", "300", -1500, -1500},  // just after the start, offset back: negative
        {10'000, "235,5", "300", 150, 74'650},
        // Chirp ahead: the period unrounded, the sum rounded once (a rounded
        // 300 526 ms period would give 250 626).
        {240'100, "290.0004", "300.5256", 0, 250'625},
    };
    for (const SinceCase& c : cases) {
        const char* separator =
            std::string_view(c.chirp).find(',') != std::string_view::npos ? "," : ".";
        EXPECT_EQ(TimeSinceSweepBegan(c.ctime1, c.chirp, c.period, c.offset, separator), c.expected)
            << "ctime1 " << c.ctime1 << " chirp " << c.chirp;
    }
}

struct FrequencyCase {
    const char* rate;
    std::int32_t ctime;
    std::int32_t expected;
};

TEST(Frequency, FollowsTheRateAndParksAtTheBottomOutsideTheBand) {
    const FrequencyCase cases[] = {
        {"100", 5'100, 2'000'000},
        {"100", 20'000, 2'000'000},
        {"100", 300'000, 30'000'000},
        {"100", 300'001, 2'000'000},
        {"50", 320'000, 16'000'000},
        {"50", 320'001, 2'000'000},
        {"500", 32'000, 16'000'000},
        {"500", 32'001, 2'000'000},
        {"125", 100'000, 12'500'000},
        {"125", 240'000, 30'000'000},
        {"125", 240'001, 2'000'000},
        {"100", -1'500, 2'000'000},
        {"100", 123'457, 12'345'700},
        {" 100", 100'000, 0},
        {"0100", 100'000, 0},
        {"100.0", 100'000, 0},
        {"", 100'000, 0},
        {"75", 100'000, 0},
        {"Fifty", 100'000, 0},
    };
    for (const FrequencyCase& c : cases) {
        EXPECT_EQ(Frequency(c.rate, c.ctime, "."), c.expected) << c.rate << " @ " << c.ctime;
    }
}

TEST(Frequency, OverflowOfAVeryLongSweepIsAFailure) {
    EXPECT_THROW(Frequency("500", 5'000'000, "."), TickFailure);
}

TEST(TrustIn, MarksAClockThatIsNotSynchronisedOrMayBeMoreThan20MsOff) {
    const std::pair<ClockStatus, ClockTrust> rows[] = {
        {{false, 16'000'000},
         {true, "the clock is not synchronised (NTP): the sweep may be off by up to 16 s"}},
        {{true, 35'000},
         {true,
          "the clock is synchronised (NTP) but may be off by up to 35 ms, and the sweep with it"}},
        {{true, 20'000}, {false, "the clock is synchronised (NTP), within 20 ms"}},
        {{true, 1'234}, {false, "the clock is synchronised (NTP), within 1.2 ms"}},
        {{true, 250}, {false, "the clock is synchronised (NTP), within 250 us"}},
    };
    for (const auto& [status, trust] : rows) EXPECT_EQ(TrustIn(status), trust);
}

}  // namespace
}  // namespace morvane
