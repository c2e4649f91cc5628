// The whole morvane.exe, its DDE link included, against the stand-in
// radio-control server, watched from outside as a user and that program see it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "radiolink/frequency_text.hpp"
#include "radiolink/hand_off.hpp"
#include "testsupport/drive_morvane_win32.hpp"
#include "testsupport/precise_time_win32.hpp"
#include "tracking/tick.hpp"

namespace morvane {
namespace {

using bench::FieldText;
using ::testing::AllOf, ::testing::AnyOf, ::testing::AnyOfArray, ::testing::Ge, ::testing::Lt;
using Logged = std::pair<int, std::string>;  // a command the server logged, and when

// A command leaves at a tick and is logged when it arrives, a little later.
constexpr int kTickToArrivalMs = 250;

// Times here are local milliseconds of the day, as the server logs them.
int NowMsOfDay() {
    return static_cast<int>(bench::PreciseLocalMsOfDay());
}

// The distinct commands the core asks for, in order, over [fromMs, toMs].
std::vector<std::string> CoreCommandsBetween(const MainFields& settings, int fromMs, int toMs) {
    struct Commands : HandOff {
        void HandOffCandidate(MainFields&, const std::string& candidate) override {
            const std::string command = std::string(kCommandPrefix) + candidate;
            if (!candidate.empty() && (asked.empty() || asked.back() != command))
                asked.push_back(command);
        }
        std::vector<std::string> asked;
    } core;
    for (int ms = fromMs; ms <= toMs; ++ms) {
        MainFields fields = settings;
        const int t = (ms + 86'400'000) % 86'400'000;
        RunTick(fields, {t / 3'600'000, t / 60'000 % 60, t / 1000 % 60, t % 1000}, ".", core);
    }
    return core.asked;
}

// The stand-in server with its switches, and the commands it logged up to
// `untilMs` ("hh:mm:ss.mmmuuu<tab>command"), read to the millisecond.
struct StandIn : bench::Process {
    explicit StandIn(std::wstring_view switches)
        : ready(bench::StartStandIn(L"--log " + bench::Quoted(log) + L" " + std::wstring(switches),
                                    *this)) {}
    ~StandIn() {
        End(0);
        DeleteFileW(log.c_str());
    }
    std::vector<Logged> Commands(int untilMs) const {
        std::vector<Logged> commands;
        std::ifstream file(log.c_str());
        for (std::string line; std::getline(file, line);) {
            int hour = 0, minute = 0, second = 0, ms = 0, used = 0;
            std::sscanf(line.c_str(), "%d:%d:%d.%3d%*3d\t%n", &hour, &minute, &second, &ms, &used);
            ms += ((hour * 60 + minute) * 60 + second) * 1000;
            if (used > 0 && ms <= untilMs)
                commands.emplace_back(ms, line.substr(std::size_t(used)));
        }
        return commands;
    }
    const std::wstring log = std::filesystem::temp_directory_path() /
                             (L"morvane-stand-in-" + std::to_wstring(GetTickCount64()) + L".log");
    const bool ready;
};

// How the stand-in server behaves in one run, and what morvane must show of it.
struct ServerCase {
    const char* name;
    std::wstring_view switches;  // the stand-in's
    std::string_view statuses;   // the status line's changes: '+' "Connected", '-' not
    int lostAfterS;              // it quits, ends the conversation or hangs then
    int watchMs;                 // how long morvane is watched once its window is up
    int lateMs = 0;              // it starts so long after morvane.exe
    bool sendsOften = false;     // a user types rate 500, step 50: a command every 100 ms

    bool Has(std::wstring_view option) const { return switches.find(option) != switches.npos; }
};

// What the watch saw.
struct Watch {
    int readyMs;              // when the server was ready
    std::string statuses{};   // the status line's changes, as in ServerCase
    std::vector<int> atMs{};  // when each showed
    int firstTickMs = -1, largestTickGapMs = 0, largestRoundTripMs = 0;
};

// Reads the status line and Text5 (a readout of every other tick) from outside
// every 5 ms: each read is a round trip through morvane's event thread, so a
// thread held up by its link shows as a long one. Starts a late server when due.
Watch WatchMorvane(const ServerCase& run, HWND window, std::optional<StandIn>& server,
                   int startMs) {
    Watch seen{startMs};
    std::string readout = "Text5";
    int tickMs = 0;
    for (const int endMs = NowMsOfDay() + run.watchMs; NowMsOfDay() < endMs; Sleep(5)) {
        if (!server && NowMsOfDay() >= startMs + run.lateMs) {
            server.emplace(run.switches);
            tickMs = seen.readyMs = NowMsOfDay();  // the watch stood still meanwhile
        }
        const int before = NowMsOfDay();
        const std::string status = FieldText(window, "status");
        const int now = NowMsOfDay();
        seen.largestRoundTripMs = std::max(seen.largestRoundTripMs, now - before);
        if (const std::string text = FieldText(window, "Text5"); text != readout) {
            if (seen.firstTickMs < 0) seen.firstTickMs = now;
            seen.largestTickGapMs = std::max(seen.largestTickGapMs, tickMs > 0 ? now - tickMs : 0);
            tickMs = now;
            readout = text;
        }
        const char shown = status == kConnectedStatus      ? '+'
                           : status == kNotConnectedStatus ? '-'
                                                           : 0;
        if (shown != 0 && !seen.statuses.ends_with(shown)) {
            seen.statuses += shown;
            seen.atMs.push_back(now);
        }
    }
    return seen;
}

// "Connected" only while a link is open: soon after the server is there and
// never before, never again once lost, unless the server wakes from a hang.
// "Not connected" soon after the loss, or just before: the server's own timer
// decides; a hung one shows 2 s after the first command it leaves unanswered.
void ExpectTheStatusLineToTellTheTruth(const ServerCase& run, const Watch& seen) {
    const std::string tickedFirst = run.statuses[0] == '+' ? "-" + std::string(run.statuses) : "";
    EXPECT_THAT(seen.statuses, AnyOf(run.statuses, tickedFirst));
    const auto when = [&seen](std::string_view change, int otherwise) {
        const std::size_t at = seen.statuses.find(change);
        return at == std::string::npos ? otherwise : seen.atMs[at + change.size() - 1];
    };
    const int lossMs = seen.readyMs + run.lostAfterS * 1000;
    EXPECT_THAT(when("+", seen.readyMs) - seen.readyMs, AllOf(Ge(0), Lt(3000)));
    EXPECT_THAT(when("+-", lossMs) - lossMs, AllOf(Ge(-999), Lt(run.Has(L"--hang") ? 2500 : 2000)));
}

// Each command the server logged is the core's when it arrived and, where
// every step can go out, each step goes once and in order, less perhaps one
// the core left just before the first arrived. A server that wakes from a hang
// takes first the one command it was sent before it stopped; nothing else it
// was sent meanwhile is left to come, and new ones follow.
// Both hot links show the radio as the server formats each item: as fetched
// when the link opened, or tuned by the last command the server took or, its
// advise still on the way, the one before. A hostile server's megabyte (0x80
// to 0xFF over and over) shows cut to 256 bytes, read in the ANSI code page.
void ExpectTheCoresCommandsAndTheHotLinks(const ServerCase& run, const std::vector<Logged>& logged,
                                          const MainFields& settings, int settledMs, int wokeMs,
                                          const std::string& hertz, const std::string& display) {
    std::vector<std::string> sent, tunedTo{"14074000"}, shown;  // the stand-in's frequency at start
    int stale = 0, afterWaking = 0;
    for (const auto& [ms, command] : logged) {
        if (!run.Has(L"--refuse")) tunedTo.push_back(command.substr(kCommandPrefix.size()));
        if (ms < settledMs) continue;  // sent while the settings were typed
        const auto core = CoreCommandsBetween(settings, ms - kTickToArrivalMs, ms);
        stale += std::find(core.begin(), core.end(), command) == core.end();
        afterWaking += ms > wokeMs;
        sent.push_back(command);
    }
    EXPECT_LE(stale, run.Has(L"--hang") ? 1 : 0) << "commands that are not the core's";
    EXPECT_GT(afterWaking, 0) << "no commands since the server woke";
    tunedTo.erase(tunedTo.begin(),
                  tunedTo.end() - std::min<std::ptrdiff_t>(2, std::ssize(tunedTo)));
    for (const std::string& hz : tunedTo) shown.push_back(DisplayFrequencyText(std::stoll(hz)));
    if (run.Has(L"--hostile")) {
        std::string bytes;
        for (int i = 0; i < 256; ++i) bytes += static_cast<char>(0x80 + i % 0x80);
        tunedTo = shown = {Utf8FromAnsi(bytes)};
    }
    EXPECT_THAT(hertz, AnyOfArray(tunedTo));
    EXPECT_THAT(display, AnyOfArray(shown));
    if (run.Has(L"--hang") || run.sendsOften) return;
    std::vector<std::string> steps =
        CoreCommandsBetween(settings, logged.front().first - kTickToArrivalMs, logged.back().first);
    if (steps.size() == sent.size() + 1) steps.erase(steps.begin());
    EXPECT_EQ(sent, steps);
}

// The windows Wine's DdeConnect made for a process: one per try, until the
// program cleans up after the tries that found no server.
int DdeClientWindowsOf(DWORD processId) {
    int windows = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"WineDdeClientW", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        windows += owner == processId;
    }
    return windows;
}

// Runs morvane.exe as a user starts it against the server and watches it;
// then its other fields, how it closes, and the commands the server logged
// while its fields were up to date (hidden for closing, the window skips ticks).
void ExpectMorvaneToFollowTheCoreAndTellTheTruth(const ServerCase& run) {
    std::optional<StandIn> server;
    if (run.lateMs == 0) server.emplace(run.switches);
    ASSERT_TRUE(!server || server->ready);
    const int startMs = NowMsOfDay();
    bench::Process morvane;
    ASSERT_TRUE(bench::Start(L"morvane.exe", morvane));
    HWND window = bench::WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    MainFields settings;
    if (run.sendsOften) {  // for 28 s once the sweep, begun 3 s ago, nears the band in 4 s
        settings.Combo_rate = "500";
        settings.Combo_step = "50";
        settings.chirptime = std::to_string(((NowMsOfDay() + 100) / 1000 + 297) % 300);
        bench::TypeInto(window, "Combo_rate", L"500");
        bench::TypeInto(window, "Combo_step", L"50");
        bench::TypeInto(window, "chirptime", WideFromUtf8(settings.chirptime));
    }
    const int settledMs = run.sendsOften ? NowMsOfDay() + kTickToArrivalMs : 0;
    const Watch seen = WatchMorvane(run, window, server, startMs);
    ASSERT_TRUE(server && server->ready);
    EXPECT_THAT(seen.firstTickMs - startMs, AllOf(Ge(0), Lt(1000))) << "shows and ticks at once";
    EXPECT_LT(seen.largestTickGapMs, 1000) << "the ticks stopped";
    EXPECT_LT(seen.largestRoundTripMs, 250) << "the event thread stalled";
    ExpectTheStatusLineToTellTheTruth(run, seen);
    EXPECT_LE(DdeClientWindowsOf(morvane.dwProcessId), 1) << "the tries to connect pile up";
    EXPECT_EQ(bench::TextOf(window), kWindowCaption);
    const std::string timeOfDay = FieldText(window, "Text1"), display = FieldText(window, "text2"),
                      hertz = FieldText(window, "Text4");
    const int readMs = NowMsOfDay();
    // Wine with no window manager waits 2 s for the X server to take a closing
    // window off the screen, whatever the program; hidden first, the close
    // times morvane's own ending.
    ShowWindowAsync(window, SW_HIDE);
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    const int closedMs = NowMsOfDay();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(morvane.Ended(10'000)) << "closes when asked";
    EXPECT_LT(NowMsOfDay() - closedMs, 1000) << "ends at once, whatever its link waits for";
    if (NowMsOfDay() < startMs) GTEST_SKIP() << "ran across midnight";
    int hour = -1, minute = -1, second = -1;
    ASSERT_EQ(std::sscanf(timeOfDay.c_str(), "%d:%d:%d", &hour, &minute, &second), 3) << timeOfDay;
    EXPECT_LE(std::abs(readMs / 1000 - ((hour * 60 + minute) * 60 + second)), 2) << timeOfDay;
    const std::vector<Logged> logged = server->Commands(readMs);
    ASSERT_EQ(logged.empty(), run.statuses == "-");
    // The status line's last change: a server that hung is back.
    const int wokeMs = run.Has(L"--hang") && !seen.atMs.empty() ? seen.atMs.back() : 0;
    if (!logged.empty())
        ExpectTheCoresCommandsAndTheHotLinks(run, logged, settings, settledMs, wokeMs, hertz,
                                             display);
}

TEST(MorvaneProgram, FollowsTheCoreAndTellsTheTruthWhateverTheServerDoes) {
    // clang-format off
    const ServerCase runs[] = {
        {"serves a megabyte that is no UTF-8, answers every command, then quits", L"--hostile-items --quit-after 3", "+-", 3, 5000},
        {"refuses every command, then ends the conversation but runs on", L"--refuse --drop-after 3", "+-", 3, 5000},
        {"absent for 4 s, then starts; slow to acknowledge", L"--slow-ack 400", "-+", 0, 6500, 4000},
        {"hangs for 3 s mid-run, rate 500 and step 50 typed in", L"--hang-after 3 --hang-for 3", "+-+", 3, 7000, 0, true},
        // Wine passes over a window that has taken no message for 5 s; until
        // then an initiate waits on it for as long as the hang lasts.
        {"a hung program's window up, no server", L"--hung-window", "-", 0, 2000},
    };
    // clang-format on
    for (const ServerCase& run : runs) {
        SCOPED_TRACE(run.name);
        ExpectMorvaneToFollowTheCoreAndTellTheTruth(run);
    }
}

}  // namespace
}  // namespace morvane
