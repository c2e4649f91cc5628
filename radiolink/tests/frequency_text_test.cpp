// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/frequency_text.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace morvane {
namespace {

// Whatever a radio reports, even the 64-bit extremes, groups without overflow.
TEST(DisplayFrequencyText, GroupsMegahertzKilohertzAndHertz) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {14'074'000, "14.074.000"},   {2'000'000, "2.000.000"}, {18'100'000, "18.100.000"},
        {145'000'000, "145.000.000"}, {500'025, "0.500.025"},   {7'000'001, "7.000.001"},
        {0, "0.000.000"},             {-5, "-0.000.005"},
        {INT64_MAX, "9223372036854.775.807"},
        {INT64_MIN, "-9223372036854.775.808"},
    };
    for (const auto& [hertz, text] : cases) EXPECT_EQ(DisplayFrequencyText(hertz), text);
}

TEST(FrequencyOfCommand, AcceptsOnlyFreqAndDecimalHertz) {
    EXPECT_EQ(FrequencyOfCommand("freq 2000000"), 2'000'000);
    EXPECT_EQ(FrequencyOfCommand("freq 9999999999"), 9'999'999'999);
    for (const char* bad :
         {"freq ", "freq", "FREQ 2000000", "freq  2000000", "freq 2000000 ", "freq -2000000",
          "freq +2000000", "freq 2e6", "freq 20000000000", "freq 2000000\n", "frq 2000000", ""}) {
        EXPECT_FALSE(FrequencyOfCommand(bad)) << '"' << bad << '"';
    }
}

}  // namespace
}  // namespace morvane
