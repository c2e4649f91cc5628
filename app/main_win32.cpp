// SPDX-License-Identifier: GPL-3.0-or-later
// Morvane on Windows: the main window, driving the radio-control program over DDE.
#include <windows.h>

#include "window/main_window_win32.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    HWND window = morvane::CreateMainWindow(instance, showCommand);
    if (window == nullptr) return 1;
    return morvane::RunMessageLoop(window);
}
