// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/hand_off.hpp"

#include <utility>

#include "radiolink/frequency_text.hpp"

namespace morvane {

void ItemValueArrived(MainFields& fields, LinkItem item, std::string text) {
    (item == LinkItem::Display ? fields.text2 : fields.Text4) = std::move(text);
}

void LinkHandOff::HandOffCandidate(MainFields& fields, const std::string& candidate) {
    // Up only while the link carries retunes and the radio reports a frequency:
    // a stale Text4 from a lost link must not let a command through.
    if (!linkUp_ || fields.Text4.empty()) {
        fields.Text6 = kLinkDownMark;
        return;
    }
    // Between step windows there is nothing to tune to; "freq " alone is no command.
    if (candidate.empty() || candidate == fields.Text6) return;
    // Recorded before the send, so a refused command is not repeated every tick.
    fields.Text6 = candidate;
    sent_ = HertzOfText(candidate);
    if (sent_) link_.Tune(*sent_);
}

}  // namespace morvane
