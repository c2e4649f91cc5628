// The whole morvane.exe, its DDE link included, against the stand-in
// radio-control server, watched from outside as a user and that program see it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/precise_time_win32.hpp"
#include "radiolink/frequency_text.hpp"
#include "radiolink/hand_off.hpp"
#include "radiolink/text_codec_win32.hpp"
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

// The command the core asks for at `msOfDay` with `settings`; empty when it
// asks for none, so that an empty "freq " never matches.
std::string CoreCommandAt(const MainFields& settings, int msOfDay) {
    struct LastCommand : HandOff {
        void HandOffCandidate(MainFields&, const std::string& candidate) override {
            if (!candidate.empty()) command = std::string(kCommandPrefix) + candidate;
        }
        std::string command;
    } core;
    MainFields fields = settings;
    const int ms = (msOfDay % kDayMs + kDayMs) % kDayMs;
    RunTick(fields, ClockReading{ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000}, ".",
            core);
    return core.command;
}

// The distinct commands the core asks for, in order, over [fromMs, toMs].
std::vector<std::string> CoreCommandsBetween(const MainFields& settings, int fromMs, int toMs) {
    std::vector<std::string> commands;
    for (int ms = fromMs; ms <= toMs; ++ms) {
        std::string command = CoreCommandAt(settings, ms);
        if (!command.empty() && (commands.empty() || commands.back() != command))
            commands.push_back(std::move(command));
    }
    return commands;
}

int NowMsOfDay() {
    return static_cast<int>(bench::PreciseLocalMsOfDay());
}

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The windows Wine's DdeConnect made for a process: one per try, until the
// program cleans up after the tries that found no server.
int DdeClientWindowsOf(DWORD processId) {
    struct Count {
        DWORD processId;
        int windows;
    } count{processId, 0};
    EnumWindows(
        [](HWND window, LPARAM found) {
            auto& counted = *reinterpret_cast<Count*>(found);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            std::array<wchar_t, 32> name{};
            GetClassNameW(window, name.data(), static_cast<int>(name.size()));
            if (owner == counted.processId && std::wstring_view(name.data()) == L"WineDdeClientW")
                ++counted.windows;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// How the stand-in server behaves in one run, what else the desktop holds, and
// how long morvane is watched once its window is up.
struct ServerCase {
    const char* name;
    StandInOptions server{};
    int watchMs;
    int serverLateMs = 0;  // the server starts this long after morvane.exe
    // A hung program's window is up from before the start. Wine passes over a
    // window that has taken no message for 5 s; until then an initiate waits
    // on it for as long as the hang lasts.
    bool hungWindow = false;
    bool sendsOften = false;  // a user sets rate 500, step 50: a command every 100 ms
};

// morvane.exe as a user starts it and sees it: its fields read from outside.
struct Morvane {
    test_support::ChildProcess process{
        L"\"" + (test_support::ProgramFolder() / L"morvane.exe").wstring() + L"\""};
    HWND window = nullptr;

    HWND Control(std::string_view name) const {
        HWND control = nullptr;
        for (const ControlSpec& spec : kMainWindowLayout)
            if (spec.name == name) control = GetDlgItem(window, ChildId(spec.id));
        HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr);  // a drop-down's
        return edit != nullptr ? edit : control;
    }
    std::string Field(std::string_view name) const { return WindowText(Control(name)); }
    // Selects what the field holds and types over it.
    void Type(std::string_view name, const std::string& text) const {
        SendMessageW(Control(name), EM_SETSEL, 0, -1);
        for (const char c : text) SendMessageW(Control(name), WM_CHAR, static_cast<WPARAM>(c), 0);
    }
};

// Rate 500 and step 50 as the sweep reaches the band: it retunes every 100 ms
// for the next 28 s. What the ticks send while they are typed is not checked.
MainFields TypeSettingsThatSendOften(const Morvane& morvane) {
    MainFields settings;
    settings.Combo_rate = "500";
    settings.Combo_step = "50";
    // The sweep began 3 s ago (the tick reads the clock 100 ms ahead); it
    // reaches the band after 4 s.
    settings.chirptime = std::to_string(((NowMsOfDay() + 100) / 1000 + 297) % 300);
    morvane.Type("Combo_rate", settings.Combo_rate);
    morvane.Type("Combo_step", settings.Combo_step);
    morvane.Type("chirptime", settings.chirptime);
    return settings;
}

// What the watch saw, and when.
struct Watch {
    Clock::time_point serverReadyAt;
    std::optional<Clock::time_point> connectedAt;     // first "Connected"
    std::optional<Clock::time_point> notConnectedAt;  // first "Not connected" after that
    std::optional<Clock::time_point> connectedAgainAt;
    Clock::duration largestRoundTrip{};
    // Changes of Text5, a readout of every other tick: the first, counted from
    // morvane's start (the window must show and tick at once), and the longest
    // wait for another.
    std::optional<Clock::time_point> firstTickAt;
    Clock::duration largestTickGap{};
};

// Reads the status line and a readout from outside every 5 ms: each read is a
// round trip through morvane's event thread, so a thread held up by its link
// shows as a long one. Starts a late server when it is due.
Watch WatchMorvane(const ServerCase& run, const Morvane& morvane,
                   std::optional<test_support::StandInServer>& server,
                   Clock::time_point startedAt) {
    Watch seen;
    seen.serverReadyAt = startedAt;  // unless it starts late
    Clock::time_point lastTick;
    std::string lastReadout = "Text5";
    for (const auto end = Clock::now() + std::chrono::milliseconds(run.watchMs); Clock::now() < end;
         Sleep(5)) {
        if (!server && Clock::now() >= startedAt + std::chrono::milliseconds(run.serverLateMs)) {
            server.emplace(run.server);
            lastTick = seen.serverReadyAt = Clock::now();  // the watch stood still meanwhile
        }
        const Clock::time_point before = Clock::now();
        const std::string status = morvane.Field("status");
        seen.largestRoundTrip = std::max(seen.largestRoundTrip, Clock::now() - before);
        if (const std::string readout = morvane.Field("Text5"); readout != lastReadout) {
            const Clock::time_point now = Clock::now();
            if (seen.firstTickAt) {
                seen.largestTickGap = std::max(seen.largestTickGap, now - lastTick);
            } else {
                seen.firstTickAt = now;
            }
            lastTick = now;
            lastReadout = readout;
        }
        const bool lost = seen.connectedAt || run.server.absent;
        if (status == kNotConnectedStatus && lost && !seen.notConnectedAt)
            seen.notConnectedAt = Clock::now();
        if (status == kConnectedStatus) {
            auto& at = seen.notConnectedAt ? seen.connectedAgainAt : seen.connectedAt;
            if (!at) at = Clock::now();
        }
    }
    return seen;
}

// Runs morvane.exe as a user starts it against the server and watches it;
// then its other fields, and the commands the server logged.
void ExpectMorvaneToFollowTheCoreAndTellTheTruth(const ServerCase& run) {
    std::optional<test_support::StandInServer> hung, server;
    if (run.hungWindow) hung.emplace(StandInOptions{.hungWindow = true});
    if (run.serverLateMs == 0) server.emplace(run.server);
    const int readyMs = NowMsOfDay() + run.serverLateMs;
    const Clock::time_point startedAt = Clock::now();
    Morvane morvane;
    const auto shown = [&] {
        return IsWindowVisible(morvane.window = FindWindowW(kMainWindowClass, nullptr)) != FALSE;
    };
    ASSERT_TRUE(test_support::PumpMessagesUntil(shown, 15'000)) << "no window";
    const Clock::duration windowAfter = Clock::now() - startedAt;
    const MainFields settings = run.sendsOften ? TypeSettingsThatSendOften(morvane) : MainFields{};
    const int settledMs = run.sendsOften ? NowMsOfDay() + kTickToArrivalMs : 0;
    const Watch seen = WatchMorvane(run, morvane, server, startedAt);
    // The server quits, ends the conversation or hangs this long after it was ready.
    const int losesAfter =
        run.server.quitAfterSeconds + run.server.dropAfterSeconds + run.server.hangAfterSeconds;
    const bool hangs = run.server.hangForSeconds > 0;
    const Clock::time_point lostAt = seen.serverReadyAt + std::chrono::seconds(losesAfter);
    EXPECT_LT(seen.largestRoundTrip, std::chrono::milliseconds(250)) << "the event thread stalled";
    const Clock::duration firstTickAfter = seen.firstTickAt.value_or(Clock::now()) - startedAt;
    EXPECT_LT(firstTickAfter, std::chrono::seconds(1)) << "the window shows and ticks at once";
    EXPECT_LT(seen.largestTickGap, std::chrono::seconds(1)) << "the ticks stopped";
    EXPECT_EQ(seen.connectedAt.has_value(), !run.server.absent) << "\"Connected\" only while open";
    EXPECT_LT(seen.connectedAt.value_or(lostAt) - seen.serverReadyAt, std::chrono::seconds(3))
        << "connects soon after the server is there, never before";
    EXPECT_GE(seen.connectedAt.value_or(lostAt), seen.serverReadyAt);
    EXPECT_EQ(seen.connectedAgainAt.has_value(), hangs) << "only a server that answers again";
    EXPECT_EQ(seen.notConnectedAt.has_value(), run.server.absent || losesAfter > 0);
    // Soon after the loss, or just before: the server's own timer decides when it comes;
    // a hung server shows 2 s after the first command it leaves unanswered.
    EXPECT_LT(seen.notConnectedAt.value_or(lostAt) - lostAt,
              std::chrono::milliseconds(hangs ? 2500 : 2000));

    EXPECT_LE(DdeClientWindowsOf(morvane.process.Id()), 1) << "the tries to connect pile up";
    EXPECT_EQ(WindowText(morvane.window), kWindowCaption);
    const std::string timeOfDay = morvane.Field("Text1"), shownDisplay = morvane.Field("text2"),
                      shownHertz = morvane.Field("Text4");
    const int readMs = NowMsOfDay();
    // Wine with no window manager waits 2 s for the X server to take a closing
    // window off the screen, whatever the program; hidden first, the close
    // times morvane's own ending.
    ShowWindowAsync(morvane.window, SW_HIDE);
    SendMessageTimeoutW(morvane.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    const Clock::time_point closedAt = Clock::now();
    PostMessageW(morvane.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(morvane.process.Exited(10'000)) << "closes when asked";
    const Clock::duration exitAfter = Clock::now() - closedAt;
    EXPECT_LT(exitAfter, std::chrono::seconds(1)) << "ends at once, whatever its link waits for";
    std::printf(
        "%s: window after %.0f ms, first tick after %.0f ms, largest round trip %.1f ms, "
        "largest tick gap %.0f ms, connected after %.0f ms, not connected after %.0f ms, "
        "connected again after %.0f ms, exit after %.0f ms\n",
        run.name, Ms(windowAfter), Ms(firstTickAfter), Ms(seen.largestRoundTrip),
        Ms(seen.largestTickGap),
        Ms(seen.connectedAt.value_or(seen.serverReadyAt) - seen.serverReadyAt),
        Ms(seen.notConnectedAt.value_or(lostAt) - lostAt),
        Ms(seen.connectedAgainAt.value_or(lostAt) - lostAt -
           std::chrono::seconds(run.server.hangForSeconds)),
        Ms(exitAfter));
    if (NowMsOfDay() < readyMs - run.serverLateMs) GTEST_SKIP() << "ran across midnight";
    int hour = -1, minute = -1, second = -1;
    ASSERT_EQ(std::sscanf(timeOfDay.c_str(), "%d:%d:%d", &hour, &minute, &second), 3) << timeOfDay;
    EXPECT_LE(std::abs(readMs / 1000 - ((hour * 60 + minute) * 60 + second)), 2) << timeOfDay;

    // Commands arrive while the service is offered: each the core's when it
    // arrived, each step once and in order (a refused one is not sent again),
    // less perhaps a step the core left just before the first arrived. A
    // server that wakes from a hang takes first the one command it was sent
    // before it stopped; nothing else it was sent meanwhile is left to come.
    const std::vector<LoggedCommand> logged =
        server ? server->Commands() : std::vector<LoggedCommand>{};
    ASSERT_EQ(logged.empty(), run.server.absent);
    if (logged.empty()) return;
    const int hangMs = hangs ? readyMs + run.server.hangAfterSeconds * 1000 : kDayMs;
    std::vector<std::string> sent, tunedTo{"14074000"};  // the stand-in's frequency at start
    int stale = 0, afterHang = 0, lastMs = 0;
    for (const LoggedCommand& command : logged) {
        // Hidden for closing, the window skipped ticks.
        if (command.msOfDay > readMs) break;
        if (!run.server.refuse) tunedTo.push_back(command.command.substr(kCommandPrefix.size()));
        if (command.msOfDay < settledMs) continue;
        const bool firstAfterHang = command.msOfDay >= hangMs && afterHang++ == 0;
        if (!::testing::Value(
                CoreCommandsBetween(settings, command.msOfDay - kTickToArrivalMs, command.msOfDay),
                ::testing::Contains(command.command))) {
            ++stale;
            EXPECT_TRUE(firstAfterHang) << command.command << " is not the core's";
        }
        sent.push_back(command.command);
        lastMs = command.msOfDay;
    }
    std::printf("%s: %d commands, %d stale, %d after the hang\n", run.name,
                static_cast<int>(sent.size()), stale, afterHang);
    EXPECT_EQ(afterHang > 1, hangs) << "commands go on after the server wakes";
    std::vector<std::string> expected =
        CoreCommandsBetween(settings, logged.front().msOfDay - kTickToArrivalMs, lastMs);
    if (expected.size() == sent.size() + 1) expected.erase(expected.begin());
    if (!hangs && !run.sendsOften) {
        EXPECT_EQ(sent, expected);
    }

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
        {"absent at start: morvane waits", {.absent = true}, 3000},
        {"serves a megabyte that is no UTF-8", {.hostileItems = true}, 4000},
        {.name = "starts 5 s after morvane", .watchMs = 8000, .serverLateMs = 5000},
        {.name = "hangs for 4 s mid-run",
         .server = {.hangAfterSeconds = 4, .hangForSeconds = 4},
         .watchMs = 9500,
         .sendsOften = true},
        {.name = "absent, a hung program's window up",
         .server = {.absent = true},
         .watchMs = 2000,
         .hungWindow = true},
    };
    for (const ServerCase& run : runs) {
        SCOPED_TRACE(run.name);
        ExpectMorvaneToFollowTheCoreAndTellTheTruth(run);
    }
}

}  // namespace
}  // namespace morvane
