#include "radiolink/hand_off.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace morvane {
namespace {

// A link whose state the test sets and whose commands it reads back.
class FakeLink : public RadioLink {
  public:
    bool IsOpen() const override { return open; }
    void Execute(const std::string& command) override {
        commands.push_back(command);
        if (refuse) throw LinkFailure("refused");
    }
    bool open = true;
    bool refuse = false;
    std::vector<std::string> commands;
};

using Commands = std::vector<std::string>;

class HandOffTest : public ::testing::Test {
  protected:
    // The hand-off as the tick calls it: failures inside it end the tick quietly.
    void Tick(const std::string& candidate) {
        try {
            handOff.HandOffCandidate(fields, candidate);
        } catch (const LinkFailure&) {
        }
    }
    void ExpectConnected(bool connected) {
        EXPECT_EQ(fields.text2Background, connected ? kConnectedColour : kNotConnectedColour);
        EXPECT_EQ(fields.status, connected ? kConnectedStatus : kNotConnectedStatus);
    }
    MainFields fields;
    FakeLink link;
    LinkHandOff handOff{link};
};

TEST_F(HandOffTest, SendsEachNewCandidateOnce) {
    for (int i = 0; i < 3; ++i) Tick("2000000");
    Tick("2100000");
    Tick("2100000");
    EXPECT_EQ(link.commands, (Commands{"freq 2000000", "freq 2100000"}));
    EXPECT_EQ(fields.Text6, "2100000");
    ExpectConnected(true);
}

TEST_F(HandOffTest, AfterAnOutageTheSameCandidateIsSentAgain) {
    Tick("2000000");
    fields.Text4 = "";
    Tick("2000000");
    ExpectConnected(false);
    EXPECT_EQ(fields.Text6, "nowt");
    fields.Text4 = "2000000";
    Tick("2000000");
    ExpectConnected(true);
    EXPECT_EQ(link.commands, (Commands{"freq 2000000", "freq 2000000"}));
}

TEST_F(HandOffTest, ARefusedCommandIsNotRetried) {
    link.refuse = true;
    Tick("2300000");
    Tick("2300000");
    EXPECT_EQ(link.commands, Commands{"freq 2300000"});
    EXPECT_EQ(fields.Text6, "2300000");
}

TEST_F(HandOffTest, WhatTheUserTypesIntoTheLastSentFieldCounts) {
    fields.Text6 = "2000000";
    Tick("2000000");
    EXPECT_TRUE(link.commands.empty());
    fields.Text6 = "anything";
    Tick("2000000");
    EXPECT_EQ(link.commands, Commands{"freq 2000000"});
}

TEST_F(HandOffTest, EmptyCandidateSendsNothingAndKeepsTheLastSent) {
    Tick("12350000");
    Tick("");
    Tick("");
    Tick("12400000");
    EXPECT_EQ(link.commands, (Commands{"freq 12350000", "freq 12400000"}));
    Tick("");
    EXPECT_EQ(fields.Text6, "12400000");
    ExpectConnected(true);
}

TEST_F(HandOffTest, NeverConnectedWhileTheConversationIsNotOpen) {
    // The radio-control program is not running: Text4 still holds its initial value.
    link.open = false;
    Tick("2000000");
    ExpectConnected(false);
    EXPECT_EQ(fields.Text6, "nowt");
    EXPECT_TRUE(link.commands.empty());
}

TEST_F(HandOffTest, AClosedLinkStaysNotConnectedOnLaterTicks) {
    Tick("2000000");
    link.open = false;
    handOff.LinkClosed(fields);
    ExpectConnected(false);
    EXPECT_EQ(fields.Text6, "2000000");  // the notice leaves Text6 alone
    Tick("2100000");
    Tick("2200000");
    ExpectConnected(false);
    EXPECT_EQ(fields.Text6, "nowt");
    EXPECT_EQ(link.commands, Commands{"freq 2000000"});
}

TEST_F(HandOffTest, NoticesAndPushedValuesChangeTheDisplayAtOnce) {
    handOff.LinkOpened(fields);
    ExpectConnected(true);
    ItemValueArrived(fields, LinkItem::Display, "14.074.000");
    ItemValueArrived(fields, LinkItem::Hertz, "14074000");
    EXPECT_EQ(fields.text2, "14.074.000");
    EXPECT_EQ(fields.Text4, "14074000");
    ItemValueArrived(fields, LinkItem::Hertz, "");
    Tick("2000000");
    ExpectConnected(false);
}

// The hand-off inside a whole tick: a refused command ends the tick quietly.
TEST(HandOffInTick, ARefusingLinkNeitherStopsTheTickNorRepeats) {
    MainFields fields;
    FakeLink link;
    link.refuse = true;
    LinkHandOff handOff(link);
    RunTick(fields, {0, 4, 0, 0}, ".", handOff);
    RunTick(fields, {0, 4, 0, 50}, ".", handOff);
    EXPECT_EQ(link.commands, Commands{"freq 2000000"});
    EXPECT_EQ(fields.Text6, "2000000");
}

}  // namespace
}  // namespace morvane
