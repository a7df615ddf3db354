// korvanectl's command line: the commands and their options as a table (ctl/commands.cpp),
// the parser built from it on CLI11, and the usage lines and help generated from it.
#pragma once

#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv::ctl {

class Session;

inline constexpr const char *kProgram = "korvanectl";

// Every member has a default, so that a row names only what it sets.
struct OptionDef {
    std::string_view name = {};      // "--port"
    std::string_view shortName = {}; // "-o", or empty
    std::string_view valueName = {}; // "NAME"; empty for a switch
    std::string_view help = {};
    bool repeatable = false;    // may be given more than once (ParsedArgs::Values)
    bool optionalValue = false; // may be given without its value (Value gives "")
};

struct CommandDef {
    std::string_view name = {}; // "status"; two words for a command of a group: "table read"
    std::string_view args = {}; // "FILE.epr", "on|off"; empty when none
    int minArgs = 0;
    int maxArgs = 0;
    std::vector<OptionDef> options = {}; // the command's own; the common ones are implied
    bool device = false;                 // talks to the fuse: --port, --baud, --window-timing
    bool json = false;                   // --json applies
    std::string_view summary = {};
    std::string_view details = {};
    int (*run)(Session &) = nullptr; // the exit status
};

// The commands, in the order the help lists them, and the options every command takes
// (ctl/commands.cpp).
const std::vector<CommandDef> &Commands();
const std::vector<OptionDef> &CommonOptions();

struct ParsedArgs {
    const CommandDef *command = nullptr; // null with --help alone, or for a group's help
    bool help = false;
    std::string helpTopic; // "" (the program), a group ("table") or a command's name
    std::map<std::string, std::vector<std::string>, std::less<>> options; // by long name
    std::vector<std::string> args;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    // The option's value (the last one given), or def when it was not given.
    std::string Value(std::string_view name, std::string_view def = {}) const;
    // Every value of a repeatable option, in order.
    std::vector<std::string> Values(std::string_view name) const;
};

// A usage error: exit status 2, the message and the usage line of the command (or of the
// program when no command was recognised).
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string &message, const CommandDef *command)
        : std::runtime_error(message), command_(command) {}
    const CommandDef *command() const { return command_; }

private:
    const CommandDef *command_;
};

// Parses the arguments after the program name. The common options may stand before or
// after the command, the command's own options after it; "--name=value" and
// "--name value" are both accepted; "--" ends the options.
ParsedArgs ParseArgs(std::span<const std::string> argv);

// The common options the command takes but does not use: the port's options on a command
// that does not talk to the device.
std::vector<std::string> IgnoredOptions(const ParsedArgs &args);

// "usage: korvanectl status [--stored] [--json] [common options]"
std::string UsageLine(const CommandDef *command);
// The help of the program (""), of a group ("table") or of one command.
std::string HelpText(std::string_view topic);

} // namespace kv::ctl
