// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>

#include "radiolink/command_line_hamlib.hpp"

namespace morvane {
namespace {

// What a command line comes to, in one line: the action it takes at once, the
// problem it names, or the radio the window is to drive.
std::string Outcome(const CommandLine& command) {
    // clang-format off
    const std::map<CommandAction, std::string> actedAtOnce = {
        {CommandAction::ShowHelp, "help"}, {CommandAction::ShowVersion, "version"},
        {CommandAction::ListModels, "list"},
        {CommandAction::Refuse, "refused: " + command.problem}};
    if (actedAtOnce.contains(command.action)) return actedAtOnce.at(command.action);
    const HamlibOptions& radio = command.options;
    std::string outcome = "model=" + std::to_string(radio.model) + " port=" + radio.port +
                          " baud=" + std::to_string(radio.serialSpeed) +
                          " verbose=" + std::to_string(radio.debugLevel);
    for (const auto& [name, value] : radio.config) outcome += " " + name + "=" + value;
    const MainFields& f = command.fields;
    if (MainFields{}.Combo_period != f.Combo_period || MainFields{}.chirptime != f.chirptime ||
        MainFields{}.Combo_rate != f.Combo_rate || MainFields{}.Combo_step != f.Combo_step ||
        f.Slider1 != 0 || command.utc) {
        outcome += " sounder=" + f.Combo_period + "/" + f.chirptime + "/" + f.Combo_rate + "/" +
                   f.Combo_step + "/" + std::to_string(f.Slider1) + (command.utc ? " utc" : "");
    }
    if (!command.logPath.empty()) outcome += " log=" + command.logPath;
    if (!command.mapPath.empty()) outcome += " map=" + command.mapPath;
    return outcome + (radio.readMeter ? "" : " no-meter");
}

// First: once Hamlib has been quietened in this process, it stays quiet.
TEST(CommandLine, RefusesASettingTheDefaultRadioLacksWithoutHamlibsTrace) {
    ::testing::internal::CaptureStderr();
    const CommandLine command = ParseCommandLine(std::vector<std::string>{"-C", "foo=bar"});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(command.problem, "radio model 1 has no setting 'foo' (-C)");
}

TEST(CommandLine, ReadsTheRadioInEveryWrittenFormAndRefusesABadOptionNamingIt) {
    const std::pair<std::vector<std::string>, std::string> lines[] = {
        {{}, "model=1 port= baud=0 verbose=0"},
        {{"-m2"}, "model=2 port=localhost:4532 baud=0 verbose=0"},
        {{"--model", "2", "-r", "127.0.0.1:4600"}, "model=2 port=127.0.0.1:4600 baud=0 verbose=0"},
        {{"--rig-file=/dev/ttyUSB0", "-m", "1"}, "model=1 port=/dev/ttyUSB0 baud=0 verbose=0"},
        {{"-m", "4", "-r/dev/ttyS1", "--serial-speed=9600"},
         "model=4 port=/dev/ttyS1 baud=9600 verbose=0"},
        {{"-C", "timeout=900", "--set-conf=retry=1", "-Cpost_write_delay="},
         "model=1 port= baud=0 verbose=0 timeout=900 retry=1 post_write_delay="},
        {{"-v", "--verbose", "-v"}, "model=1 port= baud=0 verbose=3"},
        {{"-vvvvvvv"}, "model=1 port= baud=0 verbose=5"},
        {{"-vm2", "-vr", "h:1"}, "model=2 port=h:1 baud=0 verbose=2"},
        // The sounder's settings, taken as typed: anything a field holds.
        {{"--period", "1200", "--chirptime=29.5", "--rate", "500", "--step=50", "--offset", "-10",
          "--utc"},
         "model=1 port= baud=0 verbose=0 sounder=1200/29.5/500/50/-10 utc"},
        // A sounder setting the window would mark is refused, naming what would work.
        {{"--period=", "--offset=10"}, "refused: --period '': is empty"},
        {{"--rate", "fast"}, "refused: --rate fast: \"fast\" is not one of 50, 100, 125, 500 kHz/s"},
        {{"--step=5O"}, "refused: --step 5O: is not a number"},
        {{"-m", "2", "--period", "5"}, "refused: --period 5: 5 s is outside 60 s to 30 min"},
        {{"--period", "15", "--chirptime", "0.5"}, "refused: --period 15: 15 s is outside 60 s to "
         "30 min; at 100 kHz/s the sweep never takes the radio off 2 MHz"},
        {{"--period", "70"}, "refused: --period 70: 70 s does not divide the day's 86 400 s, so "
         "the sweep jumps at midnight; 72 s does"},
        {{"--chirptime", "400"}, "refused: --chirptime 400: 400 s is outside the 300 s period: at "
         "100 kHz/s the sweep tops out at 20 MHz; 100 s gives the whole sweep"},
        {{"--chirptime=-5", "--offset", "-10"}, "refused: --chirptime -5: -5 s is outside the 300 s "
         "period: at 100 kHz/s the sweep tops out at 30 MHz; 295 s gives the whole sweep"},
        {{"--chirptime=-400", "--rate=50"}, "refused: --chirptime -400: -400 s is outside the 300 s "
         "period: at 50 kHz/s the sweep never takes the radio off 2 MHz; 200 s gives the whole sweep"},
        {{"--offset", "11"}, "refused: offset '11' is not a slider position from -10 to 10"},
        {{"--offset=-1.5"}, "refused: offset '-1.5' is not a slider position from -10 to 10"},
        {{"--chirptime", std::string(256, '5')},
         "refused: option '--chirptime' takes at most 255 characters"},
        {{"--utc=yes"}, "refused: option '--utc' takes no value"},
        // A file to write is tried at once, not found out after hours of listening.
        {{"--log", "/dev/null", "--map", "/tmp/map.png", "--no-meter"},
         "model=1 port= baud=0 verbose=0 log=/dev/null map=/tmp/map.png no-meter"},
        {{"--log", "/no/such/folder/steps.csv"},
         "refused: --log /no/such/folder/steps.csv: cannot write: No such file or directory"},
        {{"--map=/tmp"}, "refused: --map /tmp: cannot write: Is a directory"},
        {{"--map", "/no/such/folder/map.png"},
         "refused: --map /no/such/folder/map.png: cannot write: No such file or directory"},
        {{"-C", "no_such_setting=1", "-m", "2"},
         "refused: radio model 2 has no setting 'no_such_setting' (-C)"},
        // Like rigctl's, --help, --version and --list act as soon as they are read.
        {{"--help", "--no-such-option"}, "help"}, {{"-m", "2", "--version"}, "version"},
        {{"-l"}, "list"}, {{"-x", "--help"}, "refused: unknown option '-x'"},
        {{"--modle=2"}, "refused: unknown option '--modle'"},
        {{"--"}, "refused: unknown option '--'"},
        {{"radio"}, "refused: unexpected argument 'radio'"},
        {{"-"}, "refused: unexpected argument '-'"}, {{"-m"}, "refused: option '-m' needs a value"},
        {{"-r", ""}, "refused: option '-r' needs a value"},
        {{"-m", "2x"}, "refused: model '2x' is not a number"},
        {{"--model="}, "refused: model '' is not a number"},
        {{"-m", "999999"}, "refused: Hamlib has no radio model 999999"},
        {{"-s", "-9600"}, "refused: serial speed '-9600' is not a number of baud"},
        {{"-s0"}, "refused: serial speed '0' is not a number of baud"},
        {{"-C", "timeout"}, "refused: option '-C' needs NAME=VALUE, not 'timeout'"},
        {{"--set-conf==5"}, "refused: option '--set-conf' needs NAME=VALUE, not '=5'"},
        {{"--list=all"}, "refused: option '--list' takes no value"}, {{"-lh"}, "list"},
        {{"-vx"}, "refused: unknown option '-x'"},
    };
    // clang-format on
    for (const auto& [arguments, outcome] : lines) {
        EXPECT_EQ(Outcome(ParseCommandLine(arguments)), outcome)
            << ::testing::PrintToString(arguments);
    }
    // Numbers are written with "." in any locale, and reach the fields as the locale writes them.
    const std::vector<std::string> commaLocale = {"--period=1200", "--chirptime", "29.5", "--step=50.0"};
    EXPECT_EQ(Outcome(ParseCommandLine(commaLocale, ",")),
              "model=1 port= baud=0 verbose=0 sounder=1200/29,5/100/50,0/0");
    EXPECT_EQ(Outcome(ParseCommandLine(std::vector<std::string>{"--chirptime", "29,5"}, ",")),
              "refused: --chirptime 29,5: is not a number");
}

}  // namespace
}  // namespace morvane
