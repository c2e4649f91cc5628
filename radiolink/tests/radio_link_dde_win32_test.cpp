#include "radiolink/radio_link_dde_win32.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/win32_test_support.hpp"
#include "tracking/tick.hpp"

namespace morvane {
namespace {

using test_support::PumpMessagesUntil;
using test_support::StandInOptions;
using test_support::StandInServer;

// Keeps what the link reports, as the window's fields would.
class RecordingListener : public LinkListener {
  public:
    void OnLinkOpened() override { ++opened; }
    void OnLinkClosed() override { ++closed; }
    void OnItemValue(LinkItem item, std::string text) override {
        ItemValueArrived(fields, item, std::move(text));
    }
    int opened = 0;
    int closed = 0;
    MainFields fields;
};

std::vector<std::string> CommandTexts(const StandInServer& server) {
    std::vector<std::string> texts;
    for (const auto& logged : server.Commands()) texts.push_back(logged.command);
    return texts;
}

bool WaitForCommands(const StandInServer& server, std::size_t count) {
    return PumpMessagesUntil([&] { return server.Commands().size() >= count; }, 5000);
}

// Ticks at one fixed clock reading, so every tick has the same candidate.
void TickThrough(DdeRadioLink& link, MainFields& fields, int times) {
    LinkHandOff handOff(link);
    for (int i = 0; i < times; ++i) {
        link.CheckConversation();
        RunTick(fields, ClockReading{0, 4, 0, 0}, ".", handOff);
        PumpMessagesUntil([] { return false; }, 60);
    }
}

class DdeLinkTest : public ::testing::Test {
  protected:
    RecordingListener listener;
};

TEST_F(DdeLinkTest, OpeningBringsBothItemsAndTheHotLinksFollowEachRetune) {
    StandInServer server;
    DdeRadioLink link(listener);
    link.Open();
    ASSERT_TRUE(link.IsOpen());
    EXPECT_EQ(listener.opened, 1);
    EXPECT_EQ(listener.fields.text2, "14.074.000");
    EXPECT_EQ(listener.fields.Text4, "14074000");

    for (const std::string hertz : {"7100000", "29900000"}) {
        link.Execute("freq " + hertz);
        EXPECT_TRUE(PumpMessagesUntil([&] { return listener.fields.Text4 == hertz; }, 5000));
    }
    EXPECT_EQ(listener.fields.text2, "29.900.000");
    EXPECT_EQ(listener.closed, 0);
}

TEST_F(DdeLinkTest, CommandsArriveVerbatimAndInOrder) {
    StandInServer server;
    DdeRadioLink link(listener);
    link.Open();
    const std::vector<std::string> commands{"freq 2000000", "freq 14074000", "FREQ  7 ",
                                            "freq 3500000"};
    for (const auto& command : commands) link.Execute(command);
    ASSERT_TRUE(WaitForCommands(server, commands.size()));
    EXPECT_EQ(CommandTexts(server), commands);
}

TEST_F(DdeLinkTest, ServerQuittingGivesOneClosedNoticeAndTheLinkStaysClosed) {
    StandInServer server(StandInOptions{.quitAfterSeconds = 1});
    DdeRadioLink link(listener);
    link.Open();
    ASSERT_TRUE(link.IsOpen());
    const bool closed = PumpMessagesUntil(
        [&] {
            link.CheckConversation();
            return listener.closed > 0;
        },
        10'000);
    ASSERT_TRUE(closed);
    EXPECT_TRUE(server.Exited(5000));
    PumpMessagesUntil([&] { return link.CheckConversation(), false; }, 300);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(listener.closed, 1);
    EXPECT_EQ(listener.opened, 1);
    EXPECT_THROW(link.Execute("freq 2000000"), LinkFailure);

    // A stale frequency from the closed link must not read as connected.
    TickThrough(link, listener.fields, 2);
    EXPECT_EQ(listener.fields.status, kNotConnectedStatus);
    EXPECT_EQ(listener.fields.Text6, kLinkDownMark);
}

TEST_F(DdeLinkTest, AbsentServerLeavesTheLinkClosedAndTheTickNeverConnected) {
    StandInServer server(StandInOptions{.absent = true});
    DdeRadioLink link(listener);
    link.Open();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(listener.opened, 0);
    TickThrough(link, listener.fields, 3);
    EXPECT_EQ(listener.fields.status, kNotConnectedStatus);
    EXPECT_EQ(listener.fields.text2Background, kNotConnectedColour);
    EXPECT_EQ(listener.fields.Text6, kLinkDownMark);
    EXPECT_TRUE(server.Commands().empty());
}

TEST_F(DdeLinkTest, RefusedCommandEndsTheTickQuietlyAndIsNotRepeated) {
    StandInServer server(StandInOptions{.refuse = true});
    DdeRadioLink link(listener);
    link.Open();
    ASSERT_TRUE(link.IsOpen());
    EXPECT_NO_THROW(TickThrough(link, listener.fields, 4));
    ASSERT_TRUE(WaitForCommands(server, 1));
    PumpMessagesUntil([] { return false; }, 300);
    EXPECT_EQ(CommandTexts(server), std::vector<std::string>{"freq 2000000"});
    EXPECT_EQ(listener.fields.Text6, "2000000");
    EXPECT_EQ(listener.fields.Text4, "14074000");  // the server did not retune
    EXPECT_EQ(listener.fields.status, kConnectedStatus);
}

TEST_F(DdeLinkTest, ExecuteDoesNotWaitForASlowServer) {
    constexpr int kSlowAckMs = 4000;
    StandInServer server(StandInOptions{.slowAckMs = kSlowAckMs});
    DdeRadioLink link(listener);
    link.Open();
    const ULONGLONG before = GetTickCount64();
    link.Execute("freq 2000000");
    const ULONGLONG waited = GetTickCount64() - before;
    EXPECT_LT(waited, kSlowAckMs / 2);
    // The server does take it, and retunes once it has acknowledged.
    EXPECT_TRUE(PumpMessagesUntil([&] { return listener.fields.Text4 == "2000000"; }, 10'000));
}

// A megabyte of bytes that are no UTF-8 as each item: what the link takes is
// cut at its cap and read in the ANSI code page, and the link goes on working.
TEST_F(DdeLinkTest, HugeItemValuesAreCutAndDecodedAndCommandsStillArrive) {
    StandInServer server(StandInOptions{.hostileItems = true});
    DdeRadioLink link(listener);
    link.Open();
    ASSERT_TRUE(link.IsOpen());
    std::string firstBytes(256, '\0');
    for (std::size_t i = 0; i < firstBytes.size(); ++i) {
        firstBytes[i] = static_cast<char>(0x80 + i % 0x80);
    }
    const std::string shown = Utf8FromAnsi(firstBytes);
    EXPECT_EQ(listener.fields.text2, shown);
    EXPECT_EQ(listener.fields.Text4, shown);
    EXPECT_EQ(WideFromUtf8(shown).size(), 256u);

    link.Execute("freq 2000000");
    ASSERT_TRUE(WaitForCommands(server, 1));
    EXPECT_EQ(CommandTexts(server), std::vector<std::string>{"freq 2000000"});
    PumpMessagesUntil([] { return false; }, 300);  // the advise that follows the retune
    EXPECT_EQ(listener.fields.Text4, shown);
    EXPECT_EQ(listener.closed, 0);
}

}  // namespace
}  // namespace morvane
