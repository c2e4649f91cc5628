// The whole morvane.exe against the stand-in radio-control server, watched
// from outside as a user and the radio-control program see it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/win32_test_support.hpp"
#include "tracking/tick.hpp"
#include "window/main_window_win32.hpp"
#include "window/window_layout.hpp"

namespace morvane {
namespace {

using test_support::ChildProcess;
using test_support::LoggedCommand;
using test_support::ProgramFolder;
using test_support::StandInServer;

constexpr int kDayMs = 86'400'000;
// A command leaves at a tick and is logged when it arrives, a little later.
constexpr int kTickToArrivalMs = 250;

// The candidate the core computes at `msOfDay` with the initial settings.
class CoreCandidate : public HandOff {
  public:
    std::string At(int msOfDay) {
        MainFields fields;
        const int ms = (msOfDay % kDayMs + kDayMs) % kDayMs;
        RunTick(fields, ClockReading{ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000},
                ".", *this);
        return candidate_;
    }
    void HandOffCandidate(MainFields&, const std::string& candidate) override {
        candidate_ = candidate;
    }

  private:
    std::string candidate_;
};

std::string CommandFor(const std::string& candidate) {
    return std::string(kCommandPrefix) + candidate;
}

// The distinct commands the core asks for, in order, over [fromMs, toMs].
std::vector<std::string> CoreCommandsBetween(int fromMs, int toMs) {
    CoreCandidate core;
    std::vector<std::string> commands;
    for (int ms = fromMs; ms <= toMs; ms += 5) {
        const std::string command = CommandFor(core.At(ms));
        if (commands.empty() || commands.back() != command) commands.push_back(command);
    }
    return commands;
}

bool CoreAskedForItJustBefore(const LoggedCommand& logged) {
    CoreCandidate core;
    for (int before = 0; before <= kTickToArrivalMs; before += 5) {
        if (CommandFor(core.At(logged.msOfDay - before)) == logged.command) return true;
    }
    return false;
}

int NowMsOfDay() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

bool ClosesWhenAsked(HWND window, const ChildProcess& program) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return program.Exited(10'000);
}

HWND WaitForMainWindow() {
    HWND window = nullptr;
    test_support::PumpMessagesUntil(
        [&] { return (window = FindWindowW(kMainWindowClass, nullptr)) != nullptr; }, 15'000);
    return window;
}

// A window's text read from another process, as accessibility tools read it.
std::string TextOf(HWND window) {
    std::wstring text(512, L'\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &length);
    text.resize(length);
    return Utf8FromWide(text);
}

std::string FieldOf(HWND window, std::string_view name) {
    return TextOf(GetDlgItem(window, ControlId(name)));
}

std::wstring MorvaneCommandLine() {
    return L"\"" + (ProgramFolder() / L"morvane.exe").wstring() + L"\"";
}

std::string DotGrouped(const std::string& hertz) {
    std::string grouped;
    for (std::size_t i = 0; i < hertz.size(); ++i) {
        if (i > 0 && (hertz.size() - i) % 3 == 0) grouped += '.';
        grouped += hertz[i];
    }
    return grouped;
}

TEST(MorvaneProgram, SendsExactlyTheStepsTheCoreComputesAndShowsItsFields) {
    StandInServer server;
    ChildProcess morvane(MorvaneCommandLine());
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    Sleep(15'000);

    EXPECT_EQ(TextOf(window), kWindowCaption);
    EXPECT_EQ(FieldOf(window, "status"), kConnectedStatus);
    EXPECT_EQ(FieldOf(window, "Text7"), "0");
    int hour = -1, minute = -1, second = -1;
    const std::string timeOfDay = FieldOf(window, "Text1");
    ASSERT_EQ(std::sscanf(timeOfDay.c_str(), "%d:%d:%d", &hour, &minute, &second), 3) << timeOfDay;
    EXPECT_EQ(timeOfDay, std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                             std::to_string(second));  // no leading zeros
    EXPECT_LE(std::abs(NowMsOfDay() / 1000 - ((hour * 60 + minute) * 60 + second)), 2);
    const int readMs = NowMsOfDay();
    const std::string radioFrequency = FieldOf(window, "text2");

    EXPECT_TRUE(ClosesWhenAsked(window, morvane));

    const std::vector<LoggedCommand> logged = server.Commands();
    ASSERT_FALSE(logged.empty());
    if (logged.back().msOfDay < logged.front().msOfDay) GTEST_SKIP() << "ran across midnight";
    std::vector<std::string> sent;
    for (const LoggedCommand& command : logged) {
        EXPECT_TRUE(CoreAskedForItJustBefore(command)) << command.command;
        sent.push_back(command.command);
    }
    // Each step once and in order: the core's own sequence over the run, less
    // perhaps a step it left just before the first command arrived.
    std::vector<std::string> expected =
        CoreCommandsBetween(logged.front().msOfDay - kTickToArrivalMs, logged.back().msOfDay);
    if (expected.size() == sent.size() + 1) expected.erase(expected.begin());
    EXPECT_EQ(sent, expected);

    // The hot link shows the radio's frequency as the server formats it: the
    // last retune before the fields were read, or the one before if its advise
    // was still on the way.
    std::vector<std::string> shownIfRetuned;
    for (const LoggedCommand& command : logged) {
        if (command.msOfDay > readMs) break;
        shownIfRetuned.push_back(DotGrouped(command.command.substr(kCommandPrefix.size())));
    }
    ASSERT_FALSE(shownIfRetuned.empty());
    const bool lastOrOneBefore =
        radioFrequency == shownIfRetuned.back() ||
        (shownIfRetuned.size() > 1 && radioFrequency == shownIfRetuned[shownIfRetuned.size() - 2]);
    EXPECT_TRUE(lastOrOneBefore) << radioFrequency;
}

TEST(MorvaneProgram, WithoutTheRadioControlProgramItNeverShowsConnected) {
    ChildProcess morvane(MorvaneCommandLine());
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    std::vector<std::string> statuses;
    for (int i = 0; i < 20; ++i, Sleep(100)) statuses.push_back(FieldOf(window, "status"));
    for (const std::string& status : statuses) EXPECT_NE(status, kConnectedStatus);
    EXPECT_EQ(statuses.back(), kNotConnectedStatus);
    EXPECT_TRUE(ClosesWhenAsked(window, morvane));
}

}  // namespace
}  // namespace morvane
