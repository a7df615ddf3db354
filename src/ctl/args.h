// Command line of korvanectl: the command table with each command's options and help, and
// the parser that turns argv into a command with its options and arguments.
#pragma once

#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv::ctl {

inline constexpr const char *kProgram = "korvanectl";

struct OptionSpec {
    std::string_view name;      // "--port"
    std::string_view shortName; // "-o", or empty
    std::string_view valueName; // "NAME"; empty for a switch
    std::string_view help;
};

struct CommandSpec {
    std::string_view name; // "status", "table read"
    std::string_view args; // "FILE.epr", "on|off"; empty when none
    int minArgs = 0;
    int maxArgs = 0;
    std::vector<std::string_view> options; // command options (names), common ones implied
    bool device = false;                   // talks to the fuse (--port/--baud/--yes apply)
    bool json = false;                     // --json allowed
    std::string_view summary;
    std::string_view details;
};

const std::vector<CommandSpec> &Commands();
const std::vector<OptionSpec> &Options();
const OptionSpec *FindOption(std::string_view name);

struct ParsedArgs {
    const CommandSpec *command = nullptr; // null: no command (only --help / --version)
    bool help = false;
    std::map<std::string, std::string, std::less<>> options; // "--port" -> "/dev/pts/3"
    std::vector<std::string> args;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    // The option's value, or def when it was not given.
    std::string Value(std::string_view name, std::string_view def = {}) const;
};

// A usage error: exit status 2, the message and the usage line of the command (or of the
// program when no command was recognised).
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string &message, const CommandSpec *command)
        : std::runtime_error(message), command_(command) {}
    const CommandSpec *command() const { return command_; }

private:
    const CommandSpec *command_;
};

// Parses the arguments after the program name. Options may stand before or after the
// command and its arguments; "--name=value" and "--name value" are both accepted; "--"
// ends the options.
ParsedArgs ParseArgs(std::span<const std::string> argv);

// "usage: korvanectl status [--stored] [--json] [common options]"
std::string UsageLine(const CommandSpec *command);
// The full help of the program (command null) or of one command.
std::string HelpText(const CommandSpec *command);

} // namespace kv::ctl
