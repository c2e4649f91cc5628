#include "radiolink/command_line_hamlib.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <iomanip>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "morvane_version.hpp"

namespace morvane {
namespace {

// NET rigctl reaches rigctld here unless told otherwise.
constexpr int kRigctldModel = 2;
constexpr std::string_view kRigctldDefaultAddress = "localhost:4532";
constexpr int kMostVerbose = 5;  // Hamlib's RIG_DEBUG_TRACE

enum class OptionId { Model, RigFile, SerialSpeed, SetConf, Verbose, List, Help, Version };

struct OptionSpec {
    char shortName;
    std::string_view longName;
    bool takesValue;
    OptionId id;
};

constexpr std::array<OptionSpec, 8> kOptions{{
    {'m', "model", true, OptionId::Model},
    {'r', "rig-file", true, OptionId::RigFile},
    {'s', "serial-speed", true, OptionId::SerialSpeed},
    {'C', "set-conf", true, OptionId::SetConf},
    {'v', "verbose", false, OptionId::Verbose},
    {'l', "list", false, OptionId::List},
    {'h', "help", false, OptionId::Help},
    {'V', "version", false, OptionId::Version},
}};

constexpr std::string_view kHelp =
    "Usage: morvane [OPTION]...\n"
    "Follows an ionospheric chirp sounder's sweep and retunes the radio through Hamlib.\n"
    "\n"
    "  -m, --model ID             Hamlib radio model number (default 1, Hamlib's dummy\n"
    "                             radio; 2 is rigctld, 4 is flrig; --list shows them all)\n"
    "  -r, --rig-file PATH        the radio's serial device, or host:port\n"
    "                             (default for model 2: localhost:4532)\n"
    "  -s, --serial-speed BAUD    serial speed in baud (default: the model's own)\n"
    "  -C, --set-conf NAME=VALUE  a further Hamlib setting; may be given more than once\n"
    "  -v, --verbose              Hamlib's own trace on stderr; repeat for more\n"
    "  -l, --list                 list the radio models Hamlib knows and exit\n"
    "  -h, --help                 show this help and exit\n"
    "  -V, --version              show the version and exit\n";

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

const OptionSpec* FindOption(std::string_view longName, char shortName) {
    const auto found = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionSpec& o) {
        return longName.empty() ? o.shortName == shortName : o.longName == longName;
    });
    return found == kOptions.end() ? nullptr : &*found;
}

// Reads the option at `index`, and its value from the next argument when it
// is not attached; `index` is left on the last argument used.
OptionUse ReadOption(std::span<const std::string> arguments, std::size_t& index) {
    const std::string_view argument = arguments[index];
    if (argument.size() < 2 || argument[0] != '-') {
        throw UsageError("unexpected argument " + Quoted(argument));
    }
    const bool isLong = argument[1] == '-';
    const std::size_t nameEnd = isLong ? std::min(argument.find('='), argument.size()) : 2;
    const std::string_view written = argument.substr(0, nameEnd);
    const OptionSpec* spec = FindOption(isLong ? written.substr(2) : "", argument[1]);
    if (spec == nullptr) throw UsageError("unknown option " + Quoted(written));
    std::string_view attached = argument.substr(nameEnd);
    if (isLong && !attached.empty()) attached.remove_prefix(1);  // the '='
    const bool hasAttached = nameEnd < argument.size();
    if (!spec->takesValue) {
        if (hasAttached) throw UsageError("option " + Quoted(written) + " takes no value");
        return {spec, std::string(written), {}};
    }
    if (hasAttached) return {spec, std::string(written), std::string(attached)};
    if (index + 1 >= arguments.size()) {
        throw UsageError("option " + Quoted(written) + " needs a value");
    }
    return {spec, std::string(written), arguments[++index]};
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
    if (!FindHamlibModel(*model)) {
        throw UsageError("Hamlib has no radio model " + use.value);
    }
    return *model;
}

int SerialSpeed(const OptionUse& use) {
    const std::optional<int> baud = WholeNumber(use.value);
    if (!baud || *baud <= 0) {
        throw UsageError("serial speed " + Quoted(use.value) + " is not a number of baud");
    }
    return *baud;
}

std::pair<std::string, std::string> Setting(const OptionUse& use) {
    const std::size_t equals = use.value.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("option " + Quoted(use.written) + " needs NAME=VALUE, not " +
                         Quoted(use.value));
    }
    return {use.value.substr(0, equals), use.value.substr(equals + 1)};
}

std::string RigFile(const OptionUse& use) {
    if (use.value.empty()) throw UsageError("option " + Quoted(use.written) + " needs a value");
    return use.value;
}

// Applies one option; returns the action that ends the parse at once, if any.
std::optional<CommandAction> Apply(const OptionUse& use, HamlibOptions& options) {
    switch (use.spec->id) {
        case OptionId::Model:
            options.model = ModelNumber(use);
            break;
        case OptionId::RigFile:
            options.port = RigFile(use);
            break;
        case OptionId::SerialSpeed:
            options.serialSpeed = SerialSpeed(use);
            break;
        case OptionId::SetConf:
            options.config.push_back(Setting(use));
            break;
        case OptionId::Verbose:
            options.debugLevel = std::min(options.debugLevel + 1, kMostVerbose);
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

void ListModels(std::ostream& out) {
    out << " Rig #  Manufacturer         Model                          Status\n";
    for (const HamlibModel& model : HamlibModels()) {
        out << std::setw(6) << model.id << "  " << std::left << std::setw(20) << model.manufacturer
            << " " << std::setw(30) << model.name << " " << model.status << std::right << '\n';
    }
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> arguments) {
    CommandLine command;
    try {
        for (std::size_t index = 0; index < arguments.size(); ++index) {
            const OptionUse use = ReadOption(arguments, index);
            // Like rigctl, --help, --version and --list act as soon as they are read.
            if (const auto action = Apply(use, command.options)) {
                command.action = *action;
                return command;
            }
        }
    } catch (const UsageError& error) {
        return {CommandAction::Refuse, {}, error.what()};
    }
    if (command.options.model == kRigctldModel && command.options.port.empty()) {
        command.options.port = kRigctldDefaultAddress;
    }
    return command;
}

std::vector<std::string> ArgumentsAfterProgramName(int argc, char* argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

int CarryOut(const CommandLine& command, std::ostream& out, std::ostream& err) {
    switch (command.action) {
        case CommandAction::ShowHelp:
            out << kHelp;
            return 0;
        case CommandAction::ShowVersion:
            out << kWindowCaption << '\n';
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
