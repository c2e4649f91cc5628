// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <variant>

namespace morvane {
namespace {

// A text, its decimal separator, and the number it reads as or why it does not.
struct NumberRow {
    std::string text;
    const char* separator;
    std::variant<double, const char*> expected;
};

TEST(NumberFromText, ReadsPlainDecimalsInTheUsersLocaleAndNamesWhatItCannotRead) {
    // clang-format off
    const NumberRow rows[] = {
        {"300", ".", 300.0}, {"235.5", ".", 235.5}, {"235,5", ",", 235.5}, {"-1.5", ".", -1.5},
        {" 60\t", ".", 60.0}, {"+50", ".", 50.0}, {".5", ".", 0.5}, {"050", ".", 50.0},
        {"2\xd9\xab" "5", "\xd9\xab", 2.5},
        {"0." + std::string(400, '0') + "1", ".", 0.0},  // below the smallest double: as good as 0
        {"-," + std::string(400, '0') + "1", ",", 0.0}, {"235,5", ".", "is not a number"},
        {"235.5", ",", "is not a number"}, {"", ".", "is empty"}, {"   ", ".", "is empty"},
        {"abc", ".", "is not a number"}, {"1e3", ".", "is not a number"},
        {"inf", ".", "is not a number"}, {"nan", ".", "is not a number"},
        {"1.2.3", ".", "is not a number"}, {"-", ".", "is not a number"},
        {".", ".", "is not a number"}, {"1 000", ".", "is not a number"},
        {"0x10", ".", "is not a number"}, {"--5", ".", "is not a number"},
        {std::string(400, '9'), ".", "is too large"},
    };
    // clang-format on
    for (const NumberRow& row : rows) {
        SCOPED_TRACE("'" + row.text.substr(0, 20) + "' separator '" + row.separator + "'");
        try {
            const double value = NumberFromText(row.text, row.separator, SettingField::ChirpTime);
            EXPECT_EQ(std::get<double>(row.expected), value);
        } catch (const TickFailure& failure) {
            EXPECT_EQ(failure.field(), SettingField::ChirpTime);
            ASSERT_TRUE(std::holds_alternative<const char*>(row.expected)) << failure.what();
            EXPECT_STREQ(failure.what(), std::get<const char*>(row.expected));
        }
    }
}

TEST(RoundToInt32, RoundsHalvesToEvenAndRefusesOutOfRange) {
    // clang-format off
    const std::pair<double, std::int32_t> rows[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
        {-2.6, -3}, {2147483647.4, 2147483647}, {-2147483648.0, -2147483647 - 1},
    };
    // clang-format on
    for (const auto& [value, expected] : rows)
        EXPECT_EQ(RoundToInt32(value, SettingField::Rate), expected);
    for (const double bad :
         {2147483647.5, -2147483648.6, 1e300, HUGE_VAL, -HUGE_VAL, double{NAN}}) {
        EXPECT_THROW(RoundToInt32(bad, SettingField::Rate), TickFailure) << bad;
    }
    EXPECT_THROW(NarrowToInt16(32'768, SettingField::Offset), TickFailure);
    EXPECT_EQ(NarrowToInt16(-32'768, SettingField::Offset), -32'768);
}

TEST(ReadoutText, ShowsOneDecimalWithTheLocaleSeparatorAndTheSignOfANegativeTime) {
    // clang-format off
    const std::tuple<std::int32_t, const char*, const char*> rows[] = {
        {5100, ".", "5.1"}, {240100, ".", "240.1"}, {5100, ",", "5,1"}, {0, ".", "0.0"},
        {40, ".", "0.0"}, {-40, ".", "-0.0"}, {-1, ".", "-0.0"}, {-1500, ".", "-1.5"},
        {-50, ".", "-0.1"}, {5249, ".", "5.2"}, {5250, ".", "5.3"}, {299999, ".", "300.0"},
        {-2147483647 - 1, ".", "-2147483.6"},
    };
    // clang-format on
    for (const auto& [ms, separator, expected] : rows) {
        EXPECT_EQ(ReadoutText(ms, separator), expected) << ms;
    }
}

}  // namespace
}  // namespace morvane
