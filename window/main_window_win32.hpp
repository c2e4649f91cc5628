// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <string_view>

#include "tracking/tick_schedule.hpp"
#include "window/window_layout.hpp"

namespace morvane {

// The main window's class, by which tests find a running Morvane.
inline constexpr wchar_t kMainWindowClass[] = L"MorvaneMainWindow";

// The message the tick timer posts to the main window, once a tick.
inline constexpr UINT kTickMessage = WM_APP + 1;

// The child-window id of a layout control, by which tests find it too.
constexpr int ChildId(ControlId id) {
    return 100 + static_cast<int>(IndexOf(id));
}

// Creates and shows the main window. The window owns the link to the
// radio-control program, the follower that keeps the fields, and the tick
// timer for as long as it lives.
// nullptr when it cannot be created.
HWND CreateMainWindow(HINSTANCE instance, int showCommand,
                      TickTiming timing = TickTiming::SweepLocked);

// Runs the window's thread until the window has closed; returns the exit code.
int RunMessageLoop(HWND window);

}  // namespace morvane
