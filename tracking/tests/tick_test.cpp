#include "tracking/tick.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "tracking/tick_failure.hpp"
#include "tracking/tick_schedule.hpp"

namespace morvane {
namespace {

// Records every candidate the tick hands off.
class RecordingHandOff : public HandOff {
  public:
    void HandOffCandidate(MainFields&, const std::string& candidate) override {
        candidates.push_back(candidate);
    }
    std::vector<std::string> candidates;
};

TEST(Tick, FourMinutesPastMidnightWithTheInitialSettings) {
    MainFields fields;
    RecordingHandOff handOff;
    RunTick(fields, {0, 4, 0, 0}, ".", handOff);
    EXPECT_EQ(fields.Text7, "0");
    EXPECT_EQ(fields.Text3, "5.1");
    EXPECT_EQ(fields.Text5, "240.1");
    EXPECT_EQ(fields.Text1, "0:4:0");
    EXPECT_EQ(handOff.candidates, std::vector<std::string>{"2000000"});
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

TEST(Tick, UnknownRateHandsOffNothingToSend) {
    MainFields fields;
    fields.Combo_rate = "100 ";
    RecordingHandOff handOff;
    RunTick(fields, {12, 0, 0, 0}, ".", handOff);
    EXPECT_EQ(handOff.candidates, std::vector<std::string>{""});
}

struct FailingSetting {
    std::string MainFields::*setting;
    std::string text;
    SettingField field;
    bool readoutsWritten;  // did Text3, Text5 and Text1 get their new values first?
};

TEST(Tick, ASettingThatCannotBeUsedEndsTheTickBeforeTheHandOff) {
    const FailingSetting cases[] = {
        {&MainFields::Combo_period, "", SettingField::Period, false},
        {&MainFields::Combo_period, "0", SettingField::Period, false},
        {&MainFields::Combo_period, "0.0004", SettingField::Period, false},  // rounds to 0 ms
        {&MainFields::Combo_period, "3000000", SettingField::Period, false},
        {&MainFields::chirptime, "abc", SettingField::ChirpTime, false},
        {&MainFields::chirptime, "-3000000", SettingField::ChirpTime, false},
        {&MainFields::chirptime, std::string(309, '9'), SettingField::ChirpTime, false},
        {&MainFields::Combo_step, "", SettingField::Step, true},
        {nullptr, "", SettingField::Offset, false},  // the slider far beyond its range
    };
    for (const FailingSetting& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 10));
        MainFields fields;
        if (c.setting != nullptr) fields.*c.setting = c.text;
        if (c.setting == nullptr) fields.Slider1 = 1000;
        RecordingHandOff handOff;
        try {
            RunTick(fields, {0, 4, 0, 0}, ".", handOff);
            ADD_FAILURE() << "tick did not fail";
        } catch (const TickFailure& failure) {
            EXPECT_EQ(failure.field(), c.field);
        }
        EXPECT_TRUE(handOff.candidates.empty());
        EXPECT_EQ(fields.Text7, c.field == SettingField::Offset ? "Text7" : "0");
        EXPECT_EQ(fields.Text3, c.readoutsWritten ? "5.1" : "Text3");
        EXPECT_EQ(fields.Text1, c.readoutsWritten ? "0:4:0" : "");
    }
}

TEST(TickSchedule, NextTickFallsJustAfterTheClocksNext50MsMark) {
    const std::pair<int, int> cases[] = {
        {2, 50}, {3, 49}, {0, 2}, {1, 1}, {51, 1}, {52, 50}, {49, 3}, {998, 4}, {999, 3},
    };
    for (const auto& [millisecond, delay] : cases) {
        EXPECT_EQ(MillisecondsToNextTick(millisecond), delay) << millisecond;
    }
}

TEST(TickSchedule, RadioIsReadHalfwayBetweenTicksAfterTheInterval) {
    // {millisecond, at least, delay}: the reading lands on ...27 or ...77.
    const int cases[][3] = {{0, 200, 227}, {27, 200, 200}, {28, 200, 249}, {990, 200, 237}};
    for (const auto& [millisecond, atLeast, delay] : cases) {
        EXPECT_EQ(MillisecondsToQuietMoment(millisecond, atLeast), delay) << millisecond;
        EXPECT_EQ((millisecond + delay) % 50, kQuietPhaseMs);
    }
}

}  // namespace
}  // namespace morvane
