#include "ctl/completion.h"

#include <set>
#include <vector>

#include "ctl/args.h"

namespace kv::ctl {

namespace {

std::string Join(const std::vector<std::string> &words) {
    std::string out;
    for (const auto &w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

std::vector<std::string> Names(const std::vector<OptionDef> &options) {
    std::vector<std::string> out;
    for (const auto &o : options) {
        out.emplace_back(o.name);
        if (!o.shortName.empty())
            out.emplace_back(o.shortName);
    }
    return out;
}

// Options whose value is a file or folder: the shell completes file names after them.
bool TakesPath(const OptionDef &o) {
    return o.valueName == "FILE" || o.valueName == "DIR";
}

std::string FirstWord(std::string_view name) {
    return std::string(name.substr(0, name.find(' ')));
}

} // namespace

std::string BashCompletion() {
    std::vector<std::string> top, groups, paths;
    std::set<std::string> seen;
    for (const auto &c : Commands()) {
        const std::string first = FirstWord(c.name);
        if (seen.insert(first).second)
            top.push_back(first);
        if (first != c.name && (groups.empty() || groups.back() != first))
            groups.push_back(first);
    }
    top.emplace_back("help");
    std::vector<const OptionDef *> all;
    for (const auto &o : CommonOptions())
        all.push_back(&o);
    for (const auto &c : Commands())
        for (const auto &o : c.options)
            all.push_back(&o);
    std::set<std::string> pathSeen;
    for (const OptionDef *o : all)
        if (TakesPath(*o))
            for (const std::string &n : Names({*o}))
                if (pathSeen.insert(n).second)
                    paths.push_back(n);

    std::string s;
    s += "# bash completion for korvanectl, generated from its command table at build time.\n";
    s += "_korvanectl_ports() {\n"
         "    korvanectl ports 2>/dev/null | grep -v '^[[:space:]]' | grep -v '^$'\n"
         "}\n\n";
    s += "_korvanectl_options() {\n    case $1 in\n";
    for (const auto &c : Commands())
        if (!c.options.empty())
            s +=
                "    \"" + std::string(c.name) + "\") echo \"" + Join(Names(c.options)) + "\" ;;\n";
    s += "    esac\n}\n\n";
    s += "_korvanectl_valued() {\n    case $1 in\n";
    for (const auto &c : Commands()) {
        std::vector<OptionDef> withValue;
        for (const auto &o : c.options)
            if (!o.valueName.empty())
                withValue.push_back(o);
        if (!withValue.empty())
            s +=
                "    \"" + std::string(c.name) + "\") echo \"" + Join(Names(withValue)) + "\" ;;\n";
    }
    s += "    esac\n}\n\n";
    std::vector<OptionDef> commonValued;
    for (const auto &o : CommonOptions())
        if (!o.valueName.empty())
            commonValued.push_back(o);
    s += "_korvanectl() {\n"
         "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" cmd=\"\" i w\n"
         "    (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "    local commands=\"" +
         Join(top) +
         "\"\n"
         "    local groups=\" " +
         Join(groups) +
         " \"\n"
         "    local valued=\" " +
         Join(Names(commonValued)) +
         " \"\n"
         "    local common=\"--help -h " +
         Join(Names(CommonOptions())) +
         "\"\n"
         "    case $prev in\n"
         "    --port) COMPREPLY=($(compgen -W \"$(_korvanectl_ports)\" -- \"$cur\")); return ;;\n"
         "    " +
         [&] {
             std::string alts;
             for (const auto &p : paths)
                 alts += (alts.empty() ? "" : "|") + p;
             return alts;
         }() +
         ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
         "    esac\n"
         "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "        w=${COMP_WORDS[i]}\n"
         "        if [[ $w == -* ]]; then\n"
         "            [[ \"$valued $(_korvanectl_valued \"$cmd\") \" == *\" $w \"* ]] && "
         "((i++))\n"
         "        elif [[ -z $cmd ]]; then\n"
         "            cmd=$w\n"
         "        elif [[ $groups == *\" $cmd \"* ]]; then\n"
         "            cmd=\"$cmd $w\"\n"
         "        fi\n"
         "    done\n"
         "    [[ \"$valued $(_korvanectl_valued \"$cmd\") \" == *\" $prev \"* ]] && return\n"
         "    if [[ $cur == -* ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$common $(_korvanectl_options \"$cmd\")\" -- "
         "\"$cur\"))\n"
         "        return\n"
         "    fi\n"
         "    case $cmd in\n"
         "    \"\" | help) COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")) ;;\n";
    for (const auto &g : groups) {
        std::vector<std::string> subs;
        for (const auto &c : Commands())
            if (FirstWord(c.name) == g && c.name != g)
                subs.emplace_back(c.name.substr(g.size() + 1));
        s += "    " + g + ") COMPREPLY=($(compgen -W \"" + Join(subs) + "\" -- \"$cur\")) ;;\n";
    }
    for (const auto &c : Commands()) {
        if (c.args.empty())
            continue;
        const std::string pattern = "\"" + std::string(c.name) + "\"";
        if (c.args.find('|') != std::string_view::npos) {
            std::string words(c.args);
            for (char &ch : words)
                if (ch == '|')
                    ch = ' ';
            s +=
                "    " + pattern + ") COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\")) ;;\n";
        } else {
            s += "    " + pattern + ") COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n";
        }
    }
    s += "    esac\n"
         "}\n"
         "complete -o filenames -F _korvanectl korvanectl\n";
    return s;
}

std::string ZshCompletion() {
    return "#compdef korvanectl\n"
           "# zsh completion for korvanectl: its bash completion through zsh's bashcompinit.\n"
           "autoload -U +X bashcompinit && bashcompinit\n" +
           BashCompletion();
}

} // namespace kv::ctl
