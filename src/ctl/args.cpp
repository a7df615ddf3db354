#include "ctl/args.h"

#include <algorithm>

namespace kv::ctl {

namespace {

// The parameter options shared by send-data and crc-check: the seven fields of the main
// window, each option standing for the text typed into its field.
#define KV_PARAMETER_OPTIONS                                                                       \
    "--fuse-current", "--zero-offset", "--overload-time", "--multiply", "--measure-count",         \
        "--average", "--vref"

const std::vector<OptionSpec> kOptions = {
    // Common options.
    {"--port", "", "NAME", "serial device of the fuse (default: \"port\" in the settings file)"},
    {"--baud", "", "N", "line speed (default: \"baud\" in the settings file, else 19200)"},
    {"--ini", "", "FILE",
     "settings file (default: the program's .ini, in the folder --help names)"},
    {"--verbose", "-v", "", "show the serial traffic and status lines on standard error"},
    {"--yes", "-y", "", "answer Yes to the confirmation questions"},
    {"--json", "", "", "one JSON object per result on standard output"},
    {"--window-timing", "", "",
     "wait for replies as the windows do (100 ms polling), for comparison"},
    {"--help", "-h", "", "show the help of the program or of the command"},
    // Command options.
    {"--stored", "", "", "the last values the device stored instead of the live ones"},
    {"--fuse-current", "", "N", "fuse current, A x10 (0..99)"},
    {"--zero-offset", "", "N", "zero offset, ADC steps (0..255)"},
    {"--overload-time", "", "N", "overload time, ms (0..255)"},
    {"--multiply", "", "N", "I to ADC multiply"},
    {"--measure-count", "", "N", "current measure count (1..20)"},
    {"--average", "", "0|1", "use average current"},
    {"--vref", "", "0|1", "use voltage reference"},
    {"--every", "", "SECONDS", "measure every SECONDS seconds (timed measurement)"},
    {"--count", "", "N", "number of timed measurements"},
    {"--log", "", "FILE", "current log file (.adc) to append the measurements to"},
    {"--offset", "", "Z", "zero offset ADC (default 0)"},
    {"--rows", "", "N", "rows of the calibration grid (default: \"GridLines\", else 15)"},
    {"--output", "-o", "FILE", "output file"},
};

// "--vref" is a switch for current and a 0|1 value for send-data and crc-check; the table
// above holds the value form, current's switch is handled by the parser (kSwitchVref).
constexpr std::string_view kSwitchVref = "--vref";

const std::vector<CommandSpec> kCommands = {
    {"status",
     "",
     0,
     0,
     {"--stored"},
     true,
     true,
     "read the device status report",
     "Prints the status report lines, the caption line first, as the log pane of the main\n"
     "window shows them. With --stored, the last values the device stored."},
    {"get-data",
     "",
     0,
     0,
     {},
     true,
     true,
     "read the seven fuse parameters",
     "Prints the fuse parameters from the device status record, as \"Get Data\" fills the\n"
     "main window's fields."},
    {"send-data",
     "",
     0,
     0,
     {KV_PARAMETER_OPTIONS},
     true,
     false,
     "set, read back and store the fuse parameters",
     "Validates the parameters (out-of-range values are reported and replaced), asks for the\n"
     "confirmation (--yes), saves them in the settings file when \"AutoSaveData\" is on, sets\n"
     "them in the device, reads them back, has the device store them and checks its CRC.\n"
     "Parameters not given are taken from the settings file, as the main window shows them."},
    {"relay",
     "on|off",
     1,
     1,
     {},
     true,
     false,
     "switch the relay",
     "Reads the status first; refused while the device's manual switch is off. Switching on\n"
     "asks \"Relay ON?\" (--yes)."},
    {"current",
     "",
     0,
     0,
     {"--vref", "--every", "--count", "--log"},
     true,
     true,
     "measure the current",
     "Without --every: one measurement, with the voltage reference when --vref is given.\n"
     "With --every SECONDS --count N: N timed measurements, each with the status read first\n"
     "and the voltage reference the device uses, appended to the current log (--log, default\n"
     "the program's .adc file). --log without --every appends the one measurement."},
    {"crc-check",
     "",
     0,
     0,
     {KV_PARAMETER_OPTIONS},
     true,
     false,
     "compare the parameters' CRC with the device's",
     "Computes the CRC-8 of the seven parameters (from the settings file, or the options) and\n"
     "compares it with the CRC the device reports in its status record."},
    {"table read",
     "FILE.epr",
     1,
     1,
     {},
     true,
     false,
     "read the correction table into a file",
     "Reads the 28 table blocks from the device and saves the table as a table file. A read\n"
     "that stops early is reported and nothing is saved."},
    {"table write",
     "FILE.epr",
     1,
     1,
     {},
     true,
     false,
     "write a table file to the device",
     "Loads the table file and writes its 224 entries to the device in 28 blocks; ends with\n"
     "\"Done\" or \"Error on write!\"."},
    {"table crc",
     "FILE.epr",
     1,
     1,
     {},
     false,
     false,
     "the check byte of a table file",
     "Prints the check byte computed over entries 0..222 of the table file, and the check\n"
     "byte the file holds in entry 223."},
    {"inc",
     "FILE.epr",
     1,
     1,
     {"--output"},
     false,
     false,
     "generate the firmware include file",
     "Writes the include file (default: corrtable.inc beside FILE.epr) from the table file,\n"
     "as \"Generate CORRTABLE.INC File\" does. An existing output is replaced only with --yes."},
    {"calc",
     "FILE.sav",
     1,
     1,
     {"--multiply", "--offset", "--rows", "--output"},
     false,
     false,
     "calculate the correction table from a calibration file",
     "Computes the correction table from grid column 3 of the calibration file (multiplier\n"
     "--multiply, default 85; zero offset --offset, default 0) and writes it as a table file\n"
     "(default: corrtbl.epr beside FILE.sav). An existing output is replaced only with --yes."},
};

const std::vector<std::string_view> kCommonOptions = {"--port", "--baud", "--ini", "--verbose",
                                                      "--yes",  "--json", "--help"};

bool Allowed(const CommandSpec &c, std::string_view name) {
    if (std::find(c.options.begin(), c.options.end(), name) != c.options.end())
        return true;
    if (name == "--json")
        return c.json;
    if (name == "--port" || name == "--baud" || name == "--window-timing")
        return c.device;
    return std::find(kCommonOptions.begin(), kCommonOptions.end(), name) != kCommonOptions.end();
}

bool IsSwitch(const CommandSpec *c, const OptionSpec &o) {
    if (o.name == kSwitchVref)
        return c && c->name == "current";
    return o.valueName.empty();
}

const CommandSpec *FindCommand(std::string_view name) {
    for (const auto &c : kCommands)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::string OptionUsage(const CommandSpec *c, const OptionSpec &o) {
    std::string s(o.name);
    if (!IsSwitch(c, o)) {
        s += ' ';
        s += o.valueName;
    }
    return s;
}

} // namespace

const std::vector<CommandSpec> &Commands() {
    return kCommands;
}
const std::vector<OptionSpec> &Options() {
    return kOptions;
}

const OptionSpec *FindOption(std::string_view name) {
    for (const auto &o : kOptions)
        if (o.name == name || (!o.shortName.empty() && o.shortName == name))
            return &o;
    return nullptr;
}

std::string ParsedArgs::Value(std::string_view name, std::string_view def) const {
    auto it = options.find(name);
    return it == options.end() ? std::string(def) : it->second;
}

ParsedArgs ParseArgs(std::span<const std::string> argv) {
    ParsedArgs r;
    struct Pending {
        const OptionSpec *option;
        std::string given; // as typed, for messages
        std::string value;
        bool hasValue;
    };
    std::vector<Pending> opts;
    std::vector<std::string> words;

    // First pass: split options from words. Whether an option takes a value can depend on
    // the command ("--vref"), so the value is taken when the option is known to need one
    // and checked against the command afterwards.
    bool endOfOptions = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string &a = argv[i];
        if (endOfOptions || a.size() < 2 || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            endOfOptions = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool hasValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        const OptionSpec *option = FindOption(name);
        if (!option)
            throw UsageError("unknown option " + name, nullptr);
        opts.push_back({option, name, value, hasValue});
        if (!hasValue && !option->valueName.empty()) {
            // "--vref" of current is a switch; a following 0/1 belongs to it elsewhere.
            bool maybeSwitch = option->name == kSwitchVref;
            if (maybeSwitch && !(i + 1 < argv.size() && (argv[i + 1] == "0" || argv[i + 1] == "1")))
                continue;
            if (i + 1 >= argv.size())
                throw UsageError("option " + name + " needs a value (" +
                                     std::string(option->valueName) + ")",
                                 nullptr);
            opts.back().value = argv[++i];
            opts.back().hasValue = true;
        }
    }

    // The command: the first word, or the first two for "table read|write|crc".
    std::size_t used = 0;
    if (!words.empty()) {
        std::string name = words[0];
        used = 1;
        if (name == "table") {
            if (words.size() < 2)
                throw UsageError("table needs read, write or crc", FindCommand("table read"));
            name += " " + words[1];
            used = 2;
        }
        r.command = FindCommand(name);
        if (!r.command)
            throw UsageError("unknown command " + name, nullptr);
    }
    r.args.assign(words.begin() + static_cast<std::ptrdiff_t>(used), words.end());

    for (auto &p : opts) {
        if (p.option->name == "--help") {
            r.help = true;
            continue;
        }
        if (!r.command)
            throw UsageError("option " + p.given + " needs a command", nullptr);
        if (!Allowed(*r.command, p.option->name))
            throw UsageError("option " + std::string(p.option->name) + " does not apply to " +
                                 std::string(r.command->name),
                             r.command);
        const bool sw = IsSwitch(r.command, *p.option);
        if (sw && p.hasValue && p.option->name == kSwitchVref) {
            // "current --vref 1" and "--vref=1": a switch given as a value is still a
            // switch; "0" means off.
            if (p.value != "0" && p.value != "1")
                throw UsageError("option --vref takes no value here", r.command);
            if (p.value == "0")
                continue;
        } else if (sw && p.hasValue) {
            throw UsageError("option " + std::string(p.option->name) + " takes no value",
                             r.command);
        } else if (!sw && !p.hasValue) {
            throw UsageError("option " + std::string(p.option->name) + " needs a value (" +
                                 std::string(p.option->valueName) + ")",
                             r.command);
        }
        if (!r.options.emplace(std::string(p.option->name), p.value).second)
            throw UsageError("option " + std::string(p.option->name) + " given twice", r.command);
    }

    if (r.help)
        return r;
    if (!r.command)
        throw UsageError("no command given", nullptr);
    const int n = static_cast<int>(r.args.size());
    if (n < r.command->minArgs)
        throw UsageError(std::string(r.command->name) + " needs " + std::string(r.command->args),
                         r.command);
    if (n > r.command->maxArgs)
        throw UsageError("unexpected argument " +
                             r.args[static_cast<std::size_t>(r.command->maxArgs)],
                         r.command);
    return r;
}

std::string UsageLine(const CommandSpec *c) {
    std::string s = "usage: ";
    s += kProgram;
    if (!c)
        return s + " [common options] COMMAND [options] [arguments]";
    s += ' ';
    s += c->name;
    if (!c->args.empty()) {
        s += ' ';
        s += c->args;
    }
    for (auto name : c->options)
        s += " [" + OptionUsage(c, *FindOption(name)) + "]";
    if (c->json)
        s += " [--json]";
    s += " [common options]";
    return s;
}

std::string HelpText(const CommandSpec *c) {
    std::string s = UsageLine(c) + "\n\n";
    auto optionLines = [&](const std::vector<std::string_view> &names) {
        std::string out;
        for (auto name : names) {
            const OptionSpec &o = *FindOption(name);
            std::string left = "  ";
            if (!o.shortName.empty())
                left += std::string(o.shortName) + ", ";
            left += OptionUsage(c, o);
            if (left.size() < 24)
                left.resize(24, ' ');
            else
                left += "  ";
            out += left +
                   std::string(c && o.name == kSwitchVref && IsSwitch(c, o)
                                   ? "use the voltage reference (single measurement)"
                                   : o.help) +
                   "\n";
        }
        return out;
    };
    if (!c) {
        s += "The Korvane fuse's service operations from the command line.\n\nCommands:\n";
        for (const auto &cmd : kCommands) {
            std::string left = "  " + std::string(cmd.name);
            if (!cmd.args.empty())
                left += " " + std::string(cmd.args);
            if (left.size() < 24)
                left.resize(24, ' ');
            else
                left += "  ";
            s += left + std::string(cmd.summary) + "\n";
        }
        s += "\nCommon options:\n";
        s += optionLines({"--port", "--baud", "--ini", "--verbose", "--yes", "--json",
                          "--window-timing", "--help"});
        s += "\nExit status: 0 success, 1 the device or a file operation failed, 2 usage "
             "error.\n";
        s += std::string("Run \"") + kProgram + " COMMAND --help\" for a command's options.\n";
        return s;
    }
    s += std::string(c->details) + "\n";
    if (!c->options.empty())
        s += "\nOptions:\n" + optionLines(c->options);
    std::vector<std::string_view> common = {"--ini", "--verbose", "--yes"};
    if (c->device)
        common.insert(common.begin(), {"--port", "--baud"});
    if (c->json)
        common.push_back("--json");
    if (c->device)
        common.push_back("--window-timing");
    s += "\nCommon options:\n" + optionLines(common);
    return s;
}

} // namespace kv::ctl
