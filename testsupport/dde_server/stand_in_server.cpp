// A stand-in for the radio-control program's DDE server, for tests only.
//
// Serves service "hrd_radio_000", topic "hrd_cat", with the items
// "hrd_frequency" (dot-grouped, "14.074.000") and "hrd_hertz" ("14074000"),
// both with advise loops. "freq N" retunes it; the advise for the new
// frequency goes out after the command is acknowledged. Every command it
// receives is written to the log with the local time of day to the microsecond
// ("14:03:07.052318<tab>freq 7100000").
//
//   morvane_dde_server --log FILE [--ready-event NAME] [--frequency HZ]
//                      [--refuse] [--absent] [--quit-after SECONDS] [--drop-after SECONDS]
//                      [--slow-ack MS] [--hostile-items] [--hang-after S --hang-for S]
//   morvane_dde_server --hung-window [--ready-event NAME]
//
// --refuse answers every command "not processed"; --absent runs without
// offering the service (the tests' Wine session also keeps one running so that
// Wine's desktop stays up between test programs); --quit-after ends the
// program; --drop-after ends the latest conversation but goes on running and
// offering the service; --slow-ack holds each acknowledgement back, as a busy
// server does; --hostile-items serves both items as a megabyte of bytes that
// are no UTF-8 (0x80 to 0xFF over and over), on request and in every advise;
// --hang-after stops taking messages for --hang-for seconds, as a stopped
// program does, with whatever its clients sent meanwhile left queued.
// --hung-window offers nothing: it shows a top-level window and never takes a
// message again, as a hung program of any kind does, until it is ended.
#include <windows.h>
// These build on the types windows.h declares.
#include <dde.h>
#include <ddeml.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "bench/precise_time_win32.hpp"
#include "radiolink/frequency_text.hpp"
#include "radiolink/text_codec_win32.hpp"

namespace {

using morvane::DisplayFrequencyText;
using morvane::FrequencyOfCommand;
using morvane::Utf8FromWide;

struct Options {
    std::wstring logPath;
    std::wstring readyEvent;
    std::int64_t frequencyHz = 14'074'000;
    bool refuse = false;
    bool absent = false;
    bool hostileItems = false;
    bool hungWindow = false;
    DWORD quitAfterMs = 0;
    DWORD hangAfterMs = 0;
    DWORD hangForMs = 0;
    DWORD dropAfterMs = 0;
    DWORD slowAckMs = 0;
};

struct Server {
    Options options;
    DWORD instance = 0;
    HSZ service = nullptr;
    HSZ topic = nullptr;
    HSZ frequencyItem = nullptr;
    HSZ hertzItem = nullptr;
    HCONV conversation = nullptr;  // the latest
    std::FILE* log = nullptr;
};

// DDEML calls back without a context pointer; this program has one server.
Server* gServer = nullptr;

constexpr UINT kAdviseMessage = WM_APP + 1;

Options ParseOptions() {
    Options options;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring_view name = arguments[i];
        const bool flag = name == L"--refuse" || name == L"--absent" ||
                          name == L"--hostile-items" || name == L"--hung-window";
        if (name == L"--refuse") options.refuse = true;
        if (name == L"--absent") options.absent = true;
        if (name == L"--hostile-items") options.hostileItems = true;
        if (name == L"--hung-window") options.hungWindow = true;
        if (flag || i + 1 >= count) continue;
        const wchar_t* value = arguments[++i];
        if (name == L"--log") options.logPath = value;
        if (name == L"--ready-event") options.readyEvent = value;
        if (name == L"--frequency") options.frequencyHz = std::wcstoll(value, nullptr, 10);
        if (name == L"--quit-after") options.quitAfterMs = std::wcstoul(value, nullptr, 10) * 1000;
        if (name == L"--drop-after") options.dropAfterMs = std::wcstoul(value, nullptr, 10) * 1000;
        if (name == L"--slow-ack") options.slowAckMs = std::wcstoul(value, nullptr, 10);
        if (name == L"--hang-after") options.hangAfterMs = std::wcstoul(value, nullptr, 10) * 1000;
        if (name == L"--hang-for") options.hangForMs = std::wcstoul(value, nullptr, 10) * 1000;
    }
    LocalFree(arguments);
    return options;
}

constexpr std::size_t kHostileValueBytes = 1 << 20;

std::string HostileValue() {
    std::string value(kHostileValueBytes, '\0');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>(0x80 + i % 0x80);
    return value;
}

std::string ItemValue(HSZ item) {
    if (gServer->options.hostileItems) return HostileValue();
    if (DdeCmpStringHandles(item, gServer->frequencyItem) == 0) {
        return DisplayFrequencyText(gServer->options.frequencyHz);
    }
    return std::to_string(gServer->options.frequencyHz);
}

bool IsOurItem(HSZ item) {
    return DdeCmpStringHandles(item, gServer->frequencyItem) == 0 ||
           DdeCmpStringHandles(item, gServer->hertzItem) == 0;
}

// An absent server, like the real program with its DDE server off, talks to no one.
bool AcceptsConversation(HSZ topic, HSZ service) {
    return !gServer->options.absent && DdeCmpStringHandles(topic, gServer->topic) == 0 &&
           DdeCmpStringHandles(service, gServer->service) == 0;
}

HDDEDATA ServeItem(UINT format, HSZ item) {
    if (format != CF_TEXT || !IsOurItem(item)) return nullptr;
    const std::string value = ItemValue(item);
    return DdeCreateDataHandle(gServer->instance,
                               reinterpret_cast<LPBYTE>(const_cast<char*>(value.c_str())),
                               static_cast<DWORD>(value.size() + 1), 0, item, CF_TEXT, 0);
}

void LogCommand(std::wstring_view command) {
    if (gServer->log == nullptr) return;
    // Benchmarks take how late a command arrived from here, so to the microsecond.
    const auto us = static_cast<unsigned long long>(morvane::bench::PreciseLocalMsOfDay() * 1000.0);
    std::fprintf(gServer->log, "%02llu:%02llu:%02llu.%06llu\t%ls\n", us / 3'600'000'000ULL,
                 us / 60'000'000ULL % 60, us / 1'000'000ULL % 60, us % 1'000'000ULL,
                 std::wstring(command).c_str());
    std::fflush(gServer->log);
}

// Takes "freq N" with N a whole number of hertz; anything else changes nothing.
bool Retune(std::wstring_view command) {
    const std::optional<std::int64_t> hertz = FrequencyOfCommand(Utf8FromWide(command));
    if (hertz) gServer->options.frequencyHz = *hertz;
    return hertz.has_value();
}

HDDEDATA OnExecute(HDDEDATA data) {
    std::wstring command(DdeGetData(data, nullptr, 0, 0) / sizeof(wchar_t), L'\0');
    DdeGetData(data, reinterpret_cast<LPBYTE>(command.data()),
               static_cast<DWORD>(command.size() * sizeof(wchar_t)), 0);
    command.resize(std::wcslen(command.c_str()));
    LogCommand(command);
    if (gServer->options.refuse) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    if (gServer->options.slowAckMs > 0) Sleep(gServer->options.slowAckMs);
    // The advise must follow the acknowledgement, as the real program's does.
    if (Retune(command)) PostThreadMessageW(GetCurrentThreadId(), kAdviseMessage, 0, 0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                                HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    switch (type) {
        case XTYP_CONNECT:
            return reinterpret_cast<HDDEDATA>(
                static_cast<ULONG_PTR>(AcceptsConversation(first, second)));
        case XTYP_CONNECT_CONFIRM:
            gServer->conversation = conversation;
            return nullptr;
        case XTYP_ADVSTART:
            return reinterpret_cast<HDDEDATA>(
                static_cast<ULONG_PTR>(format == CF_TEXT && IsOurItem(second)));
        case XTYP_REQUEST:
        case XTYP_ADVREQ:
            return ServeItem(format, second);
        case XTYP_EXECUTE:
            return OnExecute(data);
        default:
            return nullptr;
    }
}

HSZ Name(const wchar_t* text) {
    return DdeCreateStringHandleW(gServer->instance, text, CP_WINUNICODE);
}

bool StartService() {
    if (DdeInitializeW(&gServer->instance, OnTransaction,
                       APPCLASS_STANDARD | APPCMD_FILTERINITS | CBF_SKIP_REGISTRATIONS |
                           CBF_SKIP_UNREGISTRATIONS | CBF_SKIP_DISCONNECTS,
                       0) != DMLERR_NO_ERROR) {
        return false;
    }
    gServer->service = Name(L"hrd_radio_000");
    gServer->topic = Name(L"hrd_cat");
    gServer->frequencyItem = Name(L"hrd_frequency");
    gServer->hertzItem = Name(L"hrd_hertz");
    if (gServer->options.absent) return true;
    return DdeNameService(gServer->instance, gServer->service, nullptr, DNS_REGISTER) != nullptr;
}

void SignalReady() {
    if (gServer->options.readyEvent.empty()) return;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, gServer->options.readyEvent.c_str());
    if (ready == nullptr) return;
    SetEvent(ready);
    CloseHandle(ready);
}

void CALLBACK QuitNow(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(0);
}

// Ends the conversation as DdeDisconnect does on Windows, by posting the client
// a terminate: Wine's DdeDisconnect does nothing on a server's side.
void CALLBACK DropNow(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    CONVINFO info{};
    info.cb = sizeof info;
    if (gServer->conversation == nullptr ||
        DdeQueryConvInfo(gServer->conversation, QID_SYNC, &info) == 0)
        return;
    PostMessageW(info.hwndPartner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(info.hwnd), 0);
}

void CALLBACK HangNow(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    Sleep(gServer->options.hangForMs);
}

// A window that every top-level broadcast reaches and that never answers.
[[noreturn]] void ShowWindowAndHang() {
    ShowWindow(CreateWindowExW(0, L"STATIC", L"Hung", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                               nullptr, nullptr, nullptr),
               SW_SHOWNORMAL);
    SignalReady();
    for (;;) Sleep(INFINITE);
}

void RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == kAdviseMessage && message.hwnd == nullptr) {
            DdePostAdvise(gServer->instance, gServer->topic, gServer->frequencyItem);
            DdePostAdvise(gServer->instance, gServer->topic, gServer->hertzItem);
            continue;
        }
        DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Server server;
    gServer = &server;
    server.options = ParseOptions();
    if (server.options.hungWindow) ShowWindowAndHang();
    if (!server.options.logPath.empty())
        server.log = _wfopen(server.options.logPath.c_str(), L"ab");
    if (!StartService()) return 1;
    if (server.options.quitAfterMs > 0) SetTimer(nullptr, 0, server.options.quitAfterMs, QuitNow);
    if (server.options.dropAfterMs > 0) SetTimer(nullptr, 0, server.options.dropAfterMs, DropNow);
    if (server.options.hangAfterMs > 0) SetTimer(nullptr, 0, server.options.hangAfterMs, HangNow);
    SignalReady();
    RunMessageLoop();
    if (!server.options.absent)
        DdeNameService(server.instance, server.service, nullptr, DNS_UNREGISTER);
    DdeUninitialize(server.instance);
    if (server.log != nullptr) std::fclose(server.log);
    return 0;
}
