#pragma once

#include <windows.h>
// ddeml.h builds on the types windows.h declares.
#include <ddeml.h>

#include <string>
#include <string_view>

#include "radiolink/radio_link.hpp"

namespace morvane {

// The link to the radio-control program over DDEML, as a client only.
//
// Create, use and destroy it on the window's thread: DDEML calls back on the
// thread that initialised it, so notices and pushed values arrive between the
// window's other messages, never during a tick. One link per thread, because
// DDEML's callback carries nothing that tells two instances apart.
class DdeRadioLink final : public RadioLink {
  public:
    explicit DdeRadioLink(LinkListener& listener);
    ~DdeRadioLink() override;
    DdeRadioLink(const DdeRadioLink&) = delete;
    DdeRadioLink& operator=(const DdeRadioLink&) = delete;

    // Opens the conversation and both hot links. Tried once only: a server
    // that is not there leaves the link closed for the life of the program.
    void Open();
    // Gives the closed notice for a conversation that ended without one
    // (Wine only marks it terminated). Cheap enough for every tick.
    void CheckConversation();

    bool IsOpen() const override { return open_; }
    // Sends the command without waiting for the server's answer, so a slow or
    // hung server never holds the tick; the answer is not read.
    void Execute(const std::string& command) override;

  private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ first,
                                      HSZ second, HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA OnTransaction(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                           HDDEDATA data);
    HSZ CreateName(std::string_view name) const;
    bool Is(HSZ name, HSZ expected) const;
    void StartHotLink(HSZ item);
    void RequestValue(HSZ item, LinkItem which);
    HDDEDATA ValueArrived(UINT format, HSZ item, HDDEDATA data);
    void Close();

    LinkListener& listener_;
    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HSZ displayItem_ = nullptr;
    HSZ hertzItem_ = nullptr;
    HCONV conversation_ = nullptr;
    bool tried_ = false;
    bool open_ = false;
};

}  // namespace morvane
