// korvanectl's checked table writes, verify and diff against the simulated fuse, with the
// faults of a real line: blocks stored wrong once or always, blocks acknowledged and not
// stored, a block write that fails mid-way. What the device holds afterwards is read off the
// simulator; what was sent, off the frames it received.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "program_run.h"
#include "sim_fixture.h"
#include "sim_table.h"

using kvtest::Has;
using kvtest::SimFixture;
using kvtest::TempDir;
using Times = kv::sim::Faults::Times;
namespace ct = kv::corrtable;

namespace {

constexpr std::uint8_t kWriteCode = 0x06;
constexpr std::uint8_t kReadCode = 0x07;

ct::CorrTableData WithCrc(ct::CorrTableData t) {
    t[ct::kCheckIndex] = static_cast<std::int8_t>(ct::TableCrc(t));
    return t;
}

// The table a test writes, and the different one the device holds before.
ct::CorrTableData NewTable() {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(n % 255 - 127);
    return WithCrc(t);
}

ct::CorrTableData OldTable() {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(n % 7 - 3);
    return WithCrc(t);
}

struct WriteRun {
    SimFixture f;
    std::string file = f.dir().File("new.epr");
    std::string backups = f.dir().File("backups");
    std::string db = f.dir().File("history.db");

    WriteRun() {
        EXPECT_TRUE(ct::WriteTableFile(file, NewTable()));
        f.sim().SetTable(kvtest::DeviceBytes(OldTable()));
    }
    kvtest::ProgramResult Ctl(std::vector<std::string> args) {
        args.insert(args.end(), {"--ini", f.iniFile()});
        if (args[1] == "write")
            args.insert(args.end(), {"--backup-dir", backups, "--db", db});
        return kvtest::RunCtl(args);
    }
    std::vector<std::string> BackupFiles() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(backups, ec))
            out.push_back(e.path().string());
        return out;
    }
};

// The history's records, one line each: "table-write failed verified=false backup before".
std::vector<std::string> Records(const std::string &db) {
    const auto res = kvtest::RunCtl({"history", "--db", db, "--json"});
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = res.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = res.out.substr(at, end - at);
        const auto field = [&](const std::string &key) {
            const auto k = line.find("\"" + key + "\":");
            if (k == std::string::npos)
                return std::string("?");
            const auto v = k + key.size() + 3;
            return line.substr(v, line.find_first_of(",}", v) - v);
        };
        std::string summary = field("operation");
        summary = summary.substr(1, summary.size() - 2);
        summary += field("ok") == "true" ? " ok" : " failed";
        summary += " verified=" + field("verified");
        if (line.find("\"backup\":\"\"") == std::string::npos &&
            line.find("\"operation\":\"table-write\"") != std::string::npos)
            summary += " backup";
        if (line.find("\"before\":") != std::string::npos &&
            line.find("\"before\":null") == std::string::npos)
            summary += " before";
        out.push_back(summary);
    }
    return out;
}

// Entry 40 is the first of block 5: its sent and read-back values in the failure message.
std::string Entry40Message(const ct::CorrTableData &sent, int readBack) {
    return "entry 40: sent " + std::to_string(sent[40]) + ", read back " + std::to_string(readBack);
}

// Entry 40 of t as the device reads it back with bit 0 of its byte flipped.
int Flipped40(const ct::CorrTableData &t) {
    return ct::FromSignMagnitude(static_cast<std::uint8_t>(ct::DeviceByte(t, 40) ^ 0x01));
}

TEST(CtlTableVerified, WriteDrills) {
    const auto oldBytes = kvtest::DeviceBytes(OldTable());
    const auto newBytes = kvtest::DeviceBytes(NewTable());
    auto oldCorrupted = oldBytes;
    oldCorrupted[40] ^= 0x01;
    // Blocks 0..9 of the new table, the rest old: a write cut off after 10 blocks.
    auto tenNew = oldBytes;
    std::copy(newBytes.begin(), newBytes.begin() + 80, tenNew.begin());
    const std::string written = "table-write ok verified=true backup before";
    const std::string failed = "table-write failed verified=false backup before";
    const std::string restored = "table-restore ok verified=true";
    struct Drill {
        const char *fault;
        std::function<void(kv::sim::FuseSim &)> set;
        int exit;
        kv::sim::Table deviceAfter;
        std::size_t writeFrames;
        std::vector<std::string> messages; // on standard output or error
        std::vector<std::string> records;
        bool backup = true;
    } drills[] = {
        {"none", [](kv::sim::FuseSim &) {}, 0, newBytes, 28, {"Done"}, {written}},
        {"block 5 stored wrong once",
         [](kv::sim::FuseSim &s) { s.SetCorruptBlock(5, Times::Once); },
         0,
         newBytes,
         29,
         {"block 6 of 28 (entries 40..47) read back wrong; written again and read back right",
          "Done"},
         {written}},
        {"block 5 acknowledged, never stored",
         [](kv::sim::FuseSim &s) { s.SetIgnoreBlock(5, Times::Always); },
         1,
         oldBytes,
         29 + 28,
         {Entry40Message(NewTable(), OldTable()[40]),
          "the device holds its old table again (written back and read back right)",
          "check the supply and the cabling"},
         {failed, restored}},
        {"block 5 write fails once, mid-way",
         [](kv::sim::FuseSim &s) { s.SetFailBlock(5, Times::Once); },
         1,
         oldBytes,
         6 + 6, // the restore writes back the 6 blocks sent
         {"block 6 of 28 (entries 40..47) was not acknowledged (Error on write!)",
          "the device holds its old table again"},
         {failed, restored}},
        {"block 5 always stored wrong",
         [](kv::sim::FuseSim &s) { s.SetCorruptBlock(5, Times::Always); },
         1,
         oldCorrupted,
         29 + 29,
         {Entry40Message(NewTable(), Flipped40(NewTable())),
          "the device does NOT hold its old table: writing it back failed too (" +
              Entry40Message(OldTable(), Flipped40(OldTable())) + ")"},
         {failed, "table-restore failed verified=false"}},
        // A bit error in one reply of the backup read: the table read again checks, and only
        // that copy is kept and written back.
        {"bit error in one backup read reply, then block 5 answered ER",
         [](kv::sim::FuseSim &s) {
             s.SetNoisyReadBlock(3, Times::Once);
             s.SetFailBlock(5, Times::Once);
         },
         1,
         oldBytes,
         6 + 6, // the restore writes back the 6 blocks sent
         {"the device holds its old table again"},
         {failed, restored}},
        {"bit error in every read of block 3",
         [](kv::sim::FuseSim &s) { s.SetNoisyReadBlock(3, Times::Always); },
         1,
         oldBytes,
         0,
         {"the device's table does not check, read twice: the check byte (entry 223) is ",
          "no backup kept and nothing written"},
         {"table-write failed verified=null"},
         false},
        // The reply comes after the link's limit: it is waited out before the old table goes
        // back, never taken for the restore's first reply.
        {"block 5 answered 2.1 s late",
         [](kv::sim::FuseSim &s) { s.SetLateWriteBlock(5, 2100); },
         1,
         oldBytes,
         6 + 6, // the restore writes back the 6 blocks sent
         {"block 6 of 28 (entries 40..47) got no reply", "the device holds its old table again"},
         {failed, restored}},
        {"unplugged after 10 blocks",
         [](kv::sim::FuseSim &s) { s.HangUpAfterFrames(28 + 10); },
         1,
         tenNew,
         11,
         {"block 11 of 28 (entries 80..87) got no reply",
          "the device does not answer: nothing could be read back and nothing was written back",
          "blocks 1..10 were acknowledged"},
         {failed}},
    };
    for (const Drill &d : drills) {
        SCOPED_TRACE(d.fault);
        WriteRun r;
        d.set(r.f.sim());
        const auto res = r.Ctl({"table", "write", r.file});
        EXPECT_EQ(res.exitCode, d.exit) << res.err;
        EXPECT_EQ(r.f.sim().GetTable(), d.deviceAfter);
        EXPECT_EQ(r.f.sim().FrameCount(kWriteCode), d.writeFrames);
        for (const auto &part : d.messages)
            EXPECT_TRUE(Has(res.err + res.out, part)) << res.err << res.out;
        EXPECT_EQ(Records(r.db), d.records);
        // The old table is kept, checked, before anything is written, and named in a failure.
        const auto backups = r.BackupFiles();
        ASSERT_EQ(backups.size(), d.backup ? 1u : 0u);
        if (!d.backup)
            continue;
        EXPECT_EQ(TempDir::Read(backups[0]), ct::TableFileText(OldTable()));
        EXPECT_TRUE(Has(res.out, "backup: " + backups[0])) << res.out;
        if (d.exit != 0) {
            EXPECT_TRUE(Has(res.err, "backup: " + backups[0])) << res.err;
        }
    }
}

TEST(CtlTableVerified, ReRunsAndDryRunsSendNoWriteFrame) {
    WriteRun r;
    auto res = r.Ctl({"table", "write", "--dry-run", r.file});
    EXPECT_EQ(res.exitCode, 0) << res.err;
    EXPECT_TRUE(Has(res.out, "1: -2 -> -126\n")) << res.out;
    EXPECT_TRUE(Has(res.out, "entries differ; dry run, nothing written")) << res.out;
    EXPECT_EQ(r.f.sim().FrameCount(kWriteCode), 0u);
    EXPECT_EQ(r.f.sim().GetTable(), kvtest::DeviceBytes(OldTable()));
    EXPECT_TRUE(r.BackupFiles().empty());

    res = r.Ctl({"table", "write", r.file, "--verbose"});
    ASSERT_EQ(res.exitCode, 0) << res.err;
    for (const char *line : {"table read: 28 blocks in ", "table write: 28 blocks in ",
                             "table read-back: 28 blocks in "})
        EXPECT_TRUE(Has(res.err, line)) << res.err;

    r.f.sim().ClearFrames();
    res = r.Ctl({"table", "write", r.file});
    EXPECT_EQ(res.exitCode, 0) << res.err;
    EXPECT_TRUE(Has(res.out, "the device already holds this table; nothing written")) << res.out;
    EXPECT_EQ(r.f.sim().FrameCount(kWriteCode), 0u);
    EXPECT_EQ(r.f.sim().FrameCount(kReadCode), 28u);
    EXPECT_EQ(r.BackupFiles().size(), 1u); // the first write's only

    // The plain write sends its 28 blocks without reading anything.
    r.f.sim().ClearFrames();
    res = r.Ctl({"table", "write", r.file, "--no-verify"});
    EXPECT_EQ(res.exitCode, 0) << res.err;
    EXPECT_EQ(r.f.sim().FrameCount(), 28u);
    EXPECT_EQ(r.f.sim().FrameCount(kWriteCode), 28u);
}

TEST(CtlTableVerified, WithoutABackupFileTheOldTableIsStillRestored) {
    WriteRun r;
    r.f.sim().SetIgnoreBlock(27, Times::Always);
    const auto res = r.Ctl({"table", "write", r.file, "--no-backup"});
    EXPECT_EQ(res.exitCode, 1);
    EXPECT_TRUE(Has(res.err, "the device holds its old table again")) << res.err;
    EXPECT_TRUE(Has(res.err, "; no backup file; check the supply")) << res.err;
    EXPECT_EQ(r.f.sim().GetTable(), kvtest::DeviceBytes(OldTable()));
    EXPECT_TRUE(r.BackupFiles().empty());
}

TEST(CtlTableVerified, VerifyAndDiffCompareTheDeviceWithAFile) {
    WriteRun r;
    // Entries 0..29 differ: verify lists 20 and the count, diff lists all.
    ct::CorrTableData near = OldTable();
    for (int n = 0; n < 30; ++n)
        near[static_cast<std::size_t>(n)] =
            static_cast<std::int8_t>(near[static_cast<std::size_t>(n)] + 1);
    const std::string nearFile = r.f.dir().File("near.epr");
    ASSERT_TRUE(ct::WriteTableFile(nearFile, near));
    const std::string oldFile = r.f.dir().File("old.epr");
    ASSERT_TRUE(ct::WriteTableFile(oldFile, OldTable()));

    struct Case {
        std::vector<std::string> args;
        int exit;
        std::size_t lines;
        std::string last;
    } cases[] = {
        {{"table", "verify", oldFile}, 0, 1, "the device's table equals " + oldFile},
        {{"table", "diff", oldFile}, 0, 1, "the device's table equals " + oldFile},
        {{"table", "verify", nearFile}, 1, 22, "30 entries differ (device -> " + nearFile + ")"},
        {{"table", "diff", nearFile}, 1, 31, "30 entries differ (device -> " + nearFile + ")"},
    };
    for (const Case &c : cases) {
        const auto res = r.Ctl(c.args);
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        EXPECT_EQ(res.exitCode, c.exit) << res.err;
        EXPECT_EQ(std::count(res.out.begin(), res.out.end(), '\n'), static_cast<long>(c.lines))
            << res.out;
        EXPECT_TRUE(Has(res.out, c.last + "\n")) << res.out;
        if (c.exit) {
            EXPECT_TRUE(Has(res.out, "0: -3 -> -2\n")) << res.out;
        }
    }
    EXPECT_EQ(r.f.sim().FrameCount(kWriteCode), 0u);
}

} // namespace
