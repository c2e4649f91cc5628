// The main window in this process, with no radio-control program running: how
// it opens, its ticks, and what a hostile paste does to it.
#include "window/main_window_win32.hpp"

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windowsx.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "radiolink/radio_link_dde_win32.hpp"
#include "testsupport/drive_morvane_win32.hpp"

namespace morvane {
namespace {

using bench::ControlNamed;

// The window as the program creates it, on this thread.
struct TestWindow {
    explicit TestWindow(TickTiming timing)
        : window(CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL, timing)) {}
    ~TestWindow() {
        DestroyWindow(window);
        MSG quit{};  // posted for the program's message loop as the window goes
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    std::string Text(std::string_view name) const { return bench::FieldText(window, name); }
    void RunTicks(int ticks) const {
        for (const ULONGLONG end = GetTickCount64() + 60U * static_cast<unsigned>(ticks);
             GetTickCount64() < end; MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT))
            for (MSG message{}; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
                DispatchMessageW(&message);
    }
    // What the window tells a control to paint with: text colour, background colour.
    std::pair<COLORREF, COLORREF> PaintColours(std::string_view name) const {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(ControlNamed(window, name)));
        const std::pair colours{GetTextColor(dc), GetBkColor(dc)};
        DeleteDC(dc);
        return colours;
    }
    // What the window's tooltip says, tool by tool: the status line's, and a
    // marked setting's.
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

// How each control opens: its box in pixels at 96 dpi (left, top, width,
// height), whether it is hidden, and a list's entries in their order. A
// drop-down's height is its open list's, as Wine measures it: 117 of the 141
// pixels the window gives it.
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
        char text[64]{};
        std::snprintf(text, sizeof text, "\n%s %ld %ld %ld %ld%s", spec.name.data(), box.left,
                      box.top, box.right - box.left, box.bottom - box.top,
                      IsWindowVisible(control) ? "" : " hidden");
        opened += text;
        for (int i = 0; dropDown && i < ComboBox_GetCount(control); ++i) {
            wchar_t entry[16]{};
            ComboBox_GetLBText(control, i, entry);
            opened += (i == 0 ? ": " : " ") + Utf8FromWide(entry);
        }
    }
    return opened + "\n";
}

// A megabyte, or text that is no Unicode, pasted over a setting: the field
// keeps 255 characters, so the window's thread is not held up (Wine's edit took
// 0.7 s to take a longer line and 0.4 s to paint it at each repaint), and the
// setting is marked, as the tick cannot use it; put right, the mark goes and
// the ticks use it again.
void ExpectAHostilePasteCutAndMarkedUntilPutRight(const TestWindow& w, std::string_view setting,
                                                  const std::wstring& paste) {
    SCOPED_TRACE(std::string(setting));
    const std::wstring original = WideFromUtf8(w.Text(setting));
    const COLORREF normalText = w.PaintColours(setting).first;
    const ULONGLONG pastedAt = GetTickCount64();
    bench::TypeInto(w.window, setting, paste, true);
    w.RunTicks(3);
    RedrawWindow(w.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_LT(GetTickCount64() - pastedAt, 400U) << "three ticks and a repaint";
    EXPECT_EQ(GetWindowTextLengthW(ControlNamed(w.window, setting)), 255);  // cut, not refused
    EXPECT_NE(w.PaintColours(setting).first, normalText);
    EXPECT_THAT(w.Tips(), ::testing::ElementsAre(kWaitingCondition,
                                                 ::testing::EndsWith("the sweep is not followed")));

    const std::string readout = w.Text("Text5");
    bench::TypeInto(w.window, setting, original, true);
    w.RunTicks(3);
    EXPECT_EQ(w.PaintColours(setting).first, normalText);
    EXPECT_THAT(w.Tips(), ::testing::ElementsAre(kWaitingCondition));
    EXPECT_NE(w.Text("Text5"), readout);
}

// The window opens laid out in twips with its lists and the focus in Text5.
// The ticks go on after the first, phase-locked as the program has them and
// free-running as the bench compares them. They show the link down, take the
// user's edits, and mark what they cannot use.
TEST(MainWindow, OpensLaidOutTicksShowTheLinkDownTakeEditsAndMarkAHostilePasteUntilPutRight) {
    const std::wstring megabyteOfDigits(1 << 20, L'9');
    for (const TickTiming timing : {TickTiming::SweepLocked, TickTiming::ClockLocked}) {
        SCOPED_TRACE(timing == TickTiming::SweepLocked ? "sweep-locked" : "clock-locked");
        const TestWindow w(timing);
        ASSERT_EQ(GetDpiForWindow(w.window), 96U);
        EXPECT_EQ(Opened(w.window), kOpenedAt96Dpi);
        EXPECT_EQ(SendMessageW(ControlNamed(w.window, "Slider1"), TBM_GETRANGEMAX, 0, 0), 10);
        std::string focusOrder;  // from the control that has it, round once and on to the next
        HWND control = GetFocus();
        for (int step = 0; step < 12; ++step, control = GetNextDlgTabItem(w.window, control, FALSE))
            focusOrder +=
                std::string(
                    kMainWindowLayout.at(std::size_t(GetDlgCtrlID(control) - ChildId(ControlId{})))
                        .name) +
                " ";
        EXPECT_EQ(focusOrder,
                  "Text5 Text3 text2 chirptime Slider1 Text1 Combo_period Combo_rate "
                  "Combo_step Text6 Text7 Text5 ");

        w.RunTicks(3);
        EXPECT_EQ(w.PaintColours("text2").second, kNotConnectedColour);
        EXPECT_THAT(w.Tips(), ::testing::ElementsAre(kWaitingCondition));  // no server yet
        EXPECT_EQ(w.Text("Text7"), "0");
        HWND slider = ControlNamed(w.window, "Slider1");
        SendMessageW(slider, TBM_SETPOS, TRUE, -10);
        SendMessageW(w.window, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0), LPARAM(slider));
        HWND period = ControlNamed(w.window, "Combo_period");
        ComboBox_SetCurSel(period, 0);  // "60", as a click in the list leaves it
        SendMessageW(w.window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(period), CBN_SELCHANGE),
                     LPARAM(period));
        w.RunTicks(3);
        EXPECT_EQ(w.Text("Text7"), "-1500");
        EXPECT_LT(std::stod(w.Text("Text5")), 60.0);

        ExpectAHostilePasteCutAndMarkedUntilPutRight(w, "Combo_period", megabyteOfDigits);
        ExpectAHostilePasteCutAndMarkedUntilPutRight(w, "chirptime", std::wstring(1 << 19, 0xDC00));
        // A rate in no list: nothing is sent.
        ExpectAHostilePasteCutAndMarkedUntilPutRight(w, "Combo_rate", megabyteOfDigits);
        ExpectAHostilePasteCutAndMarkedUntilPutRight(w, "Combo_step",
                                                     std::wstring(1 << 19, 0xD800));
    }
}

}  // namespace
}  // namespace morvane
