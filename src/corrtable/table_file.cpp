#include "corrtable/table_file.h"

#include "app/numbers.h"

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

std::optional<std::string> ParseTableText(std::string_view content, CorrTableData &buffer) {
    buffer.fill(0);
    std::string rest(FirstLine(content));
    int k = 0;
    while (!rest.empty()) {
        std::string value;
        const auto blank = rest.find(' ');
        if (blank != std::string::npos) {
            value = rest.substr(0, blank);
            rest = Trim(std::string_view(rest).substr(blank));
        } else {
            value = std::move(rest);
            rest.clear();
        }
        value = Trim(value);
        if (value.empty())
            continue;
        const auto v = TryStrToInt(value);
        if (!v)
            return IntegerErrorText(value);
        // The low 8 bits, with no range check: 200 reads as -56.
        buffer[static_cast<std::size_t>(k)] =
            static_cast<std::int8_t>(static_cast<std::uint8_t>(*v & 0xFF));
        if (++k > kEntries)
            return std::string(kDataTooLong);
    }
    return std::nullopt;
}

std::optional<std::string> ReadTableFile(const std::string &fileName, CorrTableData &buffer) {
    buffer.fill(0);
    std::string content;
    if (FileResult r = ReadWholeFile(fileName, content); !r)
        return FileReadErrorText(fileName, r.error);
    return ParseTableText(content, buffer);
}

void LoadTableFileReporting(const std::string &fileName, CorrTableData &buffer,
                            Prompter &prompter) {
    if (auto message = ReadTableFile(fileName, buffer))
        ShowError(prompter, *message);
}

std::string FileReadErrorText(const std::string &fileName, const std::string &reason) {
    return "Cannot read file " + fileName + ": " + reason;
}

std::string FileWriteErrorText(const std::string &fileName, const std::string &reason) {
    return "Cannot write file " + fileName + ": " + reason;
}

} // namespace kv::corrtable
