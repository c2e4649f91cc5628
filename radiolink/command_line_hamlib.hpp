// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "radiolink/radio_link_hamlib.hpp"
#include "window/main_fields.hpp"

namespace morvane {

// The exit status of a command line the program cannot use, as rigctl has it.
inline constexpr int kBadUsageStatus = 2;

// What a command line asks the program to do.
enum class CommandAction { OpenWindow, ListModels, ShowHelp, ShowVersion, Refuse };

struct CommandLine {
    CommandAction action = CommandAction::OpenWindow;
    HamlibOptions options;  // OpenWindow: the radio to drive
    MainFields fields;      // OpenWindow: the fields as the window starts, settings as given
    bool utc = false;       // OpenWindow: work from UTC, not the local time of day
    std::string logPath;    // OpenWindow: where each step is logged, if anywhere
    std::string mapPath;    // OpenWindow: where the map's picture goes, if anywhere
    std::string problem;    // Refuse: what is wrong, naming the option
};

// Reads the options in rigctl's manner: -m/--model, -r/--rig-file,
// -s/--serial-speed, -C/--set-conf (repeatable), -v/--verbose (repeatable,
// bundled as -vvvvv), -l/--list, -h/--help, -V/--version; and the sounder's
// settings --period, --chirptime, --rate, --step, --offset, and --utc. A value
// may be attached (-m2, --model=2) or follow (-m 2, --model 2). `arguments`
// excludes the program's own name. A setting the radio does not know (-C) is
// refused here, before any window opens, and so is a sounder setting the
// window would mark. Numbers are read with "." and put in the fields with the
// locale's `separator`.
CommandLine ParseCommandLine(std::span<const std::string> arguments,
                             std::string_view separator = ".");

// The arguments after the program's own name.
std::vector<std::string> ArgumentsAfterProgramName(int argc, char* argv[]);

// Does what a command line other than OpenWindow asks for: help, version and
// the model list on `out`, a refusal as one line on `err`. Returns the exit status.
int CarryOut(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace morvane
