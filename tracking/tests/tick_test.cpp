// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/tick.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/core_checks.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane {
namespace {

// Records every candidate the tick hands off.
class RecordingHandOff final : public HandOff {
  public:
    void HandOffCandidate(MainFields&, const std::string& candidate) override {
        candidates.push_back(candidate);
    }
    std::vector<std::string> candidates;
};

TEST(Tick, FourMinutesPastMidnightWithTheInitialSettings) {
    MainFields fields;
    RecordingHandOff handOff;
    const TickOutcome outcome = RunTick(fields, {0, 4, 0, 0}, ".", handOff);
    EXPECT_EQ(outcome.ctime, 5'100);
    EXPECT_EQ(outcome.problem, std::nullopt);
    EXPECT_EQ(fields.Text7, "0");
    EXPECT_EQ(fields.Text3, "5.1");
    EXPECT_EQ(fields.Text5, "240.1");
    EXPECT_EQ(fields.Text1, "0:4:0");
    EXPECT_EQ(handOff.candidates, std::vector<std::string>{"2000000"});
}

// A hand-off that fails, whatever the failure, ends the tick without a word.
TEST(Tick, AFailingHandOffEndsTheTickQuietly) {
    struct FailingHandOff final : HandOff {
        void HandOffCandidate(MainFields&, const std::string&) override { throw std::bad_alloc(); }
    } handOff;
    MainFields fields;
    EXPECT_EQ(RunTick(fields, {0, 4, 0, 0}, ".", handOff).ctime, 5'100);
}

TEST(Tick, ReadoutsFollowTheLocaleAndTheSlider) {
    MainFields fields;
    fields.Slider1 = -10;
    fields.chirptime = "235,5";
    RecordingHandOff handOff;
    RunTick(fields, {10, 0, 7, 450}, ",", handOff);
    EXPECT_EQ(fields.Text7, "-1500");
    EXPECT_EQ(fields.Text1, "10:0:7");
    EXPECT_EQ(fields.Text5, "7,6");   // 36 007 550 ms mod 300 000 = 7 550
    EXPECT_EQ(fields.Text3, "70,6");  // 300 000 + 7 550 - 235 500 - 1 500 = 70 550
}

struct ProblemRow {
    std::string MainFields::*setting;  // nullptr: the slider far beyond its range
    std::string text;
    SettingField field;
    std::string reason;
    bool handedOff;  // a rate or step no list offers: the tick goes on, with nothing to send
};

TEST(Tick, ASettingThatCannotBeUsedIsNamedAndEndsTheTickOrSendsNothing) {
    // clang-format off
    const ProblemRow rows[] = {
        {&MainFields::Combo_period, "", SettingField::Period, "is empty", false},
        {&MainFields::Combo_period, "0.0004", SettingField::Period, "rounds to 0 ms", false},
        {&MainFields::Combo_period, "3000000", SettingField::Period, "overflows", false},
        {&MainFields::chirptime, "abc", SettingField::ChirpTime, "is not a number", false},
        {&MainFields::chirptime, std::string(309, '9'), SettingField::ChirpTime, "is too large",
         false},
        {&MainFields::Combo_step, "", SettingField::Step, "is empty", false},
        {&MainFields::Combo_rate, "500", SettingField::Rate, "overflows", false},
        {nullptr, "", SettingField::Offset, "overflows", false},
        {&MainFields::Combo_rate, "100 ", SettingField::Rate,
         "\"100 \" is not one of 50, 100, 125, 500 kHz/s", true},
        {&MainFields::Combo_rate, std::string(255, '7'), SettingField::Rate,
         "\"" + std::string(24, '7') + "...\" is not one of 50, 100, 125, 500 kHz/s", true},
        {&MainFields::Combo_step, "25", SettingField::Step, "\"25\" is not one of 50, 100, 500 kHz",
         true},
    };
    // clang-format on
    for (const ProblemRow& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 10));
        MainFields fields;
        // A sweep begun 5 240 s ago overflows 32 bits at 500 kHz/s.
        fields.chirptime = row.field == SettingField::Rate && !row.handedOff ? "-5000" : "235";
        if (row.setting != nullptr) fields.*row.setting = row.text;
        if (row.setting == nullptr) fields.Slider1 = 1000;
        RecordingHandOff handOff;
        const TickOutcome outcome = RunTick(fields, {0, 4, 0, 0}, ".", handOff);
        EXPECT_EQ(outcome.problem, (SettingProblem{row.field, row.reason}));
        EXPECT_EQ(handOff.candidates,
                  row.handedOff ? std::vector<std::string>{""} : std::vector<std::string>{});
        EXPECT_EQ(fields.Text7, row.field == SettingField::Offset ? "Text7" : "0");
        EXPECT_EQ(fields.Text1, "0:4:0");  // the clock goes on, whatever the settings
    }
}

struct ScheduleRow {
    const char* what;
    int clockMs;  // of the day
    const char* period;
    const char* chirp;
    int slider;
    int delayMs;
    int previousGapMs = kTickIntervalMs;
};

// Each tick arms the next for 1 ms after ctime next reaches a multiple of 50
// ms, where every step window begins, and never later than 51 ms after
// itself; sooner than 25 ms only after a gap that makes a whole 50 ms with it,
// whatever the clock does.
TEST(TickSchedule, TheNextTickFollowsTheSweepWithinItsBounds) {
    // clang-format off
    const ScheduleRow rows[] = {
        {"ctime 5 100: on a boundary, aimed 1 ms on", 240'000, "300", "235", 0, 51},
        {"1 ms after a boundary: where a tick belongs", 240'001, "300", "235", 0, 50},
        {"26 ms after", 240'026, "300", "235", 0, 25},
        {"27 ms after: the phase moved, and the mark is 24 ms away", 240'027, "300", "235", 0, 24},
        {"the same right after a 25 ms gap: no sooner", 240'027, "300", "235", 0, 25, 25},
        {"2 ms before a mark, after a 40 ms gap: 10 ms", 240'098, "300", "235", 0, 10, 40},
        // Chirp time 235.002: ctime 5 199, and the 2.6 MHz window at 500 kHz/s opens at 5 200.
        {"a chirp time moved by 2 ms", 240'101, "300", "235.002", 0, 2},
        {"chirp 25 ms off the clock's grid", 240'000, "300", "235.025", 0, 26},
        {"chirp 12.5 ms off: ctime 5 108.5 ties to even, 5 108", 240'021, "300", "235.0125", 0, 43},
        {"a sub-millisecond chirp time", 240'003, "300", "235.0007", 0, 49},
        {"slider at +10", 240'010, "300", "235", 10, 41},
        // ctime -1 490: the next mark is -1 450, whatever a remainder of a negative does.
        {"slider at -10, 10 ms after the chirp", 235'010, "300", "235", -10, 41},
        // ctime1 = 5 100 before the chirp time: since = 300 500 + 5 100 - 290 000.
        {"chirp ahead, period of 300.5 s unrounded", 240'000, "300.5", "290", 0, 51},
        {"chirp ahead, period of 300.525 s", 240'000, "300.525", "290", 0, 26},
        // A period that is no multiple of 50 ms moves the phase as each sweep restarts.
        {"period 299.99 s, 5 ms into a sweep", 289'905, "299.99", "290", 0, 46},
        {"a failed tick keeps to the clock's grid", 240'010, "abc", "235", 0, 41},
        {"a failed tick just before its moment", 240'000, "abc", "235", 0, 51},
    };
    // clang-format on
    for (const ScheduleRow& row : rows) {
        MainFields fields;
        fields.Combo_period = row.period;
        fields.chirptime = row.chirp;
        fields.Slider1 = row.slider;
        RecordingHandOff handOff;
        const TickOutcome outcome = RunTick(fields, testing::ClockAt(row.clockMs), ".", handOff);
        EXPECT_EQ(
            MillisecondsToNextTick(TickTiming::SweepLocked, outcome.ctime, row.clockMs % 1000,
                                   row.previousGapMs),
            row.delayMs)
            << row.what;
    }
}

TEST(TickSchedule, TheRadioIsReadHalfwayBetweenTicksAfterTheInterval) {
    // {since the last tick, at least, delay}: the reading lands 25 ms after a tick.
    const int rows[][3] = {{0, 200, 225}, {25, 200, 200}, {26, 200, 249}, {990, 200, 235}};
    for (const auto& [sinceTick, atLeast, delay] : rows) {
        EXPECT_EQ(MillisecondsToQuietMoment(sinceTick, atLeast), delay) << sinceTick;
    }
}

}  // namespace
}  // namespace morvane
