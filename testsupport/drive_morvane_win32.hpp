// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Starts the programs the build puts side by side (CreateProcess looks in this
// program's folder first) and drives morvane.exe's window from outside, as a
// user would: for the test of the whole program and the lateness runs.
#include <windows.h>

#include <string>
#include <string_view>

#include "radiolink/text_codec_win32.hpp"
#include "window/main_window_win32.hpp"

namespace morvane::bench {

// The local time of day in milliseconds, to the system clock's own precision
// (GetLocalTime stops at whole milliseconds).
inline double PreciseLocalMsOfDay() {
    FILETIME utc{}, local{};
    GetSystemTimePreciseAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    // FILETIME counts 100 ns units from a midnight.
    const ULONGLONG units = ULONGLONG{local.dwHighDateTime} << 32 | local.dwLowDateTime;
    return static_cast<double>(units % 864'000'000'000ULL) / 10'000.0;
}

// A program started from here, ended (if still running) when this goes.
struct Process : PROCESS_INFORMATION {
    Process() : PROCESS_INFORMATION{} {}
    Process(const Process&) = delete;
    ~Process() {
        End(1);
        CloseHandle(hThread);
        CloseHandle(hProcess);
    }
    bool Ended(DWORD waitMs) const {
        return WaitForSingleObject(hProcess, waitMs) == WAIT_OBJECT_0;
    }
    void End(UINT exitCode) const {
        TerminateProcess(hProcess, exitCode);
        Ended(5000);
    }
};

inline bool Start(std::wstring commandLine, Process& started) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started) != FALSE;
}

// Starts the stand-in server; true once it first waits for messages (its
// service offered or its hung window shown), false if not within 10 s.
inline bool StartStandIn(const std::wstring& arguments, Process& server) {
    return Start(L"morvane_dde_server.exe " + arguments, server) &&
           WaitForInputIdle(server.hProcess, 10'000) == 0;
}

// Morvane's main window, once shown; nullptr after 15 s without.
inline HWND WaitForMainWindow() {
    for (int i = 0; i < 300; ++i, Sleep(50)) {
        HWND window = FindWindowW(kMainWindowClass, nullptr);
        if (IsWindowVisible(window)) return window;
    }
    return nullptr;
}

inline HWND ControlNamed(HWND window, std::string_view field) {
    for (const ControlSpec& spec : kMainWindowLayout)
        if (spec.name == field) return GetDlgItem(window, ChildId(spec.id));
    return nullptr;
}

// Types over all that a field (or a drop-down's edit) holds, character by
// character, or replaces it at once as a paste does.
inline void TypeInto(HWND window, std::string_view field, const std::wstring& text,
                     bool pasted = false) {
    HWND edit = ControlNamed(window, field);
    if (HWND inner = FindWindowExW(edit, nullptr, L"Edit", nullptr)) edit = inner;
    SendMessageW(edit, EM_SETSEL, 0, -1);
    if (pasted)
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    else
        for (wchar_t typed : text) SendMessageW(edit, WM_CHAR, typed, 0);
}

// A field's text in UTF-8, read with WM_GETTEXT, so from another process too;
// empty when the window's thread does not answer within 2 s.
inline std::string FieldText(HWND window, std::string_view field) {
    std::wstring text(512, L'\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutW(ControlNamed(window, field), WM_GETTEXT, text.size(),
                        reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000, &length);
    text.resize(length);
    return Utf8FromWide(text);
}

}  // namespace morvane::bench
