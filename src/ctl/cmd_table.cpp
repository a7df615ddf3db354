// The correction table commands: table read, table write, table crc.
#include <chrono>

#include "app/format.h"
#include "app/json.h"
#include "app/text_files.h"
#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/interrupt.h"
#include "ctl/session.h"
#include "history/outcome_records.h"

namespace kv::ctl {

namespace ct = kv::corrtable;

namespace {

// "table write: 28 blocks in 812.4 ms" with --verbose.
void Timing(Session &s, std::string_view what, int blocks, double ms) {
    if (s.args.Has("--verbose"))
        s.err.Line(Format("%s: %d blocks in %0.1f ms", {what, blocks, ms}));
}

// Reports how long a transfer took (with --verbose), for the speed measurements.
class TransferTimer {
public:
    TransferTimer(Session &s, std::string what)
        : s_(s), what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}
    void Done(int blocks) {
        Timing(s_, what_, blocks,
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
                   .count());
    }

private:
    Session &s_;
    std::string what_;
    std::chrono::steady_clock::time_point start_;
};

// Loads a table file as the editor would show it and as its Write button would take it
// back: a file that loads only in part, or an entry the editor refuses, ends the command
// with its message, so that no half-read table goes to the device.
// A file that does not hold exactly a table, or whose check byte does not match, is refused
// (with --force: sent after a warning), so that a cut or empty file never wipes a device.
bool LoadForWrite(Session &s, const std::string &file, ct::CorrTableData &table) {
    int values = 0;
    if (auto message = ct::ReadTableFile(file, table, &values)) {
        ShowError(s.prompter, *message);
        return false;
    }
    std::vector<std::string> fields;
    for (int n = 0; n < ct::kEntries; ++n)
        fields.push_back(ct::EntryText(table[static_cast<std::size_t>(n)]));
    if (auto bad = ct::ReadFieldTexts(fields, table)) {
        ShowError(s.prompter, bad.message);
        return false;
    }
    if (auto defect = ct::TableFileDefect(values, table)) {
        if (!s.args.Has("--force")) {
            s.Fail(Format("%s: %s; not written (--force writes it)", {file, *defect}));
            return false;
        }
        s.err.Line(Format("Warning: %s: %s", {file, *defect}));
    }
    return true;
}

// "1 entry differs", "5 entries differ".
std::string Differ(std::size_t n) {
    return ct::EntryCount(n) + (n == 1 ? " differs" : " differ");
}

// table verify lists at most this many differing entries.
constexpr std::size_t kVerifyListed = 20;

// Reads the device's table and compares it with the file's: the differing entries as
// "index: device -> file", at most `listed` of them and a count; exit 0 when equal.
int CompareWithDevice(Session &s, std::size_t listed) {
    const StdioFile input(s, s.args.args[0], StdioFile::Use::Read, ".epr");
    const std::string &file = input.path();
    ct::CorrTableData table{};
    if (auto message = ct::ReadTableFile(file, table)) {
        ShowError(s.prompter, *message);
        return kExitFailed;
    }
    link::Link *l = s.OpenLink();
    if (!l)
        return s.Fail("the port could not be opened");
    const ct::TableCheck c = ct::CheckDeviceTable(*l, table);
    Timing(s, "table read", c.read.blocks, c.readMs);
    s.Record(history::TableVerifyEntry(c, table, file));
    if (!c.read.complete())
        return s.Fail(ct::TableReadStoppedText(c.read.blocks));
    if (c.differences.empty()) {
        s.Out("the device's table equals " + file);
        return kExitOk;
    }
    for (const auto &line : ct::DifferenceLines(c.differences, listed))
        s.Out(line);
    s.Out(Differ(c.differences.size()) + " (device -> " + file + ")");
    return kExitFailed;
}

} // namespace

int CmdTableRead(Session &s) {
    StdioFile output(s, s.args.args[0], StdioFile::Use::Write, ".epr");
    const std::string &file = output.path();
    const bool existed = FileExists(file);
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
                             {read.blocks + 1, ct::kBlocks}));
    }
    // A table whose check byte does not match came garbled off the line or is damaged on the
    // device: it never replaces a file unless --force, and the exit status says so. A new
    // file is written, so that the damage can be looked at.
    const auto mismatch = ct::CheckByteMismatch(table);
    if (mismatch && existed && !s.args.Has("--force")) {
        s.Record(history::TableReadEntry(read, table, file, false));
        return s.Fail(Format("the device's table is damaged: %s; %s not replaced (--force "
                             "replaces it)",
                             {*mismatch, file}));
    }
    const FileResult saved = ct::WriteTableFile(file, table, &s.prompter);
    // The device's table was read whether or not the file took it.
    s.Record(history::TableReadEntry(read, table, file, bool{saved}));
    if (!saved) {
        ShowError(s.prompter, ct::FileWriteErrorText(file, saved.error));
        return kExitFailed;
    }
    s.Out(Format("%d entries read into %s", {ct::kEntries, file}));
    if (!output.Finish())
        return kExitFailed;
    if (mismatch)
        return s.Fail(Format("the device's table is damaged: %s", {*mismatch}));
    return kExitOk;
}

int CmdTableWrite(Session &s) {
    // From here on a Ctrl+C (or SIGTERM) is asked between blocks; a second one ends the run
    // at once.
    const StopOnSignal stopOnSignal;
    const StdioFile input(s, s.args.args[0], StdioFile::Use::Read, ".epr");
    const std::string &file = input.path();
    ct::CorrTableData table{};
    if (!LoadForWrite(s, file, table))
        return kExitFailed;
    link::Link *l = s.OpenLink();
    if (!l)
        return s.Fail("the port could not be opened");
    const bool dryRun = s.args.Has("--dry-run");
    if (s.args.Has("--no-verify") && !dryRun) {
        if (StopOnSignal::Requested()) {
            s.err.Problem("interrupted before the write: nothing written; " +
                          ct::DeviceHoldsText(ct::DeviceHolds::OldTable));
            return kExitInterrupted;
        }
        // The plain write, as the windows' Write does it. It has no backup to go back to, so
        // a Ctrl+C lets it finish (well under a second) rather than leave half a table.
        TransferTimer timer(s, "table write");
        const ct::TableTransfer written = ct::WriteCorrectionTable(*l, table);
        timer.Done(ct::kBlocks);
        s.Tell(ct::NoticesOf(written));
        s.Record(history::TableWriteEntry(written, table, file));
        if (StopOnSignal::Requested()) {
            s.err.Problem("interrupted: " + (written.complete()
                                                 ? ct::DeviceHoldsText(ct::DeviceHolds::NewTable) +
                                                       " (written, not read back)"
                                                 : ct::DeviceHoldsText(ct::DeviceHolds::NotKnown)));
            return kExitInterrupted;
        }
        return written.complete() ? kExitOk : kExitFailed;
    }
    ct::VerifiedWriteOptions options{.backupPath = {}, .dryRun = dryRun};
    if (!dryRun && !s.args.Has("--no-backup"))
        options.backupPath = NewBackupPath(s, ".epr");
    options.stopRequested = [] { return StopOnSignal::Requested(); };
    // The backup's name is out before the first block is sent: a run cut short still told it.
    options.backupKept = [&s](const std::string &kept) {
        StopOnSignal::SetBackup(kept);
        s.Out("backup: " + kept);
    };
    if (s.err.progressShown())
        options.progress = [&s](ct::WritePhase phase, int done, int total) {
            s.err.Progress(
                Format("table write: %s %d of %d blocks", {ct::PhaseName(phase), done, total}));
        };
    const ct::VerifiedWrite v = ct::WriteTableVerified(*l, table, options);
    s.err.ClearProgress();
    Timing(s, "table read", v.before.check.read.blocks, v.before.check.readMs);
    if (v.write) {
        const int toWrite = static_cast<int>(v.write->blocks.size());
        Timing(s, "table write", v.write->write.blocks, v.write->writeMs);
        if (v.write->write.blocks == toWrite)
            Timing(s, "table read-back", toWrite, v.write->readBackMs);
    }
    if (v.end == ct::VerifiedWriteEnd::DryRun) {
        for (const auto &d : v.before.check.differences)
            s.Out(ct::DifferenceLine(d));
        s.Out(Differ(v.before.check.differences.size()) + "; dry run, nothing written");
    }
    const Notices notices = ct::NoticesOf(v);
    s.Tell(notices);
    if (!dryRun) {
        s.Record(history::VerifiedWriteEntry(v, table, file));
        s.Record(history::RestoreEntry(v));
    }
    // The report lines (blocks written again, nothing to write) are results.
    for (const Notice &n : notices)
        if (n.kind == Notice::Kind::Report)
            s.Out(n.text);
    const ct::DeviceHolds holds = ct::DeviceHoldsAfter(v);
    if (v.end == ct::VerifiedWriteEnd::Written || v.end == ct::VerifiedWriteEnd::AlreadyEqual)
        s.Out(Format("blocks written: %d of %d", {v.BlocksWritten(), ct::kBlocks}));
    if (v.end == ct::VerifiedWriteEnd::Written)
        s.Out(Format("%d entries written and read back", {ct::kEntries}));
    if (s.json() && !dryRun)
        s.Out(json::Write({{"blocks_written", v.BlocksWritten()},
                           {"blocks", ct::kBlocks},
                           {"device_holds", ct::DeviceHoldsName(holds)},
                           {"backup", v.backup ? json::Value(v.backupFile) : json::Value()}}));
    if (StopOnSignal::Requested()) {
        s.err.Problem("interrupted: " + ct::DeviceHoldsText(holds) +
                      (v.backup ? "; backup: " + v.backupFile : std::string()));
        return kExitInterrupted;
    }
    return v.ok() ? kExitOk : kExitFailed;
}

int CmdTableVerify(Session &s) {
    return CompareWithDevice(s, kVerifyListed);
}

int CmdTableDiff(Session &s) {
    return CompareWithDevice(s, ct::kEntries);
}

int CmdTableCrc(Session &s) {
    const StdioFile input(s, s.args.args[0], StdioFile::Use::Read, ".epr");
    const std::string &file = input.path();
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
    return crc == stored ? kExitOk : kExitFailed;
}

} // namespace kv::ctl
