// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/listening.hpp"

#include <algorithm>
#include <array>

#include "tracking/number_text.hpp"

namespace morvane {
namespace {

using std::chrono::microseconds;

constexpr std::int64_t kDefaultPassbandHz = 2'400;
// Voice filters start about this far from the carrier.
constexpr std::int64_t kSidebandGapHz = 300;

enum class Side { Upper, Lower, Around };

struct ModeSide {
    std::string_view mode;
    Side side;
};

// Hamlib's names for the modes that hear on one side of the frequency.
constexpr std::array<ModeSide, 8> kSidebandModes{{
    {"USB", Side::Upper},
    {"PKTUSB", Side::Upper},
    {"ECSSUSB", Side::Upper},
    {"SAH", Side::Upper},
    {"LSB", Side::Lower},
    {"PKTLSB", Side::Lower},
    {"ECSSLSB", Side::Lower},
    {"SAL", Side::Lower},
}};

Side SideOf(std::string_view mode) {
    const auto found = std::find_if(kSidebandModes.begin(), kSidebandModes.end(),
                                    [&](const ModeSide& row) { return row.mode == mode; });
    // An unknown mode is read as USB: how sounders are listened to.
    if (mode.empty()) return Side::Upper;
    return found == kSidebandModes.end() ? Side::Around : found->side;
}

// "2 700 Hz"
std::string Hertz(std::int64_t hertz) {
    const std::string digits = DecimalText(hertz < 0 ? -hertz : hertz);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
        grouped += digits[i];
    }
    return grouped + " Hz";
}

}  // namespace

microseconds SweepTime(std::int64_t hertz, std::int32_t rateKHz) {
    return microseconds(hertz * 1000 / std::max<std::int32_t>(rateKHz, 1));
}

ListeningSpan SpanForMode(std::string_view mode, std::int64_t passbandHz) {
    const std::int64_t width = passbandHz > 0 ? passbandHz : kDefaultPassbandHz;
    const std::string name = mode.empty() ? "USB" : std::string(mode);
    switch (SideOf(mode)) {
        case Side::Upper:
            return {kSidebandGapHz, kSidebandGapHz + width,
                    name + ": " + Hertz(kSidebandGapHz) + " to " + Hertz(kSidebandGapHz + width) +
                        " above the step"};
        case Side::Lower:
            return {-kSidebandGapHz - width, -kSidebandGapHz,
                    name + ": " + Hertz(kSidebandGapHz + width) + " to " + Hertz(kSidebandGapHz) +
                        " below the step"};
        case Side::Around:
            break;
    }
    return {-width / 2, width - width / 2,
            name + ": " + Hertz(width / 2) + " either side of the step"};
}

MeterPlan PlanMeterReads(MeterTime reachedAt, std::int32_t rateKHz, const ListeningSpan& span,
                         microseconds clockError, MeterTime nextRetuneAt) {
    const microseconds allowance = std::clamp(clockError, microseconds(0), kLargestClockAllowance);
    // The chirp comes no sooner than the sweep reaches the span (no path is
    // shorter than none) and has passed once the sweep has left it and the
    // longest path has carried it over.
    return {reachedAt + SweepTime(span.lowHz, rateKHz) - allowance,
            reachedAt + SweepTime(span.highHz, rateKHz) + kLongestPathDelay + allowance,
            nextRetuneAt};
}

bool ReadFits(MeterTime now, microseconds readTime, MeterTime deadline) {
    return now + readTime <= deadline;
}

}  // namespace morvane
