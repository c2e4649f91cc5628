#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvane::test_support {

// The folder of the running program; the build puts every program there.
std::filesystem::path ProgramFolder();

// Dispatches this thread's messages until `done` holds or `timeoutMs` has
// passed, and says whether it holds.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A window's text in UTF-8, read with WM_GETTEXT, so from another process too;
// empty when its thread does not answer within 2 s.
std::string WindowText(HWND window);

// Another program, ended (if still running) when this object goes.
class ChildProcess {
  public:
    explicit ChildProcess(std::wstring commandLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Exited(DWORD waitMs = 0) const;
    DWORD Id() const { return process_.dwProcessId; }

  private:
    PROCESS_INFORMATION process_{};
};

// How the stand-in radio-control server is to behave.
struct StandInOptions {
    bool refuse = false;        // answers every command "not processed"
    bool absent = false;        // runs without offering its service
    int quitAfterSeconds = 0;   // 0: runs until the test ends
    int dropAfterSeconds = 0;   // ends the conversation then but runs on; 0: never
    int slowAckMs = 0;          // holds each acknowledgement back this long
    bool hostileItems = false;  // serves a megabyte of bytes that are no UTF-8 as each item
    int hangAfterSeconds = 0;   // stops taking messages then, for hangForSeconds
    int hangForSeconds = 0;
    bool hungWindow = false;  // serves nothing: shows a window that never answers, until it ends
};

// One command as the stand-in server logged it on arrival.
struct LoggedCommand {
    int msOfDay;  // local time of day
    std::string command;
};

// The stand-in server in its own process, ready (its service offered, unless
// absent; its window shown, if hung) when the constructor returns. Throws
// std::runtime_error otherwise.
class StandInServer {
  public:
    explicit StandInServer(const StandInOptions& options = {});
    ~StandInServer();
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    std::vector<LoggedCommand> Commands() const;
    bool Exited(DWORD waitMs = 0) const { return process_->Exited(waitMs); }
    DWORD ProcessId() const { return process_->Id(); }

  private:
    std::filesystem::path log_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace morvane::test_support
