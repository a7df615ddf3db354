// The table file (".epr"): entries 0..223 on one line, each followed by one blank.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/prompter.h"
#include "app/text_files.h"
#include "corrtable/table.h"

namespace kv::corrtable {

inline constexpr const char *kDataTooLong = "Data too long!";

// Only the first line of a table file is read, and it must end within this many bytes: a
// table takes about 1 KiB (224 values of at most 4 characters and a blank each).
inline constexpr std::size_t kTableLineLimit = 64 * 1024;

// The file's text: "0 -3 12 ... " with no line end.
std::string TableFileText(const CorrTableData &table);

// Replaces the file with the table's text; an existing file stays whole on failure.
FileResult WriteTableFile(const std::string &fileName, const CorrTableData &table,
                          Beeper *beeper = nullptr);

// The first line of a file's content: it ends at CR, at Ctrl-Z or at the end; a lone LF
// belongs to the line.
std::string_view FirstLine(std::string_view content);

// Fills buffer (cleared first) from the values of a table file's content. Returns the
// message to show when the load stopped early: "Data too long!" after a 225th value (which
// is left in entry 224), or the conversion message of a value that is not a number. When
// values is given, it is set to the number of values read.
[[nodiscard]] Problem ParseTableText(std::string_view content, CorrTableData &buffer,
                                     int *values = nullptr);

// Clears buffer, reads the file's first line and parses it; returns the message to show, if
// any. A directory, device or FIFO is refused with the reason, as is a first line that does
// not end within kTableLineLimit bytes (unless 225 values came before the limit).
[[nodiscard]] Problem ReadTableFile(const std::string &fileName, CorrTableData &buffer,
                                    int *values = nullptr);

// Why a table file's table must not go to a device as it is: it does not hold exactly 224
// values, or its check byte does not match its entries. Nothing when it may.
[[nodiscard]] Problem TableFileDefect(int values, const CorrTableData &table);

// ReadTableFile with its message shown in an error box; returns the message.
Problem LoadTableFileReporting(const std::string &fileName, CorrTableData &buffer,
                               Prompter &prompter);

// Messages for files that could not be read or written, shared by every file operation
// of the table.
std::string FileReadErrorText(const std::string &fileName, const std::string &reason);
std::string FileWriteErrorText(const std::string &fileName, const std::string &reason);

} // namespace kv::corrtable
