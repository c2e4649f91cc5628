// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary settings, slider, link fields and clock reading through whole
// ticks, with the real hand-off over an open link that records what it is
// sent. Input, one line each (a missing line keeps the field's initial value,
// a zero clock or the "." separator): period, chirp time, rate, step, slider
// position, Text4, Text6, hour, minute, second, millisecond and decimal
// separator.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/hand_off.hpp"
#include "testsupport/core_checks.hpp"
#include "tracking/sweep_frequency.hpp"
#include "tracking/tick.hpp"

namespace {

using namespace morvane;

struct Input {
    MainFields fields;
    ClockReading clock;
    std::string separator = ".";
};

int IntegerOf(std::string_view line) {
    int value = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    return error == std::errc{} && end == line.data() + line.size() ? value : 0;
}

// Line `index` of the input goes into its field.
void Assign(Input& input, std::size_t index, std::string_view line) {
    MainFields& f = input.fields;
    std::string* const texts[] = {&f.Combo_period, &f.chirptime, &f.Combo_rate, &f.Combo_step};
    int* const clock[] = {&input.clock.hour, &input.clock.minute, &input.clock.second,
                          &input.clock.millisecond};
    if (index < 4) *texts[index] = line;
    if (index == 4) f.Slider1 = IntegerOf(line);
    if (index == 5) f.Text4 = line;
    if (index == 6) f.Text6 = line;
    if (index >= 7 && index < 11) *clock[index - 7] = IntegerOf(line);
    if (index == 11) input.separator = line;
}

Input Parse(std::string_view data) {
    Input input;
    for (std::size_t index = 0; !data.empty(); ++index) {
        const std::size_t lineEnd = std::min(data.find('\n'), data.size());
        Assign(input, index, data.substr(0, lineEnd));
        data.remove_prefix(std::min(lineEnd + 1, data.size()));
    }
    return input;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "tick: %s\n", what.c_str());
    std::abort();
}

void CheckCommands(const std::vector<std::string>& commands, const Input& input) {
    if (commands.empty()) return;
    if (commands.size() > 1) Fail("one tick sent more than one command");
    const RateRow* rate = FindRate(input.fields.Combo_rate);
    if (rate == nullptr) Fail("a command was sent although the rate matches no row");
    const testing::CommandCheck check = testing::CheckCommand(commands[0], rate->upperLimitHz);
    if (!check.fault.empty()) Fail("\"" + commands[0] + "\" " + check.fault);
    if (check.hertz % 10'000 != 0) Fail("\"" + commands[0] + "\" is not on a 10 kHz step");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input = Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    testing::RecordingLink link;
    LinkHandOff handOff(link);
    handOff.SetLinkUp(true);
    // An exception that left the tick would end the run as a crash.
    const TickOutcome outcome = RunTick(input.fields, input.clock, input.separator, handOff);
    if (outcome.problem && !link.commands.empty()) Fail("a tick with a problem sent a command");
    CheckCommands(link.commands, input);
    const std::size_t sent = link.commands.size();
    // The same clock reading again: a candidate goes out once, whatever the link did with it.
    if (RunTick(input.fields, input.clock, input.separator, handOff).problem != outcome.problem)
        Fail("the same tick came to another end");
    if (link.commands.size() != sent) Fail("the same tick sent its command again");
    return 0;
}
