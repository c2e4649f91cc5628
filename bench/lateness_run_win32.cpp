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

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/precise_time_win32.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "window/main_window_win32.hpp"

namespace {

// The child-window id of the layout control called `name`.
int ChildIdNamed(std::string_view name) {
    for (const morvane::ControlSpec& spec : morvane::kMainWindowLayout)
        if (spec.name == name) return morvane::ChildId(spec.id);
    return 0;
}

using morvane::Utf8FromWide;

struct RunOptions {
    std::wstring serverLog;
    DWORD seconds = 60;
    std::vector<std::pair<const char*, std::wstring>> typed;  // field name, text
    std::wstring programLine;
};

std::wstring Quoted(std::wstring_view argument) {
    return L"\"" + std::wstring(argument) + L"\"";
}

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

PROCESS_INFORMATION Start(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fwprintf(stderr, L"lateness_run: cannot start %ls\n", commandLine.c_str());
        ExitProcess(1);
    }
    return process;
}

// The stand-in server next to this program, started and offering its service.
PROCESS_INFORMATION StartServer(const std::wstring& log) {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetModuleFileNameW(nullptr, folder.data(), MAX_PATH));
    folder.resize(folder.find_last_of(L"\\/") + 1);
    const std::wstring readyName =
        L"MorvaneLatenessRunReady" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    PROCESS_INFORMATION server = Start(Quoted(folder + L"morvane_dde_server.exe") + L" --log " +
                                       Quoted(log) + L" --ready-event " + readyName);
    if (WaitForSingleObject(ready, 10'000) != WAIT_OBJECT_0) {
        std::fwprintf(stderr, L"lateness_run: the stand-in server did not start\n");
        ExitProcess(1);
    }
    CloseHandle(ready);
    return server;
}

HWND WaitForMainWindow() {
    for (int i = 0; i < 300; ++i, Sleep(50)) {
        if (HWND window = FindWindowW(morvane::kMainWindowClass, nullptr)) return window;
    }
    return nullptr;
}

// The edit a user types into: the field itself, or a drop-down list's edit.
HWND EditOf(HWND window, const char* field) {
    HWND control = GetDlgItem(window, ChildIdNamed(field));
    HWND inner = FindWindowExW(control, nullptr, L"Edit", nullptr);
    return inner != nullptr ? inner : control;
}

// Selects what the field holds and types over it, one character at a time.
void TypeInto(HWND window, const char* field, const std::wstring& text) {
    HWND edit = EditOf(window, field);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t typed : text) SendMessageW(edit, WM_CHAR, typed, 0);
}

std::string TextOf(HWND control) {
    std::wstring text(256, L'\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &length);
    text.resize(length);
    return Utf8FromWide(text);
}

}  // namespace

int wmain() {
    const RunOptions options = ParseRunOptions();
    PROCESS_INFORMATION server = StartServer(options.serverLog);
    std::printf("started_ms %.3f\n", morvane::bench::PreciseLocalMsOfDay());
    PROCESS_INFORMATION program = Start(options.programLine);
    HWND window = WaitForMainWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "lateness_run: the program's window did not appear\n");
        TerminateProcess(program.hProcess, 1);
        TerminateProcess(server.hProcess, 1);
        return 1;
    }
    for (const auto& [field, text] : options.typed) TypeInto(window, field, text);
    std::printf("settled_ms %.3f\n", morvane::bench::PreciseLocalMsOfDay());
    for (const auto& [field, text] : options.typed) {
        std::printf("field %s %s\n", field,
                    TextOf(GetDlgItem(window, ChildIdNamed(field))).c_str());
    }
    std::fflush(stdout);
    Sleep(options.seconds * 1000);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const bool closed = WaitForSingleObject(program.hProcess, 10'000) == WAIT_OBJECT_0;
    if (!closed) TerminateProcess(program.hProcess, 1);
    TerminateProcess(server.hProcess, 0);
    WaitForSingleObject(server.hProcess, 5000);
    return closed ? 0 : 1;
}
