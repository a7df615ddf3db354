#include "corrtable/verified_write.h"

#include <ctime>
#include <filesystem>

#include "app/comm_state.h"
#include "app/format.h"
#include "app/program_path.h"
#include "app/settings_file.h"
#include "corrtable/table_file.h"

namespace kv::corrtable {

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Reads the blocks back into device; the block the read stopped at, if it did.
std::optional<int> ReadBlocks(link::Link &link, const std::vector<int> &blocks,
                              CorrTableData &device) {
    for (int k : blocks)
        if (!ReadBlock(link, k, device, nullptr, true))
            return k;
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

} // namespace

std::vector<EntryDifference> TableDifferences(const CorrTableData &device,
                                              const CorrTableData &file) {
    std::vector<EntryDifference> out;
    for (int n = 0; n < kEntries; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (device[i] != file[i])
            out.push_back({n, device[i], file[i]});
    }
    return out;
}

std::string DifferenceLine(const EntryDifference &d) {
    return Format("%d: %d -> %d", {d.index, static_cast<int>(d.device), static_cast<int>(d.file)});
}

std::string TableReadStoppedText(int blocks) {
    return Format("the device's table could not be read (stopped at block %d of %d)",
                  {blocks, kBlocks});
}

std::string ReadBackStoppedText(int block) {
    return Format("the read-back stopped at block %d", {block});
}

std::string SentAndReadBack(const EntryDifference &d) {
    return Format("entry %d: sent %d, read back %d",
                  {d.index, static_cast<int>(d.file), static_cast<int>(d.device)});
}

std::vector<std::string> DifferenceLines(const std::vector<EntryDifference> &differences,
                                         std::size_t limit) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < differences.size() && i < limit; ++i)
        lines.push_back(DifferenceLine(differences[i]));
    if (differences.size() > limit)
        lines.push_back(Format("... and %d more", {static_cast<int>(differences.size() - limit)}));
    return lines;
}

std::string DefaultBackupDir(const std::string &dataDir) {
    return dataDir + "backups" + PathSeparator();
}

std::string BackupFileName(std::string_view unit, std::string_view port,
                           std::chrono::system_clock::time_point when, std::string_view ext) {
    std::string base;
    if (!unit.empty()) {
        base = unit;
    } else {
        // "/dev/ttyUSB0" -> "ttyUSB0", "\\.\COM12" -> "COM12".
        const auto cut = port.find_last_of("/\\");
        base = std::string(cut == std::string_view::npos ? port : port.substr(cut + 1));
    }
    if (base.empty())
        base = "table";
    for (char &c : base) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%SZ", &utc);
    return base + "-" + stamp + std::string(ext);
}

std::string FreeBackupPath(const std::string &dir, const std::string &name) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec); // a failure shows in the backup's write
    std::string folder = dir;
    if (!folder.empty() && folder.back() != '/' && folder.back() != PathSeparator())
        folder += PathSeparator();
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string path = folder + name;
    for (int i = 2; std::filesystem::exists(path, ec); ++i)
        path = folder + stem + "-" + std::to_string(i) + ext;
    return path;
}

CheckedWrite WriteAndCheck(link::Link &link, const CorrTableData &table) {
    CheckedWrite w;
    auto start = Clock::now();
    w.write = WriteCorrectionTable(link, table, true);
    w.writeMs = MsSince(start);
    if (!w.write.complete()) {
        w.failedBlock = w.write.blocks;
        return w;
    }
    CorrTableData device{};
    start = Clock::now();
    w.readBackBlock = ReadBlocks(link, AllBlocks(), device);
    w.readBackMs = MsSince(start);
    if (w.readBackBlock)
        return w;
    auto differences = TableDifferences(device, table);
    if (differences.empty())
        return w;
    // A block that was stored wrong once (line noise, a dip of the supply) gets one more
    // write; one that is wrong again is not tried a third time.
    w.repaired = BlocksOf(differences);
    for (int k : w.repaired)
        if (!WriteBlock(link, table, k, nullptr, true)) {
            w.failedBlock = k;
            return w;
        }
    w.readBackBlock = ReadBlocks(link, w.repaired, device);
    if (w.readBackBlock)
        return w;
    differences = TableDifferences(device, table);
    if (!differences.empty())
        w.firstDifference = differences.front();
    return w;
}

TableCheck CheckDeviceTable(link::Link &link, const CorrTableData &table) {
    TableCheck c;
    const auto start = Clock::now();
    c.read = ReadCorrectionTable(link, c.device, true);
    c.readMs = MsSince(start);
    if (c.read.complete())
        c.differences = TableDifferences(c.device, table);
    return c;
}

VerifiedWrite WriteTableVerified(link::Link &link, const CorrTableData &table,
                                 const VerifiedWriteOptions &options) {
    VerifiedWrite v;
    v.before = CheckDeviceTable(link, table);
    if (!v.before.read.complete()) {
        v.end = VerifiedWriteEnd::ReadFailed;
        return v;
    }
    if (v.before.differences.empty()) {
        v.end = VerifiedWriteEnd::AlreadyEqual;
        return v;
    }
    if (options.dryRun) {
        v.end = VerifiedWriteEnd::DryRun;
        return v;
    }
    if (!options.backupPath.empty()) {
        v.backupFile = options.backupPath;
        v.backup = WriteTableFile(v.backupFile, v.before.device);
        if (!v.backup) {
            v.end = VerifiedWriteEnd::BackupFailed;
            return v;
        }
    }
    v.write = WriteAndCheck(link, table);
    if (v.write->ok()) {
        v.end = VerifiedWriteEnd::Written;
        return v;
    }
    v.end = VerifiedWriteEnd::Failed;
    v.restore = WriteAndCheck(link, v.before.device);
    return v;
}

std::string CheckedWriteFault(const CheckedWrite &w) {
    if (w.failedBlock)
        return Format("block %d (entries %d..%d) was not acknowledged (%s)",
                      {*w.failedBlock, *w.failedBlock * kBlockSize,
                       *w.failedBlock * kBlockSize + kBlockSize - 1, kWriteError});
    if (w.readBackBlock)
        return ReadBackStoppedText(*w.readBackBlock);
    if (w.firstDifference)
        return SentAndReadBack(*w.firstDifference);
    return {};
}

Notices NoticesOf(const VerifiedWrite &v) {
    using K = Notice::Kind;
    switch (v.end) {
    case VerifiedWriteEnd::Written: {
        Notices n;
        for (int k : v.write->repaired)
            n.push_back({K::Report, Format("block %d read back wrong; written again and read "
                                           "back right",
                                           {k})});
        n.push_back({K::InfoBox, kWriteDone});
        return n;
    }
    case VerifiedWriteEnd::AlreadyEqual:
        return {{K::Report, "the device already holds this table; nothing written"}};
    case VerifiedWriteEnd::DryRun:
        return {};
    case VerifiedWriteEnd::ReadFailed:
        return {{K::Problem, TableReadStoppedText(v.before.read.blocks) + "; nothing written"}};
    case VerifiedWriteEnd::BackupFailed:
        return {
            {K::Problem, FileWriteErrorText(v.backupFile, v.backup.error) + "; nothing written"}};
    case VerifiedWriteEnd::Failed:
        break;
    }
    std::string state;
    if (v.restored())
        state = "the device holds its old table again (written back and read back right)";
    else
        state = "the device does NOT hold its old table: writing it back failed too (" +
                CheckedWriteFault(*v.restore) + ")";
    const std::string backup = v.backupFile.empty() ? "no backup file" : "backup: " + v.backupFile;
    return {{K::Problem, "table write failed: " + CheckedWriteFault(*v.write) + "; " + state +
                             "; " + backup + "; " + kCheckCabling}};
}

Notices NoticesOf(const TableCheck &c) {
    using K = Notice::Kind;
    if (!c.read.complete())
        return {{K::ErrorBox, TableReadStoppedText(c.read.blocks)}};
    if (c.differences.empty())
        return {{K::InfoBox, kDeviceTableMatches}};
    std::string text = Format("Device table differs in %d entries (device -> editor):",
                              {static_cast<int>(c.differences.size())});
    for (const auto &line : DifferenceLines(c.differences, 5))
        text += "\n" + line;
    return {{K::ErrorBox, text}};
}

std::string WindowBackupPath(const ProgramPaths &paths) {
    const PortSetting port = ReadPortSetting(IniFile(paths.IniFileName()));
    return FreeBackupPath(DefaultBackupDir(paths.DataDir()),
                          BackupFileName({}, port.port, std::chrono::system_clock::now()));
}

Notices WriteTableFromWindow(link::Link &link, Prompter &prompter, const CorrTableData &table,
                             const std::optional<std::string> &backupPath,
                             const std::function<void(const Notices &)> &show,
                             std::optional<TableTransfer> *written) {
    using K = Notice::Kind;
    const auto write = [&] {
        const TableTransfer t = WriteCorrectionTable(link, table);
        if (written)
            *written = t;
        return NoticesOf(t);
    };
    if (!backupPath)
        return write();
    CorrTableData old{};
    const TableTransfer before = ReadCorrectionTable(link, old, true);
    if (!before.complete())
        return {{K::ErrorBox, TableReadStoppedText(before.blocks) + "; nothing written"}};
    if (FileResult r = WriteTableFile(*backupPath, old); !r)
        return {{K::ErrorBox, FileWriteErrorText(*backupPath, r.error) + "; nothing written"}};
    show(write());

    const TableCheck after = CheckDeviceTable(link, table);
    if (after.ok())
        return {{K::Report, "Table read back right; backup: " + *backupPath}};
    const std::string fault = after.read.complete() ? SentAndReadBack(after.differences.front())
                                                    : ReadBackStoppedText(after.read.blocks);
    const int answer =
        prompter.Message("Error",
                         "The device's table differs from the one written (" + fault +
                             ").\nWrite the backup " + *backupPath + " back?",
                         MsgIcon::Error, MsgButtons::YesNo);
    if (answer != IdYes)
        return {{K::Problem, "Table write failed (" + fault + "); backup: " + *backupPath}};
    const CheckedWrite restore = WriteAndCheck(link, old);
    if (restore.ok())
        return {{K::InfoBox, "The device holds its old table again (backup " + *backupPath +
                                 " written back and read back right)"}};
    return {{K::ErrorBox, "Writing the backup back failed (" + CheckedWriteFault(restore) +
                              "); backup: " + *backupPath + "; " + kCheckCabling}};
}

} // namespace kv::corrtable
