// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace morvane {

// The kernel's view of the computer's clock, as NTP keeps it.
struct ClockStatus {
    bool synchronised = true;
    long estimatedErrorUs = 0;  // the kernel's estimate of how far off the clock may be
    bool known = true;          // false: the kernel could not be asked, and nothing above holds
};

// Beyond this the sweep, moving 100 Hz a millisecond at 100 kHz/s, runs more
// than a step window's worth off at the fast rates.
inline constexpr long kTrustedClockErrorUs = 20'000;

// What the time of day's field says of the clock: whether to mark it, and
// its tooltip ("the clock is not synchronised (NTP): the sweep may be off by
// up to 16 s").
struct ClockTrust {
    bool warn = false;
    std::string text;
    bool operator==(const ClockTrust&) const = default;
};

ClockTrust TrustIn(const ClockStatus& status);

}  // namespace morvane
