#include "corrtable/table.h"

#include "app/format.h"
#include "app/numbers.h"
#include "link/crc8.h"

namespace kv::corrtable {

std::uint8_t TableCrc(const CorrTableData &t) {
    std::uint8_t crc = 0;
    for (int n = 0; n < kCorrections; ++n)
        crc = Crc8Update(crc, ToSignMagnitude(t[static_cast<std::size_t>(n)]));
    return crc;
}

Problem CheckByteMismatch(const CorrTableData &t) {
    const std::uint8_t crc = TableCrc(t);
    const auto stored = static_cast<std::uint8_t>(t[kCheckIndex]);
    if (crc == stored)
        return {};
    return Format("the check byte (entry %d) is %d [0x%0.2x], the CRC of entries 0..%d is %d "
                  "[0x%0.2x]",
                  {kCheckIndex, stored, stored, kCorrections - 1, crc, crc});
}

std::string EntryText(std::int8_t v) {
    return std::to_string(static_cast<int>(v));
}

std::optional<std::int8_t> ParseFieldText(std::string_view text) {
    const auto v = TryStrToInt(UpperCase(Trim(text)));
    if (!v || *v < kFieldMinimum || *v > kFieldMaximum)
        return std::nullopt;
    return static_cast<std::int8_t>(*v);
}

std::string InvalidValueText(int n, std::string_view text) {
    return Format("Invalid value %d:%s! (-127..127)", {n, text});
}

FieldError ReadFieldTexts(std::span<const std::string> texts, CorrTableData &table) {
    for (int n = 0; n < kEntries && n < static_cast<int>(texts.size()); ++n) {
        const std::string &text = texts[static_cast<std::size_t>(n)];
        const auto v = ParseFieldText(text);
        if (!v)
            return FieldError{n, InvalidValueText(n, text)};
        table[static_cast<std::size_t>(n)] = *v;
    }
    return {};
}

} // namespace kv::corrtable
