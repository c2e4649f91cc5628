// SPDX-License-Identifier: GPL-3.0-or-later
// The main window in this process with no radio-control program running; then
// morvane.exe against the stand-in server, watched as a user and that server see it.
#include "window/main_window_win32.hpp"

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "radiolink/frequency_text.hpp"
#include "radiolink/hand_off.hpp"
#include "radiolink/radio_link_dde_win32.hpp"
#include "testsupport/core_checks.hpp"
#include "testsupport/drive_morvane_win32.hpp"
#include "tracking/tick.hpp"

namespace morvane {
namespace {

using bench::ControlNamed, bench::FieldText;
using ::testing::AllOf, ::testing::AnyOf, ::testing::AnyOfArray, ::testing::ElementsAre;
using ::testing::EndsWith, ::testing::Ge, ::testing::Lt, ::testing::StartsWith, ::testing::_;
using Logged = std::pair<int, std::string>;  // a command the server logged, and when

struct TestWindow {
    TestWindow() : window(CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL)) {}
    ~TestWindow() { DestroyWindow(window); }  // its WM_QUIT is left to the next RunTicks
    void RunTicks(int ticks) const {
        for (const ULONGLONG end = GetTickCount64() + 60U * static_cast<unsigned>(ticks);
             GetTickCount64() < end; MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT))
            for (MSG message{}; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
                DispatchMessageW(&message);
    }
    // What the window tells a control to paint with: text colour, background colour.
    std::pair<COLORREF, COLORREF> PaintColours(std::string_view name) const {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(window, WM_CTLCOLOREDIT, WPARAM(dc), LPARAM(ControlNamed(window, name)));
        const std::pair colours{GetTextColor(dc), GetBkColor(dc)};
        DeleteDC(dc);
        return colours;
    }
    // What the window's tooltip says, tool by tool: the status line's, a marked setting's.
    std::vector<std::string> Tips() const {
        HWND tooltip = nullptr;
        do tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr);
        while (tooltip != nullptr && GetWindow(tooltip, GW_OWNER) != window);
        std::vector<std::string> tips;
        wchar_t text[512]{};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        for (UINT i = 0; SendMessageW(tooltip, TTM_ENUMTOOLSW, i, LPARAM(&tool)); ++i)
            tips.push_back(Utf8FromWide(text));
        return tips;
    }

    HWND window;
};

// Each control's box in pixels at 96 dpi (left, top, width, height), whether it
// is hidden, and a list's entries in order. A drop-down's height is its open
// list's as Wine measures it: 117 of the 141 pixels the window gives it.
constexpr std::string_view kOpenedAt96Dpi = R"(client 330 243
Label4 8 8 81 25
text2 96 8 121 27
Text4 96 8 121 27 hidden
Label2 8 40 57 17
Combo_period 96 40 57 117: 60 300 600 900 1200 1800
Label3 8 64 65 17
chirptime 96 64 33 19
Label10 8 88 81 17
Combo_rate 96 88 57 117: 100 125 50 500
Label8 8 120 81 17
Combo_step 96 120 57 117: 100 50 500
Label6 8 152 81 33
Slider1 96 152 121 17
Text7 224 152 33 19
Label9 264 152 25 17
Label7 8 176 73 17
Text1 96 176 57 19
status 8 208 313 25
Label5 16 264 225 17
Text3 248 264 57 23
Label1 16 296 225 17
Text5 248 296 57 19
Text6 344 304 41 19
tab Text5 Text3 text2 chirptime Slider1 Text1 Combo_period Combo_rate Combo_step Text6 Text7 Text5
)";

std::string Opened(HWND window) {
    RECT box{};
    GetClientRect(window, &box);
    std::string opened = "client " + std::to_string(box.right) + " " + std::to_string(box.bottom);
    for (const ControlSpec& spec : kMainWindowLayout) {
        HWND control = ControlNamed(window, spec.name);
        const bool dropDown = spec.kind == ControlKind::DropDown;
        if (dropDown)
            SendMessageW(control, CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&box));
        else
            GetWindowRect(control, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        opened += "\n" + std::string(spec.name);
        for (const long at : {box.left, box.top, box.right - box.left, box.bottom - box.top})
            opened += " " + std::to_string(at);
        opened += IsWindowVisible(control) ? "" : " hidden";
        for (int i = 0; dropDown && i < ComboBox_GetCount(control); ++i) {
            wchar_t entry[16]{};
            ComboBox_GetLBText(control, i, entry);
            opened += (i == 0 ? ": " : " ") + Utf8FromWide(entry);
        }
    }
    opened += "\ntab";  // the focus order, from the first round once to it again
    HWND focus = GetFocus();
    for (int stop = 0; stop < 12; ++stop, focus = GetNextDlgTabItem(window, focus, FALSE))
        for (const ControlSpec& spec : kMainWindowLayout)
            if (ControlNamed(window, spec.name) == focus) opened += " " + std::string(spec.name);
    return opened + "\n";
}

// A megabyte, or text that is no Unicode, pasted over a setting: the field keeps
// 255 characters (Wine's edit took 0.7 s to take a longer line, 0.4 s to paint
// it) and is marked; put right, the mark goes: a tick could use it.
void ExpectPasteCutAndMarkedUntilPutRight(const TestWindow& w, std::string_view setting,
                                          const std::wstring& paste) {
    SCOPED_TRACE(std::string(setting));
    const std::wstring original = WideFromUtf8(FieldText(w.window, setting));
    const COLORREF normalText = w.PaintColours(setting).first;
    bench::TypeInto(w.window, setting, paste, true);
    w.RunTicks(3);
    EXPECT_EQ(GetWindowTextLengthW(ControlNamed(w.window, setting)), 255);  // cut, not refused
    EXPECT_NE(w.PaintColours(setting).first, normalText);
    const auto waiting = StartsWith(std::string(kWaitingDetail));
    EXPECT_THAT(w.Tips(), ElementsAre(waiting, EndsWith("the sweep is not followed")));

    bench::TypeInto(w.window, setting, original, true);
    w.RunTicks(3);
    EXPECT_EQ(w.PaintColours(setting).first, normalText);
    EXPECT_THAT(w.Tips(), ElementsAre(waiting));
}

TEST(MainWindow, OpensLaidOutTicksShowTheLinkDownTakeEditsAndMarkAHostilePasteUntilPutRight) {
    const TestWindow w;
    EXPECT_EQ(Opened(w.window), kOpenedAt96Dpi);

    w.RunTicks(3);
    EXPECT_EQ(w.PaintColours("text2").second, kNotConnectedColour);
    HWND slider = ControlNamed(w.window, "Slider1");
    SendMessageW(slider, TBM_SETPOS, TRUE, -10);
    SendMessageW(w.window, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0), LPARAM(slider));
    HWND period = ControlNamed(w.window, "Combo_period");
    const auto choosePeriod = [&](int index) {  // as a click in the list leaves it
        ComboBox_SetCurSel(period, index);
        SendMessageW(w.window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(period), CBN_SELCHANGE),
                     LPARAM(period));
        w.RunTicks(3);
    };
    choosePeriod(0);  // "60"
    EXPECT_EQ(FieldText(w.window, "Text7"), "-1500");
    EXPECT_LT(std::stod(FieldText(w.window, "Text5")), 60.0);
    // The chirp time no 60 s period has is marked, and the sweep followed as set.
    EXPECT_THAT(w.Tips(), ElementsAre(_, "Chirp time: 235 s is outside the 60 s period: at 100 "
                                         "kHz/s the sweep never takes the radio off 2 MHz; 55 s "
                                         "gives the whole sweep"));
    choosePeriod(1);  // "300"

    ExpectPasteCutAndMarkedUntilPutRight(w, "Combo_period", std::wstring(1 << 20, L'9'));
    ExpectPasteCutAndMarkedUntilPutRight(w, "chirptime", std::wstring(1 << 19, 0xDC00));
}

constexpr int kTickToArrivalMs = 250;  // from the tick a command leaves at to its log line

// Times here are local milliseconds of the day, as the server logs them.
int NowMsOfDay() {
    return static_cast<int>(bench::PreciseLocalMsOfDay());
}

// The commands the core and the hand-off send, tick by tick over [fromMs, toMs].
std::vector<std::string> CoreCommandsBetween(const MainFields& settings, int fromMs, int toMs) {
    MainFields fields = settings;
    testing::RecordingLink link;
    LinkHandOff handOff(link);
    handOff.SetLinkUp(true);
    for (int ms = fromMs; ms <= toMs; ++ms)
        RunTick(fields, testing::ClockAt((ms + 86'400'000) % 86'400'000), ".", handOff);
    return link.commands;
}

// The stand-in server with its switches, and the commands it logged up to
// `untilMs` ("hh:mm:ss.mmmuuu<tab>command"), read to the millisecond.
struct StandIn : bench::Process {
    explicit StandIn(std::wstring_view switches)
        : ready(bench::StartStandIn(L"--log \"" + log + L"\" " + std::wstring(switches), *this)) {}
    ~StandIn() {
        End(0);
        DeleteFileW(log.c_str());
    }
    std::vector<Logged> Commands(int untilMs) const {
        std::vector<Logged> commands;
        std::ifstream file(log.c_str());
        for (std::string line; std::getline(file, line);) {
            int hour = 0, minute = 0, second = 0, ms = 0;
            std::sscanf(line.c_str(), "%d:%d:%d.%3d", &hour, &minute, &second, &ms);
            ms += ((hour * 60 + minute) * 60 + second) * 1000;
            if (ms <= untilMs) commands.emplace_back(ms, line.substr(line.find('\t') + 1));
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
    int lostAfterS;              // it quits, ends the conversation, hangs, stalls or is killed then
    int watchMs;                 // how long morvane is watched once its window is up
    int lateMs = 0;              // it starts so long after morvane.exe
    bool sendsOften = false;     // a user types rate 500, step 50: a command every 100 ms
    int restartMs = 0;           // killed at lostAfterS, a new one starts so long after
    int slowForS = 0;            // it answers in time only after so long

    bool Has(std::wstring_view option) const { return switches.find(option) != switches.npos; }
};

struct Watch {
    int readyMs;             // when the server was ready
    std::string statuses{};  // the status line's changes, as in ServerCase
    int changedMs = 0, firstTickMs = -1;

    // "Connected" soon after the server is there, never before; "not connected"
    // soon after the loss, a refusal, or 2 s after a command left unanswered.
    void Changed(const ServerCase& run, char shown, int now) {
        statuses += shown;
        changedMs = now;
        if (std::ranges::count(statuses, '+') != 1) return;
        if (shown == '+') {  // the next try to open (every 2 s), then the first acknowledgement
            EXPECT_THAT(now - readyMs - run.slowForS * 1000, AllOf(Ge(0), Lt(4000))) << "connected";
        } else {
            const int lossMs = readyMs + run.lostAfterS * 1000;
            EXPECT_THAT(now - lossMs, AllOf(Ge(-999), Lt(run.Has(L"--hang") ? 2500 : 2000)));
        }
    }
};

// Reads the status line and Text5 (changed by every other tick) every 5 ms: each
// read is a round trip through morvane's event thread. Starts and kills servers when due.
Watch WatchMorvane(const ServerCase& run, HWND window, std::optional<StandIn>& server,
                   int startMs) {
    Watch seen{startMs};
    std::string readout = "Text5";
    int tickMs = 0, dueMs = startMs + run.lateMs;
    int killMs = run.restartMs > 0 ? startMs + run.lostAfterS * 1000 : INT_MAX;
    for (const int endMs = NowMsOfDay() + run.watchMs; NowMsOfDay() < endMs; Sleep(5)) {
        if (NowMsOfDay() >= killMs) {
            server.reset();  // its log goes with it
            dueMs = std::exchange(killMs, INT_MAX) + run.restartMs;
        }
        if (!server && NowMsOfDay() >= dueMs) {
            server.emplace(run.switches);
            tickMs = seen.readyMs = NowMsOfDay();  // the watch stood still meanwhile
        }
        const int before = NowMsOfDay();
        const std::string status = FieldText(window, "status");
        const int now = NowMsOfDay();
        EXPECT_LT(now - before, 250) << "the event thread stalled";
        if (const std::string text = FieldText(window, "Text5"); text != readout) {
            if (seen.firstTickMs < 0) seen.firstTickMs = now;
            EXPECT_LT(tickMs > 0 ? now - tickMs : 0, 1000) << "the ticks stopped";
            tickMs = now;
            readout = text;
        }
        const char shown = status == kConnectedStatus      ? '+'
                           : status == kNotConnectedStatus ? '-'
                                                           : 0;
        if (shown != 0 && !seen.statuses.ends_with(shown)) seen.Changed(run, shown, now);
    }
    return seen;
}

// A server woken from a hang takes the command it held and one probe, then no
// burst; where every step can go out, each goes once and in order, less perhaps
// the first. A hostile megabyte shows cut to 256 bytes, read in the ANSI code page.
void ExpectTheCoresCommandsAndTheHotLinks(const ServerCase& run, const std::vector<Logged>& logged,
                                          const MainFields& settings, int settledMs, int wokeMs,
                                          const std::string& hertz, const std::string& display) {
    std::vector<std::string> sent, tunedTo{"14074000"}, shown;  // the stand-in's frequency at start
    int stale = 0;
    for (const auto& [ms, command] : logged) {
        if (!run.Has(L"--refuse")) tunedTo.push_back(command.substr(kCommandPrefix.size()));
        if (tunedTo.size() > 2) tunedTo.erase(tunedTo.begin());  // the last two
        if (ms < settledMs) continue;  // sent while the settings were typed
        const auto core = CoreCommandsBetween(settings, ms - kTickToArrivalMs, ms);
        stale += std::find(core.begin(), core.end(), command) == core.end();
        sent.push_back(command);
    }
    const int staleAllowed = run.Has(L"--slow-for") ? INT_MAX : run.Has(L"--hang") ? 2 : 0;
    EXPECT_LE(stale, staleAllowed) << "commands that are not the core's";
    // Green again comes with the acknowledgement of a retune, up to 2 s after it arrived.
    EXPECT_GT(logged.back().first, std::max(settledMs, wokeMs - 2000)) << "none since it woke";
    for (const std::string& hz : tunedTo) shown.push_back(DisplayFrequencyText(std::stoll(hz)));
    if (run.Has(L"--hostile")) {
        std::string bytes;
        for (int i = 0; i < 256; ++i) bytes += static_cast<char>(0x80 + i % 0x80);
        tunedTo = shown = {Utf8FromAnsi(bytes)};
    }
    EXPECT_THAT(hertz, AnyOfArray(tunedTo));
    EXPECT_THAT(display, AnyOfArray(shown));
    if (run.Has(L"--hang") || run.Has(L"--slow-for") || run.Has(L"--drop") || run.sendsOften)
        return;
    std::vector<std::string> steps =
        CoreCommandsBetween(settings, logged.front().first - kTickToArrivalMs, logged.back().first);
    if (steps.size() == sent.size() + 1) steps.erase(steps.begin());
    EXPECT_EQ(sent, steps);
}

// Hidden first: Wine with no window manager waits 2 s to take a closing window off.
void ExpectToEndAtOnceWhenClosed(HWND window, const bench::Process& morvane) {
    ShowWindowAsync(window, SW_HIDE);
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(morvane.Ended(1000)) << "ends at once, whatever its link waits for";
}

void ExpectMorvaneToFollowTheCoreAndTellTheTruth(const ServerCase& run) {
    std::optional<StandIn> server;
    if (run.lateMs == 0) server.emplace(run.switches);
    const int startMs = NowMsOfDay();
    bench::Process morvane;
    ASSERT_TRUE(bench::Start(L"morvane.exe", morvane));
    HWND window = bench::WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    MainFields settings;
    if (run.sendsOften) {  // every 100 ms for 28 s from 4 s on: the sweep began 3 s ago
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
    // Never "Connected" again once lost or refused, unless the server is back.
    EXPECT_THAT(seen.statuses, AnyOf(run.statuses, "-" + std::string(run.statuses)));
    int clientWindows = 0;  // Wine's DdeConnect leaves one per try until the program cleans up
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"WineDdeClientW", nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        clientWindows += owner == morvane.dwProcessId;
    }
    EXPECT_LE(clientWindows, 1) << "the tries to connect pile up";
    const std::string display = FieldText(window, "text2"), hertz = FieldText(window, "Text4");
    const int readMs = NowMsOfDay();
    ExpectToEndAtOnceWhenClosed(window, morvane);
    if (NowMsOfDay() < startMs) GTEST_SKIP() << "ran across midnight";
    const std::vector<Logged> logged = server->Commands(readMs);
    ASSERT_EQ(logged.empty(), run.Has(L"--hung-window"));
    const int wokeMs = seen.statuses.ends_with('+') ? seen.changedMs : 0;
    if (logged.empty()) return;
    EXPECT_LT(logged.front().first - seen.readyMs, 3500) << "the first command";
    ExpectTheCoresCommandsAndTheHotLinks(run, logged, settings, settledMs, wokeMs, hertz, display);
}

TEST(MorvaneProgram, FollowsTheCoreAndTellsTheTruthWhateverTheServerDoes) {
    // clang-format off
    const ServerCase runs[] = {
        {"serves a megabyte that is no UTF-8, answers every command, then quits", L"--hostile-items --quit-after 3", "+-", 3, 5000},
        {"refuses every command: never connected", L"--refuse", "-", 0, 4000},
        {"ends the conversation 3 s in and runs on", L"--drop-after 3", "+-+", 3, 7000},
        {"absent for 4 s, then starts; acknowledges in 1.9 s: late, but connected", L"--slow-ack 1900 --slow-for 60", "-+", 0, 9000, 4000},
        {"hangs for 5 s mid-run, rate 500 and step 50 typed in", L"--hang-after 3 --hang-for 5", "+-+", 3, 9000, 0, true},
        {"acknowledges in 2.1 s for 10 s, then at once", L"--slow-ack 2100 --slow-for 10", "-+", 3, 15000, 0, false, 0, 10},
        {"killed 3 s in; another, advising first, starts 3 s later", L"--advise-first", "+-+", 3, 10000, 0, false, 3000},
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
