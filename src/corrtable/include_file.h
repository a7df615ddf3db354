// The firmware's include file "corrtable.inc": the table as a computed-jump "retlw" table,
// made from the table file "corrtbl.epr" beside the program.
#pragma once

#include <functional>
#include <string>

#include <optional>

#include "app/notice.h"
#include "app/prompter.h"
#include "corrtable/table.h"

namespace kv::corrtable {

inline constexpr const char *kIncludeInputName = "corrtbl.epr";
inline constexpr const char *kIncludeOutputName = "corrtable.inc";

// The whole file: 289 lines with CR LF, none after the last line " ENDIF". Entries 0..222
// are written as their sign-magnitude bytes; entries 223..255 (the check byte included)
// as 0.
std::string IncludeFileText(const CorrTableData &table);

// Loads a table file into a table of the caller's, showing its message at once; returns the
// message (nullopt when the whole file loaded).
using TableLoader = std::function<Problem(const std::string &fileName, CorrTableData &buffer)>;

struct [[nodiscard]] IncludeOutcome {
    enum class Result { InputMissing, Declined, WriteFailed, Written };
    Result result = Result::InputMissing;
    std::string in;
    std::string out;
    std::string inputReason; // InputMissing: why what has that name is no table file
    Problem loadMessage;     // the load stopped early; the rest was written
    std::string writeError;  // WriteFailed: the system's reason
};

// The generator: checks that programDir + "corrtbl.epr" exists (a directory or device of
// that name is refused with its reason, as a missing file is), loads it with load, asks
// before replacing programDir + "corrtable.inc" and writes it. A file that could not be
// written leaves the old file as it was.
IncludeOutcome GenerateIncludeFile(const std::string &programDir, Prompter &prompter,
                                   const TableLoader &load);
// The same from the table file in to the include file out.
IncludeOutcome GenerateIncludeFile(const std::string &in, const std::string &out,
                                   Prompter &prompter, const TableLoader &load);
// "File ... not found!", "File ... created!", or the write's failure.
Notices NoticesOf(const IncludeOutcome &o);

} // namespace kv::corrtable
