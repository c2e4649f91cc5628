// SPDX-License-Identifier: GPL-3.0-or-later
// morvane.exe for benchmarks: the same main window, ticking on the sweep's
// grid as shipped or on the clock's (--clock-locked), the arrival of every
// tick written to a log.
//
//   morvane_bench.exe [--clock-locked] [--tick-log FILE]
//
// The tick log has one line per tick: local milliseconds since midnight, to
// the microsecond, taken as the tick's message leaves the queue.
#include <windows.h>
// Builds on the types windows.h declares.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "testsupport/drive_morvane_win32.hpp"
#include "window/main_window_win32.hpp"

namespace {

using morvane::TickTiming;

struct BenchOptions {
    TickTiming timing = TickTiming::SweepLocked;
    std::wstring tickLog;
};

BenchOptions ParseBenchOptions() {
    BenchOptions options;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring_view name = arguments[i];
        if (name == L"--clock-locked") options.timing = TickTiming::ClockLocked;
        if (name == L"--tick-log" && i + 1 < count) options.tickLog = arguments[++i];
    }
    LocalFree(arguments);
    return options;
}

// The program's own message loop, noting each tick as it is taken.
int RunLoggingTicks(HWND window, std::FILE* tickLog) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (tickLog != nullptr && message.hwnd == window &&
            message.message == morvane::kTickMessage) {
            std::fprintf(tickLog, "%.3f\n", morvane::bench::PreciseLocalMsOfDay());
            std::fflush(tickLog);
        }
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const BenchOptions options = ParseBenchOptions();
    std::FILE* tickLog = options.tickLog.empty() ? nullptr : _wfopen(options.tickLog.c_str(), L"w");
    HWND window = morvane::CreateMainWindow(instance, showCommand, options.timing);
    if (window == nullptr) return 1;
    const int status = RunLoggingTicks(window, tickLog);
    if (tickLog != nullptr) std::fclose(tickLog);
    return status;
}
