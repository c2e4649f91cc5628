#include <gtest/gtest.h>

#include "tracking/step_candidate.hpp"
#include "tracking/tick_failure.hpp"

namespace morvane {
namespace {

struct CandidateCase {
    std::int32_t frequency;
    const char* step;
    const char* expected;
};

TEST(Candidate, KeepsLeadingDigitsAndAcceptsOnlyTheStepWindow) {
    const CandidateCase cases[] = {
        {12'345'678, "50", ""},          {12'352'000, "50", "12350000"},
        {2'351'234, "50", "2350000"},    {2'345'000, "50", ""},
        {12'345'678, "100", "12300000"}, {2'345'678, "100", "2300000"},
        {12'567'000, "500", "12500000"}, {12'600'000, "500", ""},
        {2'567'000, "500", "2500000"},   {2'000'000, "50", "2000000"},
        {2'000'000, "100", "2000000"},   {2'000'000, "500", "2000000"},
        {10'000'000, "100", "10000000"}, {10'000'000, "50", "10000000"},
        {9'999'999, "100", "9900000"},   {9'509'999, "500", "9500000"},
        {30'000'000, "500", "30000000"}, {16'009'975, "50", "16000000"},
        {16'010'000, "50", ""},
    };
    for (const CandidateCase& c : cases) {
        EXPECT_EQ(Candidate(c.frequency, c.step, "."), c.expected)
            << c.frequency << " step " << c.step;
    }
}

TEST(Candidate, AnyTextReadingAsAListedStepSelectsIt) {
    EXPECT_EQ(Candidate(12'352'000, "50.0", "."), "12350000");
    EXPECT_EQ(Candidate(12'352'000, "50,0", ","), "12350000");
    EXPECT_EQ(Candidate(12'352'000, " 050", "."), "12350000");
    EXPECT_EQ(Candidate(12'352'000, "25", "."), "");
    EXPECT_EQ(Candidate(12'352'000, "-50", "."), "");
}

TEST(Candidate, NoFrequencyFormsNoCandidateUnderAnyStep) {
    // An unknown rate leaves the frequency at 0; the radio must not be sent to 0 Hz.
    for (const char* step : {"50", "100", "500"}) EXPECT_EQ(Candidate(0, step, "."), "") << step;
}

TEST(Candidate, StepThatDoesNotConvertIsAFailureEvenWithoutAFrequency) {
    for (const char* step : {"", "fifty", "5O"}) {
        try {
            Candidate(0, step, ".");
            ADD_FAILURE() << "step '" << step << "' accepted";
        } catch (const TickFailure& failure) {
            EXPECT_EQ(failure.field(), SettingField::Step);
        }
    }
}

}  // namespace
}  // namespace morvane
