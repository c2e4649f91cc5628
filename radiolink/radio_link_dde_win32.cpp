#include "radiolink/radio_link_dde_win32.hpp"

#include <array>

#include "radiolink/text_codec_win32.hpp"

namespace morvane {
namespace {

// Link start-up waits at most this long for each answer from the server.
constexpr DWORD kOpenTimeoutMs = 1000;
// An item value longer than this is cut: a frequency needs a dozen characters.
constexpr DWORD kMaxItemBytes = 256;

// DDEML calls back without a context pointer, on the thread that initialised it.
thread_local DdeRadioLink* tLinkOnThisThread = nullptr;

// A CF_TEXT value: bytes in the ANSI code page up to the first NUL.
std::string ItemText(HDDEDATA data) {
    std::array<char, kMaxItemBytes> buffer{};
    const DWORD copied =
        DdeGetData(data, reinterpret_cast<LPBYTE>(buffer.data()), kMaxItemBytes, 0);
    std::string_view bytes(buffer.data(), copied);
    bytes = bytes.substr(0, bytes.find('\0'));
    return Utf8FromAnsi(bytes);
}

}  // namespace

DdeRadioLink::DdeRadioLink(LinkListener& listener) : listener_(listener) {
    if (tLinkOnThisThread != nullptr) return;  // a second link on a thread stays closed
    if (DdeInitializeW(&instance_, &DdeRadioLink::Callback, APPCMD_CLIENTONLY, 0) !=
        DMLERR_NO_ERROR) {
        instance_ = 0;
        return;
    }
    tLinkOnThisThread = this;
    service_ = CreateName(kLinkApplication);
    topic_ = CreateName(kLinkTopic);
    displayItem_ = CreateName(kDisplayItem);
    hertzItem_ = CreateName(kHertzItem);
}

DdeRadioLink::~DdeRadioLink() {
    if (instance_ == 0) return;
    if (conversation_ != nullptr) DdeDisconnect(conversation_);
    for (HSZ name : {service_, topic_, displayItem_, hertzItem_})
        DdeFreeStringHandle(instance_, name);
    DdeUninitialize(instance_);
    tLinkOnThisThread = nullptr;
}

HSZ DdeRadioLink::CreateName(std::string_view name) const {
    return DdeCreateStringHandleW(instance_, WideFromUtf8(name).c_str(), CP_WINUNICODE);
}

bool DdeRadioLink::Is(HSZ name, HSZ expected) const {
    return name != nullptr && DdeCmpStringHandles(name, expected) == 0;
}

void DdeRadioLink::Open() {
    if (instance_ == 0 || tried_) return;
    tried_ = true;
    conversation_ = DdeConnect(instance_, service_, topic_, nullptr);
    if (conversation_ == nullptr) return;
    open_ = true;
    listener_.OnLinkOpened();
    StartHotLink(displayItem_);
    StartHotLink(hertzItem_);
    RequestValue(displayItem_, LinkItem::Display);
    RequestValue(hertzItem_, LinkItem::Hertz);
}

void DdeRadioLink::StartHotLink(HSZ item) {
    DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT, XTYP_ADVSTART, kOpenTimeoutMs,
                         nullptr);
}

// The item's current value, fetched once as an automatic link does when it
// opens. Asked twice at most: Wine's server side acknowledges a request after
// answering it, that stray acknowledgement fails the next request, and the
// answer to the failed one then arrives as the answer to the second try.
void DdeRadioLink::RequestValue(HSZ item, LinkItem which) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        HDDEDATA value = DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT,
                                              XTYP_REQUEST, kOpenTimeoutMs, nullptr);
        if (value != nullptr) {
            listener_.OnItemValue(which, ItemText(value));
            DdeFreeDataHandle(value);
            return;
        }
    }
}

void DdeRadioLink::CheckConversation() {
    if (!open_) return;
    CONVINFO info{};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(conversation_, QID_SYNC, &info) == 0 ||
        (info.wStatus & ST_TERMINATED) != 0) {
        Close();
    }
}

void DdeRadioLink::Execute(const std::string& command) {
    if (!open_) throw LinkFailure("the link to the radio-control program is closed");
    // A Unicode instance sends Unicode; DDEML converts for a server that is not.
    std::wstring text = WideFromUtf8(command);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    DWORD transaction = 0;
    if (DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), bytes, conversation_, nullptr,
                             0, XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction) == nullptr) {
        throw LinkFailure("the radio-control program did not take the command");
    }
}

void DdeRadioLink::Close() {
    if (!open_) return;
    open_ = false;
    listener_.OnLinkClosed();
}

HDDEDATA CALLBACK DdeRadioLink::Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                         HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (tLinkOnThisThread == nullptr) return nullptr;
    return tLinkOnThisThread->OnTransaction(type, format, conversation, first, second, data);
}

HDDEDATA DdeRadioLink::OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first,
                                     HSZ second, HDDEDATA data) {
    switch (type) {
        case XTYP_ADVDATA:
            return conversation == conversation_ ? ValueArrived(format, second, data)
                                                 : reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        case XTYP_DISCONNECT:
            if (conversation == conversation_) Close();
            return nullptr;
        case XTYP_UNREGISTER:
            // Wine's way of telling a client that its server has gone.
            if (Is(first, service_)) Close();
            return nullptr;
        default:
            return nullptr;
    }
}

HDDEDATA DdeRadioLink::ValueArrived(UINT format, HSZ item, HDDEDATA data) {
    const bool display = Is(item, displayItem_);
    if (format != CF_TEXT || data == nullptr || (!display && !Is(item, hertzItem_))) {
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    }
    listener_.OnItemValue(display ? LinkItem::Display : LinkItem::Hertz, ItemText(data));
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

}  // namespace morvane
