#include "corrtable/verified_write.h"

#include <algorithm>

#include "app/format.h"
#include "corrtable/table_file.h"

namespace kv::corrtable {

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An exchange that got no byte at all: a device that does not answer (unplugged, switched
// off), as against one that answered wrong.
bool Silent(const link::Reply &r) {
    return r.bytes.empty() &&
           (r.status == link::ReplyStatus::TimedOut || r.status == link::ReplyStatus::WriteFailed);
}

// Reads the blocks back into device; the block the read stopped at, if it did.
std::optional<int> ReadBlocks(link::Link &link, const std::vector<int> &blocks,
                              CorrTableData &device, const WriteProgress &progress,
                              WritePhase phase) {
    int done = 0;
    for (int k : blocks) {
        if (!ReadBlock(link, k, device, nullptr, true))
            return k;
        if (progress)
            progress(phase, ++done, static_cast<int>(blocks.size()));
    }
    return std::nullopt;
}

std::vector<int> AllBlocks() {
    std::vector<int> all;
    for (int k = 0; k < kBlocks; ++k)
        all.push_back(k);
    return all;
}

std::vector<int> BlocksOf(const std::vector<EntryDifference> &differences) {
    std::vector<int> blocks;
    for (const auto &d : differences)
        if (blocks.empty() || blocks.back() != d.index / kBlockSize)
            blocks.push_back(d.index / kBlockSize);
    return blocks;
}

// One whole read of the table, each block asked for at most twice; stop is asked between
// blocks (true: *stopped is set and the read ends there).
TableTransfer ReadAllTwice(link::Link &link, CorrTableData &device, std::vector<int> &again,
                           const std::function<bool()> &stop, const WriteProgress &progress,
                           bool &stopped) {
    TableTransfer t;
    device.fill(0);
    for (; t.blocks < kBlocks; ++t.blocks) {
        if (t.blocks > 0 && stop && stop()) {
            stopped = true;
            break;
        }
        if (!ReadBlock(link, t.blocks, device, &t.reply, true)) {
            if (!ReadBlock(link, t.blocks, device, &t.reply, true))
                break;
            again.push_back(t.blocks);
        }
        if (progress)
            progress(WritePhase::Backup, t.blocks + 1, kBlocks);
    }
    return t;
}

// Which blocks of a write that stopped answering were acknowledged.
std::string AcknowledgedText(const CheckedWrite &w) {
    if (w.write.blocks == 0)
        return "no block was acknowledged";
    if (static_cast<int>(w.blocks.size()) == kBlocks)
        return Format("blocks 1..%d were acknowledged", {w.write.blocks});
    return Format("%d of the %d blocks to write were acknowledged",
                  {w.write.blocks, static_cast<int>(w.blocks.size())});
}

std::string BackupText(const VerifiedWrite &v) {
    return v.backupFile.empty() ? "no backup file" : "backup: " + v.backupFile;
}

} // namespace

const char *PhaseName(WritePhase phase) {
    switch (phase) {
    case WritePhase::Backup:
        return "backup";
    case WritePhase::Write:
        return "write";
    case WritePhase::ReadBack:
        return "read-back";
    case WritePhase::Restore:
        return "restore";
    }
    return "";
}

std::vector<int> CheckedWrite::BlocksSent() const {
    auto n = static_cast<std::size_t>(write.blocks);
    if (failedBlock && n < blocks.size())
        ++n;
    return {blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(n)};
}

CheckedWrite WriteAndCheck(link::Link &link, const CorrTableData &table,
                           const std::function<bool()> &stop, const std::vector<int> &blocks,
                           const WriteProgress &progress, bool restoring) {
    CheckedWrite w;
    w.blocks = blocks.empty() ? AllBlocks() : blocks;
    const int total = static_cast<int>(w.blocks.size());
    const WritePhase writing = restoring ? WritePhase::Restore : WritePhase::Write;
    auto start = Clock::now();
    for (; w.write.blocks < total; ++w.write.blocks) {
        if (stop && stop()) {
            w.stoppedAfter = w.write.blocks;
            w.writeMs = MsSince(start);
            return w;
        }
        const int k = w.blocks[static_cast<std::size_t>(w.write.blocks)];
        if (!WriteBlock(link, table, k, &w.write.reply, true)) {
            w.failedBlock = k;
            w.silent = Silent(w.write.reply);
            w.writeMs = MsSince(start);
            return w;
        }
        if (progress)
            progress(writing, w.write.blocks + 1, total);
    }
    w.writeMs = MsSince(start);
    // The blocks not written hold the table already (the caller read them): only the
    // written ones are read back and compared.
    CorrTableData device = table;
    start = Clock::now();
    w.readBackBlock = ReadBlocks(link, w.blocks, device, progress,
                                 restoring ? WritePhase::Restore : WritePhase::ReadBack);
    w.readBackMs = MsSince(start);
    if (w.readBackBlock)
        return w;
    auto differences = TableDifferences(device, table);
    if (differences.empty())
        return w;
    // A block that was stored wrong once (line noise, a dip of the supply) gets one more
    // write; one that is wrong again is not tried a third time.
    w.repaired = BlocksOf(differences);
    for (int k : w.repaired) {
        link::Reply reply;
        if (!WriteBlock(link, table, k, &reply, true)) {
            w.failedBlock = k;
            w.silent = Silent(reply);
            return w;
        }
    }
    w.readBackBlock = ReadBlocks(link, w.repaired, device, {}, WritePhase::ReadBack);
    if (w.readBackBlock)
        return w;
    differences = TableDifferences(device, table);
    if (!differences.empty())
        w.firstDifference = differences.front();
    return w;
}

BackupRead ReadBackupTable(link::Link &link, const CorrTableData &table,
                           const std::function<bool()> &stop, const WriteProgress &progress,
                           bool *stopped) {
    BackupRead b;
    bool stop_ = false;
    const auto start = Clock::now();
    // A one-bit error on the line gives a table whose check byte does not match: the second
    // read tells it from a table the device really holds damaged.
    for (b.wholeReads = 1; b.wholeReads <= 2; ++b.wholeReads) {
        b.check.read = ReadAllTwice(link, b.check.device, b.blocksReadAgain, stop, progress, stop_);
        if (!b.check.read.complete())
            break;
        b.mismatch = CheckByteMismatch(b.check.device);
        if (!b.mismatch)
            break;
    }
    b.wholeReads = std::min(b.wholeReads, 2);
    if (stopped)
        *stopped = stop_;
    b.check.readMs = MsSince(start);
    if (b.check.read.complete())
        b.check.differences = TableDifferences(b.check.device, table);
    return b;
}

VerifiedWrite WriteTableVerified(link::Link &link, const CorrTableData &table,
                                 const VerifiedWriteOptions &options) {
    VerifiedWrite v;
    bool stopped = false;
    v.before = ReadBackupTable(link, table, options.stopRequested, options.progress, &stopped);
    if (stopped) {
        v.end = VerifiedWriteEnd::Stopped;
        return v;
    }
    if (!v.before.check.read.complete()) {
        v.end = VerifiedWriteEnd::ReadFailed;
        return v;
    }
    // Only a table that checks is taken for the device's: to compare, to keep, to restore.
    if (v.before.mismatch) {
        v.end = VerifiedWriteEnd::Unchecked;
        return v;
    }
    if (v.before.check.differences.empty()) {
        v.end = VerifiedWriteEnd::AlreadyEqual;
        return v;
    }
    if (options.dryRun) {
        v.end = VerifiedWriteEnd::DryRun;
        return v;
    }
    if (options.stopRequested && options.stopRequested()) {
        v.end = VerifiedWriteEnd::Stopped;
        return v;
    }
    if (!options.backupPath.empty()) {
        v.backup = CreateBackupFile(options.backupPath, TableFileText(v.oldTable()), v.backupFile);
        if (!v.backup) {
            v.backupFile = options.backupPath;
            v.end = VerifiedWriteEnd::BackupFailed;
            return v;
        }
        if (options.backupKept)
            options.backupKept(v.backupFile);
    }
    // Only the blocks that differ from the device's are written and read back: the others
    // were just read from it and checked.
    v.write = WriteAndCheck(link, table, options.stopRequested,
                            BlocksOf(v.before.check.differences), options.progress);
    if (v.write->ok()) {
        v.end = VerifiedWriteEnd::Written;
        return v;
    }
    v.end = v.write->stoppedAfter ? VerifiedWriteEnd::Stopped : VerifiedWriteEnd::Failed;
    // Stopped before the first block: the device holds its old table untouched.
    if (v.write->BlocksSent().empty())
        return v;
    // A reply that comes after the time limit is let in and dropped before anything else is
    // sent; then a device whose write got no answer is asked for a block: one that does not
    // answer that either is not written to again (nor is the user asked to).
    // A stop finished its block in flight: no reply is pending then.
    if (v.end == VerifiedWriteEnd::Failed)
        link.WaitForQuietLine(kQuietBeforeRestore, kQuietLimit);
    if (v.write->silent) {
        CorrTableData probe{};
        link::Reply reply;
        if (!ReadBlock(link, 0, probe, &reply, true) && Silent(reply)) {
            v.deviceSilent = true;
            return v;
        }
    }
    if (v.end == VerifiedWriteEnd::Failed && options.askBeforeRestore &&
        options.askBeforeRestore->Message("Error", RestoreQuestion(v), MsgIcon::Error,
                                          MsgButtons::YesNo) != IdYes) {
        v.restoreDeclined = true;
        return v;
    }
    // The blocks the write sent (the failed one too: it may be stored) get their old
    // entries back; the others were never touched.
    v.restore =
        WriteAndCheck(link, v.oldTable(), {}, v.write->BlocksSent(), options.progress, true);
    return v;
}

int VerifiedWrite::BlocksWritten() const {
    return write ? write->write.blocks : 0;
}

DeviceHolds DeviceHoldsAfter(const VerifiedWrite &v) {
    switch (v.end) {
    case VerifiedWriteEnd::Written:
    case VerifiedWriteEnd::AlreadyEqual:
        return DeviceHolds::NewTable;
    case VerifiedWriteEnd::DryRun:
    case VerifiedWriteEnd::ReadFailed:
    case VerifiedWriteEnd::Unchecked:
    case VerifiedWriteEnd::BackupFailed:
        return DeviceHolds::OldTable;
    case VerifiedWriteEnd::Stopped:
    case VerifiedWriteEnd::Failed:
        break;
    }
    if (!v.write || v.write->BlocksSent().empty() || v.restored())
        return DeviceHolds::OldTable;
    return DeviceHolds::NotKnown;
}

std::string DeviceHoldsText(DeviceHolds holds) {
    switch (holds) {
    case DeviceHolds::OldTable:
        return "the device holds its old table";
    case DeviceHolds::NewTable:
        return "the device holds the new table";
    case DeviceHolds::NotKnown:
        break;
    }
    return "what the device holds is not known";
}

const char *DeviceHoldsName(DeviceHolds holds) {
    switch (holds) {
    case DeviceHolds::OldTable:
        return "old";
    case DeviceHolds::NewTable:
        return "new";
    case DeviceHolds::NotKnown:
        break;
    }
    return "unknown";
}

std::string BlockText(int k) {
    return Format("block %d of %d (entries %d..%d)",
                  {k + 1, kBlocks, k * kBlockSize, k * kBlockSize + kBlockSize - 1});
}

std::string CheckedWriteFault(const CheckedWrite &w) {
    if (w.failedBlock && w.silent)
        return BlockText(*w.failedBlock) + " got no reply";
    if (w.failedBlock)
        return BlockText(*w.failedBlock) + " was not acknowledged (" + kWriteError + ")";
    if (w.stoppedAfter)
        return Format("stopped after %d of the %d blocks to write",
                      {*w.stoppedAfter, static_cast<int>(w.blocks.size())});
    if (w.readBackBlock)
        return ReadBackStoppedText(*w.readBackBlock);
    if (w.firstDifference)
        return SentAndReadBack(*w.firstDifference);
    return {};
}

std::string RestoreQuestion(const VerifiedWrite &v) {
    return "The table write failed (" + CheckedWriteFault(*v.write) +
           ").\nWrite the device's old table back" +
           (v.backupFile.empty() ? std::string() : " (backup " + v.backupFile + ")") + "?";
}

Notices NoticesOf(const VerifiedWrite &v) {
    using K = Notice::Kind;
    switch (v.end) {
    case VerifiedWriteEnd::Written: {
        Notices n;
        for (int k : v.write->repaired)
            n.push_back(
                {K::Report, BlockText(k) + " read back wrong; written again and read back right"});
        n.push_back({K::InfoBox, kWriteDone});
        return n;
    }
    case VerifiedWriteEnd::AlreadyEqual:
        return {{K::Report, "the device already holds this table; nothing written"}};
    case VerifiedWriteEnd::DryRun:
        return {};
    case VerifiedWriteEnd::ReadFailed:
        return {
            {K::Problem, TableReadStoppedText(v.before.check.read.blocks) + "; nothing written"}};
    case VerifiedWriteEnd::Unchecked:
        return {
            {K::Problem, "the device's table does not check, read twice: " + *v.before.mismatch +
                             "; no backup kept and nothing written (a table the device "
                             "holds damaged is replaced only by a write without the check)"}};
    case VerifiedWriteEnd::BackupFailed:
        return {
            {K::Problem, FileWriteErrorText(v.backupFile, v.backup.error) + "; nothing written"}};
    case VerifiedWriteEnd::Stopped:
    case VerifiedWriteEnd::Failed:
        break;
    }
    if (!v.write || v.write->BlocksSent().empty())
        return {{K::Problem, std::string("table write stopped before the first block was sent; ") +
                                 DeviceHoldsText(DeviceHolds::OldTable) + " (nothing written)" +
                                 (v.backupFile.empty() ? std::string() : "; " + BackupText(v))}};
    std::string state;
    if (v.deviceSilent)
        state = "the device does not answer: nothing could be read back and nothing was written "
                "back; the device's table is not known (" +
                AcknowledgedText(*v.write) + ")";
    else if (v.restoreDeclined)
        state = "the old table was not written back; the device holds a table that is not the "
                "one written";
    else if (v.restored())
        state = "the device holds its old table again (written back and read back right)";
    else
        state = "the device does NOT hold its old table: writing it back failed too (" +
                CheckedWriteFault(*v.restore) + ")";
    const std::string what =
        v.end == VerifiedWriteEnd::Stopped ? "table write stopped: " : "table write failed: ";
    // A stop was asked for: the cabling is not to blame.
    return {
        {K::Problem, what + CheckedWriteFault(*v.write) + "; " + state + "; " + BackupText(v) +
                         (v.end == VerifiedWriteEnd::Stopped ? std::string()
                                                             : std::string("; ") + kCheckCabling)}};
}

Notices WindowNoticesOf(const VerifiedWrite &v) {
    using K = Notice::Kind;
    Notices n = NoticesOf(v);
    for (Notice &one : n)
        if (one.kind == K::Problem || (v.end == VerifiedWriteEnd::AlreadyEqual))
            one = {one.kind == K::Problem ? K::ErrorBox : K::InfoBox, Capitalized(one.text)};
    // The log keeps where the device's table before went.
    if (v.end == VerifiedWriteEnd::Written)
        n.insert(n.end() - 1, {K::Report, "Table written and read back right; " + BackupText(v)});
    return n;
}

} // namespace kv::corrtable
