#include "window/main_window_win32.hpp"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windowsx.h>

#include <chrono>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "radiolink/hand_off.hpp"
#include "radiolink/radio_link_dde_win32.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/win32_test_support.hpp"
#include "window/window_layout.hpp"

namespace morvane {
namespace {

using test_support::PumpMessagesUntil;
using test_support::WindowText;

// The window as the program creates it, on this thread, with no radio-control program running.
struct TestWindow {
    explicit TestWindow(TickTiming timing = TickTiming::SweepLocked)
        : window(CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL, timing)) {}
    ~TestWindow() {
        DestroyWindow(window);
        MSG quit{};  // posted for the program's message loop as the window goes
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    HWND Control(std::string_view name) const {
        for (const ControlSpec& spec : kMainWindowLayout)
            if (spec.name == name) return GetDlgItem(window, ChildId(spec.id));
        return nullptr;
    }
    std::string Text(std::string_view name) const { return WindowText(Control(name)); }
    void RunTicks(int count) const {
        PumpMessagesUntil([] { return false; }, count * 60);
    }
    // What the window tells a control to paint with: text colour, background colour.
    std::pair<COLORREF, COLORREF> PaintColours(std::string_view name) const {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(Control(name)));
        const std::pair colours{GetTextColor(dc), GetBkColor(dc)};
        DeleteDC(dc);
        return colours;
    }
    HWND Tooltip() const {
        HWND tip = nullptr;
        do tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr);
        while (tip != nullptr && GetWindow(tip, GW_OWNER) != window);
        return tip;
    }
    // The tools of the window's tooltip: the status line's, and one while a setting is marked.
    int Tooltips() const {
        return static_cast<int>(SendMessageW(Tooltip(), TTM_GETTOOLCOUNT, 0, 0));
    }
    std::string Tip(std::string_view name) const {
        std::wstring text(256, L'\0');
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(Control(name));
        tool.lpszText = text.data();
        SendMessageW(Tooltip(), TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
        return Utf8FromWide(text.c_str());
    }

    HWND window;
};

TEST(MainWindow, OpensLaidOutInTwipsWithItsListsAndTheFocusInText5) {
    const TestWindow w;
    ASSERT_NE(w.window, nullptr);
    const int dpi = static_cast<int>(GetDpiForWindow(w.window));
    RECT client{};
    GetClientRect(w.window, &client);
    EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));
    // Where the layout table puts each control, in pixels at the window's dpi.
    for (const ControlSpec& placed : kMainWindowLayout) {
        RECT rect{};
        GetWindowRect(w.Control(placed.name), &rect);
        MapWindowPoints(nullptr, w.window, reinterpret_cast<POINT*>(&rect), 1);
        EXPECT_EQ(rect.left, TwipsToPixels(placed.twips.left, dpi)) << placed.name;
        EXPECT_EQ(rect.top, TwipsToPixels(placed.twips.top, dpi)) << placed.name;
        EXPECT_EQ(IsWindowVisible(w.Control(placed.name)) != FALSE, placed.visible) << placed.name;
    }
    EXPECT_EQ(SendMessageW(w.Control("Slider1"), TBM_GETRANGEMAX, 0, 0), 10);
    // Unsorted: a sorted list would put "1200" before "300".
    const std::pair<std::string_view, std::span<const std::string_view>> lists[] = {
        {"Combo_period", kPeriodList}, {"Combo_rate", kRateList}, {"Combo_step", kStepList}};
    for (const auto& [name, list] : lists) {
        EXPECT_EQ(ComboBox_GetCount(w.Control(name)), static_cast<int>(list.size())) << name;
        for (int i = 0; i < static_cast<int>(list.size()); ++i) {
            const std::wstring entry = WideFromUtf8(list[i]);
            EXPECT_EQ(ComboBox_FindStringExact(w.Control(name), -1, entry.c_str()), i) << list[i];
        }
    }

    EXPECT_EQ(GetFocus(), w.Control("Text5"));
    HWND control = w.Control("Text5");
    for (ControlId id : kFocusOrder) {
        EXPECT_EQ(control, GetDlgItem(w.window, ChildId(id))) << Spec(id).name;
        control = GetNextDlgTabItem(w.window, control, FALSE);
    }
    EXPECT_EQ(control, w.Control("Text5"));  // and round again
}

// The ticks go on after the first, phase-locked as the program has them and
// free-running as the bench compares them, and take the user's edits.
TEST(MainWindow, TicksShowTheLinkDownOnRedAndTakeTheUsersEdits) {
    for (const TickTiming timing : {TickTiming::SweepLocked, TickTiming::ClockLocked}) {
        SCOPED_TRACE(timing == TickTiming::SweepLocked ? "sweep-locked" : "clock-locked");
        const TestWindow w(timing);
        w.RunTicks(3);
        EXPECT_EQ(w.PaintColours("text2").second, kNotConnectedColour);
        EXPECT_EQ(w.Tip("status"), kWaitingCondition);  // no radio-control program yet
        EXPECT_EQ(w.Text("Text7"), "0");

        HWND slider = w.Control("Slider1");
        SendMessageW(slider, TBM_SETPOS, TRUE, -10);
        SendMessageW(w.window, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0),
                     reinterpret_cast<LPARAM>(slider));
        HWND period = w.Control("Combo_period");
        ComboBox_SetCurSel(period, 0);  // "60", as a click in the list leaves it
        SendMessageW(w.window, WM_COMMAND, MAKEWPARAM(ChildId(ControlId::Combo_period), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(period));
        w.RunTicks(3);
        EXPECT_EQ(w.Text("Text7"), "-1500");
        EXPECT_LT(std::stod(w.Text("Text5")), 60.0);
    }
}

// Puts `text` on the clipboard and pastes it over all that a field (or a
// drop-down's edit) holds, as a user does with Ctrl+A, Ctrl+V.
void PasteOver(HWND control, const std::wstring& text) {
    if (HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr)) control = edit;
    SendMessageW(control, EM_SETSEL, 0, -1);
    ASSERT_TRUE(OpenClipboard(control));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    EXPECT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    CloseClipboard();
    SendMessageW(control, WM_PASTE, 0, 0);
}

// A megabyte, or text that is no Unicode, pasted over a setting: the field
// keeps 255 characters, so the window's thread is not held up (Wine's edit took
// 0.7 s to take a longer line and 0.4 s to paint it at each repaint), and the
// setting is marked when the tick cannot use it; put right, the mark goes and
// the ticks use it again.
TEST(MainWindow, AHostilePasteIsCutAndMarkedUntilPutRight) {
    struct HostilePaste {
        std::string_view setting;
        std::wstring text;
        bool marked;
        const wchar_t* original;
    };
    const std::wstring megabyteOfDigits(1 << 20, L'9');
    const HostilePaste pastes[] = {
        {"Combo_period", megabyteOfDigits, true, L"300"},
        {"chirptime", std::wstring(1 << 19, wchar_t{0xDC00}), true, L"235"},  // lone surrogates
        {"Combo_rate", megabyteOfDigits, true, L"100"},  // in no list: nothing is sent
        {"Combo_step", std::wstring(1 << 19, wchar_t{0xD800}), true, L"100"},
    };
    for (const HostilePaste& paste : pastes) {
        SCOPED_TRACE(std::string(paste.setting));
        const TestWindow w;
        w.RunTicks(2);
        const COLORREF normalText = w.PaintColours(paste.setting).first;
        const auto pasted = std::chrono::steady_clock::now();
        PasteOver(w.Control(paste.setting), paste.text);
        w.RunTicks(3);
        RedrawWindow(w.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_LT(std::chrono::steady_clock::now() - pasted, std::chrono::milliseconds(400))
            << "three ticks and a repaint";
        EXPECT_EQ(GetWindowTextLengthW(w.Control(paste.setting)), 255);  // cut, not refused
        EXPECT_EQ(w.PaintColours(paste.setting).first != normalText, paste.marked);
        EXPECT_EQ(w.Tooltips(), paste.marked ? 2 : 1);

        const std::string readout = w.Text("Text5");
        PasteOver(w.Control(paste.setting), paste.original);
        w.RunTicks(3);
        EXPECT_EQ(w.PaintColours(paste.setting).first, normalText);
        EXPECT_EQ(w.Tooltips(), 1);
        EXPECT_NE(w.Text("Text5"), readout);
    }
}

}  // namespace
}  // namespace morvane
