// The firmware's include file "corrtable.inc": the table as a computed-jump "retlw" table,
// made from the table file "corrtbl.epr" beside the program.
#pragma once

#include <functional>
#include <string>

#include "app/prompter.h"
#include "corrtable/table.h"

namespace kv::corrtable {

inline constexpr const char *kIncludeInputName = "corrtbl.epr";
inline constexpr const char *kIncludeOutputName = "corrtable.inc";

// The whole file: 289 lines with CR LF, none after the last line " ENDIF". Entries 0..222
// are written as their sign-magnitude bytes; entries 223..255 (the check byte included)
// as 0.
std::string IncludeFileText(const CorrTableData &table);

// Loads a table file into a table of the caller's (showing its own messages).
using TableLoader = std::function<void(const std::string &fileName, CorrTableData &buffer)>;

// The generator: checks that programDir + "corrtbl.epr" exists (a directory or device of
// that name is refused with its reason, as a missing file is), loads it with load, asks
// before replacing programDir + "corrtable.inc", writes it and says so. A file that could
// not be written is reported as such, and the old file then stays as it was.
void GenerateIncludeFile(const std::string &programDir, Prompter &prompter,
                         const TableLoader &load);
// The same from the table file in to the include file out.
void GenerateIncludeFile(const std::string &in, const std::string &out, Prompter &prompter,
                         const TableLoader &load);

} // namespace kv::corrtable
