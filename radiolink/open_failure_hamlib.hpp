// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hamlib/rig.h>

#include <string>

namespace morvane {

// Why a radio did not open, in the user's words, and whether trying again
// can help: a rigctld not started yet, a radio not switched on or a USB
// adapter not plugged in yet can each come right by themselves; a setting
// the radio does not take, or a device the user may not open, cannot.
struct OpenFailure {
    std::string cause;
    bool mayClear = false;
};

// Hamlib reports a missing device, a refused permission and a refused
// connection alike, as an I/O error; so the port it tried is tried here once
// more, the way rigctl's users see it, to name the real cause. `result` is
// what rig_open returned.
OpenFailure WhyNotOpen(const hamlib_port_t& port, int result);

// A short name for a Hamlib error code; rigerror() drags in the debug trace.
std::string HamlibErrorText(int code);

// Whether a call's result says that nothing answered it, rather than that the
// radio answered with a refusal.
bool IsNoAnswer(int result);

}  // namespace morvane
