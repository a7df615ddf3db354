#include "app/settings_file.h"

#include <optional>
#include <vector>

#include "app/numbers.h"

namespace kv {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return UpperCase(a) == UpperCase(b);
}

struct Line {
    std::string_view text; // without its line end
    std::size_t begin;     // offset of the line in the content
    std::size_t end;       // offset after its line end
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        std::size_t next = nl == std::string_view::npos ? content.size() : nl + 1;
        std::size_t stop = nl == std::string_view::npos ? content.size() : nl;
        if (stop > pos && content[stop - 1] == '\r')
            --stop;
        lines.push_back(Line{content.substr(pos, stop - pos), pos, next});
        pos = next;
    }
    return lines;
}

// "[name]" -> name; nullopt when the line is no section header.
std::optional<std::string> SectionName(std::string_view line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(std::string_view(t).substr(1, close - 1));
}

// "key=value" -> key (trimmed); nullopt when the line holds no "=".
std::optional<std::string> KeyOf(std::string_view line) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

std::string ValueOf(std::string_view line) {
    std::string v = Trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace

std::string IniFile::Lookup(std::string_view content, std::string_view section,
                            std::string_view key, bool *found) {
    bool inSection = false;
    for (const Line &l : SplitLines(content)) {
        if (auto s = SectionName(l.text)) {
            inSection = SameText(*s, section);
            continue;
        }
        if (!inSection)
            continue;
        auto k = KeyOf(l.text);
        if (k && SameText(*k, key)) {
            if (found)
                *found = true;
            return ValueOf(l.text);
        }
    }
    if (found)
        *found = false;
    return {};
}

std::string IniFile::Update(std::string_view content, std::string_view section,
                            std::string_view key, std::string_view value) {
    const std::string eol = content.find("\r\n") != std::string_view::npos ? "\r\n"
                            : content.find('\n') != std::string_view::npos ? "\n"
                                                                           : "\r\n";
    const auto lines = SplitLines(content);
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> lastInSection; // last non-blank line of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &l = lines[i];
        if (auto s = SectionName(l.text)) {
            if (sectionLine)
                break; // end of the first matching section
            if (SameText(*s, section)) {
                sectionLine = i;
                lastInSection = i;
            }
            continue;
        }
        if (!sectionLine)
            continue;
        if (!Trim(l.text).empty())
            lastInSection = i;
        auto k = KeyOf(l.text);
        if (k && SameText(*k, key)) {
            // Replace the value, keeping the key as the file spells it.
            std::string out(content.substr(0, l.begin));
            out += *k + "=" + std::string(value);
            out += std::string(content.substr(l.begin + l.text.size()));
            return out;
        }
    }

    const std::string entry = std::string(key) + "=" + std::string(value) + eol;
    if (sectionLine) {
        const Line &after = lines[*lastInSection];
        std::string out(content.substr(0, after.end));
        if (after.end == content.size() && !content.empty() && content.back() != '\n')
            out += eol;
        out += entry;
        out += std::string(content.substr(after.end));
        return out;
    }
    std::string out(content);
    if (!out.empty() && out.back() != '\n')
        out += eol;
    out += "[" + std::string(section) + "]" + eol + entry;
    return out;
}

FileResult IniFile::ReadContent(std::string &content) const {
    content.clear();
    if (NotATextFile(fileName_).empty() && !FileExists(fileName_))
        return FileResult{true, {}};
    return ReadTextFile(fileName_, kSettingsFileLimit, content);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    std::string content;
    if (!ReadContent(content))
        return std::string(def);
    bool found = false;
    std::string v = Lookup(content, section, key, &found);
    return found ? v : std::string(def);
}

std::optional<int> IniFile::LookupInteger(std::string_view content, std::string_view section,
                                          std::string_view key) {
    bool found = false;
    std::string v = Lookup(content, section, key, &found);
    if (!found)
        return std::nullopt;
    return TryStrToInt(v);
}

std::optional<double> IniFile::LookupFloat(std::string_view content, std::string_view section,
                                           std::string_view key) {
    bool found = false;
    std::string v = Lookup(content, section, key, &found);
    if (!found)
        return std::nullopt;
    return TryStrToFloat(v);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    std::string content;
    if (!ReadContent(content))
        return def;
    return LookupInteger(content, section, key).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::ReadFloat(std::string_view section, std::string_view key, double def) const {
    std::string content;
    if (!ReadContent(content))
        return def;
    return LookupFloat(content, section, key).value_or(def);
}

FileResult IniFile::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) const {
    std::string content;
    if (FileResult r = ReadContent(content); !r)
        return r;
    return WriteTextFile(Update(content, section, key, value), fileName_);
}

FileResult IniFile::WriteInteger(std::string_view section, std::string_view key, int value) const {
    return WriteString(section, key, std::to_string(value));
}

FileResult IniFile::WriteBool(std::string_view section, std::string_view key, bool value) const {
    return WriteString(section, key, value ? "1" : "0");
}

} // namespace kv
