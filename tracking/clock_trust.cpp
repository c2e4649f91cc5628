// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/clock_trust.hpp"

#include <cstdio>

namespace morvane {
namespace {

// "16 s", "35 ms", "1.2 ms", "250 us": the unit that reads best.
std::string Duration(long microseconds) {
    char text[32];
    if (microseconds >= 10'000'000) {
        std::snprintf(text, sizeof text, "%ld s", microseconds / 1'000'000);
    } else if (microseconds >= 10'000) {
        std::snprintf(text, sizeof text, "%ld ms", microseconds / 1000);
    } else if (microseconds >= 1000) {
        std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(microseconds) / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%ld us", microseconds);
    }
    return text;
}

}  // namespace

ClockTrust TrustIn(const ClockStatus& status) {
    // A kernel that could not be asked says nothing good of the clock either.
    if (!status.known) {
        return {true,
                "the clock's state is unknown: the kernel did not say whether NTP keeps it "
                "synchronised"};
    }
    const std::string error = Duration(status.estimatedErrorUs);
    if (!status.synchronised) {
        return {true,
                "the clock is not synchronised (NTP): the sweep may be off by up to " + error};
    }
    if (status.estimatedErrorUs > kTrustedClockErrorUs) {
        return {true, "the clock is synchronised (NTP) but may be off by up to " + error +
                          ", and the sweep with it"};
    }
    return {false, "the clock is synchronised (NTP), within " + error};
}

}  // namespace morvane
