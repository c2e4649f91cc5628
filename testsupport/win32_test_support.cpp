#include "testsupport/win32_test_support.hpp"

#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "radiolink/text_codec_win32.hpp"

namespace morvane::test_support {
namespace {

// A name no earlier server of this test run has used.
std::wstring UniqueName(const wchar_t* stem) {
    static int counter = 0;
    return std::wstring(stem) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

std::wstring ServerCommandLine(const StandInOptions& options, const std::filesystem::path& log,
                               const std::wstring& readyEvent) {
    const auto server = ProgramFolder() / L"morvane_dde_server.exe";
    std::wstring line = L"\"" + server.wstring() + L"\" --log \"" + log.wstring() +
                        L"\" --ready-event " + readyEvent;
    if (options.refuse) line += L" --refuse";
    if (options.absent) line += L" --absent";
    if (options.quitAfterSeconds > 0) {
        line += L" --quit-after " + std::to_wstring(options.quitAfterSeconds);
    }
    if (options.dropAfterSeconds > 0) {
        line += L" --drop-after " + std::to_wstring(options.dropAfterSeconds);
    }
    if (options.slowAckMs > 0) line += L" --slow-ack " + std::to_wstring(options.slowAckMs);
    if (options.hostileItems) line += L" --hostile-items";
    if (options.hangForSeconds > 0) {
        line += L" --hang-after " + std::to_wstring(options.hangAfterSeconds) + L" --hang-for " +
                std::to_wstring(options.hangForSeconds);
    }
    if (options.hungWindow) line += L" --hung-window";
    return line;
}

// "hh:mm:ss.mmmuuu<tab>command": the time to the microsecond, kept here to the millisecond.
bool ParseLogLine(const std::string& line, LoggedCommand& out) {
    int hour = 0, minute = 0, second = 0, millisecond = 0, microsecond = 0, used = 0;
    if (std::sscanf(line.c_str(), "%d:%d:%d.%3d%3d\t%n", &hour, &minute, &second, &millisecond,
                    &microsecond, &used) != 5 ||
        used == 0) {
        return false;
    }
    out.msOfDay = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
    out.command = line.substr(static_cast<std::size_t>(used));
    return true;
}

}  // namespace

std::filesystem::path ProgramFolder() {
    std::array<wchar_t, MAX_PATH> path{};
    GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::filesystem::path(path.data()).parent_path();
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::string WindowText(HWND window) {
    std::wstring text(512, L'\0');
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &length);
    text.resize(length);
    return Utf8FromWide(text);
}

ChildProcess::ChildProcess(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
        throw std::runtime_error("cannot start a test program");
    }
}

ChildProcess::~ChildProcess() {
    if (!Exited()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool ChildProcess::Exited(DWORD waitMs) const {
    return WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}

StandInServer::StandInServer(const StandInOptions& options) {
    std::array<wchar_t, MAX_PATH> temp{};
    GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    log_ = std::filesystem::path(temp.data()) / (UniqueName(L"morvane-stand-in-") + L".log");
    const std::wstring readyName = UniqueName(L"MorvaneStandInReady-");
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    process_ = std::make_unique<ChildProcess>(ServerCommandLine(options, log_, readyName));
    // Pumped while waiting: offering a service talks to every DDE window, ours included.
    const bool isReady = PumpMessagesUntil(
        [ready] { return WaitForSingleObject(ready, 0) == WAIT_OBJECT_0; }, 10'000);
    CloseHandle(ready);
    if (!isReady) throw std::runtime_error("the stand-in server did not start");
}

StandInServer::~StandInServer() {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove(log_, ignored);
}

std::vector<LoggedCommand> StandInServer::Commands() const {
    std::vector<LoggedCommand> commands;
    std::ifstream log(log_);
    std::string line;
    LoggedCommand command{};
    while (std::getline(log, line)) {
        if (ParseLogLine(line, command)) commands.push_back(command);
    }
    return commands;
}

}  // namespace morvane::test_support
