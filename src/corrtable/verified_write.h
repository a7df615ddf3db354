// Table writes that can be trusted and undone: the device's table is read and kept in a
// backup file before the first block is written, a table the device already holds is not
// written again, and what was written is read back. Blocks that read back wrong are written
// once more; when one stays wrong, or a block write fails, the old table is written back and
// checked, so that a fuse is never left with a table no one knows about.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/notice.h"
#include "app/program_path.h"
#include "app/prompter.h"
#include "app/text_files.h"
#include "corrtable/table.h"
#include "corrtable/transfer.h"
#include "link/link.h"

namespace kv::corrtable {

// An entry (0..223) that the device holds otherwise than the file.
struct EntryDifference {
    int index = 0;
    std::int8_t device = 0;
    std::int8_t file = 0;

    bool operator==(const EntryDifference &) const = default;
};

// The entries 0..223 where the device's table and the file's differ, in order.
std::vector<EntryDifference> TableDifferences(const CorrTableData &device,
                                              const CorrTableData &file);
// "17: -3 -> 5" (device -> file).
std::string DifferenceLine(const EntryDifference &d);
// "the device's table could not be read (stopped at block 5 of 28)".
std::string TableReadStoppedText(int blocks);
// "the read-back stopped at block 5".
std::string ReadBackStoppedText(int block);
// "entry 17: sent 5, read back 4" (file -> sent, device -> read back).
std::string SentAndReadBack(const EntryDifference &d);
// The first `limit` differences as lines, and "... and N more" when there are more.
std::vector<std::string> DifferenceLines(const std::vector<EntryDifference> &differences,
                                         std::size_t limit);

// The backup folder inside the program's data folder (tables and parameters).
std::string DefaultBackupDir(const std::string &dataDir);
// The name of a backup file: the unit when one is named (not empty), else the port's last
// path part,
// and the UTC time: "ttyUSB0-20261208-131500Z.epr" (ext ".ini" for parameters). Characters
// other than letters, digits, '.', '_' and '-' become '_', so that any unit or port names a
// file in the folder.
std::string BackupFileName(std::string_view unit, std::string_view port,
                           std::chrono::system_clock::time_point when,
                           std::string_view ext = ".epr");
// A path in dir for name that names no existing file ("-2", "-3", ... before the extension
// when needed: two writes in one second keep both backups). The folder is made when missing.
std::string FreeBackupPath(const std::string &dir, const std::string &name);

// Writes a whole table and reads it all back; blocks that read back wrong are written once
// more and read back again.
struct CheckedWrite {
    TableTransfer write;              // the first pass over the 28 blocks
    std::optional<int> failedBlock;   // a block write not answered CR LF (first or second)
    std::optional<int> readBackBlock; // the read-back stopped at this block
    std::vector<int> repaired;        // blocks written a second time
    std::optional<EntryDifference> firstDifference; // after the repair (device = read back)
    double writeMs = 0;
    double readBackMs = 0; // the first read-back's

    bool ok() const { return !failedBlock && !readBackBlock && !firstDifference; }
};
CheckedWrite WriteAndCheck(link::Link &link, const CorrTableData &table);

// Reads the device's whole table back and compares it with table.
struct TableCheck {
    TableTransfer read;
    CorrTableData device{};
    std::vector<EntryDifference> differences;
    double readMs = 0;

    bool ok() const { return read.complete() && differences.empty(); }
};
TableCheck CheckDeviceTable(link::Link &link, const CorrTableData &table);

struct VerifiedWriteOptions {
    std::string backupPath; // empty: no backup file (the old table is still kept to restore)
    bool dryRun = false;    // read and compare only
};

enum class VerifiedWriteEnd {
    Written,      // the read-back equals the table
    AlreadyEqual, // the device held the table already: nothing written
    DryRun,       // compared, nothing written
    ReadFailed,   // the device's table could not be read: nothing written
    BackupFailed, // the backup file could not be written: nothing written
    Failed,       // the write failed; restore says what became of the old table
};

struct VerifiedWrite {
    VerifiedWriteEnd end = VerifiedWriteEnd::ReadFailed;
    TableCheck before; // the device's table before, against the file
    std::string backupFile;
    FileResult backup;
    std::optional<CheckedWrite> write;
    std::optional<CheckedWrite> restore;

    bool ok() const {
        return end == VerifiedWriteEnd::Written || end == VerifiedWriteEnd::AlreadyEqual ||
               end == VerifiedWriteEnd::DryRun;
    }
    bool restored() const { return restore && restore->ok(); }
};
VerifiedWrite WriteTableVerified(link::Link &link, const CorrTableData &table,
                                 const VerifiedWriteOptions &options);

// "entry 17: sent 5, read back 4" (or how the write or read-back stopped).
std::string CheckedWriteFault(const CheckedWrite &w);
// "Done" or what was written again; the failure with the entry, the device's state, the
// backup file and the advice.
Notices NoticesOf(const VerifiedWrite &w);

inline constexpr const char *kCheckCabling = "check the supply and the cabling";

// The windows' settings key of "Verify Table Writes" (section [init]), off by default.
inline constexpr const char *kVerifyWritesKey = "VerifyWrites";
inline constexpr const char *kDeviceTableMatches = "Device table matches";

// "Verify Correction Table": "Device table matches", or an error box with the number of
// differing entries and the first few (device -> editor).
Notices NoticesOf(const TableCheck &check);

// Where the windows keep the device's table before a write with "Verify Table Writes" on: a
// new file in the backup folder, named by the port of the settings file and the time.
std::string WindowBackupPath(const ProgramPaths &paths);

// The windows' Write of the table (the editor's, the calculation's). Without a backup path
// it is the plain write with its "Done" or "Error on write!". With one ("Verify Table
// Writes"), the device's table is read and saved there first (nothing is written when that
// fails), the write's box is shown through show, and the table is read back: a difference
// gives an error box with the first differing entry that offers to write the backup back.
// The extra exchanges end as soon as their bytes are in; the write itself keeps the
// windows' timing. Returns what is left to show; *written, when given, gets the write's own
// outcome when the write was made (for the unit history).
Notices WriteTableFromWindow(link::Link &link, Prompter &prompter, const CorrTableData &table,
                             const std::optional<std::string> &backupPath,
                             const std::function<void(const Notices &)> &show,
                             std::optional<TableTransfer> *written = nullptr);

} // namespace kv::corrtable
