// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

// A 24-bit colour with red in the low byte, as the window system stores it.
using Colour = std::uint32_t;

// The most a field takes from the user, typed, pasted or given on the
// command line; a setting needs a few characters, and a pasted megabyte must
// not hold up the window each time it is drawn.
inline constexpr std::size_t kLongestFieldText = 255;

// The window's fields by their control names: the program's whole state.
// The settings are read from here at every tick, the readouts written back,
// and the link fields carry what must survive from one tick to the next.
struct MainFields {
    // Settings, as the user typed or chose them.
    std::string Combo_period = "300";  // period in seconds
    std::string chirptime = "235";     // chirp time in seconds
    std::string Combo_rate = "100";    // sweep rate in kHz/s
    std::string Combo_step = "100";    // step in kHz
    int Slider1 = 0;                   // offset in steps of 150 ms, -10 to 10

    // Readouts written by the tick.
    std::string Text7 = "Text7";  // offset in ms
    std::string Text3 = "Text3";  // ctime in s
    std::string Text5 = "Text5";  // ctime1 in s
    std::string Text1;            // time of day

    // Link state.
    std::string text2 = "18.100.000";       // radio frequency as the radio-control program shows it
    std::optional<Colour> text2Background;  // nullopt: the window's default background
    std::string Text4 = "18100000";         // radio frequency in Hz
    std::string Text6 = "Text6";            // last candidate handed off
    std::string status = "Status";          // status line
};

}  // namespace morvane
