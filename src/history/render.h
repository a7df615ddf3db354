// The history as people and programs read it: one text line, one JSON object or one CSV
// row per record, in the order given. Shared by the command line's history listing and the
// window's table and CSV export.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "history/record.h"

namespace kv::history {

// What the record's data says in a few words: "table crc 0x2E, verified",
// "2 points, M=85 Z=0, table crc 0x2E". "" when there is nothing to add.
std::string Summary(const Record &r);

// "2025-05-20T14:03:07.123Z  SN-1234  table-write  ok  port=/dev/ttyUSB0 station=bench-2
// operator=anna  table crc 0x2E, verified" (one line; a failure shows "failed: <message>"
// in place of "ok"; an empty unit shows as "-"). Each field as ShownText shows outside
// text: control characters escaped, its length bounded.
std::string TextLine(const Record &r);

// One JSON object: "id", "time", "mono_ns", "unit", "operation", "ok", "message", "port",
// "adapter", "adapter_serial", "station", "operator", "tool_version", "info", "data".
std::string JsonLine(const Record &r);

// CSV (RFC 4180, CR LF line ends), one header row and one row per record: the JSON line's
// fields, then "summary"; "ok" is true or false, "data" the JSON text. A field that a
// spreadsheet would take for a formula (starting with = + - @, a tab or a CR) is written
// with a leading apostrophe.
std::string CsvHeader();
std::string CsvRow(const Record &r);

enum class ListingFormat { Text, Json, Csv };
// The whole listing: text and JSON one line per record ending in "\n"; CSV with its header.
std::string Render(std::span<const Record> records, ListingFormat format);

// A --since value: "2025-05-20", "2025-05-20T14:03", "2025-05-20T14:03:07" (or a blank
// instead of the "T"; an optional "Z"), always UTC, as the records show their times. The
// result is the full time text the records are compared with; nothing when the text is no
// such date, with kSinceSyntax as the reason to show.
inline constexpr std::string_view kSinceSyntax =
    "expected a UTC date as YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS";
std::optional<std::string> ParseSince(std::string_view text);

} // namespace kv::history
