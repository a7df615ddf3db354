// The table transfer against the simulated fuse over a real pseudo-terminal: the frames the
// device receives, a write then read round trip, and devices that fail part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <vector>

#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "fake_host.h"
#include "link/link.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"

using namespace kv::corrtable;
using kv::sim::Frame;

namespace {

Frame F(std::initializer_list<std::uint8_t> b) {
    Frame f{};
    std::copy(b.begin(), b.end(), f.begin());
    return f;
}

// Entries with negative values, both ends of the range and a raw check byte.
CorrTableData Sample() {
    CorrTableData t{};
    for (int n = 0; n < kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 41) % 255 - 127);
    t[0] = -1;
    t[1] = 127;
    t[2] = -127;
    t[3] = 0;
    t[223] = -56; // 0xC8, sent as it is
    return t;
}

class Transfer : public ::testing::Test {
protected:
    static kv::link::Timing Fast() {
        kv::link::Timing t;
        t.poll = std::chrono::milliseconds(20);
        t.gap = std::chrono::milliseconds(10);
        t.limit = std::chrono::milliseconds(600);
        return t;
    }
    void SetUp() override {
        link = sim.MakeLink(host, Fast());
        ASSERT_TRUE(link->OpenComPort());
        host.clearLog();
        sim.sim().ClearFrames();
    }
    std::vector<Frame> Frames() { return sim.sim().Frames(); }
    // The write as the windows run it: its end shown through the prompter.
    bool Write(const CorrTableData &t) {
        const TableTransfer w = WriteCorrectionTable(*link, t);
        kv::ShowNotices(NoticesOf(w), prompter, {});
        return w.complete();
    }
    int Read(CorrTableData &t) { return ReadCorrectionTable(*link, t).blocks; }

    kvtest::SimFixture sim;
    kvtest::FakeHost host;
    kvtest::ScriptedPrompter prompter;
    std::unique_ptr<kv::link::Link> link;
};

} // namespace

TEST_F(Transfer, WriteSendsTwentyEightBlocksInDeviceForm) {
    const CorrTableData t = Sample();
    EXPECT_TRUE(Write(t));
    EXPECT_EQ(prompter.messageTexts(), std::vector<std::string>{"Done"});
    EXPECT_EQ(prompter.prompts()[0].icon, kv::MsgIcon::Information);

    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 28u);
    EXPECT_EQ(frames[0], F({0x06, 0x20, 0x81, 0x7F, 0xFF, 0x00, ToSignMagnitude(t[4]),
                            ToSignMagnitude(t[5]), ToSignMagnitude(t[6]), ToSignMagnitude(t[7])}));
    for (int k = 0; k < 28; ++k) {
        EXPECT_EQ(frames[static_cast<std::size_t>(k)][0], 0x06);
        EXPECT_EQ(frames[static_cast<std::size_t>(k)][1], 0x20 + 8 * k);
    }
    EXPECT_EQ(frames[27][9], 0xC8); // the check byte, raw

    const kv::sim::Table stored = sim.sim().GetTable();
    for (int n = 0; n < kEntries; ++n)
        EXPECT_EQ(stored[static_cast<std::size_t>(n)], DeviceByte(t, n)) << n;
}

TEST_F(Transfer, ReadGivesBackWhatWasWritten) {
    CorrTableData t = Sample();
    t[10] = -128; // leaves as 0x00, so it comes back as 0
    ASSERT_TRUE(Write(t));
    sim.sim().ClearFrames();
    host.clearLog();

    CorrTableData read{};
    read.fill(55);
    EXPECT_EQ(Read(read), 28);

    CorrTableData expected = t;
    expected[10] = 0;
    EXPECT_EQ(read, expected); // spare entries cleared too
    // The blocks show in hexadecimal, whatever their bytes: 28 x 10 two-digit items.
    const std::regex hex("R:( [0-9A-F]{2})+");
    std::size_t items = 0;
    for (const std::string &line : host.log())
        if (line.rfind("R:", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, hex)) << line;
            items += line.size() / 3;
        }
    EXPECT_EQ(items, 28u * 10u);

    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 28u);
    EXPECT_EQ(frames[0], F({0x07, 0x20, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(frames[27], F({0x07, 0xF8}));
}

TEST_F(Transfer, ReadConvertsDeviceBytes) {
    kv::sim::Table device{};
    device[0] = 0x80; // minus zero
    device[1] = 0x81;
    device[2] = 0xFF;
    device[3] = 0x7F;
    device[222] = 0x85;
    device[223] = 0x80; // the check byte is not converted
    sim.sim().SetTable(device);
    CorrTableData read{};
    ASSERT_EQ(Read(read), 28);
    EXPECT_EQ(std::vector<int>(read.begin(), read.begin() + 4),
              (std::vector<int>{0, -1, -127, 127}));
    EXPECT_EQ(read[222], -5);
    EXPECT_EQ(read[223], -128);
}

TEST_F(Transfer, ReadStopsAtTheFirstUnansweredBlock) {
    kv::sim::Table device{};
    device.fill(0x03);
    sim.sim().SetTable(device);
    sim.sim().SetTableSilentFrom(5);
    CorrTableData read{};
    read.fill(9);
    EXPECT_EQ(Read(read), 5);
    for (int n = 0; n < kTableSize; ++n)
        EXPECT_EQ(read[static_cast<std::size_t>(n)], n < 40 ? 3 : 0) << n;
    EXPECT_EQ(Frames().size(), 6u);
    EXPECT_GE(host.findLog("Receive error!"), 0);
    EXPECT_TRUE(prompter.prompts().empty());
}

TEST_F(Transfer, ReadStopsAtAShortOrLongBlockReply) {
    for (const std::vector<std::uint8_t> &reply :
         {std::vector<std::uint8_t>(9, 0x01), std::vector<std::uint8_t>(11, 0x01)}) {
        sim.sim().ClearFrames();
        sim.sim().SetTableBlockReply(2, reply);
        CorrTableData read{};
        EXPECT_EQ(Read(read), 2) << reply.size();
        EXPECT_EQ(read[16], 0) << reply.size();
        EXPECT_EQ(Frames().size(), 3u) << reply.size();
    }
}

TEST_F(Transfer, WriteStopsAtTheFirstBlockNotAnsweredWithCrLf) {
    const std::vector<std::vector<std::uint8_t>> replies{
        {0x0A, 0x0D}, {'O', 'K'}, {0x0D}, {0x0D, 0x0A, 0x00}, {}};
    const CorrTableData t = Sample();
    for (const auto &reply : replies) {
        sim.sim().SetTable(kv::sim::Table{});
        sim.sim().ClearFrames();
        sim.sim().SetTableBlockReply(3, reply);
        prompter.clear();
        EXPECT_FALSE(Write(t)) << reply.size();
        EXPECT_EQ(prompter.messageTexts(), std::vector<std::string>{"Error on write!"})
            << reply.size();
        EXPECT_EQ(prompter.prompts()[0].icon, kv::MsgIcon::Error);
        const auto frames = Frames();
        ASSERT_EQ(frames.size(), 4u) << reply.size();
        EXPECT_EQ(frames[3][1], 0x38);
        const kv::sim::Table stored = sim.sim().GetTable();
        EXPECT_EQ(stored[23], DeviceByte(t, 23)); // block 2 written
        EXPECT_EQ(stored[24], 0);                 // block 3 and later not
        EXPECT_EQ(stored[223], 0);
    }
}

// A stop asked for between blocks (Ctrl+C, a window that closes) ends the checked write after
// the block in flight and writes the checked old table back without asking.
TEST_F(Transfer, CheckedWriteStopsBetweenBlocksAndPutsTheOldTableBack) {
    CorrTableData old{};
    old[kCheckIndex] = static_cast<std::int8_t>(TableCrc(old));
    CorrTableData t = Sample();
    t[kCheckIndex] = static_cast<std::int8_t>(TableCrc(t));
    // Stopped once the progress says 10 blocks are written; each phase counts its blocks.
    bool stop = false;
    std::vector<std::string> phases;
    const VerifiedWrite v = WriteTableVerified(
        *link, t,
        {.stopRequested = [&] { return stop; },
         .progress =
             [&](WritePhase phase, int done, int total) {
                 if (done == total || (phase == WritePhase::Write && done == 10))
                     phases.push_back(std::string(PhaseName(phase)) + " " + std::to_string(done) +
                                      "/" + std::to_string(total));
                 stop = phase == WritePhase::Write && done == 10;
             }});
    EXPECT_EQ(phases, (std::vector<std::string>{"backup 28/28", "write 10/28", "restore 10/10",
                                                "restore 10/10"}));
    EXPECT_EQ(v.end, VerifiedWriteEnd::Stopped);
    ASSERT_TRUE(v.write && v.write->stoppedAfter);
    EXPECT_EQ(*v.write->stoppedAfter, 10);
    EXPECT_EQ(v.BlocksWritten(), 10);
    EXPECT_EQ(DeviceHoldsAfter(v), DeviceHolds::OldTable);
    EXPECT_TRUE(v.restored());
    EXPECT_TRUE(prompter.prompts().empty());
    EXPECT_EQ(v.oldTable(), old);
    CorrTableData device{};
    ASSERT_EQ(Read(device), kBlocks);
    EXPECT_EQ(device, old);
    ASSERT_EQ(NoticesOf(v).size(), 1u);
    EXPECT_EQ(NoticesOf(v)[0].text,
              "table write stopped: stopped after 10 of the 28 blocks to write; the device holds "
              "its old table again (written back and read back right); no backup file");
}

// Only the blocks that differ from the device's are written and read back; the report counts
// them.
TEST_F(Transfer, CheckedWriteSendsOnlyTheBlocksThatDiffer) {
    CorrTableData t = Sample();
    t[kCheckIndex] = static_cast<std::int8_t>(TableCrc(t));
    CorrTableData held = t;
    held[3] = static_cast<std::int8_t>(held[3] + 1);              // block 0
    held[100] = static_cast<std::int8_t>(held[100] - 1);          // block 12
    held[kCheckIndex] = static_cast<std::int8_t>(TableCrc(held)); // block 27
    kv::sim::Table device{};
    for (int n = 0; n < kEntries; ++n)
        device[static_cast<std::size_t>(n)] = DeviceByte(held, n);
    sim.sim().SetTable(device);
    sim.sim().ClearFrames();
    const VerifiedWrite v = WriteTableVerified(*link, t, {});
    EXPECT_EQ(v.end, VerifiedWriteEnd::Written);
    ASSERT_TRUE(v.write);
    EXPECT_EQ(v.write->blocks, (std::vector<int>{0, 12, 27}));
    EXPECT_EQ(v.BlocksWritten(), 3);
    EXPECT_EQ(sim.sim().FrameCount(0x06), 3u);       // written
    EXPECT_EQ(sim.sim().FrameCount(0x07), 28u + 3u); // the backup read, then the read-back
    CorrTableData now{};
    ASSERT_EQ(Read(now), kBlocks);
    EXPECT_EQ(now, t);
}
