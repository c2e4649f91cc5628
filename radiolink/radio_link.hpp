#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace morvane {

// The radio-control program's DDE server: service, topic and the two items
// whose values the window mirrors.
inline constexpr std::string_view kLinkApplication = "hrd_radio_000";
inline constexpr std::string_view kLinkTopic = "hrd_cat";
inline constexpr std::string_view kDisplayItem = "hrd_frequency";  // into text2
inline constexpr std::string_view kHertzItem = "hrd_hertz";        // into Text4

enum class LinkItem { Display, Hertz };

// A command the link could not carry.
class LinkFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a link reports. Every call arrives on the window's event thread.
class LinkListener {
  public:
    virtual ~LinkListener() = default;
    virtual void OnLinkOpened() = 0;  // the display link's conversation is open
    virtual void OnLinkClosed() = 0;  // ... and has closed; it is never re-opened
    virtual void OnItemValue(LinkItem item, std::string text) = 0;  // replaces the field's text
};

// The status line's two texts as the radio-control program's link words them.
inline constexpr std::string_view kConnectedStatus = "Connected to HamRadioDeluxe";
inline constexpr std::string_view kNotConnectedStatus =
    "Not connected, Start Morvane before HamRadioDeluxe";

// The platform's link to the radio side, as the hand-off uses it.
class RadioLink {
  public:
    virtual ~RadioLink() = default;
    // Whether commands get through now: the display link's conversation is
    // open and, where that can be told, answering.
    virtual bool IsOpen() const = 0;
    // Sends a command text over the display link. Throws LinkFailure when it
    // cannot; no reply is read. Never blocks the event thread for long.
    virtual void Execute(const std::string& command) = 0;
    // What the status line says while connected and while not, in words that
    // name what this link drives.
    virtual std::string ConnectedStatus() const { return std::string(kConnectedStatus); }
    virtual std::string NotConnectedStatus() const { return std::string(kNotConnectedStatus); }
};

}  // namespace morvane
