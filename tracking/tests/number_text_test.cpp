#include "tracking/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace morvane {
namespace {

struct NumberCase {
    const char* text;
    const char* separator;
    std::optional<double> expected;  // nullopt: must fail
};

TEST(NumberFromText, ReadsPlainDecimalsInTheUsersLocaleOnly) {
    const NumberCase cases[] = {
        {"300", ".", 300.0},
        {"235.5", ".", 235.5},
        {"235,5", ",", 235.5},
        {"-1.5", ".", -1.5},
        {" 60 ", ".", 60.0},
        {"+50", ".", 50.0},
        {".5", ".", 0.5},
        {"050", ".", 50.0},
        {"2\xd9\xab"
         "5",
         "\xd9\xab", 2.5},
        {"235,5", ".", std::nullopt},
        {"235.5", ",", std::nullopt},
        {"", ".", std::nullopt},
        {"   ", ".", std::nullopt},
        {"abc", ".", std::nullopt},
        {"1e3", ".", std::nullopt},
        {"inf", ".", std::nullopt},
        {"nan", ".", std::nullopt},
        {"1.2.3", ".", std::nullopt},
        {"-", ".", std::nullopt},
        {".", ".", std::nullopt},
        {"1 000", ".", std::nullopt},
        {"0x10", ".", std::nullopt},
        {"--5", ".", std::nullopt},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "' separator '" + c.separator + "'");
        if (c.expected) {
            EXPECT_DOUBLE_EQ(NumberFromText(c.text, c.separator, SettingField::Period),
                             *c.expected);
        } else {
            EXPECT_THROW(NumberFromText(c.text, c.separator, SettingField::Period), TickFailure);
        }
    }
}

TEST(NumberFromText, ANumberTooSmallForADoubleIsZero) {
    EXPECT_EQ(NumberFromText("0." + std::string(400, '0') + "1", ".", SettingField::Period), 0.0);
    EXPECT_EQ(NumberFromText("-," + std::string(400, '0') + "1", ",", SettingField::Period), 0.0);
}

TEST(NumberFromText, FailureNamesTheFieldAndTheReason) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "is empty"}, {"5O", "is not a number"}, {std::string(400, '9'), "is too large"}};
    for (const auto& [text, reason] : cases) {
        try {
            NumberFromText(text, ".", SettingField::ChirpTime);
            ADD_FAILURE() << text << " converted";
        } catch (const TickFailure& failure) {
            EXPECT_EQ(failure.field(), SettingField::ChirpTime);
            EXPECT_STREQ(failure.what(), reason);
        }
    }
}

TEST(RoundToInt32, RoundsHalvesToEvenAndRefusesOutOfRange) {
    const std::pair<double, std::int32_t> cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {2.4999, 2},
        {2.5001, 3},
        {-2.6, -3},
        {2147483647.4, 2147483647},
        {-2147483648.0, -2147483647 - 1},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(RoundToInt32(value, SettingField::Rate), expected) << value;
    }
    for (const double bad :
         {2147483647.5, -2147483648.6, 1e300, HUGE_VAL, -HUGE_VAL, double{NAN}}) {
        EXPECT_THROW(RoundToInt32(bad, SettingField::Rate), TickFailure) << bad;
    }
}

TEST(ReadoutText, ShowsOneDecimalWithTheLocaleSeparator) {
    const struct {
        std::int32_t ms;
        const char* separator;
        const char* expected;
    } cases[] = {
        {5100, ".", "5.1"},
        {240100, ".", "240.1"},
        {5100, ",", "5,1"},
        {0, ".", "0.0"},
        {40, ".", "0.0"},
        {-40, ".", "-0.0"},
        {-1, ".", "-0.0"},
        {-1500, ".", "-1.5"},
        {-50, ".", "-0.1"},
        {5249, ".", "5.2"},
        {5250, ".", "5.3"},
        {299999, ".", "300.0"},
        {-2147483647 - 1, ".", "-2147483.6"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadoutText(c.ms, c.separator), c.expected) << c.ms;
}

}  // namespace
}  // namespace morvane
