#include <gtest/gtest.h>

#include "radiolink/command_line_hamlib.hpp"

namespace morvane {
namespace {

using Arguments = std::vector<std::string>;
using Settings = std::vector<std::pair<std::string, std::string>>;

std::string Joined(const Arguments& arguments) {
    std::string joined;
    for (const std::string& argument : arguments) joined += "[" + argument + "]";
    return joined;
}

struct GoodLine {
    Arguments arguments;
    int model;
    std::string port;
    int serialSpeed;
    Settings config;
    int debugLevel;
};

TEST(CommandLine, ReadsTheRadioInEveryWrittenForm) {
    const GoodLine lines[] = {
        {{}, 1, "", 0, {}, 0},
        {{"-m", "2"}, 2, "localhost:4532", 0, {}, 0},
        {{"-m2"}, 2, "localhost:4532", 0, {}, 0},
        {{"--model=2"}, 2, "localhost:4532", 0, {}, 0},
        {{"--model", "2", "-r", "127.0.0.1:4600"}, 2, "127.0.0.1:4600", 0, {}, 0},
        {{"--rig-file=/dev/ttyUSB0", "-m", "1"}, 1, "/dev/ttyUSB0", 0, {}, 0},
        {{"-m", "4", "-r/dev/ttyS1", "-s", "9600"}, 4, "/dev/ttyS1", 9600, {}, 0},
        {{"--serial-speed=38400"}, 1, "", 38400, {}, 0},
        {{"-C", "timeout=900", "--set-conf=retry=1", "-Cpost_write_delay="},
         1,
         "",
         0,
         {{"timeout", "900"}, {"retry", "1"}, {"post_write_delay", ""}},
         0},
        {{"-v", "--verbose", "-v"}, 1, "", 0, {}, 3},
        {{"-v", "-v", "-v", "-v", "-v", "-v", "-v"}, 1, "", 0, {}, 5},
    };
    for (const GoodLine& line : lines) {
        SCOPED_TRACE(Joined(line.arguments));
        const CommandLine command = ParseCommandLine(line.arguments);
        ASSERT_EQ(command.action, CommandAction::OpenWindow) << command.problem;
        EXPECT_EQ(command.options.model, line.model);
        EXPECT_EQ(command.options.port, line.port);
        EXPECT_EQ(command.options.serialSpeed, line.serialSpeed);
        EXPECT_EQ(command.options.config, line.config);
        EXPECT_EQ(command.options.debugLevel, line.debugLevel);
    }
}

TEST(CommandLine, HelpVersionAndListActAsSoonAsTheyAreRead) {
    const std::pair<Arguments, CommandAction> lines[] = {
        {{"-h"}, CommandAction::ShowHelp},
        {{"--help", "--no-such-option"}, CommandAction::ShowHelp},
        {{"-V"}, CommandAction::ShowVersion},
        {{"-m", "2", "--version"}, CommandAction::ShowVersion},
        {{"-l"}, CommandAction::ListModels},
        {{"--list"}, CommandAction::ListModels},
        {{"-x", "--help"}, CommandAction::Refuse},  // the bad option comes first
    };
    for (const auto& [arguments, action] : lines) {
        SCOPED_TRACE(Joined(arguments));
        EXPECT_EQ(ParseCommandLine(arguments).action, action);
    }
}

TEST(CommandLine, RefusesABadOptionOrValueNamingIt) {
    const std::pair<Arguments, std::string> lines[] = {
        {{"-x"}, "unknown option '-x'"},
        {{"--modle=2"}, "unknown option '--modle'"},
        {{"--"}, "unknown option '--'"},
        {{"radio"}, "unexpected argument 'radio'"},
        {{"-"}, "unexpected argument '-'"},
        {{"-m"}, "option '-m' needs a value"},
        {{"--rig-file"}, "option '--rig-file' needs a value"},
        {{"-r", ""}, "option '-r' needs a value"},
        {{"-m", "ten"}, "model 'ten' is not a number"},
        {{"-m", "2x"}, "model '2x' is not a number"},
        {{"--model="}, "model '' is not a number"},
        {{"-m", "999999"}, "Hamlib has no radio model 999999"},
        {{"-m", "0"}, "Hamlib has no radio model 0"},
        {{"-s", "fast"}, "serial speed 'fast' is not a number of baud"},
        {{"-s", "-9600"}, "serial speed '-9600' is not a number of baud"},
        {{"-s0"}, "serial speed '0' is not a number of baud"},
        {{"-C", "timeout"}, "option '-C' needs NAME=VALUE, not 'timeout'"},
        {{"--set-conf==5"}, "option '--set-conf' needs NAME=VALUE, not '=5'"},
        {{"--list=all"}, "option '--list' takes no value"},
        {{"-lh"}, "option '-l' takes no value"},
    };
    for (const auto& [arguments, problem] : lines) {
        SCOPED_TRACE(Joined(arguments));
        const CommandLine command = ParseCommandLine(arguments);
        EXPECT_EQ(command.action, CommandAction::Refuse);
        EXPECT_EQ(command.problem, problem);
    }
}

}  // namespace
}  // namespace morvane
