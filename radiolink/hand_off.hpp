// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "radiolink/radio_link.hpp"
#include "tracking/tick.hpp"
#include "window/main_fields.hpp"

namespace morvane {

inline constexpr Colour kConnectedColour = 65280;   // green
inline constexpr Colour kNotConnectedColour = 255;  // red
// Written into Text6 while the link is down; no candidate can equal it, so the
// first tick after the link is back sends whatever it has.
inline constexpr std::string_view kLinkDownMark = "nowt";
inline constexpr std::string_view kCommandPrefix = "freq ";

// A value pushed by a hot link replaces its field's whole text.
void ItemValueArrived(MainFields& fields, LinkItem item, std::string text);

// Decides whether a candidate goes to the radio, and sends it once.
class LinkHandOff final : public HandOff {
  public:
    explicit LinkHandOff(RadioLink& link) : link_(link) {}
    void HandOffCandidate(MainFields& fields, const std::string& candidate) override;
    // Whether the link carries retunes now; the follower keeps it.
    void SetLinkUp(bool up) { linkUp_ = up; }
    // The frequency the last hand-off sent, once.
    std::optional<std::int64_t> TakeSent() { return std::exchange(sent_, std::nullopt); }

  private:
    RadioLink& link_;
    bool linkUp_ = false;
    std::optional<std::int64_t> sent_;
};

}  // namespace morvane
