#include "window/main_window_win32.hpp"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/win32_test_support.hpp"
#include "window/window_layout.hpp"

namespace morvane {
namespace {

using test_support::PumpMessagesUntil;

std::wstring ClassNameFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return L"Static";
        case ControlKind::TextField:
            return L"Edit";
        case ControlKind::DropDown:
            return L"ComboBox";
        case ControlKind::Slider:
            return L"msctls_trackbar32";
    }
    return {};
}

std::vector<std::string> Entries(HWND dropDown) {
    std::vector<std::string> entries;
    const auto count = static_cast<int>(SendMessageW(dropDown, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring entry(256, L'\0');
        const auto length = SendMessageW(dropDown, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                         reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<std::size_t>(length));
        entries.push_back(Utf8FromWide(entry));
    }
    return entries;
}

std::vector<std::string> AsStrings(std::span<const std::string_view> list) {
    return {list.begin(), list.end()};
}

// The window as the program creates it, with no radio-control program running.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL, Timing());
        ASSERT_NE(window, nullptr);
    }
    virtual TickTiming Timing() const { return TickTiming::PhaseLocked; }
    void TearDown() override {
        DestroyWindow(window);
        MSG quit{};
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    HWND Control(std::string_view name) const { return GetDlgItem(window, ControlId(name)); }
    std::string Text(std::string_view name) const {
        std::wstring text(512, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(Control(name), text.data(), 512)));
        return Utf8FromWide(text);
    }
    void RunTicks(int count) const {
        PumpMessagesUntil([] { return false; }, count * 60);
    }
    // What the window tells a control's painting: text colour, background colour.
    std::pair<COLORREF, COLORREF> PaintColours(std::string_view name) const {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(Control(name)));
        const std::pair colours{GetTextColor(dc), GetBkColor(dc)};
        DeleteDC(dc);
        return colours;
    }
    void MoveSliderTo(int position) const {
        HWND slider = Control("Slider1");
        SendMessageW(slider, TBM_SETPOS, TRUE, position);
        SendMessageW(window, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0),
                     reinterpret_cast<LPARAM>(slider));
    }
    // The ticks go on after the first: a later one shows an edit made after it.
    void ExpectLaterTicksToTakeAnEdit() const {
        RunTicks(3);
        ASSERT_EQ(Text("Text7"), "0");
        MoveSliderTo(4);
        RunTicks(3);
        EXPECT_EQ(Text("Text7"), "600");
    }
    int Tooltips() const {
        HWND tooltip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
        while (tooltip != nullptr && GetWindow(tooltip, GW_OWNER) != window) {
            tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr);
        }
        return tooltip == nullptr ? 0
                                  : static_cast<int>(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    }
    HWND window = nullptr;
};

TEST_F(MainWindowTest, EveryControlOfTheLayoutStandsWhereTheTableSays) {
    const int dpi = static_cast<int>(GetDpiForWindow(window));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));
    for (const ControlSpec& spec : kMainWindowLayout) {
        SCOPED_TRACE(std::string(spec.name));
        HWND control = Control(spec.name);
        ASSERT_NE(control, nullptr);
        std::wstring className(64, L'\0');
        className.resize(static_cast<std::size_t>(GetClassNameW(control, className.data(), 64)));
        EXPECT_EQ(className, ClassNameFor(spec.kind));
        EXPECT_EQ(IsWindowVisible(control) != FALSE, spec.visible);
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, TwipsToPixels(spec.twips.left, dpi));
        EXPECT_EQ(rect.top, TwipsToPixels(spec.twips.top, dpi));
        EXPECT_EQ(rect.right - rect.left, TwipsToPixels(spec.twips.width, dpi));
        const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
        if (spec.kind == ControlKind::TextField) {
            EXPECT_TRUE(style & ES_AUTOHSCROLL);
        }
        if (spec.kind == ControlKind::DropDown) {
            EXPECT_EQ(style & (CBS_DROPDOWNLIST | CBS_SORT), CBS_DROPDOWN);
        }
    }
}

TEST_F(MainWindowTest, StartsWithTheInitialFieldsTheListsAndTheFocusInText5) {
    std::wstring caption(64, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(window, caption.data(), 64)));
    EXPECT_EQ(Utf8FromWide(caption), kWindowCaption);
    EXPECT_EQ(Text("Text7"), "Text7");
    EXPECT_EQ(Text("status"), "Status");
    EXPECT_EQ(Text("text2"), "18.100.000");
    EXPECT_EQ(Text("Combo_period"), "300");
    EXPECT_EQ(Entries(Control("Combo_period")), AsStrings(kPeriodList));
    EXPECT_EQ(Entries(Control("Combo_rate")), AsStrings(kRateList));
    EXPECT_EQ(Entries(Control("Combo_step")), AsStrings(kStepList));
    EXPECT_EQ(SendMessageW(Control("Slider1"), TBM_GETRANGEMIN, 0, 0), -10);
    EXPECT_EQ(SendMessageW(Control("Slider1"), TBM_GETRANGEMAX, 0, 0), 10);

    EXPECT_EQ(GetFocus(), Control("Text5"));
    std::vector<int> order;
    HWND control = Control("Text5");
    for (std::size_t i = 0; i < kFocusOrder.size(); ++i) {
        order.push_back(GetDlgCtrlID(control));
        control = GetNextDlgTabItem(window, control, FALSE);
    }
    std::vector<int> expected;
    for (std::string_view name : kFocusOrder) expected.push_back(ControlId(name));
    EXPECT_EQ(order, expected);
    EXPECT_EQ(control, Control("Text5"));  // and round again
}

TEST_F(MainWindowTest, TicksWithoutAServerShowNotConnectedOnRed) {
    RunTicks(3);
    EXPECT_EQ(Text("status"), kNotConnectedStatus);
    EXPECT_EQ(Text("Text7"), "0");
    EXPECT_EQ(Text("Text6"), kLinkDownMark);
    EXPECT_EQ(PaintColours("text2").second, kNotConnectedColour);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_TRUE(Text("Text1").starts_with(std::to_string(now.wHour) + ":")) << Text("Text1");
}

TEST_F(MainWindowTest, EditsReachTheNextTick) {
    MoveSliderTo(-10);
    HWND period = Control("Combo_period");
    SendMessageW(period, CB_SETCURSEL, 0, 0);  // "60", as a click in the list leaves it
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ControlId("Combo_period"), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(period));
    RunTicks(3);
    EXPECT_EQ(Text("Text7"), "-1500");
    EXPECT_LT(std::stod(Text("Text5")), 60.0);
}

TEST_F(MainWindowTest, ASettingThatDoesNotConvertIsMarkedUntilATickGetsThrough) {
    RunTicks(2);
    const COLORREF normalText = PaintColours("chirptime").first;
    const std::string shownBefore = Text("Text5");
    for (wchar_t typed : std::wstring(L"x")) SendMessageW(Control("chirptime"), WM_CHAR, typed, 0);
    RunTicks(3);
    EXPECT_NE(PaintColours("chirptime").first, normalText);
    EXPECT_EQ(Tooltips(), 1);
    SetWindowTextW(Control("chirptime"), L"235");
    RunTicks(3);
    EXPECT_EQ(PaintColours("chirptime").first, normalText);
    EXPECT_EQ(Tooltips(), 0);
    EXPECT_NE(Text("Text5"), shownBefore);
}

TEST_F(MainWindowTest, PhaseLockedTicksGoOnAfterTheFirst) {
    ExpectLaterTicksToTakeAnEdit();
}

class FreeRunningWindowTest : public MainWindowTest {
  protected:
    TickTiming Timing() const override { return TickTiming::FreeRunning; }
};

TEST_F(FreeRunningWindowTest, FreeRunningTicksGoOnAfterTheFirst) {
    ExpectLaterTicksToTakeAnEdit();
}

// ---- Hostile texts pasted into the fields ---------------------------------------------

// Puts `text` on the clipboard and pastes it over all that `control` holds,
// as a user does with Ctrl+A, Ctrl+V.
void PasteInto(HWND owner, HWND control, const std::wstring& text) {
    std::wstring className(16, L'\0');
    className.resize(static_cast<std::size_t>(GetClassNameW(control, className.data(), 16)));
    if (className == L"ComboBox") {
        ComboBox_SetEditSel(control, 0, -1);
    } else {
        Edit_SetSel(control, 0, -1);
    }
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    EXPECT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    CloseClipboard();
    SendMessageW(control, WM_PASTE, 0, 0);  // a drop-down passes it on to its edit
}

struct HostilePaste {
    const char* name;
    const char* field;
    std::wstring text;
    bool marked;  // a setting the tick cannot use is marked
};

std::string NameOf(const ::testing::TestParamInfo<HostilePaste>& paste) {
    return paste.param.name;
}

class MainWindowPaste : public MainWindowTest,
                        public ::testing::WithParamInterface<HostilePaste> {};

constexpr std::size_t kMegabyte = 1 << 20;
// What the window lets a user type or paste into a field.
constexpr int kLongestTypedText = 255;
const char* const kSettings[] = {"Combo_period", "chirptime", "Combo_rate", "Combo_step"};

// Runs the window's thread for `ms` and returns its longest turn: each turn
// does whatever the thread has to do, ticks and painting included.
double LongestTurnMs(DWORD ms) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point turn = Clock::now();
    double longest = 0;
    PumpMessagesUntil(
        [&] {
            const Clock::time_point now = Clock::now();
            longest =
                std::max(longest, std::chrono::duration<double, std::milli>(now - turn).count());
            turn = now;
            return false;
        },
        ms);
    return longest;
}

TEST_P(MainWindowPaste, IsCutOrMarkedWhileTheTicksGoOn) {
    const HostilePaste& paste = GetParam();
    RunTicks(2);
    const COLORREF normalText = PaintColours(paste.field).first;
    PasteInto(window, Control(paste.field), paste.text);
    const double longestTurnMs = LongestTurnMs(1000);
    const int shown = GetWindowTextLengthW(Control(paste.field));
    std::printf("%s: %d characters shown, longest turn %.1f ms\n", paste.name, shown,
                longestTurnMs);
    EXPECT_LT(longestTurnMs, 250) << "the window's thread stalled";
    EXPECT_EQ(shown, kLongestTypedText);  // cut, not refused
    EXPECT_EQ(PaintColours(paste.field).first != normalText, paste.marked);
    EXPECT_EQ(Tooltips(), paste.marked ? 1 : 0);
    const std::map<std::string, std::string> initial{{"Combo_period", "300"},
                                                     {"chirptime", "235"},
                                                     {"Combo_rate", "100"},
                                                     {"Combo_step", "100"}};
    for (const char* other : kSettings) {
        if (std::string_view(other) != paste.field) {
            EXPECT_EQ(Text(other), initial.at(other));
        }
    }
    // Put right, the setting is used again: the ticks went on all along.
    const std::string readout = Text("Text5");
    PasteInto(window, Control(paste.field), WideFromUtf8(initial.at(paste.field)));
    RunTicks(3);
    EXPECT_EQ(Tooltips(), 0);
    EXPECT_NE(Text("Text5"), readout);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MainWindowPaste,
    ::testing::Values(
        HostilePaste{"PeriodMegabyteOfDigits", "Combo_period", std::wstring(kMegabyte, L'9'), true},
        HostilePaste{"ChirpTimeMegabyteOfDigits", "chirptime", std::wstring(kMegabyte, L'9'), true},
        // A rate not in the rate table sends nothing, and is never marked.
        HostilePaste{"RateMegabyteOfDigits", "Combo_rate", std::wstring(kMegabyte, L'9'), false},
        HostilePaste{"StepNoValidUnicode", "Combo_step",
                     std::wstring(kMegabyte / 2, static_cast<wchar_t>(0xD800)), true},
        HostilePaste{"ChirpTimeNoValidUnicode", "chirptime",
                     std::wstring(kMegabyte / 2, static_cast<wchar_t>(0xDC00)), true}),
    NameOf);

}  // namespace
}  // namespace morvane
