// korvanectl's table transfer against the simulated fuse: the device bytes, the file it
// saves, and the failures that must not leave a half table behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/text_files.h"
#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "program_run.h"
#include "sim_fixture.h"

using kvtest::Has;
using kvtest::SimFixture;
using kvtest::TempDir;
namespace ct = kv::corrtable;

namespace {

kvtest::ProgramResult Ctl(SimFixture &f, std::vector<std::string> args) {
    args.push_back("--ini");
    args.push_back(f.iniFile());
    return kvtest::RunCtl(args);
}

std::string Repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

// Every correction value once where it fits, -127 and 127 included, and a check byte.
ct::CorrTableData Sample() {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(n % 255 - 127);
    t[ct::kCheckIndex] = static_cast<std::int8_t>(ct::TableCrc(t));
    return t;
}

TEST(CtlTable, WriteThenReadRoundTripsThroughTheDevice) {
    SimFixture f;
    const std::string in = f.dir().File("in.epr");
    const ct::CorrTableData t = Sample();
    ASSERT_TRUE(ct::WriteTableFile(in, t));

    auto r = Ctl(f, {"table", "write", in, "--no-verify"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Done")) << r.err;
    const auto device = f.sim().GetTable();
    for (int n = 0; n < ct::kEntries; ++n)
        EXPECT_EQ(device[static_cast<std::size_t>(n)], ct::DeviceByte(t, n)) << n;
    const auto frames = f.sim().Frames();
    ASSERT_EQ(frames.size(), 28u);
    EXPECT_EQ(frames[0][0], 0x06);
    EXPECT_EQ(frames[27][1], 0xF8);

    // Minus zero on the device reads back as 0 (entry 127 is 0 in the sample).
    auto raw = f.sim().GetTable();
    raw[127] = 0x80;
    f.sim().SetTable(raw);
    const std::string out = f.dir().File("out.epr");
    r = Ctl(f, {"table", "read", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(t[127], 0);
    const ct::CorrTableData expected = t;
    EXPECT_EQ(TempDir::Read(out), ct::TableFileText(expected));

    // An existing file is replaced only with --yes.
    r = Ctl(f, {"table", "read", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "confirmation refused: Overwrite file " + out + "?")) << r.err;
    r = Ctl(f, {"table", "read", out, "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(CtlTable, AReadThatStopsEarlySavesNothing) {
    SimFixture f;
    f.sim().SetTableSilentFrom(5);
    const std::string out = f.dir().File("out.epr");
    auto r = Ctl(f, {"table", "read", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Receive error!")) << r.err;
    EXPECT_TRUE(Has(r.err, "the table read stopped at block 6 of 28; nothing saved")) << r.err;
    EXPECT_FALSE(kv::FileExists(out));
    EXPECT_EQ(f.sim().FrameCount(), 6u);
}

TEST(CtlTable, WriteStopsAtAFailingBlockAndRefusesTablesTheEditorWouldRefuse) {
    SimFixture f;
    const std::string in = f.dir().File("in.epr");
    ASSERT_TRUE(ct::WriteTableFile(in, Sample()));
    f.sim().SetTableBlockReply(3, std::vector<std::uint8_t>{0x45, 0x52});
    auto r = Ctl(f, {"table", "write", in, "--no-verify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: Error on write!")) << r.err;
    EXPECT_FALSE(Has(r.err, "Done")) << r.err;
    EXPECT_EQ(f.sim().FrameCount(), 4u); // blocks 4..27 not sent

    // Files whose table the editor's Write would not take back send nothing.
    f.sim().ClearFrames();
    struct Case {
        std::string content;
        const char *message;
    } cases[] = {
        {"0 0 0 0 0 -128 ", "Error: Invalid value 5:-128! (-127..127)"},
        {"1 2 x 4 ", "Error: 'x' is not a valid integer value"},
        {Repeat("1 ", 225), "Error: Data too long!"},
    };
    for (const auto &c : cases) {
        TempDir::Write(in, c.content);
        r = Ctl(f, {"table", "write", in});
        EXPECT_EQ(r.exitCode, 1) << c.message;
        EXPECT_TRUE(Has(r.err, c.message)) << r.err;
    }
    r = Ctl(f, {"table", "write", f.dir().File("missing.epr")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: Cannot read file")) << r.err;
    EXPECT_EQ(f.sim().FrameCount(), 0u);
}

TEST(CtlTable, DamagedTablesAreRefusedOrReportedWithExitStatus1) {
    SimFixture f;
    const std::string in = f.dir().File("in.epr");
    ct::CorrTableData badCheck = Sample();
    badCheck[ct::kCheckIndex] = static_cast<std::int8_t>(badCheck[ct::kCheckIndex] + 1);
    const std::string badCheckText = ct::TableFileText(badCheck);
    const std::string crcText = "the check byte (entry 223) is ";

    // A cut, empty or mismatched file never reaches the device without --force.
    struct WriteCase {
        std::string content;
        std::string message;
    } writes[] = {
        {Repeat("1 ", 60), "it holds 60 values, not 224; not written (--force writes it)"},
        {"", "it holds 0 values, not 224"},
        {Repeat("1 ", 223), "it holds 223 values, not 224"},
        {badCheckText, crcText},
    };
    for (const auto &c : writes) {
        TempDir::Write(in, c.content);
        auto r = Ctl(f, {"table", "write", in});
        EXPECT_EQ(r.exitCode, 1) << c.message;
        EXPECT_TRUE(Has(r.err, in + ": " + c.message)) << r.err;
    }
    EXPECT_EQ(f.sim().FrameCount(), 0u);
    auto r = Ctl(f, {"table", "write", in, "--force", "--no-verify"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Warning: " + in + ": " + crcText)) << r.err;
    EXPECT_EQ(f.sim().FrameCount(0x06), 28u);

    // The device now holds the mismatched table: a read says so and keeps an existing file.
    const std::string out = f.dir().File("out.epr");
    TempDir::Write(out, "kept");
    struct ReadCase {
        std::vector<std::string> extra;
        std::string fileAfter;
    } reads[] = {
        {{"--yes"}, "kept"},
        {{"--yes", "--force"}, badCheckText},
    };
    for (const auto &c : reads) {
        std::vector<std::string> args{"table", "read", out};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        r = Ctl(f, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Has(r.err, "the device's table is damaged: " + crcText)) << r.err;
        EXPECT_EQ(TempDir::Read(out), c.fileAfter);
    }
    // A new file is written, so that the damage can be looked at.
    const std::string fresh = f.dir().File("fresh.epr");
    r = Ctl(f, {"table", "read", fresh});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(TempDir::Read(fresh), badCheckText);

    // table crc: the exit status says whether the check byte matches.
    r = Ctl(f, {"table", "crc", fresh});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "differs")) << r.out;
    ASSERT_TRUE(ct::WriteTableFile(in, Sample()));
    r = Ctl(f, {"table", "crc", in});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(r.out, "matches")) << r.out;
}

} // namespace
