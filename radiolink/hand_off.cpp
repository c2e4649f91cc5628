#include "radiolink/hand_off.hpp"

#include <utility>

namespace morvane {

void LinkHandOff::LinkOpened(MainFields& fields) const {
    fields.text2Background = kConnectedColour;
    fields.status = link_.ConnectedStatus();
}

void LinkHandOff::LinkClosed(MainFields& fields) const {
    fields.text2Background = kNotConnectedColour;
    fields.status = link_.NotConnectedStatus();
}

void ItemValueArrived(MainFields& fields, LinkItem item, std::string text) {
    (item == LinkItem::Display ? fields.text2 : fields.Text4) = std::move(text);
}

void LinkHandOff::HandOffCandidate(MainFields& fields, const std::string& candidate) {
    // Connected only while the conversation is open and the radio reports a
    // frequency: a stale Text4 from a closed link must not read as "Connected".
    if (!link_.IsOpen() || fields.Text4.empty()) {
        LinkClosed(fields);
        fields.Text6 = kLinkDownMark;
        return;
    }
    LinkOpened(fields);
    // Between step windows there is nothing to tune to; "freq " alone is no command.
    if (candidate.empty() || candidate == fields.Text6) return;
    // Recorded before the send, so a refused command is not repeated every tick.
    fields.Text6 = candidate;
    link_.Execute(std::string(kCommandPrefix) + candidate);
}

}  // namespace morvane
