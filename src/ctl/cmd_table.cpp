// The correction table commands: table read, table write, table crc.
#include <chrono>

#include "app/format.h"
#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/session.h"
#include "history/outcome_records.h"

namespace kv::ctl {

namespace ct = kv::corrtable;

namespace {

// Reports how long a transfer took (with --verbose), for the speed measurements.
class TransferTimer {
public:
    TransferTimer(Session &s, std::string what)
        : s_(s), what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}
    void Done(int blocks) {
        if (!s_.args.Has("--verbose"))
            return;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
                .count();
        s_.err.Line(Format("%s: %d blocks in %0.1f ms", {what_, blocks, ms}));
    }

private:
    Session &s_;
    std::string what_;
    std::chrono::steady_clock::time_point start_;
};

// Loads a table file as the editor would show it and as its Write button would take it
// back: a file that loads only in part, or an entry the editor refuses, ends the command
// with its message, so that no half-read table goes to the device.
bool LoadForWrite(Session &s, const std::string &file, ct::CorrTableData &table) {
    if (auto message = ct::ReadTableFile(file, table)) {
        ShowError(s.prompter, *message);
        return false;
    }
    std::vector<std::string> fields;
    for (int n = 0; n < ct::kEntries; ++n)
        fields.push_back(ct::EntryText(table[static_cast<std::size_t>(n)]));
    if (auto bad = ct::ReadFieldTexts(fields, table)) {
        ShowError(s.prompter, bad->message);
        return false;
    }
    return true;
}

} // namespace

int CmdTableRead(Session &s) {
    const std::string file = s.args.args[0];
    if (!MayReplace(s, file))
        return kExitFailed;
    link::Link *l = s.OpenLink();
    if (!l)
        return s.Fail("the port could not be opened");
    ct::CorrTableData table{};
    TransferTimer timer(s, "table read");
    const ct::TableTransfer read = ct::ReadCorrectionTable(*l, table);
    timer.Done(read.blocks);
    // The editor would open with zeros from the failed block on; a file of such a table
    // would pass for the device's, so nothing is saved.
    if (!read.complete()) {
        s.Record(history::TableReadEntry(read, table, file, false));
        return s.Fail(Format("the table read stopped at block %d of %d; nothing saved",
                             {read.blocks, ct::kBlocks}));
    }
    const FileResult saved = ct::WriteTableFile(file, table, &s.prompter);
    // The device's table was read whether or not the file took it.
    s.Record(history::TableReadEntry(read, table, file, bool{saved}));
    if (!saved) {
        ShowError(s.prompter, ct::FileWriteErrorText(file, saved.error));
        return kExitFailed;
    }
    s.Out(Format("%d entries read into %s", {ct::kEntries, file}));
    return kExitOk;
}

int CmdTableWrite(Session &s) {
    const std::string file = s.args.args[0];
    ct::CorrTableData table{};
    if (!LoadForWrite(s, file, table))
        return kExitFailed;
    const std::uint8_t crc = ct::TableCrc(table);
    const auto stored = static_cast<std::uint8_t>(table[ct::kCheckIndex]);
    if (crc != stored)
        s.err.Line(Format("Warning: the check byte in %s is %d [0x%0.2x], the table's CRC is "
                          "%d [0x%0.2x]",
                          {file, stored, stored, crc, crc}));
    link::Link *l = s.OpenLink();
    if (!l)
        return s.Fail("the port could not be opened");
    TransferTimer timer(s, "table write");
    const ct::TableTransfer written = ct::WriteCorrectionTable(*l, table);
    timer.Done(ct::kBlocks);
    s.Tell(ct::NoticesOf(written));
    s.Record(history::TableWriteEntry(written, table, file));
    return written.complete() ? kExitOk : kExitFailed;
}

int CmdTableCrc(Session &s) {
    const std::string file = s.args.args[0];
    ct::CorrTableData table{};
    if (auto message = ct::ReadTableFile(file, table)) {
        ShowError(s.prompter, *message);
        return kExitFailed;
    }
    const std::uint8_t crc = ct::TableCrc(table);
    const auto stored = static_cast<std::uint8_t>(table[ct::kCheckIndex]);
    s.Out(Format("%d [0x%0.2x]", {crc, crc}));
    s.Out(
        Format("stored %d [0x%0.2x] %s", {stored, stored, crc == stored ? "matches" : "differs"}));
    return kExitOk;
}

} // namespace kv::ctl
