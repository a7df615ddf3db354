#include "corrtable/table_file.h"

#include "app/format.h"
#include "app/numbers.h"
#include "app/scope.h"

namespace kv::corrtable {

std::string TableFileText(const CorrTableData &table) {
    std::string text;
    text.reserve(kEntries * 5);
    for (int n = 0; n < kEntries; ++n) {
        text += EntryText(table[static_cast<std::size_t>(n)]);
        text += ' ';
    }
    return text;
}

FileResult WriteTableFile(const std::string &fileName, const CorrTableData &table, Beeper *beeper) {
    return WriteTextFile(TableFileText(table), fileName, beeper);
}

std::string_view FirstLine(std::string_view content) {
    const auto end = content.find_first_of("\r\x1A");
    return end == std::string_view::npos ? content : content.substr(0, end);
}

namespace {

// Trim of app/numbers.h (characters 0x00..0x20 at both ends) on a view, so that a long line
// is never copied value by value.
std::string_view TrimView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    return s;
}

} // namespace

Problem ParseTableText(std::string_view content, CorrTableData &buffer, int *values) {
    buffer.fill(0);
    int k = 0;
    const ScopeExit count([&] {
        if (values)
            *values = k;
    });
    std::string_view rest = FirstLine(content);
    while (!rest.empty()) {
        std::string_view value;
        const auto blank = rest.find(' ');
        if (blank != std::string_view::npos) {
            value = rest.substr(0, blank);
            rest = TrimView(rest.substr(blank));
        } else {
            value = rest;
            rest = {};
        }
        value = TrimView(value);
        if (value.empty())
            continue;
        const auto v = TryStrToInt(value);
        if (!v)
            return IntegerErrorText(value);
        // The low 8 bits, with no range check: 200 reads as -56.
        buffer[static_cast<std::size_t>(k)] =
            static_cast<std::int8_t>(static_cast<std::uint8_t>(*v & 0xFF));
        if (++k > kEntries)
            return kDataTooLong;
    }
    return {};
}

Problem ReadTableFile(const std::string &fileName, CorrTableData &buffer, int *values) {
    buffer.fill(0);
    if (values)
        *values = 0;
    std::string content;
    bool whole = true;
    if (FileResult r = ReadTextFile(fileName, kTableLineLimit, content, &whole); !r)
        return FileReadErrorText(fileName, r.error);
    std::string_view line = FirstLine(content);
    // A line that runs on beyond the limit: its last value may be cut in the middle, so only
    // the values before its last blank are taken. A 225th value among them still ends the
    // load as "Data too long!".
    const bool cut = !whole && line.size() == content.size();
    if (cut) {
        const auto blank = line.rfind(' ');
        line = blank == std::string_view::npos ? std::string_view() : line.substr(0, blank);
    }
    if (auto message = ParseTableText(line, buffer, values); message || !cut)
        return message;
    return FileReadErrorText(fileName, "the first line is longer than " +
                                           std::to_string(kTableLineLimit) + " bytes");
}

Problem TableFileDefect(int values, const CorrTableData &table) {
    if (values != kEntries)
        return Format("it holds %d values, not %d", {values, kEntries});
    if (auto mismatch = CheckByteMismatch(table))
        return *mismatch;
    return {};
}

Problem LoadTableFileReporting(const std::string &fileName, CorrTableData &buffer,
                               Prompter &prompter) {
    auto message = ReadTableFile(fileName, buffer);
    if (message)
        ShowError(prompter, *message);
    return message;
}

std::string FileReadErrorText(const std::string &fileName, const std::string &reason) {
    return "Cannot read file " + fileName + ": " + reason;
}

std::string FileWriteErrorText(const std::string &fileName, const std::string &reason) {
    return "Cannot write file " + fileName + ": " + reason;
}

} // namespace kv::corrtable
