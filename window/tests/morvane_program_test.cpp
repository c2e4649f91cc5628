// The whole morvane.exe, its DDE link included, against the stand-in
// radio-control server, watched from outside as a user and that program see it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/frequency_text.hpp"
#include "radiolink/hand_off.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/precise_time_win32.hpp"
#include "testsupport/win32_test_support.hpp"
#include "tracking/tick.hpp"
#include "window/main_window_win32.hpp"
#include "window/window_layout.hpp"

namespace morvane {
namespace {

using test_support::LoggedCommand;
using test_support::StandInOptions;
using test_support::WindowText;
using Clock = std::chrono::steady_clock;

constexpr int kDayMs = 86'400'000;
// A command leaves at a tick and is logged when it arrives, a little later.
constexpr int kTickToArrivalMs = 250;

// The command the core asks for at `msOfDay` with the initial settings; empty
// when it asks for none, so that an empty "freq " never matches.
std::string CoreCommandAt(int msOfDay) {
    struct LastCommand : HandOff {
        void HandOffCandidate(MainFields&, const std::string& candidate) override {
            if (!candidate.empty()) command = std::string(kCommandPrefix) + candidate;
        }
        std::string command;
    } core;
    MainFields fields;
    const int ms = (msOfDay % kDayMs + kDayMs) % kDayMs;
    RunTick(fields, ClockReading{ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000}, ".",
            core);
    return core.command;
}

// The distinct commands the core asks for, in order, over [fromMs, toMs].
std::vector<std::string> CoreCommandsBetween(int fromMs, int toMs) {
    std::vector<std::string> commands;
    for (int ms = fromMs; ms <= toMs; ++ms) {
        std::string command = CoreCommandAt(ms);
        if (!command.empty() && (commands.empty() || commands.back() != command))
            commands.push_back(std::move(command));
    }
    return commands;
}

int NowMsOfDay() {
    return static_cast<int>(test_support::PreciseLocalMsOfDay());
}

// How the stand-in server behaves in one run, and how long morvane is watched.
struct ServerCase {
    const char* name;
    StandInOptions server;
    int watchMs;
};

// Runs morvane.exe as a user starts it against the server, reading its status
// line from outside every 5 ms: each read is a round trip through morvane's
// event thread, so a thread held up by its link shows as a long one. Then its
// other fields, and the commands the server logged.
void ExpectMorvaneToFollowTheCoreAndTellTheTruth(const ServerCase& run) {
    test_support::StandInServer server(run.server);
    const int startMs = NowMsOfDay();
    // The server quits or ends the conversation this long after it said it was ready.
    const int losesAfter = run.server.quitAfterSeconds + run.server.dropAfterSeconds;
    const auto losesAt = Clock::now() + std::chrono::seconds(losesAfter);
    test_support::ChildProcess morvane(
        L"\"" + (test_support::ProgramFolder() / L"morvane.exe").wstring() + L"\"");
    HWND window = nullptr;
    const auto shown = [&] {
        return IsWindowVisible(window = FindWindowW(kMainWindowClass, nullptr)) != FALSE;
    };
    ASSERT_TRUE(test_support::PumpMessagesUntil(shown, 15'000)) << "no window";
    const auto field = [&](const char* name) {
        for (const ControlSpec& spec : kMainWindowLayout)
            if (spec.name == name) return WindowText(GetDlgItem(window, ChildId(spec.id)));
        return std::string();
    };
    const Clock::time_point lostAt = run.server.absent ? Clock::now() : losesAt;
    Clock::duration largestRoundTrip{};
    std::optional<Clock::time_point> notConnectedAt;
    bool connectedBefore = false, connectedAfter = false;
    for (const auto end = Clock::now() + std::chrono::milliseconds(run.watchMs); Clock::now() < end;
         Sleep(5)) {
        const Clock::time_point before = Clock::now();
        const std::string status = field("status");
        largestRoundTrip = std::max(largestRoundTrip, Clock::now() - before);
        if (status == kNotConnectedStatus && !notConnectedAt) notConnectedAt = Clock::now();
        if (status == kConnectedStatus) (notConnectedAt ? connectedAfter : connectedBefore) = true;
    }
    std::printf("%s: largest round trip %.1f ms\n", run.name,
                std::chrono::duration<double, std::milli>(largestRoundTrip).count());
    EXPECT_LT(largestRoundTrip, std::chrono::milliseconds(250)) << "the event thread stalled";
    EXPECT_EQ(connectedBefore, !run.server.absent) << "\"Connected\" only while a link is open";
    EXPECT_FALSE(connectedAfter) << "nothing re-opens the link";
    EXPECT_EQ(notConnectedAt.has_value(), run.server.absent || losesAfter > 0);
    // Soon after the loss, or just before: the server's own timer decides when it comes.
    EXPECT_LT(notConnectedAt.value_or(lostAt) - lostAt, std::chrono::seconds(2));

    EXPECT_EQ(WindowText(window), kWindowCaption);
    const std::string timeOfDay = field("Text1"), shownDisplay = field("text2"),
                      shownHertz = field("Text4");
    const int readMs = NowMsOfDay();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(morvane.Exited(10'000)) << "closes when asked";
    if (NowMsOfDay() < startMs) GTEST_SKIP() << "ran across midnight";
    int hour = -1, minute = -1, second = -1;
    ASSERT_EQ(std::sscanf(timeOfDay.c_str(), "%d:%d:%d", &hour, &minute, &second), 3) << timeOfDay;
    EXPECT_LE(std::abs(readMs / 1000 - ((hour * 60 + minute) * 60 + second)), 2) << timeOfDay;

    // Commands arrive while the service is offered: each the core's when it
    // arrived, each step once and in order (a refused one is not sent again),
    // less perhaps a step the core left just before the first arrived.
    const std::vector<LoggedCommand> logged = server.Commands();
    ASSERT_EQ(logged.empty(), run.server.absent);
    if (logged.empty()) return;
    std::vector<std::string> sent, tunedTo{"14074000"};  // the stand-in's frequency at start
    for (const LoggedCommand& command : logged) {
        EXPECT_THAT(CoreCommandsBetween(command.msOfDay - kTickToArrivalMs, command.msOfDay),
                    ::testing::Contains(command.command));
        sent.push_back(command.command);
        if (command.msOfDay <= readMs && !run.server.refuse)
            tunedTo.push_back(command.command.substr(kCommandPrefix.size()));
    }
    std::vector<std::string> expected =
        CoreCommandsBetween(logged.front().msOfDay - kTickToArrivalMs, logged.back().msOfDay);
    if (expected.size() == sent.size() + 1) expected.erase(expected.begin());
    EXPECT_EQ(sent, expected);

    // Both hot links show the radio as the server formats each item: as the link
    // fetched it on opening, or tuned by the last command the server took before
    // the fields were read or, its advise still on the way, the one before. A
    // hostile server's megabyte (0x80 to 0xFF over and over) shows cut to 256
    // bytes, read in the ANSI code page.
    std::string hostile;
    for (int i = 0; i < 256; ++i) hostile += static_cast<char>(0x80 + i % 0x80);
    const std::size_t from = tunedTo.size() > 1 ? tunedTo.size() - 2 : 0;
    std::vector<std::string> hertz(tunedTo.begin() + from, tunedTo.end()), display;
    for (const std::string& hz : hertz) display.push_back(DisplayFrequencyText(std::stoll(hz)));
    if (run.server.hostileItems) hertz = display = {Utf8FromAnsi(hostile)};
    EXPECT_THAT(shownHertz, ::testing::AnyOfArray(hertz));
    EXPECT_THAT(shownDisplay, ::testing::AnyOfArray(display));
}

TEST(MorvaneProgram, FollowsTheCoreAndTellsTheTruthWhateverTheServerDoes) {
    const ServerCase runs[] = {
        {"answers every command", {}, 15'000},
        {"quits mid-run", {.quitAfterSeconds = 4}, 7000},
        {"ends the conversation but runs on", {.dropAfterSeconds = 4}, 7000},
        {"refuses every command", {.refuse = true}, 5000},
        {"slow to acknowledge", {.slowAckMs = 400}, 5000},
        {"absent at start", {.absent = true}, 3000},
        {"serves a megabyte that is no UTF-8", {.hostileItems = true}, 4000},
    };
    for (const ServerCase& run : runs) {
        SCOPED_TRACE(run.name);
        ExpectMorvaneToFollowTheCoreAndTellTheTruth(run);
    }
}

}  // namespace
}  // namespace morvane
