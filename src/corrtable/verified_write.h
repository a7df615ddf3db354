// Table writes that can be trusted and undone, for korvanectl and the windows alike: the
// device's table is read and checked (its check byte against its entries; a block that did
// not come is read again, a table that does not check is read once more), and kept in a
// backup file before the first block is written; a table the device already holds is not
// written again, and what was written is read back. Blocks that read back wrong are written
// once more; when one stays wrong, or a block write fails, the old table (only ever the
// checked copy) is written back and checked, so that a fuse is never left with a table no
// one knows about. A device that stops answering mid-way is not written to again.
//
// The table differences are in table_differences.h, the backup files in backup_files.h.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/notice.h"
#include "app/prompter.h"
#include "app/text_files.h"
#include "corrtable/backup_files.h"
#include "corrtable/table.h"
#include "corrtable/table_differences.h"
#include "corrtable/transfer.h"
#include "link/link.h"

namespace kv::corrtable {

// The phases of a checked write, for a progress line.
enum class WritePhase { Backup, Write, ReadBack, Restore };
const char *PhaseName(WritePhase phase); // "backup", "write", "read-back", "restore"
// Told after each block of a phase: blocks done of the phase's total.
using WriteProgress = std::function<void(WritePhase, int done, int total)>;

// Writes the given blocks of a table (all 28 unless told) and reads them back; blocks that
// read back wrong are written once more and read back again.
struct [[nodiscard]] CheckedWrite {
    std::vector<int> blocks;          // the blocks to write, in order
    TableTransfer write;              // the first pass: write.blocks of them went through
    std::optional<int> failedBlock;   // a block write not answered CR LF (first or second)
    bool silent = false;              // that block's exchange got no byte at all
    std::optional<int> stoppedAfter;  // a stop request ended the pass after this many of them
    std::optional<int> readBackBlock; // the read-back stopped at this block
    std::vector<int> repaired;        // blocks written a second time
    std::optional<EntryDifference> firstDifference; // after the repair (device = read back)
    double writeMs = 0;
    double readBackMs = 0; // the first read-back's

    bool ok() const { return !failedBlock && !stoppedAfter && !readBackBlock && !firstDifference; }
    // The blocks the first pass sent, the one that failed included: those that may differ
    // from what the device held before.
    std::vector<int> BlocksSent() const;
};
// stop, when given, is asked between blocks of the first pass: true ends the pass there (the
// block in flight is finished first). blocks: the blocks to write (empty: all 28); the
// others are taken to hold the table already and are neither written nor read back.
CheckedWrite WriteAndCheck(link::Link &link, const CorrTableData &table,
                           const std::function<bool()> &stop = {},
                           const std::vector<int> &blocks = {}, const WriteProgress &progress = {},
                           bool restoring = false);

// The device's table read for a backup: each block that did not come is asked for once
// more, and a table whose check byte does not match its entries is read once more whole.
struct [[nodiscard]] BackupRead {
    TableCheck check;                 // the last read, against the file's table
    std::vector<int> blocksReadAgain; // blocks that came only at the second asking
    int wholeReads = 0;               // 1, or 2 when the first did not check
    Problem mismatch;                 // the last read's check byte does not match

    bool checked() const { return check.read.complete() && !mismatch; }
};
// stop is asked between blocks: true ends the read there (stopped; nothing was written).
BackupRead ReadBackupTable(link::Link &link, const CorrTableData &table,
                           const std::function<bool()> &stop = {},
                           const WriteProgress &progress = {}, bool *stopped = nullptr);

struct VerifiedWriteOptions {
    // The wanted path of the backup file (see CreateBackupFile: a taken name gets "-2"...);
    // empty: no backup file (the checked old table is still kept to restore).
    std::string backupPath = {};
    bool dryRun = false; // read and compare only
    // Asked before the old table is written back after a failed write (the windows); null:
    // written back without asking (korvanectl).
    Prompter *askBeforeRestore = nullptr;
    // Asked between the blocks of the write: true stops it after the block in flight, and
    // the checked old table is written back without asking (Ctrl+C, a window that closes).
    std::function<bool()> stopRequested = {};
    // Told the backup file once it is written, before the first block is sent.
    std::function<void(const std::string &file)> backupKept = {};
    // Told after each block read or written (a progress line).
    WriteProgress progress = {};
};

enum class VerifiedWriteEnd {
    Written,      // the read-back equals the table
    AlreadyEqual, // the device held the table already: nothing written
    DryRun,       // compared, nothing written
    ReadFailed,   // the device's table could not be read: nothing written
    Unchecked,    // the device's table did not check (twice): nothing written
    BackupFailed, // the backup file could not be written: nothing written
    Stopped,      // a stop request ended the write (or the read before it: write empty);
                  // restore says what became of the old table
    Failed,       // the write failed; restore says what became of the old table
};

struct [[nodiscard]] VerifiedWrite {
    VerifiedWriteEnd end = VerifiedWriteEnd::ReadFailed;
    BackupRead before;      // the device's table before, checked, against the file
    std::string backupFile; // the file written (may differ from the wanted path)
    FileResult backup;
    std::optional<CheckedWrite> write;
    bool deviceSilent = false;    // the write's failing block and a read after it got nothing
    bool restoreDeclined = false; // the user said no to writing the old table back
    std::optional<CheckedWrite> restore;

    bool ok() const {
        return end == VerifiedWriteEnd::Written || end == VerifiedWriteEnd::AlreadyEqual ||
               end == VerifiedWriteEnd::DryRun;
    }
    bool restored() const { return restore && restore->ok(); }
    const CorrTableData &oldTable() const { return before.check.device; }
    // The blocks of the new table written and acknowledged (those that differed from the
    // device's; 0 when it held the table already).
    int BlocksWritten() const;
};

// What the device holds after a checked write, as far as it was checked.
enum class DeviceHolds { OldTable, NewTable, NotKnown };
DeviceHolds DeviceHoldsAfter(const VerifiedWrite &w);
// "the device holds its old table", "... the new table", "... is not known".
std::string DeviceHoldsText(DeviceHolds holds);
// "old", "new", "unknown" (the JSON field).
const char *DeviceHoldsName(DeviceHolds holds);
VerifiedWrite WriteTableVerified(link::Link &link, const CorrTableData &table,
                                 const VerifiedWriteOptions &options);

// "block 6 of 28 (entries 40..47)": blocks counted from 1 wherever the user reads them.
std::string BlockText(int k);
// "entry 17: sent 5, read back 4" (or how the write or read-back stopped).
std::string CheckedWriteFault(const CheckedWrite &w);
// "Done" or what was written again; the failure with the entry, the device's state, the
// backup file and the advice; for a box, the first letter upper-cased.
Notices NoticesOf(const VerifiedWrite &w);
// The same for the windows: each failure line is an error box, its first letter upper-cased.
Notices WindowNoticesOf(const VerifiedWrite &w);
// The question before the old table is written back.
std::string RestoreQuestion(const VerifiedWrite &w);

inline constexpr const char *kCheckCabling = "check the supply and the cabling";
// The quiet the line must keep before the old table is written back: a late reply to the
// failed exchange (one that came after the link's 2 s limit) arrives in it and is dropped,
// never taken for the restore's first reply.
inline constexpr std::chrono::milliseconds kQuietBeforeRestore{500};
inline constexpr std::chrono::milliseconds kQuietLimit{3000};

// The windows' settings key of "Verify Table Writes" (section [init]), off by default.
inline constexpr const char *kVerifyWritesKey = "VerifyWrites";

} // namespace kv::corrtable
