#include "radiolink/radio_link_dde_win32.hpp"

// ddeml.h builds on the types windows.h declares.
#include <ddeml.h>

#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <utility>

#include "radiolink/text_codec_win32.hpp"

namespace morvane {
namespace {

// Link start-up waits at most this long for each answer from the server.
constexpr DWORD kOpenTimeoutMs = 1000;
// Until the conversation has opened once, the next try this long after the last.
constexpr ULONGLONG kOpenRetryMs = 1000;
// A command unacknowledged for longer means a server that has stopped taking messages.
constexpr ULONGLONG kAnswerTimeoutMs = 2000;
// At close the window gives the link's thread this long to hang up, no more:
// an initiate held up by a hung program must not keep the program from ending.
constexpr DWORD kStopWaitMs = 300;
// An item value longer than this is cut: a frequency needs a dozen characters.
constexpr DWORD kMaxItemBytes = 256;

// A command for the server, posted to the link's thread; lParam is a
// std::string that the link's thread takes over.
constexpr UINT kCommandMessage = WM_APP + 1;

// What the link's thread posts to the window, as wParam. A value comes with
// its text as lParam, a std::string that the window's thread takes over.
enum Notice : WPARAM { kOpened, kClosed, kNotAnswering, kAnswering, kDisplayValue, kHertzValue };

// A CF_TEXT value: bytes in the ANSI code page up to the first NUL.
std::string ItemText(HDDEDATA data) {
    std::array<char, kMaxItemBytes> buffer{};
    const DWORD copied =
        DdeGetData(data, reinterpret_cast<LPBYTE>(buffer.data()), kMaxItemBytes, 0);
    std::string_view bytes(buffer.data(), copied);
    bytes = bytes.substr(0, bytes.find('\0'));
    return Utf8FromAnsi(bytes);
}

// Wine's DdeConnect leaves behind the window it made for a conversation that
// did not open (Wine 8 names its class so). Tried every second for hours,
// they would pile up, each one more window for every program's initiate to
// visit. Windows cleans up after itself, and there this finds nothing.
BOOL CALLBACK DestroyIfLeftByDdeConnect(HWND window, LPARAM) {
    std::array<wchar_t, 32> name{};
    GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    if (std::wstring_view(name.data()) == L"WineDdeClientW") DestroyWindow(window);
    return TRUE;
}

// The DDE client itself. It lives on the link's thread, from the first DDEML
// call to the last, and knows of the window only its handle.
class DdeClient {
  public:
    DdeClient(HWND window, UINT message, HANDLE stop)
        : window_(window), message_(message), stop_(stop) {}
    ~DdeClient() { CloseHandle(stop_); }
    DdeClient(const DdeClient&) = delete;
    DdeClient& operator=(const DdeClient&) = delete;

    // Serves the link until the stop event is set.
    void Run();

  private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                      HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                           HDDEDATA data);
    HSZ CreateName(std::string_view name) const;
    bool Is(HSZ name, HSZ expected) const;
    DWORD MsUntilDue() const;
    bool WaitForWork() const;
    void TakeMessages();
    void Advance();
    void TryOpen();
    void StartHotLink(HSZ item);
    void RequestValue(HSZ item, Notice which);
    HDDEDATA ValueArrived(UINT format, HSZ item, HDDEDATA data);
    void CheckConversation();
    void SendWaiting();
    void TakeAnswer();
    void Stall();
    void Close();
    void Post(Notice notice, std::string text = {}) const;
    void Finish();

    HWND window_;
    UINT message_;
    HANDLE stop_;
    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HSZ displayItem_ = nullptr;
    HSZ hertzItem_ = nullptr;
    HCONV conversation_ = nullptr;  // set once, by the first open that succeeds
    ULONGLONG nextTryAt_ = 0;
    bool closed_ = false;
    std::optional<std::string> waiting_;  // the newest command not yet sent
    bool outstanding_ = false;            // a command sent and not yet answered
    ULONGLONG sentAt_ = 0;
    bool answered_ = false;  // the server has answered the outstanding command
    bool stalled_ = false;   // it went unanswered for more than kAnswerTimeoutMs
};

// DDEML calls back without a context pointer, on the thread that initialised it.
thread_local DdeClient* tClientOnThisThread = nullptr;

void DdeClient::Run() {
    tClientOnThisThread = this;
    if (DdeInitializeW(&instance_, &DdeClient::Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        WaitForSingleObject(stop_, INFINITE);
        return;
    }
    service_ = CreateName(kLinkApplication);
    topic_ = CreateName(kLinkTopic);
    displayItem_ = CreateName(kDisplayItem);
    hertzItem_ = CreateName(kHertzItem);
    while (WaitForWork()) {
        TakeMessages();
        Advance();
    }
    Finish();
}

void DdeClient::Finish() {
    if (conversation_ != nullptr) DdeDisconnect(conversation_);
    for (HSZ name : {service_, topic_, displayItem_, hertzItem_})
        DdeFreeStringHandle(instance_, name);
    DdeUninitialize(instance_);
    MSG message{};
    while (PeekMessageW(&message, nullptr, kCommandMessage, kCommandMessage, PM_REMOVE))
        delete reinterpret_cast<std::string*>(message.lParam);
}

HSZ DdeClient::CreateName(std::string_view name) const {
    return DdeCreateStringHandleW(instance_, WideFromUtf8(name).c_str(), CP_WINUNICODE);
}

bool DdeClient::Is(HSZ name, HSZ expected) const {
    return name != nullptr && DdeCmpStringHandles(name, expected) == 0;
}

// Until the next try to open, or until the outstanding command counts as unanswered.
DWORD DdeClient::MsUntilDue() const {
    ULONGLONG due = ULLONG_MAX;
    if (conversation_ == nullptr) due = nextTryAt_;
    if (outstanding_ && !stalled_ && !closed_) due = sentAt_ + kAnswerTimeoutMs + 1;
    if (due == ULLONG_MAX) return INFINITE;
    const ULONGLONG now = GetTickCount64();
    return due <= now ? 0 : static_cast<DWORD>(due - now);
}

// Sleeps until a message arrives or something falls due; false once asked to stop.
bool DdeClient::WaitForWork() const {
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &stop_, MsUntilDue(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return woken != WAIT_OBJECT_0 && woken != WAIT_FAILED;
}

// DDEML's own messages go to its windows; a command replaces the one waiting.
// One that comes while the server is not answering, or after the conversation
// ended, is dropped: the window sends the current one once the link is back.
void DdeClient::TakeMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == nullptr && message.message == kCommandMessage) {
            std::unique_ptr<std::string> command(reinterpret_cast<std::string*>(message.lParam));
            if (!stalled_ && !closed_) waiting_ = std::move(*command);
            continue;
        }
        DispatchMessageW(&message);
    }
}

void DdeClient::Advance() {
    if (conversation_ == nullptr) {
        if (GetTickCount64() >= nextTryAt_) TryOpen();
        return;
    }
    CheckConversation();
    if (closed_) return;
    if (answered_) TakeAnswer();
    if (outstanding_ && !stalled_ && GetTickCount64() - sentAt_ > kAnswerTimeoutMs) Stall();
    if (!outstanding_ && waiting_) SendWaiting();
}

// The opened notice follows the hot links and the first values, so that no
// command comes in while those wait in DDEML's own loop.
void DdeClient::TryOpen() {
    conversation_ = DdeConnect(instance_, service_, topic_, nullptr);
    nextTryAt_ = GetTickCount64() + kOpenRetryMs;
    if (conversation_ == nullptr) {
        EnumThreadWindows(GetCurrentThreadId(), &DestroyIfLeftByDdeConnect, 0);
        return;
    }
    StartHotLink(displayItem_);
    StartHotLink(hertzItem_);
    RequestValue(displayItem_, kDisplayValue);
    RequestValue(hertzItem_, kHertzValue);
    if (!closed_) Post(kOpened);
}

void DdeClient::StartHotLink(HSZ item) {
    DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT, XTYP_ADVSTART, kOpenTimeoutMs,
                         nullptr);
}

// The item's current value, fetched once as an automatic link does when it
// opens. Asked four times at most: Wine's server side acknowledges a request
// after answering it, that stray acknowledgement fails the next request, and
// the answer to the failed one then arrives as the answer to a later try. Two
// tries left the second item unfetched in about one run in eight (the window
// went on showing its placeholder frequency as the radio's).
void DdeClient::RequestValue(HSZ item, Notice which) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        HDDEDATA value = DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT,
                                              XTYP_REQUEST, kOpenTimeoutMs, nullptr);
        if (value != nullptr) {
            Post(which, ItemText(value));
            DdeFreeDataHandle(value);
            return;
        }
    }
}

// Wine gives no closed notice when the server ends the conversation; it only
// marks it terminated.
void DdeClient::CheckConversation() {
    CONVINFO info{};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(conversation_, QID_SYNC, &info) == 0 ||
        (info.wStatus & ST_TERMINATED) != 0) {
        Close();
    }
}

// Sent without waiting for the server's answer, which arrives as
// XTYP_XACT_COMPLETE; a command that cannot be sent is dropped, as a refused
// one is.
void DdeClient::SendWaiting() {
    // A Unicode instance sends Unicode; DDEML converts for a server that is not.
    std::wstring text = WideFromUtf8(*std::exchange(waiting_, std::nullopt));
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    DWORD transaction = 0;
    outstanding_ =
        DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), bytes, conversation_, nullptr,
                             0, XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction) != nullptr;
    sentAt_ = GetTickCount64();
}

// An acknowledgement or a refusal: either way the server is answering again.
// Wine keeps an answered asynchronous transaction at the head of the
// conversation's queue, where it takes the next acknowledgement for its own,
// so the next command would never be answered; abandoning it clears the way.
// Windows has already dropped it, and the call finds nothing to abandon.
void DdeClient::TakeAnswer() {
    DdeAbandonTransaction(instance_, conversation_, 0);
    answered_ = false;
    outstanding_ = false;
    if (std::exchange(stalled_, false)) Post(kAnswering);
}

// The server has stopped taking messages. The command still waiting would
// reach it stale after the outstanding one, so it goes.
void DdeClient::Stall() {
    stalled_ = true;
    waiting_.reset();
    Post(kNotAnswering);
}

void DdeClient::Close() {
    if (std::exchange(closed_, true)) return;
    waiting_.reset();
    Post(kClosed);
}

void DdeClient::Post(Notice notice, std::string text) const {
    std::unique_ptr<std::string> value;
    if (notice == kDisplayValue || notice == kHertzValue)
        value = std::make_unique<std::string>(std::move(text));
    if (PostMessageW(window_, message_, notice, reinterpret_cast<LPARAM>(value.get())))
        value.release();
}

HDDEDATA CALLBACK DdeClient::Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                      HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (tClientOnThisThread == nullptr) return nullptr;
    return tClientOnThisThread->OnTransaction(type, format, conversation, first, second, data);
}

HDDEDATA DdeClient::OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                                  HDDEDATA data) {
    switch (type) {
        case XTYP_ADVDATA:
            return conversation == conversation_ ? ValueArrived(format, second, data)
                                                 : reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        case XTYP_XACT_COMPLETE:
            if (conversation == conversation_ && outstanding_) answered_ = true;
            return nullptr;
        case XTYP_DISCONNECT:
            if (conversation == conversation_) Close();
            return nullptr;
        case XTYP_UNREGISTER:
            // Wine's way of telling a client that its server has gone.
            if (conversation_ != nullptr && Is(first, service_)) Close();
            return nullptr;
        default:
            return nullptr;
    }
}

HDDEDATA DdeClient::ValueArrived(UINT format, HSZ item, HDDEDATA data) {
    const bool display = Is(item, displayItem_);
    if (format != CF_TEXT || data == nullptr || (!display && !Is(item, hertzItem_))) {
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    }
    Post(display ? kDisplayValue : kHertzValue, ItemText(data));
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

DWORD WINAPI RunClient(void* client) {
    std::unique_ptr<DdeClient>(static_cast<DdeClient*>(client))->Run();
    return 0;
}

}  // namespace

DdeRadioLink::DdeRadioLink(LinkListener& listener, HWND window, UINT message)
    : listener_(listener), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    // The link's thread has its own handle on the stop event, so that either
    // side may go first.
    HANDLE clientStop = nullptr;
    DuplicateHandle(GetCurrentProcess(), stop_, GetCurrentProcess(), &clientStop, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    auto client = std::make_unique<DdeClient>(window, message, clientStop);
    thread_ = CreateThread(nullptr, 0, &RunClient, client.get(), 0, &threadId_);
    if (thread_ != nullptr) client.release();
}

// Asks the link's thread to hang up and waits a moment for it. Messages sent
// to this thread are taken meanwhile: the link's thread may be sending this
// window an initiate.
DdeRadioLink::~DdeRadioLink() {
    SetEvent(stop_);
    const ULONGLONG deadline = GetTickCount64() + kStopWaitMs;
    for (ULONGLONG now = GetTickCount64(); thread_ != nullptr && now < deadline;
         now = GetTickCount64()) {
        if (MsgWaitForMultipleObjects(1, &thread_, FALSE, static_cast<DWORD>(deadline - now),
                                      QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1) {
            break;
        }
        MSG message{};
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (thread_ != nullptr) CloseHandle(thread_);
    if (stop_ != nullptr) CloseHandle(stop_);
}

void DdeRadioLink::TakeNotice(WPARAM kind, LPARAM text) {
    std::unique_ptr<std::string> value(reinterpret_cast<std::string*>(text));
    switch (kind) {
        case kOpened:
            phase_ = Phase::Open;
            listener_.OnLinkOpened();
            break;
        case kClosed:
            phase_ = Phase::Closed;
            listener_.OnLinkClosed();
            break;
        case kNotAnswering:
            answering_ = false;
            stallUnshown_ = true;
            break;
        case kAnswering:
            answering_ = true;
            break;
        case kDisplayValue:
        case kHertzValue:
            if (value == nullptr) break;
            listener_.OnItemValue(kind == kDisplayValue ? LinkItem::Display : LinkItem::Hertz,
                                  std::move(*value));
            break;
        default:
            break;
    }
}

void DdeRadioLink::Execute(const std::string& command) {
    if (!IsOpen()) throw LinkFailure("the link to the radio-control program is not open");
    auto text = std::make_unique<std::string>(command);
    if (!PostThreadMessageW(threadId_, kCommandMessage, 0, reinterpret_cast<LPARAM>(text.get())))
        throw LinkFailure("the link to the radio-control program has stopped");
    text.release();
}

std::string_view DdeRadioLink::Condition() const {
    switch (phase_) {
        case Phase::Waiting:
            return kWaitingCondition;
        case Phase::Closed:
            return kEndedCondition;
        case Phase::Open:
            break;
    }
    return answering_ ? kConnectedCondition : kNotAnsweringCondition;
}

}  // namespace morvane
