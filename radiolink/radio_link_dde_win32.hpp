// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "radiolink/radio_link.hpp"

namespace morvane {

// What the status line's tooltip says of the link in each state, beside the
// status line's own two texts.
inline constexpr std::string_view kWaitingDetail =
    "waiting for HamRadioDeluxe; trying again every 2 s";
inline constexpr std::string_view kConnectedDetail = "connected to HamRadioDeluxe";
inline constexpr std::string_view kNotAnsweringDetail =
    "HamRadioDeluxe is not answering: a retune waited 2 s for its acknowledgement; the "
    "current frequency is sent again every 2 s until one is acknowledged within 2 s";
inline constexpr std::string_view kEndedDetail =
    "the conversation with HamRadioDeluxe ended; Morvane reconnects by itself every 2 s";
inline constexpr std::string_view kNoDdeDetail =
    "DDE could not be started on this computer, so HamRadioDeluxe cannot be reached";

// The link to the radio-control program over DDEML, as a client only.
//
// Every DDEML call runs on a thread of the link's own, with its own message
// loop: opening a conversation sends an initiate to every top-level window
// and waits for each, so one hung program anywhere on the desktop would
// otherwise hold up the window and its ticks. That thread opens the
// conversation (and opens it again whenever it ends), sends one retune at a
// time and posts every change of state, value and answer to the window as
// `message`, which the window hands to TakeNotice on its own thread. Nothing
// here waits for that thread, except the destructor, for a bounded moment.
class DdeRadioLink final : public RadioLink {
  public:
    DdeRadioLink(HWND window, UINT message);
    ~DdeRadioLink() override;
    DdeRadioLink(const DdeRadioLink&) = delete;
    DdeRadioLink& operator=(const DdeRadioLink&) = delete;

    // Takes over one `message` the link's thread posted (all it carries is in
    // lParam) and tells `listener` of it. Window's thread only.
    static void TakeNotice(WPARAM, LPARAM notice, LinkListener& listener);

    void Tune(std::int64_t hertz) override;

  private:
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace morvane
