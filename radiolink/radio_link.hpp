// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tracking/listening.hpp"

namespace morvane {

// The radio-control program's DDE server: service, topic and the two items
// whose values the window mirrors.
inline constexpr std::string_view kLinkApplication = "hrd_radio_000";
inline constexpr std::string_view kLinkTopic = "hrd_cat";
inline constexpr std::string_view kDisplayItem = "hrd_frequency";  // into text2
inline constexpr std::string_view kHertzItem = "hrd_hertz";        // into Text4

enum class LinkItem { Display, Hertz };

// Where a link stands, the same on every platform.
enum class LinkState {
    Waiting,     // not opened yet: tried again every 2 s
    Connected,   // commands get through
    Stalled,     // open, but a command went unanswered for 2 s; probed until it answers
    Lost,        // it answered before and stopped: opened again every 2 s
    CannotOpen,  // a cause that will not clear by itself; never tried again
};

// How often a link that is not open, or has been lost, is tried again.
inline constexpr std::chrono::milliseconds kReopenInterval{2000};

// What a link says of its state: the status line's text for it, and the
// tooltip's longer words on why ("waiting for HamRadioDeluxe", "NET rigctl
// (model 2) at localhost:4532: connection refused; trying again every 2 s").
struct LinkReport {
    LinkState state = LinkState::Waiting;
    std::string status;
    std::string detail;
};

using SteadyTime = std::chrono::steady_clock::time_point;

// The radio's answer to one retune: taken, or refused and why, and when the
// answer came (the steady clock, as the link read it on its own thread); or
// word that the call ended with no answer at all.
struct TuneAnswer {
    std::int64_t hertz = 0;
    bool accepted = false;
    SteadyTime at{};
    std::string refusal;   // "invalid parameter", "no answer"; empty when accepted
    bool answered = true;  // false: the radio said nothing, which is no refusal
};

// What the radio's S-meter said around one step: in dB over S9, before the
// chirp could arrive and at its highest after it had passed; a level not read
// (no time for it before the next retune) is missing.
struct MeterReading {
    std::int64_t hertz = 0;
    std::optional<double> floorDb;
    std::optional<double> peakDb;
    int reads = 0;
};

// The radio's mode as Hamlib names it ("USB") and its passband in Hz (0: the mode's default).
struct RadioMode {
    std::string mode;
    std::int64_t passbandHz = 0;
    bool operator==(const RadioMode&) const = default;
};

// What a link reports. Every call arrives on the window's event thread.
class LinkListener {
  public:
    virtual ~LinkListener() = default;
    virtual void OnLinkState(const LinkReport& report) = 0;
    virtual void OnItemValue(LinkItem item, std::string text) = 0;  // replaces the field's text
    virtual void OnTuneAnswer(const TuneAnswer& answer) = 0;
    // Links that read the radio's meter and mode; told whenever they change.
    virtual void OnMeterReading(const MeterReading& /*reading*/) {}
    virtual void OnRadioMode(const RadioMode& /*mode*/) {}
    // The radio has no meter the link can read: said once.
    virtual void OnMeterMissing(const std::string& /*why*/) {}
};

// The status line's two texts as the radio-control program's link words them.
inline constexpr std::string_view kConnectedStatus = "Connected to HamRadioDeluxe";
inline constexpr std::string_view kNotConnectedStatus =
    "Not connected, Start Morvane before HamRadioDeluxe";

// The platform's link to the radio side, as the follower uses it.
class RadioLink {
  public:
    virtual ~RadioLink() = default;
    // Retunes the radio to `hertz`: handed to the link's own thread at once,
    // never waiting for the radio. A newer frequency replaces one not yet
    // sent; each one sent is answered through OnTuneAnswer.
    virtual void Tune(std::int64_t hertz) = 0;
    // Notes that a tick has just run, so that a link that reads the radio can
    // do it halfway between ticks, where no retune is due.
    virtual void NoteTick() {}
    // When to read the S-meter around the step just handed to Tune, once the
    // radio has taken it; a link that reads no meter ignores it.
    virtual void Listen(std::int64_t /*hertz*/, const MeterPlan& /*plan*/) {}
};

}  // namespace morvane
