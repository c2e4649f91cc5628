#include "radiolink/hand_off.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/core_checks.hpp"

namespace morvane {
namespace {

using Commands = std::vector<std::string>;

// One thing that happens between the tick, the link and the user.
enum class Event { Tick, Text4, Text6, Closes, ClosedNotice, OpenedNotice, DisplayValue };
struct Step {
    Event what;
    std::string text;
};

struct Conversation {
    const char* name;
    std::vector<Step> steps;
    Commands sent;
    const char* text6;  // what Text6 holds at the end
    bool connected;     // what the display shows at the end
};

TEST(HandOff, SendsEachCandidateOnceWhileConnectedAndTellsTheTruthOtherwise) {
    using enum Event;
    // clang-format off
    const Conversation conversations[] = {
        {"each new candidate once",
         {{Tick, "2000000"}, {Tick, "2000000"}, {Tick, "2000000"}, {Tick, "2100000"}, {Tick, "2100000"}},
         {"freq 2000000", "freq 2100000"}, "2100000", true},
        {"Text4 empties: not connected, nowt",
         {{Tick, "2000000"}, {Text4, ""}, {Tick, "2000000"}}, {"freq 2000000"}, "nowt", false},
        {"after an outage the same candidate goes again",
         {{Tick, "2000000"}, {Text4, ""}, {Tick, "2000000"}, {Text4, "2000000"}, {Tick, "2000000"}},
         {"freq 2000000", "freq 2000000"}, "2000000", true},
        {"what the user types into Text6 counts",
         {{Text6, "2000000"}, {Tick, "2000000"}, {Text6, "anything"}, {Tick, "2000000"}},
         {"freq 2000000"}, "2000000", true},
        {"the empty candidate sends nothing and keeps the last sent",
         {{Tick, "12350000"}, {Tick, ""}, {Tick, ""}, {Tick, "12400000"}, {Tick, ""}},
         {"freq 12350000", "freq 12400000"}, "12400000", true},
        {"never connected while the link is not open, though Text4 holds a value",
         {{Closes, ""}, {Tick, "2000000"}}, {}, "nowt", false},
        {"the closed notice shows at once and leaves Text6 alone",
         {{Tick, "2000000"}, {Closes, ""}, {ClosedNotice, ""}}, {"freq 2000000"}, "2000000", false},
        {"a closed link stays not connected",
         {{Tick, "2000000"}, {Closes, ""}, {ClosedNotice, ""}, {Tick, "2100000"}, {Tick, "2200000"}},
         {"freq 2000000"}, "nowt", false},
        {"the opened notice shows at once", {{OpenedNotice, ""}}, {}, "Text6", true},
        {"pushed values replace the fields; an empty hertz value is not connected",
         {{DisplayValue, "14.074.000"}, {Text4, ""}, {Tick, "2000000"}}, {}, "nowt", false},
    };
    // clang-format on
    for (const Conversation& c : conversations) {
        SCOPED_TRACE(c.name);
        MainFields fields;
        testing::RecordingLink link;
        LinkHandOff handOff(link);
        for (const Step& step : c.steps) {
            if (step.what == Tick) handOff.HandOffCandidate(fields, step.text);
            if (step.what == Text4) ItemValueArrived(fields, LinkItem::Hertz, step.text);
            if (step.what == DisplayValue) ItemValueArrived(fields, LinkItem::Display, step.text);
            if (step.what == Text6) fields.Text6 = step.text;
            if (step.what == Closes) link.open = false;
            if (step.what == ClosedNotice) handOff.LinkClosed(fields);
            if (step.what == OpenedNotice) handOff.LinkOpened(fields);
        }
        EXPECT_EQ(link.commands, c.sent);
        EXPECT_EQ(fields.Text6, c.text6);
        EXPECT_EQ(fields.text2Background, c.connected ? kConnectedColour : kNotConnectedColour);
        EXPECT_EQ(fields.status, c.connected ? kConnectedStatus : kNotConnectedStatus);
        EXPECT_EQ(fields.text2, c.steps.front().what == DisplayValue ? "14.074.000" : "18.100.000");
    }
}

// Inside a whole tick a refused command ends the tick quietly and is not sent again.
TEST(HandOff, ARefusingLinkNeitherStopsTheTickNorRepeats) {
    MainFields fields;
    testing::RecordingLink link;
    link.refuse = true;
    LinkHandOff handOff(link);
    EXPECT_EQ(RunTick(fields, {0, 4, 0, 0}, ".", handOff).problem, std::nullopt);
    RunTick(fields, {0, 4, 0, 50}, ".", handOff);
    EXPECT_EQ(link.commands, Commands{"freq 2000000"});
    EXPECT_EQ(fields.Text6, "2000000");
}

}  // namespace
}  // namespace morvane
