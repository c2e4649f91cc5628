#include "tracking/tick.hpp"

#include <exception>

#include "tracking/number_text.hpp"
#include "tracking/step_candidate.hpp"
#include "tracking/sweep_frequency.hpp"

namespace morvane {

void RunTick(MainFields& fields, const ClockReading& clock, std::string_view separator,
             HandOff& handOff) {
    const std::int16_t offset = Offset(fields.Slider1);
    fields.Text7 = DecimalText(offset);
    const std::int32_t day = Day(clock);
    const std::int32_t ctime1 = PositionInPeriod(day, fields.Combo_period, separator);
    const std::int32_t ctime =
        TimeSinceSweepBegan(ctime1, fields.chirptime, fields.Combo_period, offset, separator);
    fields.Text3 = ReadoutText(ctime, separator);
    fields.Text5 = ReadoutText(ctime1, separator);
    const std::int32_t frequency = Frequency(fields.Combo_rate, ctime, separator);
    fields.Text1 = TimeOfDayText(clock);
    const std::string candidate = Candidate(frequency, fields.Combo_step, separator);
    try {
        handOff.HandOffCandidate(fields, candidate);
    } catch (const std::exception&) {
        // A link that fails ends the tick without a word; the next tick starts afresh.
    }
}

}  // namespace morvane
