// The simulated fuse's firmware model with no line: frames in, replies and state out, and
// fusesim's command line as the faults it sets.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fuse_model.h"
#include "options.h"

namespace {

using kv::sim::Bytes;
using kv::sim::DeviceState;
using kv::sim::Faults;
using kv::sim::Frame;
using kv::sim::FuseModel;
using kv::sim::FuseParams;
using Times = Faults::Times;

const Bytes kCrLf = {0x0D, 0x0A};

Frame F(std::initializer_list<std::uint8_t> bytes) {
    Frame f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

Bytes Text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes WithCrLf(Bytes b) {
    b.insert(b.end(), kCrLf.begin(), kCrLf.end());
    return b;
}

// Parameters held differ from those stored; 5 A at multiply 85 reads 425 (0x01A9), and 5.0 A
// is over the held fuse current of 2.0 A; table entry i holds i.
DeviceState Bench() {
    DeviceState s;
    s.held = FuseParams{20, 3, 85, 7, 1, 0, 16};
    s.loadCurrent = 5.0;
    s.relayOffCount = 0x1234;
    s.info = "Bench fuse";
    for (int i = 0; i < kv::sim::kTableSize; ++i)
        s.table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return s;
}

const Bytes kHeldRecord =
    WithCrLf({0x00, 0x00, 0x00, 0x01, 20,   3,    85,   7,    1,    0, 16, 0xA1,
              0x01, 0xA9, 20,   50,   0x01, 0xA9, 0x00, 0x12, 0x34, 0, 0});
const Bytes kStoredRecord =
    WithCrLf({0x00, 0x00, 0x00, 0x00, 99,   0,    10,   0,    0,    0, 20, 0x2E,
              0x01, 0xA9, 99,   50,   0x01, 0xA9, 0x00, 0x12, 0x34, 0, 0});

struct Row {
    const char *what;
    Faults faults;
    std::vector<Frame> before; // sent first, replies not checked
    Frame frame;
    std::optional<Bytes> reply; // nullopt: no answer
    std::function<void(const DeviceState &)> check = nullptr;
};

void RunRow(const Row &r, const std::function<void(DeviceState &)> &setup = nullptr) {
    SCOPED_TRACE(r.what);
    DeviceState s = Bench();
    if (setup)
        setup(s);
    FuseModel m(s, r.faults);
    for (const Frame &f : r.before)
        m.Receive(f);
    const auto response = m.Receive(r.frame);
    EXPECT_FALSE(response.hangUp);
    if (r.reply)
        EXPECT_EQ(response.AllBytes(), *r.reply);
    else
        EXPECT_FALSE(response.Answered());
    if (r.check)
        r.check(m.State());
}

TEST(FuseModel, EveryCommand) {
    const Row rows[] = {
        {"Info: padded to 14", {}, {}, F({0x01}), Text("Bench fuse    \r\n")},
        {"GetStatus", {}, {}, F({0x15}), kHeldRecord},
        {"GetStoredStatus", {}, {}, F({0x14}), kStoredRecord},
        {"GetCurrentCmd", {}, {}, F({0x1B}), WithCrLf({0x01, 0xA9, 3, 85, 0x00, 0x00})},
        {"SetStatus: average before vref",
         {},
         {},
         F({0x16, 12, 3, 85, 200, 1, 0, 7}),
         kCrLf,
         [](const DeviceState &s) {
             EXPECT_EQ(s.held, (FuseParams{12, 3, 85, 200, 0, 1, 7}));
             EXPECT_EQ(s.stored, FuseParams{});
         }},
        {"WriteData stores and returns the CRC",
         {},
         {},
         F({0x17}),
         Bytes{0xA1, 0x0D, 0x0A},
         [](const DeviceState &s) { EXPECT_EQ(s.stored, s.held); }},
        {"RelayOn", {}, {}, F({0x08}), kCrLf, [](const DeviceState &s) { EXPECT_TRUE(s.relayOn); }},
        {"RelayOff",
         {},
         {F({0x08})},
         F({0x09}),
         kCrLf,
         [](const DeviceState &s) { EXPECT_FALSE(s.relayOn); }},
        {"ReStart takes the stored parameters and drops the relay",
         {},
         {F({0x08})},
         F({0x02}),
         kCrLf,
         [](const DeviceState &s) {
             EXPECT_EQ(s.held, s.stored);
             EXPECT_FALSE(s.relayOn);
         }},
        {"ReadTableBlock 1", {}, {}, F({0x07, 0x28}), WithCrLf({8, 9, 10, 11, 12, 13, 14, 15})},
        {"ReadTableBlock 27",
         {},
         {},
         F({0x07, 0xF8}),
         WithCrLf({0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF})},
        {"WriteTableBlock 27",
         {},
         {},
         F({0x06, 0xF8, 1, 2, 3, 4, 5, 6, 7, 8}),
         kCrLf,
         [](const DeviceState &s) {
             EXPECT_EQ(Bytes(s.table.end() - 8, s.table.end()), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
             EXPECT_EQ(s.table[215], 215);
         }},
        {"an unknown code", {}, {}, F({0x33}), std::nullopt},
    };
    for (const Row &r : rows)
        RunRow(r);
}

TEST(FuseModel, TheManualSwitchOverridesTheRelayCommands) {
    RunRow({"RelayOn, manual off",
            {},
            {},
            F({0x08}),
            kCrLf,
            [](const DeviceState &s) { EXPECT_FALSE(s.relayOn); }},
           [](DeviceState &s) { s.manualSwitchOff = true; });
}

const Frame kWriteBlock2 = F({0x06, 0x30, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
const Bytes kBlock2Sent = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
const Bytes kBlock2Before = {16, 17, 18, 19, 20, 21, 22, 23};
const Bytes kBlock2Flipped = {0x11, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};

std::function<void(const DeviceState &)> Block2Holds(Bytes expected) {
    return [expected](const DeviceState &s) {
        EXPECT_EQ(Bytes(s.table.begin() + 16, s.table.begin() + 24), expected);
    };
}

TEST(FuseModel, Faults) {
    const Row rows[] = {
        {"silent: everything", {.silentAll = true}, {}, F({0x15}), std::nullopt},
        {"silent WriteData still stores",
         {.silent = {0x17}},
         {},
         F({0x17}),
         std::nullopt,
         [](const DeviceState &s) { EXPECT_EQ(s.stored, s.held); }},
        {"reply cut short", {.replyLength = {{0x01, 3}}}, {}, F({0x01}), Bytes{'B', 'e', 'n'}},
        {"reply padded",
         {.replyLength = {{0x08, 4}}},
         {},
         F({0x08}),
         Bytes{0x0D, 0x0A, 0xEE, 0xEE}},
        {"wrong write CRC", {.wrongWriteCrc = true}, {}, F({0x17}), Bytes{0x5E, 0x0D, 0x0A}},
        {"read-back mismatch after SetStatus",
         {.readBackMismatch = 9},
         {F({0x16, 20, 3, 85, 7, 0, 1, 16})},
         F({0x15}),
         WithCrLf({0x00, 0x00, 0x00, 0x01, 20,   3,    85,   7,    1,    1, 16, 0x65,
                   0x01, 0xA9, 20,   50,   0x01, 0xA9, 0x00, 0x12, 0x34, 0, 0})},
        {"read-back mismatch: none before a SetStatus",
         {.readBackMismatch = 9},
         {},
         F({0x15}),
         kHeldRecord},
        {"status byte overridden in the stored record too",
         {.statusOverride = {{3, 0x81}}},
         {},
         F({0x14}),
         [] {
             Bytes r = kStoredRecord;
             r[3] = 0x81;
             return r;
         }()},
        {"failing block: its reply, nothing stored",
         {.tableBlockReply = {{2, {'E', 'R'}}}},
         {},
         kWriteBlock2,
         Bytes{'E', 'R'},
         Block2Holds(kBlock2Before)},
        {"failing block read", {.tableBlockReply = {{1, {'E'}}}}, {}, F({0x07, 0x28}), Bytes{'E'}},
        {"table silent from block 2: block 1 answered",
         {.tableSilentFrom = 2},
         {},
         F({0x07, 0x28}),
         WithCrLf({8, 9, 10, 11, 12, 13, 14, 15})},
        {"table silent from block 2: write not stored",
         {.tableSilentFrom = 2},
         {},
         kWriteBlock2,
         std::nullopt,
         Block2Holds(kBlock2Before)},
        {"corrupt block: CR LF, first entry's bit 0 flipped",
         {.corruptBlock = {{2, Times::Always}}},
         {kWriteBlock2},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Flipped)},
        {"corrupt block once: the second write stores right",
         {.corruptBlock = {{2, Times::Once}}},
         {kWriteBlock2},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Sent)},
        {"corrupt block: other blocks store right",
         {.corruptBlock = {{3, Times::Always}}},
         {},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Sent)},
        {"ignored block: CR LF, nothing stored",
         {.ignoreBlock = {{2, Times::Always}}},
         {kWriteBlock2},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Before)},
        {"ignored block once: the second write stores",
         {.ignoreBlock = {{2, Times::Once}}},
         {kWriteBlock2},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Sent)},
        {"failed block: ER, nothing stored",
         {.failBlock = {{2, Times::Always}}},
         {kWriteBlock2},
         kWriteBlock2,
         Bytes{'E', 'R'},
         Block2Holds(kBlock2Before)},
        {"failed block once: the second write stores",
         {.failBlock = {{2, Times::Once}}},
         {kWriteBlock2},
         kWriteBlock2,
         kCrLf,
         Block2Holds(kBlock2Sent)},
        {"hang-up is once: the device answers again",
         {.hangUpAfterFrames = 1},
         {F({0x08}), F({0x08})},
         F({0x08}),
         kCrLf},
    };
    for (const Row &r : rows)
        RunRow(r);
}

TEST(FuseModel, SplitRepliesAndHangUpsAreInstructionsToTheLine) {
    FuseModel m(Bench(), {.split = {{0x1B, {2, 300}}}, .hangUpAfterFrames = 2});
    const auto split = m.Receive(F({0x1B}));
    ASSERT_EQ(split.parts.size(), 2u);
    EXPECT_EQ(split.parts[0].bytes, (Bytes{0x01, 0xA9}));
    EXPECT_EQ(split.parts[0].pauseMs, 0);
    EXPECT_EQ(split.parts[1].bytes, WithCrLf({3, 85, 0x00, 0x00}));
    EXPECT_EQ(split.parts[1].pauseMs, 300);

    EXPECT_FALSE(m.Receive(F({0x08})).hangUp);
    const auto gone = m.Receive(F({0x09}));
    EXPECT_TRUE(gone.hangUp);
    EXPECT_FALSE(gone.Answered());
    EXPECT_TRUE(m.State().relayOn); // the RelayOff that met the hang-up did nothing
}

TEST(FuseModel, KeepsTheFramesItReceived) {
    FuseModel m(Bench());
    for (const Frame &f : {F({0x07, 0x20}), kWriteBlock2, kWriteBlock2, F({0x15})})
        m.Receive(f);
    EXPECT_EQ(m.Frames().size(), 4u);
    EXPECT_EQ(m.Frames()[1], kWriteBlock2);
    EXPECT_EQ(m.FrameCount(0x06), 2u);
    m.ClearFrames();
    EXPECT_EQ(m.FrameCount(0x06), 0u);
    EXPECT_EQ(m.FramesSeen(), 4u); // what a hang-up counts is not cleared
}

// fusesim's options as the faults and state they set.
TEST(FusesimOptions, MapOntoTheModel) {
    using kv::sim::ProgramArgs;
    struct OptRow {
        std::vector<std::string> args;
        std::function<void(const ProgramArgs &)> check;
    };
    const OptRow rows[] = {
        {{},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.baud, 19200);
             EXPECT_FALSE(p.options.wholeReplies);
             EXPECT_TRUE(p.options.faults.corruptBlock.empty());
             EXPECT_FALSE(p.options.faults.readBackMismatch);
             EXPECT_FALSE(p.options.faults.tableSilentFrom);
             EXPECT_FALSE(p.options.faults.hangUpAfterFrames);
         }},
        {{"--whole-replies", "--baud", "9600"},
         [](const ProgramArgs &p) {
             EXPECT_TRUE(p.options.wholeReplies);
             EXPECT_EQ(p.options.baud, 9600);
         }},
        {{"--corrupt-block", "3", "--corrupt-block-once", "0x1B"},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.faults.corruptBlock,
                       (std::map<int, Times>{{3, Times::Always}, {27, Times::Once}}));
         }},
        {{"--ignore-block", "$A", "--ignore-block-once", "0"},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.faults.ignoreBlock,
                       (std::map<int, Times>{{0, Times::Once}, {10, Times::Always}}));
         }},
        {{"--fail-block", "1", "--fail-block-once", "2"},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.faults.failBlock,
                       (std::map<int, Times>{{1, Times::Always}, {2, Times::Once}}));
         }},
        {{"--readback-mismatch", "9", "--table-silent-from", "0", "--hangup-after", "0"},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.faults.readBackMismatch, 9);
             EXPECT_EQ(p.options.faults.tableSilentFrom, 0);
             EXPECT_EQ(p.options.faults.hangUpAfterFrames, 0u);
         }},
        {{"--params", "20,3,85,7,1,0,16", "--table-reply", "4:4552", "--flood", "900:50"},
         [](const ProgramArgs &p) {
             EXPECT_EQ(p.options.held, (FuseParams{20, 3, 85, 7, 1, 0, 16}));
             EXPECT_EQ(p.options.stored, p.options.held);
             EXPECT_EQ(p.options.faults.tableBlockReply.at(4), (Bytes{0x45, 0x52}));
             EXPECT_EQ(p.floodBytesPerSecond, 900);
         }},
    };
    for (const OptRow &r : rows) {
        const auto parsed = kv::sim::ParseProgramArgs(r.args);
        ASSERT_TRUE(std::holds_alternative<ProgramArgs>(parsed)) << std::get<std::string>(parsed);
        r.check(std::get<ProgramArgs>(parsed));
    }

    const std::vector<std::string> bad[] = {
        {"--corrupt-block", "28"},
        {"--corrupt-block"},
        {"--ignore-block", "-1"},
        {"--readback-mismatch", "3"},
        {"--table-reply", "2:ABC"},
        {"--table-reply", "40:45"},
        {"--split", "0x15:3"},
        {"--status-byte", "23:1"},
        {"--baud", "x"},
        {"--nonsense"},
    };
    for (const auto &args : bad) {
        const auto parsed = kv::sim::ParseProgramArgs(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << args[0];
        EXPECT_FALSE(std::get<std::string>(parsed).empty());
    }
}

} // namespace
