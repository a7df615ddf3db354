// The receive thread over a real pseudo-terminal: rendering, the buffer limit, stopping,
// sleeping while the port is idle, ending a chunk with an early-completing reply.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "fake_host.h"
#include "sim_fixture.h"
#include "thread_use.h"

namespace {

using kv::link::Link;
using kv::link::Timing;
using kvtest::FakeHost;
using kvtest::SimFixture;
using Bytes = std::vector<std::uint8_t>;

class Receive : public ::testing::Test {
protected:
    void SetUp() override {
        Timing t;
        t.closeDelay = std::chrono::milliseconds(50);
        link = fx.MakeLink(host, t);
        ASSERT_TRUE(link->OpenComPort());
        host.clearLog();
    }
    // Sends bytes unasked and waits for their log line.
    std::string Line(const Bytes &bytes) {
        const std::size_t before = host.logCount();
        fx.sim().SendRaw(bytes);
        EXPECT_TRUE(host.PumpUntil([&] { return host.logCount() > before; }));
        return host.logLine(0);
    }
    SimFixture fx;
    FakeHost host;
    std::unique_ptr<Link> link;
};

TEST_F(Receive, HexAndTextRendering) {
    const Bytes bytes = {0x00, 0x7F, 0x20, 0x4F, 0x0D, 0x0A};
    EXPECT_EQ(Line(bytes), "R: 00 7F 20 4F 0D 0A");

    // Chunks arriving while a transaction in text mode waits (for an Info reply that does not
    // come) show as text, one line each.
    fx.sim().SetSilent(0x01, true);
    const std::vector<Bytes> chunks = {bytes, {'A', ' '}};
    std::size_t sent = 0;
    host.onProcessEvents = [&] {
        // The next chunk once the last one's line is in, so that each is its own read.
        if (sent < chunks.size() && (sent == 0 || host.logLine(0).rfind("R:", 0) == 0))
            fx.sim().SendRaw(chunks[sent++]);
    };
    (void)link->SendCommand({0x01}, 16, {.display = kv::link::RxDisplay::Text});
    host.onProcessEvents = nullptr;
    EXPECT_EQ(sent, chunks.size());
    EXPECT_NE(host.findLog("R: 0x000x7F O<CR><LF>"), -1);
    // A text line ending in a blank loses it in the pane, like any log line.
    EXPECT_NE(host.findLog("R: A"), -1);
}

TEST_F(Receive, TenThousandBytesFitAndTheNextByteOverflows) {
    Bytes block(10000);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 7);
    fx.sim().SendRaw(block);
    ASSERT_TRUE(host.PumpUntil([&] { return link->RxCount() == 10000; }));
    EXPECT_EQ(host.findLog("R: Buffer full"), -1);
    EXPECT_EQ(link->Received(), block);

    fx.sim().SendRaw({0xAB});
    ASSERT_TRUE(host.PumpUntil([&] { return host.findLog("R: AB") == 0; }));
    EXPECT_EQ(host.logLine(1), "R: Buffer full");
    EXPECT_EQ(link->Received(), Bytes{0xAB});
}

TEST_F(Receive, FloodFillsTheBufferThenTheNextTransactionWorks) {
    fx.sim().Flood(11520, 2000); // 115200 bit/s
    ASSERT_TRUE(host.PumpUntil([&] { return host.findLog("R: Buffer full") != -1; }));
    EXPECT_LE(link->RxCount(), 10000u);
    ASSERT_TRUE(fx.sim().WaitSent());
    host.PumpUntil([] { return false; }, 300);
    const kv::link::Reply r = link->SendCommand({0x15}, 25);
    ASSERT_TRUE(r.Has(25));
    EXPECT_EQ(r.bytes[24], 0x0A);
}

TEST_F(Receive, ClosingWhileTheThreadWaitsForAHandOver) {
    fx.sim().SendRaw({1, 2, 3});
    // Do not process events: the thread blocks in its hand-over until ClosePort does.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (host.pendingHandOvers() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(host.pendingHandOvers(), 1u);
    link->ClosePort();
    EXPECT_EQ(host.log(), (std::vector<std::string>{"COM port closed", "R: 01 02 03"}));
    EXPECT_EQ(host.pendingHandOvers(), 0u);
}

TEST_F(Receive, WaitingUntilATimeHandsChunksOverAsTheyCome) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fx.sim().SendRaw({1, 2, 3});
    });
    bool handedOverMeanwhile = false; // not only when the wait ends
    host.onProcessEvents = [&] {
        handedOverMeanwhile = handedOverMeanwhile ||
                              (host.logCount() == 1 && std::chrono::steady_clock::now() < until);
    };
    const int calls = host.processEventsCalls();
    link->WaitUntil(until);
    later.join();
    EXPECT_GE(std::chrono::steady_clock::now(), until);
    EXPECT_EQ(host.log(), std::vector<std::string>{"R: 01 02 03"});
    EXPECT_TRUE(handedOverMeanwhile);
    // Woken by the chunk, not polling (every 20 ms would make 20 calls).
    EXPECT_LE(host.processEventsCalls() - calls, 10);
}

TEST_F(Receive, HungUpDeviceLeavesTheThreadQuietAndTheLinkUsable) {
    fx.sim().HangUpNow();
    ASSERT_TRUE(fx.sim().HungUp());
    host.PumpUntil([] { return false; }, 100);
    EXPECT_EQ(host.logCount(), 0u);
    EXPECT_TRUE(host.errors().empty());
    link->ClosePort();
    EXPECT_EQ(host.logLine(0), "COM port closed");
    fx.Replug();
    EXPECT_TRUE(link->OpenComPort());
}

TEST(ReceiveThread, SleepsWhileTheOpenPortIsIdleAndLooksRarelyAtAGoneOne) {
    Timing early;
    early.completeEarly = true;
    early.gap = std::chrono::milliseconds(2);
    struct Case {
        const char *name;
        Timing timing;
        bool hangUp;
        long maxSwitches; // in half a second
    } cases[] = {
        // A thread that looked for bytes every 10 ms would wake 50 times.
        {"window timing", Timing{}, false, 3},
        {"completing early", early, false, 3},
        // Gone: looked at every 10 ms, not in a spin.
        {"hung up", early, true, 60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimFixture fx;
        FakeHost host;
        auto link = fx.MakeLink(host, c.timing);
        const std::set<int> before = kvtest::ThreadIds();
        ASSERT_TRUE(link->OpenComPort());
        ASSERT_TRUE(link->SendCommand({0x15}, 25).Has(25)); // idle after use, too
        const int tid = kvtest::NewThread(before);
        ASSERT_NE(tid, -1);
        if (c.hangUp)
            fx.sim().HangUpNow();
        const kvtest::ThreadUse start = kvtest::Use(tid);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const kvtest::ThreadUse end = kvtest::Use(tid);
        EXPECT_LE(end.switches - start.switches, c.maxSwitches);
        EXPECT_LT(end.cpuMs - start.cpuMs, 25.0);
    }
}

// A host that drops the received lines (korvanectl without --verbose) is spared their
// hand-overs: its transactions end as soon as the bytes are in, without the main thread
// running anything for the receive thread, also after the buffer ran full.
TEST(ReceiveThread, ChunkEndsWithTheRepliesBytesWhenTheTransactionCompletesEarly) {
    // A gap far beyond the time limit: a reply judged only after the gap would time out.
    Timing t;
    t.gap = std::chrono::milliseconds(5000);
    t.limit = std::chrono::milliseconds(1000);
    t.closeDelay = std::chrono::milliseconds(0);
    struct Case {
        const char *name;
        bool early;
        bool split;    // the reply comes in two parts, 5 bytes and 20 bytes 300 ms later
        bool shown;    // the host shows the received lines
        bool overflow; // the buffer ran full before the command
        kv::link::ReplyStatus status;
        std::size_t bytes;
    } cases[] = {
        {"window timing", false, false, true, false, kv::link::ReplyStatus::TimedOut, 0},
        {"early", true, false, true, false, kv::link::ReplyStatus::Completed, 25},
        {"early, split reply", true, true, true, false, kv::link::ReplyStatus::Completed, 25},
        {"lines dropped", true, false, false, false, kv::link::ReplyStatus::Completed, 25},
        {"lines dropped, split reply", true, true, false, false, kv::link::ReplyStatus::Completed,
         25},
        {"lines dropped, after an overflow", true, false, false, true,
         kv::link::ReplyStatus::Completed, 25},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimFixture fx;
        FakeHost host;
        host.showsReceivedLines = c.shown;
        t.completeEarly = c.early;
        // Stray bytes, which no transaction expects, end their chunk at the gap only.
        t.gap = std::chrono::milliseconds(c.overflow ? 20 : 5000);
        auto link = fx.MakeLink(host, t);
        ASSERT_TRUE(link->OpenComPort());
        if (c.split)
            fx.sim().SetSplit(0x15, kv::sim::Faults::Split{5, 300});
        if (c.overflow) {
            fx.sim().SendRaw(Bytes(kv::link::kRxLimit, 0x55));
            ASSERT_TRUE(host.PumpUntil([&] { return link->RxCount() == kv::link::kRxLimit; }));
            fx.sim().SendRaw({0xAB});
            // Full, and started again: nothing may be owed to the main thread now.
            ASSERT_TRUE(host.PumpUntil([&] { return link->RxCount() == 1; }));
        }
        const kv::link::Reply r = link->SendCommand({0x15}, 25);
        EXPECT_EQ(r.status, c.status);
        ASSERT_EQ(r.bytes.size(), c.bytes);
        if (c.bytes == 0)
            continue;
        EXPECT_EQ(host.pendingHandOvers(), 0u);
        const kv::sim::Record record = fx.sim().StatusRecord(false);
        EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.begin() + 23),
                  Bytes(record.begin(), record.end()));
        EXPECT_EQ(Bytes(r.bytes.begin() + 23, r.bytes.end()), (Bytes{0x0D, 0x0A}));
        if (!c.shown) {
            EXPECT_EQ(host.logLine(0), "S: 10B");
            continue;
        }
        // The reply's one line is in the log when the transaction returns.
        EXPECT_EQ(host.logLine(0).rfind("R: ", 0), 0u);
        EXPECT_EQ(host.logLine(0).size(), 3 + 25 * 3 - 1);
        EXPECT_EQ(host.logLine(1), "S: 10B");
    }
}

} // namespace
