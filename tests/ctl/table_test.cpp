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

using kvtest::SimFixture;
using kvtest::TempDir;
namespace ct = kv::corrtable;

namespace {

bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

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

    auto r = Ctl(f, {"table", "write", in});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Done")) << r.err;
    const auto device = f.sim().GetTable();
    for (int n = 0; n < ct::kEntries; ++n)
        EXPECT_EQ(device[static_cast<std::size_t>(n)], ct::DeviceByte(t, n)) << n;
    const auto frames = f.sim().Frames();
    ASSERT_EQ(frames.size(), 28u);
    EXPECT_EQ(frames[0][0], 0x06);
    EXPECT_EQ(frames[27][1], 0xF8);

    // Minus zero on the device reads back as 0.
    auto raw = f.sim().GetTable();
    raw[3] = 0x80;
    f.sim().SetTable(raw);
    const std::string out = f.dir().File("out.epr");
    r = Ctl(f, {"table", "read", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ct::CorrTableData expected = t;
    expected[3] = 0;
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
    EXPECT_TRUE(Has(r.err, "the table read stopped at block 5 of 28; nothing saved")) << r.err;
    EXPECT_FALSE(kv::FileExists(out));
    EXPECT_EQ(f.sim().FrameCount(), 6u);
}

TEST(CtlTable, WriteStopsAtAFailingBlockAndRefusesTablesTheEditorWouldRefuse) {
    SimFixture f;
    const std::string in = f.dir().File("in.epr");
    ASSERT_TRUE(ct::WriteTableFile(in, Sample()));
    f.sim().SetTableBlockReply(3, std::vector<std::uint8_t>{0x45, 0x52});
    auto r = Ctl(f, {"table", "write", in});
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

    // A check byte that does not match the table is sent as it is (as the window does),
    // with a warning.
    ct::CorrTableData t = Sample();
    t[ct::kCheckIndex] = static_cast<std::int8_t>(t[ct::kCheckIndex] + 1);
    ASSERT_TRUE(ct::WriteTableFile(in, t));
    f.sim().SetTableBlockReply(3, std::nullopt);
    r = Ctl(f, {"table", "write", in});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Warning: the check byte in " + in)) << r.err;
}

} // namespace
