// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the radio-control program's DDE server, for tests and benchmarks:
// service "hrd_radio_000", topic "hrd_cat", items "hrd_frequency" ("14.074.000")
// and "hrd_hertz" ("14074000") with advise loops; "freq N" retunes it, advising
// after the acknowledgement as the real program does (and before it with
// --advise-first). Ready once it first waits for messages. Options: --log FILE
// ("14:03:07.052318<tab>freq 7100000", the local time of arrival); --absent;
// --refuse (every command "not processed"); --slow-ack MS (--slow-for S: then at
// once); --quit-after S; --drop-after S (ends the latest conversation, runs on);
// --hang-after S --hang-for S; --hostile-items (each a megabyte that is no UTF-8);
// --hung-window (soon takes no messages for good).
#include <windows.h>
// These build on the types windows.h declares.
#include <dde.h>
#include <ddeml.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

#include "radiolink/frequency_text.hpp"
#include "radiolink/text_codec_win32.hpp"
#include "testsupport/drive_morvane_win32.hpp"

namespace {

// DDEML calls back without a context pointer; this program serves once.
DWORD gInstance = 0;
HSZ gService, gTopic, gDisplayItem, gHertzItem;
HCONV gConversation = nullptr;  // the latest
long long gFrequencyHz = 14'074'000;
std::FILE* gLog = nullptr;

constexpr UINT kAdviseMessage = WM_APP + 1;

// The number after an option on the command line: 1 for a switch, 0 if not given.
UINT Number(const wchar_t* option) {
    const wchar_t* given = std::wcsstr(GetCommandLineW(), option);
    if (given == nullptr) return 0;
    const auto value = static_cast<UINT>(std::wcstoul(given + std::wcslen(option), nullptr, 10));
    return value == 0 ? 1 : value;
}

const UINT gSlowForS = Number(L"--slow-for") > 0 ? Number(L"--slow-for") : 86'400;  // or a day
const ULONGLONG gSlowUntilMs = GetTickCount64() + 1000ULL * gSlowForS;

void PostAdvise() {
    DdePostAdvise(gInstance, gTopic, gDisplayItem);
    DdePostAdvise(gInstance, gTopic, gHertzItem);
}

HDDEDATA ServeItem(HSZ item) {
    std::string value = DdeCmpStringHandles(item, gDisplayItem) == 0
                            ? morvane::DisplayFrequencyText(gFrequencyHz)
                            : std::to_string(gFrequencyHz);
    if (Number(L"--hostile-items")) {
        value.resize(1 << 20);
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = static_cast<char>(0x80 + i % 0x80);
    }
    return DdeCreateDataHandle(gInstance, reinterpret_cast<LPBYTE>(value.data()),
                               static_cast<DWORD>(value.size() + 1), 0, item, CF_TEXT, 0);
}

HDDEDATA OnExecute(HDDEDATA data) {
    DWORD bytes = 0;
    const auto* text = reinterpret_cast<const wchar_t*>(DdeAccessData(data, &bytes));
    const std::wstring command(text, wcsnlen(text, bytes / sizeof(wchar_t)));
    DdeUnaccessData(data);
    const auto us = static_cast<unsigned long long>(morvane::bench::PreciseLocalMsOfDay() * 1000);
    if (gLog != nullptr) {
        std::fprintf(gLog, "%02llu:%02llu:%02llu.%06llu\t%ls\n", us / 3'600'000'000,
                     us / 60'000'000 % 60, us / 1'000'000 % 60, us % 1'000'000, command.c_str());
        std::fflush(gLog);
    }
    if (Number(L"--refuse")) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    Sleep(GetTickCount64() < gSlowUntilMs ? Number(L"--slow-ack") : 0);
    if (const auto hertz = morvane::FrequencyOfCommand(morvane::Utf8FromWide(command))) {
        gFrequencyHz = *hertz;
        if (Number(L"--advise-first")) PostAdvise();  // and after it too, as always
        PostThreadMessageW(GetCurrentThreadId(), kAdviseMessage, 0, 0);
    }
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

// Takes every conversation and serves every item asked for: the client is morvane.
HDDEDATA CALLBACK OnTransaction(UINT type, UINT, HCONV conversation, HSZ, HSZ item, HDDEDATA data,
                                ULONG_PTR, ULONG_PTR) {
    if (type == XTYP_CONNECT || type == XTYP_ADVSTART) return reinterpret_cast<HDDEDATA>(TRUE);
    if (type == XTYP_CONNECT_CONFIRM) gConversation = conversation;
    if (type == XTYP_REQUEST || type == XTYP_ADVREQ) return ServeItem(item);
    if (type == XTYP_EXECUTE) return OnExecute(data);
    return nullptr;
}

bool StartService() {
    if (DdeInitializeW(&gInstance, OnTransaction, APPCMD_FILTERINITS, 0) != DMLERR_NO_ERROR)
        return false;
    gService = DdeCreateStringHandleW(gInstance, L"hrd_radio_000", CP_WINUNICODE);
    gTopic = DdeCreateStringHandleW(gInstance, L"hrd_cat", CP_WINUNICODE);
    gDisplayItem = DdeCreateStringHandleW(gInstance, L"hrd_frequency", CP_WINUNICODE);
    gHertzItem = DdeCreateStringHandleW(gInstance, L"hrd_hertz", CP_WINUNICODE);
    return DdeNameService(gInstance, gService, nullptr, DNS_REGISTER);
}

// Ends the conversation as DdeDisconnect does on Windows, by posting the client
// a terminate: Wine's DdeDisconnect does nothing on a server's side.
void CALLBACK DropNow(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    CONVINFO info{};
    info.cb = sizeof info;
    if (gConversation != nullptr && DdeQueryConvInfo(gConversation, QID_SYNC, &info) != 0)
        PostMessageW(info.hwndPartner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(info.hwnd), 0);
}

// Quits, ends the conversation or hangs when its option says.
void ScheduleFaults() {
    const std::pair<const wchar_t*, TIMERPROC> faults[] = {
        {L"--quit-after", [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }},
        {L"--drop-after", DropNow},
        {L"--hang-after", [](HWND, UINT, UINT_PTR timer, DWORD) {
             KillTimer(nullptr, timer);
             Sleep(Number(L"--hang-for") * 1000);
         }}};
    for (const auto& [option, fault] : faults)
        if (Number(option)) SetTimer(nullptr, 0, Number(option) * 1000, fault);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i + 1 < count; ++i)
        if (std::wcscmp(arguments[i], L"--log") == 0) gLog = _wfopen(arguments[i + 1], L"ab");
    LocalFree(arguments);
    if (Number(L"--hung-window")) {  // a window every top-level broadcast reaches
        ShowWindow(CreateWindowExW(0, L"STATIC", L"Hung", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr),
                   SW_SHOWNORMAL);
        SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) { Sleep(INFINITE); });
    } else if (!Number(L"--absent") && !StartService()) {
        return 1;
    }
    ScheduleFaults();
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == kAdviseMessage && message.hwnd == nullptr) PostAdvise();
        DispatchMessageW(&message);
    }
    DdeUninitialize(gInstance);  // ends the conversations, takes the service off
    return 0;
}
