#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "radiolink/radio_link.hpp"

namespace morvane {

// What the status line's tooltip says of the link, beside the status line's
// own two texts.
inline constexpr std::string_view kWaitingCondition = "waiting for HamRadioDeluxe";
inline constexpr std::string_view kConnectedCondition = "connected to HamRadioDeluxe";
inline constexpr std::string_view kNotAnsweringCondition = "HamRadioDeluxe is not answering";
inline constexpr std::string_view kEndedCondition =
    "the conversation with HamRadioDeluxe ended; restart Morvane to reconnect";

// The link to the radio-control program over DDEML, as a client only.
//
// Every DDEML call runs on a thread of the link's own, with its own message
// loop: opening a conversation sends an initiate to every top-level window
// and waits for each, so one hung program anywhere on the desktop would
// otherwise hold up the window and its ticks. That thread keeps trying to open
// the conversation until it has opened once, sends one command at a time and
// posts what happens to the window as `message`, which the window hands to
// TakeNotice on its own thread. Nothing here waits for that thread, except
// the destructor, for a bounded moment.
class DdeRadioLink final : public RadioLink {
  public:
    DdeRadioLink(LinkListener& listener, HWND window, UINT message);
    ~DdeRadioLink() override;
    DdeRadioLink(const DdeRadioLink&) = delete;
    DdeRadioLink& operator=(const DdeRadioLink&) = delete;

    // Takes one `message` the link's thread posted: tells the listener of an
    // opened or closed conversation or a pushed value, or notes whether the
    // server answers. Window's thread only.
    void TakeNotice(WPARAM kind, LPARAM text);

    // Open and answering: a command unacknowledged for 2 s means a server that
    // has stopped, and the link counts as not open until it answers again,
    // and for one tick at least, so that the tick marks the link down and the
    // current candidate is sent again once it is back.
    bool IsOpen() const override { return phase_ == Phase::Open && answering_ && !stallUnshown_; }
    // Notes that a tick has just run. Window's thread only.
    void NoteTick() { stallUnshown_ = false; }
    // Hands the command to the link's thread without waiting. While one is on
    // its way to the server a newer one replaces any still waiting; the
    // answer is not read.
    void Execute(const std::string& command) override;

    // How the link fares, in words for the status line's tooltip.
    std::string_view Condition() const;

  private:
    enum class Phase { Waiting, Open, Closed };

    LinkListener& listener_;
    Phase phase_ = Phase::Waiting;
    bool answering_ = true;
    bool stallUnshown_ = false;  // no tick has run since the server stopped answering
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace morvane
