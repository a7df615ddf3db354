#include "ctl/args.h"

#include <CLI.hpp>

#include <algorithm>
#include <map>
#include <utility>

namespace kv::ctl {

namespace {

// The help flag's names, on the program and each command.
constexpr const char *kHelpFlag = "-h,--help";
constexpr std::string_view kHelpHelp = "show the help of the program or of the command";

const CommandDef *FindCommand(std::string_view name) {
    for (const auto &c : Commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

// The option of a table by either of its names.
const OptionDef *FindOption(const std::vector<OptionDef> &options, std::string_view name) {
    for (const auto &o : options)
        if (o.name == name || (!o.shortName.empty() && o.shortName == name))
            return &o;
    return nullptr;
}

// Every option that a command or the program knows, by either of its names.
const OptionDef *FindAnyOption(std::string_view name) {
    if (const OptionDef *o = FindOption(CommonOptions(), name))
        return o;
    for (const auto &c : Commands())
        if (const OptionDef *o = FindOption(c.options, name))
            return o;
    return nullptr;
}

// The command's groups: "table read" is the command "read" of the group "table".
std::vector<std::string> Words(std::string_view name) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = name.find(' ', start);
        words.emplace_back(name.substr(start, blank - start));
        if (blank == std::string_view::npos)
            return words;
        start = blank + 1;
    }
}

// The first command of a group, whose usage line stands for the group's.
const CommandDef *FirstOfGroup(std::string_view group) {
    for (const auto &c : Commands())
        if (Words(c.name).front() == group && c.name != group)
            return &c;
    return nullptr;
}

std::string OptionUsage(const OptionDef &o) {
    std::string s(o.name);
    if (!o.valueName.empty()) {
        s += ' ';
        s += o.valueName;
    }
    return s;
}

std::string OptionNames(const OptionDef &o) {
    std::string names(o.name);
    if (!o.shortName.empty())
        names = std::string(o.shortName) + "," + names;
    return names;
}

// One option on a CLI11 application: a value is optional there, so that a missing value is
// reported here by name; repeats are kept and judged here too.
CLI::Option *AddOption(CLI::App &app, const OptionDef &o) {
    if (o.valueName.empty())
        return app.add_flag(OptionNames(o));
    return app.add_option(OptionNames(o))
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// A parsed CLI11 option into the table of values, with the checks of a given option.
void TakeOption(const OptionDef &def, const CLI::Option &opt, const CommandDef *command,
                ParsedArgs &r) {
    if (opt.count() == 0)
        return;
    const std::string name(def.name);
    const std::vector<std::string> &given = opt.results();
    if (def.valueName.empty()) {
        // A switch given as "--name=value" (CLI11 holds "true" for a bare one).
        if (std::any_of(given.begin(), given.end(), [](const auto &v) { return v != "true"; }))
            throw UsageError("option " + name + " takes no value", command);
    } else if (!def.optionalValue &&
               std::any_of(given.begin(), given.end(), [](const auto &v) { return v.empty(); })) {
        throw UsageError("option " + name + " needs a value (" + std::string(def.valueName) + ")",
                         command);
    }
    if (opt.count() > 1 && !def.repeatable)
        throw UsageError("option " + name + " given twice", command);
    // A repeatable switch keeps one entry a time it was given (-vv: two).
    r.options.emplace(name, def.valueName.empty() && !def.repeatable ? std::vector<std::string>{}
                                                                     : given);
}

// An argument the command does not take; when it follows a switch ("--vref -1"), the
// message names the switch, which is what was meant to take it.
[[noreturn]] void Unexpected(std::span<const std::string> argv, const std::string &token,
                             const CommandDef *command) {
    for (std::size_t i = 1; i < argv.size(); ++i) {
        if (argv[i] != token)
            continue;
        // The command's own option of that name first: --vref is a switch of current and
        // takes a value in send-data.
        const OptionDef *before = command ? FindOption(command->options, argv[i - 1]) : nullptr;
        if (!before)
            before = FindAnyOption(argv[i - 1]);
        if (before && before->valueName.empty())
            throw UsageError(
                "option " + std::string(before->name) + " takes no value, found " + token, command);
    }
    throw UsageError("unexpected argument " + token, command);
}

// A token CLI11 could not place.
[[noreturn]] void Unplaced(std::span<const std::string> argv, const std::string &token,
                           const CommandDef *command, std::string_view group) {
    if (token.size() > 1 && token[0] == '-') {
        const std::string name = token.substr(0, token.find('='));
        const OptionDef *known = FindAnyOption(name);
        if (!known)
            throw UsageError("unknown option " + name, nullptr);
        if (command && std::any_of(command->options.begin(), command->options.end(),
                                   [&](const OptionDef &o) { return &o == known; }))
            throw UsageError("option " + std::string(known->name) + " stands before " +
                                 std::string(command->name) + "; give it after the command",
                             command);
        throw UsageError("option " + std::string(known->name) + " does not apply to " +
                             (command ? std::string(command->name) : std::string(kProgram)),
                         command);
    }
    if (!command) {
        const std::string name = group.empty() ? token : std::string(group) + " " + token;
        throw UsageError("unknown command " + name, nullptr);
    }
    Unexpected(argv, token, command);
}

} // namespace

std::string ParsedArgs::Value(std::string_view name, std::string_view def) const {
    auto it = options.find(name);
    if (it == options.end())
        return std::string(def);
    return it->second.empty() ? std::string() : it->second.back();
}

std::vector<std::string> ParsedArgs::Values(std::string_view name) const {
    auto it = options.find(name);
    return it == options.end() ? std::vector<std::string>{} : it->second;
}

ParsedArgs ParseArgs(std::span<const std::string> argv) {
    // The program with its common options; every command a subcommand (a group's commands
    // below the group's), which passes the common options given after it up to the program.
    // Tokens CLI11 cannot place are kept and reported below, by name.
    CLI::App app{"", kProgram};
    app.set_help_flag(kHelpFlag);
    app.allow_extras();
    std::vector<std::pair<const OptionDef *, CLI::Option *>> common;
    for (const auto &o : CommonOptions())
        common.emplace_back(&o, AddOption(app, o));

    struct Leaf {
        const CommandDef *def;
        CLI::App *app;
        std::vector<std::pair<const OptionDef *, CLI::Option *>> options;
        std::vector<std::string> args;
    };
    std::vector<Leaf> leaves;
    leaves.reserve(Commands().size());      // each leaf's args stay where CLI11 was told
    std::map<std::string, CLI::App *> made; // by path: "table", "table read"
    for (const auto &c : Commands()) {
        CLI::App *parent = &app;
        std::string path;
        for (const std::string &word : Words(c.name)) {
            path += (path.empty() ? "" : " ") + word;
            CLI::App *&sub = made[path];
            if (!sub) {
                sub = parent->add_subcommand(word, std::string(c.summary));
                sub->allow_extras();
                sub->fallthrough();
            }
            parent = sub;
        }
        Leaf &leaf = leaves.emplace_back(Leaf{&c, parent, {}, {}});
        for (const auto &o : c.options)
            leaf.options.emplace_back(&o, AddOption(*parent, o));
        parent->add_option("arguments", leaf.args);
    }

    std::vector<std::string> reversed(argv.rbegin(), argv.rend()); // CLI11 takes them so
    ParsedArgs r;
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        r.help = true;
    } catch (const CLI::ParseError &e) {
        throw UsageError(e.what(), nullptr);
    }

    // The command: the chain of subcommands given.
    const CLI::App *at = &app;
    while (!at->get_subcommands().empty()) {
        at = at->get_subcommands().front();
        r.helpTopic += (r.helpTopic.empty() ? "" : " ") + at->get_name();
    }
    const Leaf *leaf = nullptr;
    for (const Leaf &l : leaves)
        if (l.app == at)
            leaf = &l;
    r.command = leaf ? leaf->def : nullptr;

    for (const std::string &token : app.remaining(true))
        if (token != "--") // CLI11 keeps the end of the options among the tokens it left
            Unplaced(argv, token, r.command, r.helpTopic);
    for (const auto &[def, opt] : common)
        TakeOption(*def, *opt, r.command, r);
    if (leaf)
        for (const auto &[def, opt] : leaf->options)
            TakeOption(*def, *opt, r.command, r);
    if (r.help || r.Has("--version"))
        return r;
    if (!r.command) {
        if (const CommandDef *first = FirstOfGroup(r.helpTopic))
            throw UsageError(r.helpTopic + " needs read, write or crc", first);
        throw UsageError("no command given", nullptr);
    }
    r.args = leaf->args;
    const int n = static_cast<int>(r.args.size());
    if (n < r.command->minArgs)
        throw UsageError(std::string(r.command->name) + " needs " + std::string(r.command->args),
                         r.command);
    if (n > r.command->maxArgs)
        Unexpected(argv, r.args[static_cast<std::size_t>(r.command->maxArgs)], r.command);
    return r;
}

// Every common option is accepted by every command, so that a shell alias with --port or
// --json works for all of them: a command that does not talk to the device ignores the
// port's options (a note under -v), and one without JSON fields of its own gives its lines
// as the object's "output".
std::vector<std::string> IgnoredOptions(const ParsedArgs &args) {
    std::vector<std::string> ignored;
    if (args.command && !args.command->device)
        for (const char *name : {"--port", "--ports", "--baud", "--window-timing", "--timeout"})
            if (args.Has(name))
                ignored.emplace_back(name);
    return ignored;
}

std::string UsageLine(const CommandDef *c) {
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
    for (const auto &o : c->options)
        s += " [" + OptionUsage(o) + "]";
    if (c->json)
        s += " [--json]";
    s += " [common options]";
    return s;
}

namespace {

// "  -o, --output FILE     output file", the help in a column.
std::string HelpLine(std::string left, std::string_view help) {
    left = "  " + left;
    if (left.size() < 24)
        left.resize(24, ' ');
    else
        left += "  ";
    return left + std::string(help) + "\n";
}

std::string OptionLines(const std::vector<const OptionDef *> &options) {
    std::string out;
    for (const OptionDef *o : options)
        out += HelpLine((o->shortName.empty() ? "" : std::string(o->shortName) + ", ") +
                            OptionUsage(*o),
                        o->help);
    return out;
}

const OptionDef kHelpOption{.name = "--help", .shortName = "-h", .help = kHelpHelp};

} // namespace

std::string HelpText(std::string_view topic) {
    if (const CommandDef *c = FindCommand(topic)) {
        std::string s = UsageLine(c) + "\n\n" + std::string(c->details) + "\n";
        std::vector<const OptionDef *> own;
        for (const auto &o : c->options)
            own.push_back(&o);
        if (!own.empty())
            s += "\nOptions:\n" + OptionLines(own);
        std::vector<const OptionDef *> common;
        for (const auto &o : CommonOptions())
            common.push_back(&o);
        return s + "\nCommon options:\n" + OptionLines(common);
    }
    if (!topic.empty()) {
        // A group: its commands' usage lines.
        std::string s;
        for (const auto &c : Commands())
            if (Words(c.name).front() == topic)
                s += UsageLine(&c) + "\n";
        return s + "\nRun \"" + kProgram + " " + std::string(topic) +
               " COMMAND --help\" for a command's options.\n";
    }
    std::string s = UsageLine(nullptr) + "\n\n";
    s += "The Korvane fuse's service operations from the command line.\n\nCommands:\n";
    for (const auto &c : Commands())
        s += HelpLine(std::string(c.name) + (c.args.empty() ? "" : " " + std::string(c.args)),
                      c.summary);
    std::vector<const OptionDef *> common;
    for (const auto &o : CommonOptions())
        common.push_back(&o);
    common.push_back(&kHelpOption);
    s += "\nCommon options:\n" + OptionLines(common);
    s += "\nExit status: 0 success, 1 the device or a file operation failed, 2 usage error.\n";
    s += std::string("Run \"") + kProgram + " COMMAND --help\" for a command's options.\n";
    return s;
}

} // namespace kv::ctl
