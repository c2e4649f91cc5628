// SPDX-License-Identifier: GPL-3.0-or-later
// One lateness run of a Windows program under Wine: starts the stand-in
// radio-control server with its log, starts the program, types the settings
// into its window as a user would, lets it run, and closes it.
//
//   lateness_run.exe --server-log FILE --seconds S [--period S] [--chirp S]
//                    [--rate KHZ] [--step KHZ] -- PROGRAM.exe [its arguments]
//
// Prints when the program was started, when the typed settings were in place
// and what its fields held then: "started_ms 51234567.891", "settled_ms ..."
// and "field Combo_step 50" lines.
#include <windows.h>
// Builds on the types windows.h declares.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testsupport/drive_morvane_win32.hpp"

namespace {

std::wstring Quoted(std::wstring_view argument) {
    return L"\"" + std::wstring(argument) + L"\"";
}

struct RunOptions {
    std::wstring serverLog;
    DWORD seconds = 60;
    std::vector<std::pair<const char*, std::wstring>> typed;  // field name, text
    std::wstring programLine;
};

RunOptions ParseRunOptions() {
    RunOptions options;
    const std::pair<std::wstring_view, const char*> fields[] = {{L"--period", "Combo_period"},
                                                                {L"--chirp", "chirptime"},
                                                                {L"--rate", "Combo_rate"},
                                                                {L"--step", "Combo_step"}};
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    int i = 1;
    for (; i + 1 < count && std::wstring_view(arguments[i]) != L"--"; ++i) {
        const std::wstring_view name = arguments[i];
        if (name == L"--server-log") options.serverLog = arguments[++i];
        if (name == L"--seconds") options.seconds = std::wcstoul(arguments[++i], nullptr, 10);
        for (const auto& [option, field] : fields) {
            if (name == option) options.typed.emplace_back(field, arguments[++i]);
        }
    }
    for (++i; i < count; ++i) {
        if (!options.programLine.empty()) options.programLine += L" ";
        options.programLine += Quoted(arguments[i]);
    }
    LocalFree(arguments);
    return options;
}

void StartOrExit(const std::wstring& commandLine, morvane::bench::Process& process) {
    if (!morvane::bench::Start(commandLine, process)) {
        std::fwprintf(stderr, L"lateness_run: cannot start %ls\n", commandLine.c_str());
        ExitProcess(1);
    }
}

// The stand-in server next to this program, started and offering its service.
void StartServer(const std::wstring& log, morvane::bench::Process& server) {
    if (!morvane::bench::StartStandIn(L"--log " + Quoted(log), server)) {
        std::fwprintf(stderr, L"lateness_run: the stand-in server did not start\n");
        ExitProcess(1);
    }
}

}  // namespace

int wmain() {
    const RunOptions options = ParseRunOptions();
    morvane::bench::Process server, program;
    StartServer(options.serverLog, server);
    std::printf("started_ms %.3f\n", morvane::bench::PreciseLocalMsOfDay());
    StartOrExit(options.programLine, program);
    HWND window = morvane::bench::WaitForMainWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "lateness_run: the program's window did not appear\n");
        return 1;
    }
    // A window that has only just appeared may not take typing yet: type until
    // every field reads back what was typed.
    const auto typed = [&] {
        return std::all_of(options.typed.begin(), options.typed.end(), [&](const auto& entry) {
            return morvane::bench::FieldText(window, entry.first) ==
                   morvane::Utf8FromWide(entry.second);
        });
    };
    for (int attempt = 0; attempt < 50 && !typed(); ++attempt, Sleep(100)) {
        for (const auto& [field, text] : options.typed)
            morvane::bench::TypeInto(window, field, text);
    }
    std::printf("settled_ms %.3f\n", morvane::bench::PreciseLocalMsOfDay());
    for (const auto& [field, text] : options.typed) {
        std::printf("field %s %s\n", field, morvane::bench::FieldText(window, field).c_str());
    }
    std::fflush(stdout);
    Sleep(options.seconds * 1000);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const bool closed = program.Ended(10'000);
    server.End(0);
    return closed ? 0 : 1;
}
