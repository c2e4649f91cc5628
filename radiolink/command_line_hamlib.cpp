// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/command_line_hamlib.hpp"

#include <hamlib/rig.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "morvane_version.hpp"
#include "tracking/setting_check.hpp"
#include "tracking/sweep_position.hpp"

namespace morvane {
namespace {

// As GNU programs state theirs: who holds the copyright and what one may do.
constexpr const char* kLicenceNotice =
    "Copyright (C) 2026 The Morvane developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";


// NET rigctl reaches rigctld here unless told otherwise.
constexpr int kRigctldModel = 2;
constexpr std::string_view kRigctldDefaultAddress = "localhost:4532";
constexpr int kMostVerbose = 5;  // Hamlib's RIG_DEBUG_TRACE

enum class OptionId {
    Model,
    RigFile,
    SerialSpeed,
    SetConf,
    Verbose,
    Period,
    ChirpTime,
    Rate,
    Step,
    Offset,
    Utc,
    Log,
    Map,
    NoMeter,
    List,
    Help,
    Version
};

struct OptionSpec {
    char shortName;  // 0: long only
    std::string_view longName;
    std::string_view valueName;  // empty: a flag
    OptionId id;
    std::string_view help;
};

// clang-format off
constexpr std::array<OptionSpec, 17> kOptions{{
    {'m', "model", "ID", OptionId::Model, "Hamlib radio model number (default 1, Hamlib's dummy radio; 2 is rigctld, 4 is flrig; --list shows them all)"},
    {'r', "rig-file", "PATH", OptionId::RigFile, "the radio's serial device, or host:port (default for model 2: localhost:4532)"},
    {'s', "serial-speed", "BAUD", OptionId::SerialSpeed, "serial speed in baud (default: the model's own)"},
    {'C', "set-conf", "NAME=VALUE", OptionId::SetConf, "a further Hamlib setting; may be given more than once"},
    {'v', "verbose", "", OptionId::Verbose, "Hamlib's own trace on stderr; repeat for more (-vvvvv)"},
    {0, "period", "SECONDS", OptionId::Period, "the sounder's period, as if typed into Period (default 300)"},
    {0, "chirptime", "SECONDS", OptionId::ChirpTime, "the second of the period its sweep starts at, as if typed into Chirptime (default 235)"},
    {0, "rate", "KHZ_PER_S", OptionId::Rate, "the sweep's rate, as if typed into Rate KHz/s: 50, 100, 125 or 500 (default 100)"},
    {0, "step", "KHZ", OptionId::Step, "how far the radio moves at a time, as if typed into Step KHz: 50, 100 or 500 (default 100)"},
    {0, "offset", "N", OptionId::Offset, "the offset slider's position, -10 to 10, each 150 ms (default 0)"},
    {0, "utc", "", OptionId::Utc, "work from UTC, for sounders scheduled in UTC (default: the local time of day)"},
    {0, "log", "FILE", OptionId::Log, "append a CSV row for each step to FILE: when, where, the S-meter's floor and peak"},
    {0, "map", "FILE.png", OptionId::Map, "rewrite the propagation map as a PNG picture after every sweep"},
    {0, "no-meter", "", OptionId::NoMeter, "never read the radio's S-meter: steps are logged without levels"},
    {'l', "list", "", OptionId::List, "list the radio models Hamlib knows and exit"},
    {'h', "help", "", OptionId::Help, "show this help and exit"},
    {'V', "version", "", OptionId::Version, "show the version and exit"},
}};
// clang-format on

// A command line the program cannot use; what() names the offending option or value.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// One option as written, with its value when it takes one.
struct OptionUse {
    const OptionSpec* spec;
    std::string written;  // "-m" or "--model", for messages
    std::string value;
};

// Walks the arguments as getopt_long does: "--name=value", "--name value",
// "-xVALUE", "-x VALUE", and flags bundled as "-vvvvv".
class OptionReader {
  public:
    explicit OptionReader(std::span<const std::string> arguments) : arguments_(arguments) {}
    bool Done() const { return index_ >= arguments_.size(); }
    OptionUse Next();

  private:
    OptionUse Long(std::string_view argument);
    OptionUse Short(std::string_view argument);
    std::string FollowingValue(const std::string& written) {
        if (++index_ >= arguments_.size())
            throw UsageError("option " + Quoted(written) + " needs a value");
        return arguments_[index_++];
    }

    std::span<const std::string> arguments_;
    std::size_t index_ = 0;
    std::size_t bundled_ = 0;  // within a bundle of short options, the next one's place
};

OptionUse OptionReader::Next() {
    const std::string_view argument = arguments_[index_];
    if (bundled_ > 0) return Short(argument);
    if (argument.size() < 2 || argument[0] != '-') {
        throw UsageError("unexpected argument " + Quoted(argument));
    }
    if (argument[1] == '-') return Long(argument);
    bundled_ = 1;
    return Short(argument);
}

OptionUse OptionReader::Long(std::string_view argument) {
    const std::size_t equals = argument.find('=');
    const std::string written(argument.substr(0, equals));
    const auto spec = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionSpec& o) {
        return "--" + std::string(o.longName) == written;
    });
    if (spec == kOptions.end()) throw UsageError("unknown option " + Quoted(written));
    if (spec->valueName.empty()) {
        if (equals != std::string_view::npos)
            throw UsageError("option " + Quoted(written) + " takes no value");
        ++index_;
        return {&*spec, written, {}};
    }
    if (equals != std::string_view::npos) {
        ++index_;
        return {&*spec, written, std::string(argument.substr(equals + 1))};
    }
    return {&*spec, written, FollowingValue(written)};
}

OptionUse OptionReader::Short(std::string_view argument) {
    const char name = argument[bundled_];
    const std::string written = std::string("-") + name;
    const auto spec = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionSpec& o) {
        return o.shortName != 0 && o.shortName == name;
    });
    if (spec == kOptions.end()) throw UsageError("unknown option " + Quoted(written));
    const std::string_view rest = argument.substr(bundled_ + 1);
    bundled_ = rest.empty() || !spec->valueName.empty() ? 0 : bundled_ + 1;
    if (spec->valueName.empty()) {
        if (bundled_ == 0) ++index_;
        return {&*spec, written, {}};
    }
    if (!rest.empty()) {
        ++index_;
        return {&*spec, written, std::string(rest)};
    }
    return {&*spec, written, FollowingValue(written)};
}

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int ModelNumber(const OptionUse& use) {
    const std::optional<int> model = WholeNumber(use.value);
    if (!model) throw UsageError("model " + Quoted(use.value) + " is not a number");
    if (!FindHamlibModel(*model)) throw UsageError("Hamlib has no radio model " + use.value);
    return *model;
}

int SerialSpeed(const OptionUse& use) {
    const std::optional<int> baud = WholeNumber(use.value);
    if (!baud || *baud <= 0) {
        throw UsageError("serial speed " + Quoted(use.value) + " is not a number of baud");
    }
    return *baud;
}

int SliderPosition(const OptionUse& use) {
    const std::optional<int> position = WholeNumber(use.value);
    if (!position || *position < kSliderLowest || *position > kSliderHighest) {
        throw UsageError("offset " + Quoted(use.value) + " is not a slider position from " +
                         std::to_string(kSliderLowest) + " to " + std::to_string(kSliderHighest));
    }
    return *position;
}

std::pair<std::string, std::string> Setting(const OptionUse& use) {
    const std::size_t equals = use.value.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("option " + Quoted(use.written) + " needs NAME=VALUE, not " +
                         Quoted(use.value));
    }
    return {use.value.substr(0, equals), use.value.substr(equals + 1)};
}

std::string NonEmpty(const OptionUse& use) {
    if (use.value.empty()) throw UsageError("option " + Quoted(use.written) + " needs a value");
    return use.value;
}

// A setting's text, taken as a user would type it: anything that fits the field.
std::string FieldText(const OptionUse& use) {
    if (use.value.size() > kLongestFieldText) {
        throw UsageError("option " + Quoted(use.written) + " takes at most " +
                         std::to_string(kLongestFieldText) + " characters");
    }
    return use.value;
}

// Applies one option; returns the action that ends the parse at once, if any.
std::optional<CommandAction> Apply(const OptionUse& use, CommandLine& command) {
    HamlibOptions& radio = command.options;
    MainFields& fields = command.fields;
    switch (use.spec->id) {
        case OptionId::Model:
            radio.model = ModelNumber(use);
            break;
        case OptionId::RigFile:
            radio.port = NonEmpty(use);
            break;
        case OptionId::SerialSpeed:
            radio.serialSpeed = SerialSpeed(use);
            break;
        case OptionId::SetConf:
            radio.config.push_back(Setting(use));
            break;
        case OptionId::Verbose:
            radio.debugLevel = std::min(radio.debugLevel + 1, kMostVerbose);
            break;
        case OptionId::Period:
            fields.Combo_period = FieldText(use);
            break;
        case OptionId::ChirpTime:
            fields.chirptime = FieldText(use);
            break;
        case OptionId::Rate:
            fields.Combo_rate = FieldText(use);
            break;
        case OptionId::Step:
            fields.Combo_step = FieldText(use);
            break;
        case OptionId::Offset:
            fields.Slider1 = SliderPosition(use);
            break;
        case OptionId::Utc:
            command.utc = true;
            break;
        case OptionId::Log:
            command.logPath = NonEmpty(use);
            break;
        case OptionId::Map:
            command.mapPath = NonEmpty(use);
            break;
        case OptionId::NoMeter:
            radio.readMeter = false;
            break;
        case OptionId::List:
            return CommandAction::ListModels;
        case OptionId::Help:
            return CommandAction::ShowHelp;
        case OptionId::Version:
            return CommandAction::ShowVersion;
    }
    return std::nullopt;
}

// Hamlib would only find out when the radio opens, after the window is up.
void CheckSettingsAreTheRadios(const HamlibOptions& radio) {
    if (radio.config.empty()) return;
    // Looking the model up first quietens Hamlib, whose trace would bury the one line that matters.
    if (!FindHamlibModel(radio.model))
        throw UsageError("Hamlib has no radio model " + std::to_string(radio.model));
    RIG* rig = rig_init(static_cast<rig_model_t>(radio.model));
    if (rig == nullptr)
        throw UsageError("Hamlib has no radio model " + std::to_string(radio.model));
    const auto unknown =
        std::find_if(radio.config.begin(), radio.config.end(), [rig](const auto& setting) {
            return rig_token_lookup(rig, setting.first.c_str()) == RIG_CONF_END;
        });
    rig_cleanup(rig);
    if (unknown != radio.config.end()) {
        throw UsageError("radio model " + std::to_string(radio.model) + " has no setting " +
                         Quoted(unknown->first) + " (-C)");
    }
}

// The option that sets a field, and its value as given.
std::string GivenAs(const MainFields& fields, SettingField field) {
    const auto given = [](std::string_view option, const std::string& value) {
        return std::string(option) + " " + (value.empty() ? Quoted(value) : value);
    };
    switch (field) {
        case SettingField::Period:
            return given("--period", fields.Combo_period);
        case SettingField::ChirpTime:
            return given("--chirptime", fields.chirptime);
        case SettingField::Rate:
            return given("--rate", fields.Combo_rate);
        case SettingField::Step:
            return given("--step", fields.Combo_step);
        case SettingField::Offset:
        case SettingField::Clock:
            break;
    }
    return given("--offset", std::to_string(fields.Slider1));
}

// A file the program is asked to write is tried before the window opens, so
// that a typing slip is not found out after hours of listening. The log is
// opened for appending, as it will be; the map is replaced whole, so its
// folder must take a new file.
void CheckWritable(const std::string& option, const std::string& path, bool replaced) {
    if (path.empty()) return;
    errno = 0;
    bool writable = false;
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        errno = EISDIR;
    } else if (replaced) {
        std::string probe = path + ".XXXXXX";
        const int fd = mkstemp(probe.data());
        writable = fd >= 0;
        if (writable) {
            close(fd);
            unlink(probe.c_str());
        }
    } else if (std::FILE* file = std::fopen(path.c_str(), "a")) {
        writable = std::fclose(file) == 0;
    }
    if (!writable) throw UsageError(option + " " + path + ": cannot write: " + std::strerror(errno));
}

// What the window would mark is refused before any display is looked for.
// Numbers are written with "." here, whatever the locale.
void CheckSounderSettings(const MainFields& fields) {
    const std::optional<SettingProblem> mark = FirstMark(fields, ".");
    if (mark) throw UsageError(GivenAs(fields, mark->field) + ": " + mark->reason);
}

// The fields hold numbers as the locale writes them, which the window reads them in.
void InLocalForm(MainFields& fields, std::string_view separator) {
    for (std::string* text : {&fields.Combo_period, &fields.chirptime, &fields.Combo_step}) {
        if (const std::size_t dot = text->find('.'); dot != std::string::npos)
            text->replace(dot, 1, separator);
    }
}

void ShowHelp(std::ostream& out) {
    out << "Usage: morvane [OPTION]...\n"
           "Follows an ionospheric chirp sounder's sweep and retunes the radio through Hamlib.\n\n"
           "Options:\n";
    for (const OptionSpec& option : kOptions) {
        std::string names =
            option.shortName != 0 ? std::string("-") + option.shortName + ", " : "    ";
        names += "--" + std::string(option.longName);
        if (!option.valueName.empty()) names += " " + std::string(option.valueName);
        out << "  " << std::left << std::setw(26) << names << std::right << " " << option.help
            << '\n';
    }
}

void ListModels(std::ostream& out) {
    out << " Rig #  Manufacturer         Model                          Status\n";
    for (const HamlibModel& model : HamlibModels()) {
        out << std::setw(6) << model.id << "  " << std::left << std::setw(20) << model.manufacturer
            << " " << std::setw(30) << model.name << " " << model.status << std::right << '\n';
    }
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> arguments, std::string_view separator) {
    CommandLine command;
    try {
        for (OptionReader reader(arguments); !reader.Done();) {
            // Like rigctl, --help, --version and --list act as soon as they are read.
            if (const auto action = Apply(reader.Next(), command)) {
                command.action = *action;
                return command;
            }
        }
        CheckSounderSettings(command.fields);
        CheckSettingsAreTheRadios(command.options);
        CheckWritable("--log", command.logPath, false);
        CheckWritable("--map", command.mapPath, true);
    } catch (const UsageError& error) {
        CommandLine refused;
        refused.action = CommandAction::Refuse;
        refused.problem = error.what();
        return refused;
    }
    if (command.options.model == kRigctldModel && command.options.port.empty()) {
        command.options.port = kRigctldDefaultAddress;
    }
    InLocalForm(command.fields, separator);
    return command;
}

std::vector<std::string> ArgumentsAfterProgramName(int argc, char* argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

int CarryOut(const CommandLine& command, std::ostream& out, std::ostream& err) {
    switch (command.action) {
        case CommandAction::ShowHelp:
            ShowHelp(out);
            return 0;
        case CommandAction::ShowVersion:
            out << kWindowCaption << '\n' << kLicenceNotice;
            return 0;
        case CommandAction::ListModels:
            ListModels(out);
            return 0;
        case CommandAction::Refuse:
            err << "morvane: " << command.problem << "; try 'morvane --help'\n";
            return kBadUsageStatus;
        case CommandAction::OpenWindow:
            break;
    }
    return 0;
}

}  // namespace morvane
