// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window_win32.hpp"

#include <commctrl.h>
#include <mmsystem.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "radiolink/follower.hpp"
#include "radiolink/radio_link_dde_win32.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "window/main_fields.hpp"
#include "window/window_layout.hpp"

namespace morvane {
namespace {

// A drop-down list's window also covers its open list, below the edit.
constexpr int kOpenListTwips = 1800;
constexpr COLORREF kMarkedTextColour = RGB(204, 0, 0);
// Dark text on the connection colours, whatever the desktop's colours.
constexpr COLORREF kTextOnConnectionColour = RGB(0, 0, 0);

// Posted by the tick timer, and by the link's thread for each of its notices;
// cracked like the system's messages.
constexpr UINT WM_MORVANE_TICK = kTickMessage;
constexpr UINT WM_MORVANE_LINK = kTickMessage + 1;
#define HANDLE_WM_MORVANE_TICK(hwnd, wParam, lParam, fn) ((fn)(hwnd), 0L)
#define HANDLE_WM_MORVANE_LINK(hwnd, wParam, lParam, fn) ((fn)((hwnd), (wParam), (lParam)), 0L)
#define HANDLE_WM_DPICHANGED(hwnd, wParam, lParam, fn) \
    ((fn)((hwnd), HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)), 0L)

// The tick's clock: a one-shot thread-pool timer that posts WM_MORVANE_TICK
// to the window, with the system timer at 1 ms (timeBeginPeriod) while it
// exists. SetTimer is rounded up to the 15.6 ms system tick and fires every
// 62.5 ms instead of 50; a posted message also keeps the ticks coming while
// the user drags or resizes the window. Each tick re-arms it from its own
// reading, so nothing drifts.
class TickTimer {
  public:
    explicit TickTimer(HWND window) {
        timeBeginPeriod(1);
        timer_ = CreateThreadpoolTimer(&TickTimer::Fire, window, nullptr);
    }
    ~TickTimer() {
        if (timer_ != nullptr) {
            SetThreadpoolTimer(timer_, nullptr, 0, 0);
            WaitForThreadpoolTimerCallbacks(timer_, TRUE);
            CloseThreadpoolTimer(timer_);
        }
        timeEndPeriod(1);
    }
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    void Arm(int delayMs) {
        if (timer_ == nullptr) return;
        // Negative due times count from now, in 100 ns units.
        ULARGE_INTEGER due{};
        due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(delayMs) * 10'000);
        FILETIME dueTime{due.LowPart, due.HighPart};
        SetThreadpoolTimer(timer_, &dueTime, 0, 0);
    }

  private:
    static void CALLBACK Fire(PTP_CALLBACK_INSTANCE, PVOID window, PTP_TIMER) {
        PostMessageW(static_cast<HWND>(window), WM_MORVANE_TICK, 0, 0);
    }
    PTP_TIMER timer_ = nullptr;
};

// One reading of the local clock gives the time of day and its milliseconds.
ClockReading ReadClock() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// Windows has no documented call that says whether its clock is kept in
// step, so the follower is told nothing of it and the time is not marked.
FollowerClock LocalClock() {
    FollowerClock clock;
    clock.timeOfDay = ReadClock;
    return clock;
}

std::string DecimalSeparator() {
    std::array<wchar_t, 8> separator{};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator.data(),
                    static_cast<int>(separator.size()));
    return Utf8FromWide(separator.data());
}

// The system's own two colours and texts; read once, as the follower wants.
FollowerOptions WindowOptions(TickTiming timing) {
    return {DecimalSeparator(),
            ColourScheme::TwoColours,
            timing,
            {LinkState::Waiting, std::string(kNotConnectedStatus), std::string(kWaitingDetail)}};
}

struct FontEntry {
    FontSpec spec;
    HFONT font;
};

// Everything the window holds; it hangs off the window (GWLP_USERDATA). The
// follower keeps the fields and the link's state; the window shows them.
struct MainWindow {
    MainWindow(HWND mainWindow, TickTiming timing)
        : window(mainWindow),
          link(mainWindow, WM_MORVANE_LINK),
          follower(MainFields{}, link, LocalClock(), WindowOptions(timing)),
          timer(mainWindow) {}
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    MainFields& fields() { return follower.fields(); }

    HWND window;
    std::array<HWND, kMainWindowLayout.size()> controls{};
    std::vector<FontEntry> fonts;
    std::optional<Colour> shownBackground;
    HBRUSH backgroundBrush = nullptr;
    Colour backgroundBrushColour = 0;
    HWND tooltip = nullptr;
    std::vector<FieldMark> marks;     // the settings marked after the last tick
    std::vector<std::wstring> markTips;  // what their tooltips say
    std::wstring statusTip;                 // what the status line's tooltip says
    HWND lastFocus = nullptr;
    DdeRadioLink link;
    Follower follower;
    TickTimer timer;
};

MainWindow* StateOf(HWND window) {
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND ControlOf(const MainWindow& state, ControlId id) {
    return state.controls[IndexOf(id)];
}

// The layout entry of a control, or of the drop-down list whose edit `child` is.
std::optional<std::size_t> LayoutIndexOf(const MainWindow& state, HWND child) {
    for (std::size_t i = 0; i < state.controls.size(); ++i) {
        const bool dropDownEdit = kMainWindowLayout[i].kind == ControlKind::DropDown &&
                                  GetParent(child) == state.controls[i];
        if (state.controls[i] == child || dropDownEdit) return i;
    }
    return std::nullopt;
}

std::wstring ControlText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    const int length = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// Writes only what differs, so that the caret stays put while the user types.
void ShowText(HWND control, const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    if (ControlText(control) != wide) SetWindowTextW(control, wide.c_str());
}

// ---- Fonts and layout ----------------------------------------------------

// The font a layout entry names, at `dpi`; an empty family is the system's
// message font, which stands for the window's default font.
HFONT CreateLayoutFont(const FontSpec& spec, UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    LOGFONTW font = metrics.lfMessageFont;
    if (!spec.family.empty()) {
        font.lfHeight = -static_cast<LONG>(std::lround(spec.points * dpi / 72.0));
        font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
        const std::wstring family = WideFromUtf8(spec.family);
        const std::size_t length = family.copy(font.lfFaceName, LF_FACESIZE - 1);
        font.lfFaceName[length] = L'\0';
    }
    return CreateFontIndirectW(&font);
}

HFONT FontFor(MainWindow& state, const FontSpec& spec, UINT dpi) {
    for (const FontEntry& entry : state.fonts) {
        if (entry.spec.family == spec.family && entry.spec.points == spec.points &&
            entry.spec.bold == spec.bold) {
            return entry.font;
        }
    }
    state.fonts.push_back({spec, CreateLayoutFont(spec, dpi)});
    return state.fonts.back().font;
}

void DeleteFonts(std::vector<FontEntry>& fonts) {
    for (const FontEntry& entry : fonts) DeleteObject(entry.font);
    fonts.clear();
}

// Puts every control where the layout says, in pixels at `dpi`, with its font.
void PlaceControls(MainWindow& state, UINT dpi) {
    std::vector<FontEntry> oldFonts = std::move(state.fonts);
    state.fonts.clear();
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        const ControlSpec& spec = kMainWindowLayout[i];
        const int listTwips = spec.kind == ControlKind::DropDown ? kOpenListTwips : 0;
        SetWindowPos(state.controls[i], nullptr,
                     TwipsToPixels(spec.twips.left, static_cast<int>(dpi)),
                     TwipsToPixels(spec.twips.top, static_cast<int>(dpi)),
                     TwipsToPixels(spec.twips.width, static_cast<int>(dpi)),
                     TwipsToPixels(spec.twips.height + listTwips, static_cast<int>(dpi)),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowFont(state.controls[i], FontFor(state, spec.font, dpi), TRUE);
    }
    DeleteFonts(oldFonts);
    // Tips no wider than the window; the follower's line breaks show as such.
    SendMessageW(state.tooltip, TTM_SETMAXTIPWIDTH, 0,
                 TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi)));
}

void SizeToClientArea(HWND window, UINT dpi) {
    RECT rect{0, 0, TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi)),
              TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi))};
    AdjustWindowRectExForDpi(&rect, GetWindowStyle(window), FALSE, GetWindowExStyle(window), dpi);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Building the window ---------------------------------------------------

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD extendedStyle;
};

ControlClass ClassFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::TextField:
            // Scrolls as the user types, as a classic text box does; without it
            // the field refuses whatever does not fit its width.
            return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::DropDown:
            // Editable and unsorted: entries keep their order, and what the user
            // types is what the tick reads.
            return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0};
        case ControlKind::Slider:
            return {TRACKBAR_CLASSW, TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM, 0};
    }
    return {L"STATIC", 0, 0};
}

bool TakesFocus(ControlId id) {
    return std::find(kFocusOrder.begin(), kFocusOrder.end(), id) != kFocusOrder.end();
}

HWND CreateControl(HWND parent, std::size_t index) {
    const ControlSpec& spec = kMainWindowLayout[index];
    const ControlClass controlClass = ClassFor(spec.kind);
    DWORD style = WS_CHILD | controlClass.style;
    if (spec.visible) style |= WS_VISIBLE;
    // A label lets the mouse through to the window unless told; the status
    // line's tooltip needs to see it.
    if (spec.id == ControlId::status) style |= SS_NOTIFY;
    if (TakesFocus(spec.id)) style |= WS_TABSTOP;
    const auto id = static_cast<INT_PTR>(ChildId(spec.id));
    return CreateWindowExW(controlClass.extendedStyle, controlClass.name,
                           WideFromUtf8(spec.caption).c_str(), style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(id), GetWindowInstance(parent), nullptr);
}

void AppendEntries(HWND dropDown, std::span<const std::string_view> entries) {
    for (std::string_view entry : entries) {
        ComboBox_AddString(dropDown, WideFromUtf8(entry).c_str());
    }
}

// Tab moves through the controls in z-order, so the focus order becomes the z-order.
void ApplyFocusOrder(const MainWindow& state) {
    HWND previous = HWND_TOP;
    for (ControlId id : kFocusOrder) {
        HWND control = ControlOf(state, id);
        SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control;
    }
}

void LimitTyping(HWND control, ControlKind kind) {
    // Without it a pasted megabyte is kept up to the edit's own limit of
    // 30 000 characters, and Wine's edit control takes 0.4 s to paint such a line.
    const auto longest = static_cast<int>(kLongestFieldText);
    if (kind == ControlKind::TextField) Edit_LimitText(control, longest);
    if (kind == ControlKind::DropDown) ComboBox_LimitText(control, longest);
}

void BuildControls(MainWindow& state) {
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        state.controls[i] = CreateControl(state.window, i);
        LimitTyping(state.controls[i], kMainWindowLayout[i].kind);
        AppendEntries(state.controls[i], kMainWindowLayout[i].list);
    }
    HWND slider = ControlOf(state, ControlId::Slider1);
    SendMessageW(slider, TBM_SETRANGEMIN, FALSE, kSliderLowest);
    SendMessageW(slider, TBM_SETRANGEMAX, TRUE, kSliderHighest);
    state.tooltip =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, state.window,
                        nullptr, GetWindowInstance(state.window), nullptr);
    ApplyFocusOrder(state);
}

// What the window does while it loads: the period list gets its entries.
void LoadWindow(const MainWindow& state) {
    AppendEntries(ControlOf(state, ControlId::Combo_period), kPeriodList);
}

// ---- Showing the fields ----------------------------------------------------

void ShowBackground(MainWindow& state) {
    if (state.fields().text2Background == state.shownBackground) return;
    state.shownBackground = state.fields().text2Background;
    InvalidateRect(ControlOf(state, ControlId::text2), nullptr, TRUE);
}

// Makes every control show what the fields hold.
void ShowFields(MainWindow& state) {
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        const ControlSpec& spec = kMainWindowLayout[i];
        if (spec.field != nullptr) ShowText(state.controls[i], state.fields().*spec.field);
    }
    HWND slider = ControlOf(state, ControlId::Slider1);
    if (SendMessageW(slider, TBM_GETPOS, 0, 0) != state.fields().Slider1) {
        SendMessageW(slider, TBM_SETPOS, TRUE, state.fields().Slider1);
    }
    ShowBackground(state);
}

HBRUSH BackgroundBrush(MainWindow& state, Colour colour) {
    if (state.backgroundBrush == nullptr || state.backgroundBrushColour != colour) {
        if (state.backgroundBrush != nullptr) DeleteObject(state.backgroundBrush);
        state.backgroundBrush = CreateSolidBrush(colour);
        state.backgroundBrushColour = colour;
    }
    return state.backgroundBrush;
}

// ---- Marking a setting the tick cannot use ----------------------------------

TTTOOLINFOW ToolFor(const MainWindow& state, std::size_t index) {
    HWND control = state.controls[index];
    if (kMainWindowLayout[index].kind == ControlKind::DropDown) {
        // The mouse rests on the drop-down's edit, not on the drop-down itself.
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        if (GetComboBoxInfo(control, &info)) control = info.hwndItem;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = state.window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

bool IsMarked(const MainWindow& state, std::size_t index) {
    return std::any_of(state.marks.begin(), state.marks.end(),
                       [index](const FieldMark& mark) { return IndexOf(mark.control) == index; });
}

void Redraw(HWND control) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Red text and a tooltip on the controls whose settings the tick could not
// use or no sounder has, until a tick finds them right.
void ShowSettingMarks(MainWindow& state, const std::vector<FieldMark>& marks) {
    if (state.marks == marks) return;
    for (const FieldMark& shown : state.marks) {
        TTTOOLINFOW tool = ToolFor(state, IndexOf(shown.control));
        SendMessageW(state.tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        Redraw(state.controls[IndexOf(shown.control)]);
    }
    state.marks = marks;
    state.markTips.clear();
    for (const FieldMark& mark : marks) state.markTips.push_back(WideFromUtf8(mark.tip));
    for (std::size_t i = 0; i < marks.size(); ++i) {
        TTTOOLINFOW tool = ToolFor(state, IndexOf(marks[i].control));
        tool.lpszText = state.markTips[i].data();
        SendMessageW(state.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        Redraw(state.controls[IndexOf(marks[i].control)]);
    }
}

// The status line's tooltip tells what its two texts cannot: whether the link
// is still waiting for the radio-control program, has stopped getting answers
// or is reconnecting, and how many steps the radio was on time for.
void ShowStatusTip(MainWindow& state, const std::string& tip) {
    std::wstring wide = WideFromUtf8(tip);
    if (wide == state.statusTip) return;
    const UINT verb = state.statusTip.empty() ? TTM_ADDTOOLW : TTM_UPDATETIPTEXTW;
    state.statusTip = std::move(wide);
    TTTOOLINFOW tool = ToolFor(state, IndexOf(ControlId::status));
    tool.lpszText = state.statusTip.data();
    SendMessageW(state.tooltip, verb, 0, reinterpret_cast<LPARAM>(&tool));
}

// What the follower says after a tick or a link's event.
void Show(MainWindow& state, const FollowerView& view) {
    ShowSettingMarks(state, FieldMarks(view.problem, view.marks));
    ShowStatusTip(state, view.statusTip);
    ShowFields(state);
}

// ---- Message handlers ----------------------------------------------------------

BOOL OnCreate(HWND window, LPCREATESTRUCT create) {
    const auto* timing = static_cast<const TickTiming*>(create->lpCreateParams);
    auto* state = new MainWindow(window, *timing);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    BuildControls(*state);
    const UINT dpi = GetDpiForWindow(window);
    SizeToClientArea(window, dpi);
    PlaceControls(*state, dpi);
    LoadWindow(*state);
    Show(*state, state->follower.View());
    state->timer.Arm(state->follower.FirstTickInMs());
    return TRUE;
}

void OnTimer(HWND window) {
    MainWindow* state = StateOf(window);
    if (state == nullptr) return;
    const FollowerView view = state->follower.Tick();
    state->timer.Arm(view.nextTickMs);
    Show(*state, view);
}

// The text a user's edit leaves in a field, if `code` reports one.
std::optional<std::wstring> EditedText(const ControlSpec& spec, HWND control, UINT code) {
    if (spec.kind == ControlKind::TextField && code == EN_CHANGE) return ControlText(control);
    if (spec.kind != ControlKind::DropDown) return std::nullopt;
    if (code == CBN_EDITCHANGE) return ControlText(control);
    if (code != CBN_SELCHANGE) return std::nullopt;
    // The edit still shows the old entry while the list reports the new one.
    const int selected = ComboBox_GetCurSel(control);
    if (selected < 0) return std::nullopt;
    std::wstring entry(static_cast<std::size_t>(ComboBox_GetLBTextLen(control, selected)) + 1,
                       L'\0');
    entry.resize(static_cast<std::size_t>(ComboBox_GetLBText(control, selected, entry.data())));
    return entry;
}

void OnCommand(HWND window, int id, HWND control, UINT code) {
    MainWindow* state = StateOf(window);
    const int index = id - ChildId(ControlId{});
    if (state == nullptr || index < 0 || index >= static_cast<int>(kMainWindowLayout.size()))
        return;
    const ControlSpec& spec = kMainWindowLayout[static_cast<std::size_t>(index)];
    if (spec.field == nullptr) return;
    if (auto text = EditedText(spec, control, code))
        state->fields().*spec.field = Utf8FromWide(*text);
}

// A state, value or answer from the link's thread, taken between ticks.
void OnLinkNotice(HWND window, WPARAM kind, LPARAM notice) {
    MainWindow* state = StateOf(window);
    if (state == nullptr) return;
    DdeRadioLink::TakeNotice(kind, notice, state->follower);
    Show(*state, state->follower.View());
}

void OnHScroll(HWND window, HWND control, UINT, int) {
    MainWindow* state = StateOf(window);
    if (state == nullptr || control != ControlOf(*state, ControlId::Slider1)) return;
    state->fields().Slider1 = static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0));
}

HBRUSH OnCtlColor(HWND window, HDC dc, HWND child, int type) {
    HBRUSH brush = type == CTLCOLOR_EDIT
                       ? FORWARD_WM_CTLCOLOREDIT(window, dc, child, DefWindowProcW)
                       : FORWARD_WM_CTLCOLORSTATIC(window, dc, child, DefWindowProcW);
    MainWindow* state = StateOf(window);
    const auto index = state != nullptr ? LayoutIndexOf(*state, child) : std::nullopt;
    if (!index) return brush;
    if (IsMarked(*state, *index)) SetTextColor(dc, kMarkedTextColour);
    const auto background = state->fields().text2Background;
    if (kMainWindowLayout[*index].id == ControlId::text2 && background) {
        SetTextColor(dc, kTextOnConnectionColour);
        SetBkColor(dc, *background);
        brush = BackgroundBrush(*state, *background);
    }
    return brush;
}

// Keeps the focus on the control that had it, as a dialog does.
void OnActivate(HWND window, UINT activation, HWND, BOOL minimized) {
    MainWindow* state = StateOf(window);
    if (state == nullptr) return;
    if (activation == WA_INACTIVE) {
        state->lastFocus = GetFocus();
    } else if (!minimized) {
        const bool ours = state->lastFocus != nullptr && IsChild(window, state->lastFocus);
        SetFocus(ours ? state->lastFocus : ControlOf(*state, kFocusOrder.front()));
    }
}

void OnDpiChanged(HWND window, UINT dpi, const RECT* suggested) {
    MainWindow* state = StateOf(window);
    if (state == nullptr) return;
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(*state, dpi);
}

// The window's last message, after its controls have gone, so their fonts may
// go too. The state is unhooked first: while the link's thread is given a
// moment to hang up, messages sent to the window are still taken.
void OnNcDestroy(HWND window) {
    MainWindow* state = StateOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete state;
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(hwnd, WM_CREATE, OnCreate);
        HANDLE_MSG(hwnd, WM_MORVANE_TICK, OnTimer);
        HANDLE_MSG(hwnd, WM_MORVANE_LINK, OnLinkNotice);
        HANDLE_MSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_MSG(hwnd, WM_HSCROLL, OnHScroll);
        HANDLE_MSG(hwnd, WM_CTLCOLOREDIT, OnCtlColor);
        HANDLE_MSG(hwnd, WM_CTLCOLORSTATIC, OnCtlColor);
        HANDLE_MSG(hwnd, WM_ACTIVATE, OnActivate);
        HANDLE_MSG(hwnd, WM_DPICHANGED, OnDpiChanged);
        HANDLE_MSG(hwnd, WM_NCDESTROY, OnNcDestroy);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

MainWindow::~MainWindow() {
    DeleteFonts(fonts);
    if (backgroundBrush != nullptr) DeleteObject(backgroundBrush);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, int showCommand, TickTiming timing) {
    INITCOMMONCONTROLSEX commonControls{sizeof commonControls,
                                        ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&commonControls);
    if (!RegisterMainWindowClass(instance)) return nullptr;
    HWND window =
        CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, WideFromUtf8(kWindowCaption).c_str(),
                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, instance, &timing);
    if (window == nullptr) return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(GetDlgItem(window, ChildId(kFocusOrder.front())));
    return window;
}

int RunMessageLoop(HWND window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, shift-tab and the arrow keys move between the controls.
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace morvane
