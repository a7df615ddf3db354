// The correction table: 257 signed entries, 0..222 corrections, 223 the check byte, the rest
// spare. Its device byte form, its check byte, the text form of an entry and the check of
// an entry typed into the editor.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/errors.h"

namespace kv::corrtable {

inline constexpr int kTableSize = 257;
inline constexpr int kEntries = 224;     // 0..223 are shown, transferred and saved
inline constexpr int kCorrections = 223; // 0..222
inline constexpr int kCheckIndex = 223;

using CorrTableData = std::array<std::int8_t, kTableSize>;

// The device holds entries 0..222 in sign-magnitude form: 0..127 as they are, -1..-127 as
// 0x80 + |v|. The sum wraps, so -128 (only a table file can hold it) goes out as 0x00.
constexpr std::uint8_t ToSignMagnitude(std::int8_t v) {
    return v >= 0 ? static_cast<std::uint8_t>(v)
                  : static_cast<std::uint8_t>((0x80 + -static_cast<int>(v)) & 0xFF);
}

// Back from the device: 0x80 (minus zero) reads as 0.
constexpr std::int8_t FromSignMagnitude(std::uint8_t b) {
    return b <= 0x7F ? static_cast<std::int8_t>(b) : static_cast<std::int8_t>(-(b - 0x80));
}

// The device byte of entry n: sign-magnitude for the corrections, the check byte raw.
constexpr std::uint8_t DeviceByte(const CorrTableData &t, int n) {
    return n == kCheckIndex ? static_cast<std::uint8_t>(t[static_cast<std::size_t>(n)])
                            : ToSignMagnitude(t[static_cast<std::size_t>(n)]);
}

// The table entry for device byte b at index n.
constexpr std::int8_t EntryFromDevice(int n, std::uint8_t b) {
    return n == kCheckIndex ? static_cast<std::int8_t>(b) : FromSignMagnitude(b);
}

// CRC-8 over the sign-magnitude bytes of entries 0..222, start 0, no final step.
std::uint8_t TableCrc(const CorrTableData &t);

// "the check byte (entry 223) is 5 [0x05], the CRC of entries 0..222 is 7 [0x07]" when
// entry 223 does not match the table's CRC; nothing when it does.
[[nodiscard]] Problem CheckByteMismatch(const CorrTableData &t);

// The signed decimal of an entry: "-5", "0", "17".
std::string EntryText(std::int8_t v);

// The range every editor field accepts, the check byte's included: -128 has no
// sign-magnitude form, and a check byte of 0x80 (which shows as -128) keeps its table out of
// Write and Save until an entry is changed and the check byte set again.
inline constexpr int kFieldMinimum = -127;
inline constexpr int kFieldMaximum = 127;

// The value of a field's text (trimmed of 0x00..0x20, upper-cased, integer syntax), or
// nothing when it is not a number or out of the field range.
std::optional<std::int8_t> ParseFieldText(std::string_view text);

// "Invalid value 5:abc! (-127..127)", with the text as typed.
std::string InvalidValueText(int n, std::string_view text);

// The first invalid field, or none (index -1).
struct [[nodiscard]] FieldError {
    int index = -1;
    std::string message;
    explicit operator bool() const { return index >= 0; }
};

// Reads the texts of fields 0..223 into table in order, stopping at the first invalid one:
// the entries before it are stored, it and the later ones keep their values.
FieldError ReadFieldTexts(std::span<const std::string> texts, CorrTableData &table);

} // namespace kv::corrtable
