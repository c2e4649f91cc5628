// The whole morvane.exe against the stand-in radio-control server, watched
// from outside as a user and the radio-control program see it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
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

// ---- Watching the program from outside -----------------------------------------

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One reading of the status line. The read is a round trip through morvane's
// event thread, so a thread held up by its link shows as a long round trip.
struct StatusReading {
    Clock::time_point at;
    double roundTripMs;
    std::string status;
};

struct StatusWatch {
    std::vector<StatusReading> readings;

    double LargestRoundTripMs() const {
        double largest = 0;
        for (const StatusReading& reading : readings)
            largest = std::max(largest, reading.roundTripMs);
        return largest;
    }
    bool SaidBefore(std::string_view status, Clock::time_point before) const {
        return std::any_of(readings.begin(), readings.end(), [&](const StatusReading& reading) {
            return reading.at < before && reading.status == status;
        });
    }
    // From `from` to the first reading since that said `status`; -1: none did.
    double MsUntil(std::string_view status, Clock::time_point from) const {
        for (const StatusReading& reading : readings) {
            if (reading.at >= from && reading.status == status) return MsBetween(from, reading.at);
        }
        return -1;
    }
    // Readings that said `then` after one had said `first`.
    int SaidAfter(std::string_view then, std::string_view first) const {
        int count = 0;
        bool firstSeen = false;
        for (const StatusReading& reading : readings) {
            firstSeen = firstSeen || reading.status == first;
            if (firstSeen && reading.status == then) ++count;
        }
        return count;
    }
};

// Reads the status line every 5 ms for `durationMs`.
StatusWatch WatchStatus(HWND window, int durationMs) {
    StatusWatch watch;
    for (const auto end = Clock::now() + std::chrono::milliseconds(durationMs); Clock::now() < end;
         Sleep(5)) {
        const Clock::time_point before = Clock::now();
        std::string status = FieldOf(window, "status");
        const Clock::time_point after = Clock::now();
        watch.readings.push_back({after, MsBetween(before, after), std::move(status)});
    }
    return watch;
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

// ---- The radio-control program failing ---------------------------------------------

struct LinkFault {
    const char* name;
    test_support::StandInOptions server;
    int watchMs;
    // Whether the link is lost: when the server quits, or, never opened, from
    // the start. The status must then say not connected within 2 s.
    bool linkLost;
};

std::string NameOf(const ::testing::TestParamInfo<LinkFault>& fault) {
    return fault.param.name;
}

class MorvaneUnderLinkFault : public ::testing::TestWithParam<LinkFault> {};

// The commands that did arrive are the core's, each once: none repeated or retried.
void ExpectEachCommandOnceAndTheCores(const std::vector<LoggedCommand>& logged) {
    for (std::size_t i = 0; i < logged.size(); ++i) {
        EXPECT_TRUE(CoreAskedForItJustBefore(logged[i])) << logged[i].command;
        if (i > 0) {
            EXPECT_NE(logged[i].command, logged[i - 1].command);
        }
    }
}

void ExpectSettingsUntouched(HWND window) {
    const std::pair<const char*, const char*> settings[] = {{"Combo_period", "300"},
                                                            {"chirptime", "235"},
                                                            {"Combo_rate", "100"},
                                                            {"Combo_step", "100"}};
    for (const auto& [field, text] : settings) EXPECT_EQ(FieldOf(window, field), text) << field;
}

void ExpectTheTruthAfterALoss(const StatusWatch& watch, Clock::time_point lostAt, bool opened) {
    // The first such reading may come before `lostAt` when that is an estimate
    // (the server quits by a timer of its own), hence the signed figure too.
    const double msToNotConnected = watch.MsUntil(kNotConnectedStatus, lostAt);
    const auto first =
        std::find_if(watch.readings.begin(), watch.readings.end(),
                     [](const StatusReading& r) { return r.status == kNotConnectedStatus; });
    if (first != watch.readings.end()) {
        std::printf("  first said not connected %+.0f ms from the loss\n",
                    MsBetween(lostAt, first->at));
    }
    EXPECT_EQ(watch.SaidBefore(kConnectedStatus, lostAt), opened);
    EXPECT_GE(msToNotConnected, 0);
    EXPECT_LT(msToNotConnected, 2000);
    EXPECT_EQ(watch.SaidAfter(kConnectedStatus, kNotConnectedStatus), 0);
}

void ExpectConnectedThroughout(const StatusWatch& watch) {
    EXPECT_TRUE(watch.SaidBefore(kConnectedStatus, Clock::time_point::max()));
    EXPECT_EQ(watch.SaidAfter(kNotConnectedStatus, kConnectedStatus), 0);
}

TEST_P(MorvaneUnderLinkFault, KeepsTickingAndTellsTheTruth) {
    const LinkFault& fault = GetParam();
    StandInServer server(fault.server);
    // The server quits this long after it said it was ready.
    const Clock::time_point quitsAt =
        Clock::now() + std::chrono::seconds(fault.server.quitAfterSeconds);
    ChildProcess morvane(MorvaneCommandLine());
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const Clock::time_point windowAt = Clock::now();
    const StatusWatch watch = WatchStatus(window, fault.watchMs);
    std::printf("%s: largest round trip %.1f ms\n", fault.name, watch.LargestRoundTripMs());

    EXPECT_LT(watch.LargestRoundTripMs(), 250) << "the event thread stalled";
    const bool opened = !fault.server.absent;
    if (fault.linkLost) {
        ExpectTheTruthAfterALoss(watch, opened ? quitsAt : windowAt, opened);
    } else {
        ExpectConnectedThroughout(watch);
    }
    ExpectSettingsUntouched(window);
    EXPECT_LE(WideFromUtf8(FieldOf(window, "text2")).size(), 256u);
    EXPECT_TRUE(ClosesWhenAsked(window, morvane));
    ExpectEachCommandOnceAndTheCores(server.Commands());
    if (!opened) {
        EXPECT_TRUE(server.Commands().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MorvaneUnderLinkFault,
    ::testing::Values(LinkFault{"QuitsMidRun", {.quitAfterSeconds = 4}, 7000, true},
                      LinkFault{"RefusesEveryCommand", {.refuse = true}, 5000, false},
                      LinkFault{"SlowToAcknowledge", {.slowAckMs = 400}, 5000, false},
                      LinkFault{"AbsentAtStart", {.absent = true}, 3000, true},
                      LinkFault{
                          "ServesAMegabyteThatIsNoUtf8", {.hostileItems = true}, 4000, false}),
    NameOf);

}  // namespace
}  // namespace morvane
