// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/radio_link_dde_win32.hpp"

// ddeml.h builds on the types windows.h declares.
#include <ddeml.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "radiolink/text_codec_win32.hpp"

namespace morvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Opening waits at most this long for each answer from the server.
constexpr DWORD kOpenTimeoutMs = 1000;
// A retune unacknowledged for longer means a server that is not keeping up.
// While it does not, the current frequency goes again this often, and only
// one acknowledged within this long counts as the server answering again.
constexpr milliseconds kAnswerTimeout{2000};
// An open conversation's partner is looked at this often even when no
// retune is due, so that a server that has gone shows before the next step.
constexpr milliseconds kPartnerCheckInterval = kReopenInterval;
// At close the window gives the link's thread this long to hang up, no more:
// an initiate held up by a hung program must not keep the program from ending.
constexpr DWORD kStopWaitMs = 300;
// An item value longer than this is cut: a frequency needs a dozen characters.
constexpr DWORD kMaxItemBytes = 256;

// A retune for the server, posted to the link's thread with the frequency in
// hertz as lParam.
constexpr UINT kTuneMessage = WM_APP + 1;
static_assert(sizeof(LPARAM) >= sizeof(std::int64_t), "a frequency travels in lParam");

struct ItemValue {
    LinkItem item;
    std::string text;
};

// What the link's thread posts to the window, as lParam; the window's thread
// takes it over.
using Notice = std::variant<LinkReport, ItemValue, TuneAnswer>;

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
// did not open, and a new instance the window of one it could not hang up
// (Wine 8 names their class so). Tried every 2 s for hours, they would pile
// up, each one more window for every program's initiate to visit. Windows
// cleans up after itself, and there this finds nothing.
BOOL CALLBACK DestroyIfLeftByDdeConnect(HWND window, LPARAM) {
    std::array<wchar_t, 32> name{};
    GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    if (std::wstring_view(name.data()) == L"WineDdeClientW") DestroyWindow(window);
    return TRUE;
}

LinkReport ReportOf(LinkState state, std::string_view detail) {
    const std::string_view status =
        state == LinkState::Connected ? kConnectedStatus : kNotConnectedStatus;
    return {state, std::string(status), std::string(detail)};
}

// A refusal in the server's own terms: DDE_FBUSY where Windows passes the
// acknowledgement's flags on (Wine passes none).
TuneAnswer AnswerOf(std::int64_t hertz, HDDEDATA result, ULONG_PTR flags) {
    TuneAnswer answer{hertz, result != nullptr, Clock::now(), {}};
    if (!answer.accepted) answer.refusal = (flags & DDE_FBUSY) != 0 ? "busy" : "not processed";
    return answer;
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
    bool Initialise();
    void Uninitialise();
    void ForgetEnded(HCONV ended);
    struct Sent {
        std::int64_t hertz;
        Clock::time_point at;
    };

    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                      HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR flags);
    HDDEDATA OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                           HDDEDATA data, ULONG_PTR flags);
    HSZ CreateName(std::string_view name) const;
    bool Is(HSZ name, HSZ expected) const;
    DWORD MsUntilDue() const;
    bool WaitForWork() const;
    void TakeMessages();
    void Advance();
    void TryOpen();
    void StartHotLink(HSZ item);
    void RequestValue(HSZ item, LinkItem which);
    HDDEDATA ValueArrived(UINT format, HSZ item, HDDEDATA data);
    bool PartnerGone() const;
    void EndConversation();
    void SendWhatIsDue();
    void Send(std::int64_t hertz);
    void TakeAnswer();
    void Stall();
    void Report(LinkState state, std::string_view detail);
    void Post(Notice notice) const;
    void Finish();

    HWND window_;
    UINT message_;
    HANDLE stop_;
    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HSZ displayItem_ = nullptr;
    HSZ hertzItem_ = nullptr;
    HCONV conversation_ = nullptr;
    bool ended_ = false;  // DDEML told of the conversation's end
    LinkState state_ = LinkState::Waiting;
    Clock::time_point nextOpenAt_{};
    Clock::time_point nextProbeAt_{};
    std::optional<std::int64_t> current_;  // the frequency last tuned to
    std::optional<std::int64_t> waiting_;  // ... while it has not been sent
    std::optional<Sent> outstanding_;      // sent, and not yet answered
    std::optional<TuneAnswer> answer_;     // its answer, once in
};

// DDEML calls back without a context pointer, on the thread that initialised it.
thread_local DdeClient* tClientOnThisThread = nullptr;

void DdeClient::Run() {
    tClientOnThisThread = this;
    if (!Initialise()) {
        Report(LinkState::CannotOpen, kNoDdeDetail);
        WaitForSingleObject(stop_, INFINITE);
        return;
    }
    Report(LinkState::Waiting, kWaitingDetail);
    while (WaitForWork()) {
        TakeMessages();
        Advance();
    }
    Finish();
}

bool DdeClient::Initialise() {
    instance_ = 0;
    if (DdeInitializeW(&instance_, &DdeClient::Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    service_ = CreateName(kLinkApplication);
    topic_ = CreateName(kLinkTopic);
    displayItem_ = CreateName(kDisplayItem);
    hertzItem_ = CreateName(kHertzItem);
    return true;
}

void DdeClient::Uninitialise() {
    for (HSZ name : {service_, topic_, displayItem_, hertzItem_})
        DdeFreeStringHandle(instance_, name);
    DdeUninitialize(instance_);
}

void DdeClient::Finish() {
    if (conversation_ != nullptr) DdeDisconnect(conversation_);
    Uninitialise();
}

HSZ DdeClient::CreateName(std::string_view name) const {
    return DdeCreateStringHandleW(instance_, WideFromUtf8(name).c_str(), CP_WINUNICODE);
}

bool DdeClient::Is(HSZ name, HSZ expected) const {
    return name != nullptr && DdeCmpStringHandles(name, expected) == 0;
}

// Until the next try to open, the next probe, the moment the outstanding
// retune counts as unanswered, or the next look at the partner.
DWORD DdeClient::MsUntilDue() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point due = nextOpenAt_;
    if (conversation_ != nullptr) {
        due = now + kPartnerCheckInterval;
        if (outstanding_ && state_ == LinkState::Connected)
            due = std::min(due, outstanding_->at + kAnswerTimeout + milliseconds(1));
        if (!outstanding_ && state_ == LinkState::Stalled) due = std::min(due, nextProbeAt_);
    }
    // A minute at most: nothing is due when DDE could not be started again.
    const auto wait = std::chrono::ceil<milliseconds>(due - now).count();
    return static_cast<DWORD>(std::clamp<decltype(wait)>(wait, 0, 60'000));
}

// Sleeps until a message arrives or something falls due; false once asked to stop.
bool DdeClient::WaitForWork() const {
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &stop_, MsUntilDue(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return woken != WAIT_OBJECT_0 && woken != WAIT_FAILED;
}

// DDEML's own messages go to its windows. A retune replaces the one waiting;
// one that comes while no conversation is open only becomes the current
// frequency: the follower sends what is due once the link is back.
void DdeClient::TakeMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == nullptr && message.message == kTuneMessage) {
            current_ = static_cast<std::int64_t>(message.lParam);
            if (conversation_ != nullptr) waiting_ = current_;
            continue;
        }
        DispatchMessageW(&message);
    }
}

void DdeClient::Advance() {
    if (conversation_ == nullptr) {
        if (Clock::now() >= nextOpenAt_) TryOpen();
        return;
    }
    if (PartnerGone()) return EndConversation();
    if (answer_) TakeAnswer();
    if (outstanding_ && state_ == LinkState::Connected &&
        Clock::now() - outstanding_->at > kAnswerTimeout) {
        Stall();
    }
    SendWhatIsDue();
}

// Connected follows the hot links and the first values, so that no retune
// comes in while those wait in DDEML's own loop.
void DdeClient::TryOpen() {
    nextOpenAt_ = Clock::now() + kReopenInterval;
    conversation_ = DdeConnect(instance_, service_, topic_, nullptr);
    if (conversation_ == nullptr) {
        EnumThreadWindows(GetCurrentThreadId(), &DestroyIfLeftByDdeConnect, 0);
        return;
    }
    ended_ = false;
    StartHotLink(displayItem_);
    StartHotLink(hertzItem_);
    RequestValue(displayItem_, LinkItem::Display);
    RequestValue(hertzItem_, LinkItem::Hertz);
    if (PartnerGone()) return EndConversation();
    Report(LinkState::Connected, kConnectedDetail);
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
void DdeClient::RequestValue(HSZ item, LinkItem which) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        HDDEDATA value = DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT,
                                              XTYP_REQUEST, kOpenTimeoutMs, nullptr);
        if (value != nullptr) {
            Post(ItemValue{which, ItemText(value)});
            DdeFreeDataHandle(value);
            return;
        }
    }
}

// Windows tells a client of the end with XTYP_DISCONNECT. Wine does not: it
// marks the conversation terminated when the server ends it, and when the
// server's process is killed only its window is gone.
bool DdeClient::PartnerGone() const {
    CONVINFO info{};
    info.cb = sizeof info;
    return ended_ || DdeQueryConvInfo(conversation_, QID_SYNC, &info) == 0 ||
           (info.wStatus & ST_TERMINATED) != 0 || (info.wStatus & ST_CONNECTED) == 0 ||
           !IsWindow(info.hwndPartner);
}

// Reported first, so that the window shows it while DDEML hangs up; then the
// link starts over as it started, trying to open every 2 s.
void DdeClient::EndConversation() {
    Report(LinkState::Lost, kEndedDetail);
    const HCONV ended = std::exchange(conversation_, nullptr);
    DdeDisconnect(ended);
    nextOpenAt_ = Clock::now() + kReopenInterval;
    ForgetEnded(ended);
    waiting_.reset();
    outstanding_.reset();
    answer_.reset();
}

// Wine keeps a conversation that the server ended, where DdeDisconnect cannot
// reach it, and then refuses to open another to the same service and topic
// for as long as the instance lives: a new instance opens them again. Windows
// frees the conversation, and its handle is no more.
void DdeClient::ForgetEnded(HCONV ended) {
    CONVINFO info{};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(ended, QID_SYNC, &info) == 0) return;
    Uninitialise();
    EnumThreadWindows(GetCurrentThreadId(), &DestroyIfLeftByDdeConnect, 0);
    if (Initialise()) return;
    nextOpenAt_ = Clock::time_point::max();
    Report(LinkState::CannotOpen, kNoDdeDetail);
}

// One retune at a time: while one is outstanding a newer one waits, and
// replaces any that waits already. While the server is not answering, the
// frequency last tuned to goes again every 2 s instead, as a probe: it sends
// the radio nowhere it was not sent already, and its answer tells whether the
// server keeps up again.
void DdeClient::SendWhatIsDue() {
    if (outstanding_) return;
    if (state_ == LinkState::Connected && waiting_) {
        Send(*std::exchange(waiting_, std::nullopt));
    } else if (state_ == LinkState::Stalled && current_ && Clock::now() >= nextProbeAt_) {
        waiting_.reset();
        nextProbeAt_ = Clock::now() + kAnswerTimeout;
        Send(*current_);
    }
}

// Sent without waiting for the server's answer, which arrives as
// XTYP_XACT_COMPLETE. It cannot be sent once the server's window has gone:
// the conversation has ended then.
void DdeClient::Send(std::int64_t hertz) {
    // A Unicode instance sends Unicode; DDEML converts for a server that is not.
    std::wstring command = L"freq " + std::to_wstring(hertz);
    const auto bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
    DWORD transaction = 0;
    const Clock::time_point sentAt = Clock::now();
    if (DdeClientTransaction(reinterpret_cast<LPBYTE>(command.data()), bytes, conversation_,
                             nullptr, 0, XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction) == nullptr) {
        return EndConversation();
    }
    outstanding_ = Sent{hertz, sentAt};
}

// Wine keeps an answered asynchronous transaction at the head of the
// conversation's queue, where it takes the next acknowledgement for its own,
// so the next retune would never be answered; abandoning it clears the way.
// Windows has already dropped it, and the call finds nothing to abandon.
void DdeClient::TakeAnswer() {
    DdeAbandonTransaction(instance_, conversation_, 0);
    const TuneAnswer answer = *std::exchange(answer_, std::nullopt);
    const bool inTime = answer.at - outstanding_->at <= kAnswerTimeout;
    outstanding_.reset();
    Post(answer);
    if (state_ == LinkState::Connected && !inTime) Stall();
    if (state_ == LinkState::Stalled && inTime) Report(LinkState::Connected, kConnectedDetail);
}

// The server has not acknowledged a retune for 2 s: the first probe goes as
// soon as nothing is outstanding. Probes do not pile up behind a server that
// holds one, so a server that wakes takes one stale retune, not a burst.
void DdeClient::Stall() {
    nextProbeAt_ = outstanding_ ? outstanding_->at + kAnswerTimeout : Clock::now();
    Report(LinkState::Stalled, kNotAnsweringDetail);
}

void DdeClient::Report(LinkState state, std::string_view detail) {
    state_ = state;
    Post(ReportOf(state, detail));
}

void DdeClient::Post(Notice notice) const {
    auto posted = std::make_unique<Notice>(std::move(notice));
    if (PostMessageW(window_, message_, 0, reinterpret_cast<LPARAM>(posted.get())))
        posted.release();
}

HDDEDATA CALLBACK DdeClient::Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                      HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR flags) {
    if (tClientOnThisThread == nullptr) return nullptr;
    return tClientOnThisThread->OnTransaction(type, format, conversation, first, second, data,
                                              flags);
}

HDDEDATA DdeClient::OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                                  HDDEDATA data, ULONG_PTR flags) {
    const bool ours = conversation_ != nullptr && conversation == conversation_;
    switch (type) {
        case XTYP_ADVDATA:
            return ours ? ValueArrived(format, second, data)
                        : reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        case XTYP_XACT_COMPLETE:
            if (ours && outstanding_) answer_ = AnswerOf(outstanding_->hertz, data, flags);
            return nullptr;
        case XTYP_DISCONNECT:
            ended_ = ended_ || ours;
            return nullptr;
        case XTYP_UNREGISTER:
            // Wine's way of telling a client that its server has quit.
            ended_ = ended_ || (conversation_ != nullptr && Is(first, service_));
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
    Post(ItemValue{display ? LinkItem::Display : LinkItem::Hertz, ItemText(data)});
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

DWORD WINAPI RunClient(void* client) {
    std::unique_ptr<DdeClient>(static_cast<DdeClient*>(client))->Run();
    return 0;
}

}  // namespace

DdeRadioLink::DdeRadioLink(HWND window, UINT message)
    : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
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

void DdeRadioLink::TakeNotice(WPARAM, LPARAM notice, LinkListener& listener) {
    const std::unique_ptr<Notice> taken(reinterpret_cast<Notice*>(notice));
    if (taken == nullptr) return;
    if (const auto* report = std::get_if<LinkReport>(taken.get())) listener.OnLinkState(*report);
    if (auto* value = std::get_if<ItemValue>(taken.get()))
        listener.OnItemValue(value->item, std::move(value->text));
    if (const auto* answer = std::get_if<TuneAnswer>(taken.get())) listener.OnTuneAnswer(*answer);
}

// A thread that has gone, or has no message queue yet, takes no retune; the
// link is not open then either.
void DdeRadioLink::Tune(std::int64_t hertz) {
    PostThreadMessageW(threadId_, kTuneMessage, 0, static_cast<LPARAM>(hertz));
}

}  // namespace morvane
