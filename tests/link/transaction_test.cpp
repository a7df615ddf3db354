// Command transactions over a real pseudo-terminal against the simulated fuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fake_host.h"
#include "sim_fixture.h"

namespace {

using kv::link::Link;
using kv::link::Timing;
using kvtest::FakeHost;
using kvtest::SimFixture;
using Bytes = std::vector<std::uint8_t>;

kv::sim::Frame F(std::initializer_list<std::uint8_t> b) {
    kv::sim::Frame f{};
    std::copy(b.begin(), b.end(), f.begin());
    return f;
}

Bytes StatusReply(const kv::sim::FuseSim &sim) {
    const auto rec = sim.StatusRecord(false);
    Bytes r(rec.begin(), rec.end());
    r.push_back(0x0D);
    r.push_back(0x0A);
    return r;
}

// The log line of a received chunk in hexadecimal, as the log pane keeps it.
std::string RLine(const Bytes &b) {
    std::string s = "R:";
    char item[4];
    for (auto x : b) {
        std::snprintf(item, sizeof item, " %02X", x);
        s += item;
    }
    return s;
}

const char *const kGetStatusHex = "0x15 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 ";

class Transaction : public ::testing::Test {
protected:
    // A read chunk ends after gapMs of silence; with the default 100 ms a reply can never be
    // in before the first 100 ms poll, so most tests take a shorter gap and time limit.
    static Timing Fast() {
        Timing t;
        t.gapMs = 20;
        t.limitMs = 500;
        t.closeDelayMs = 50;
        return t;
    }
    void Open(Timing t = Fast()) {
        link = fx.MakeLink(host, t);
        ASSERT_TRUE(link->OpenComPort());
        host.clearLog();
    }
    int Polls(const std::function<void()> &fn) {
        const int before = host.processEventsCalls();
        fn();
        return host.processEventsCalls() - before;
    }
    SimFixture fx;
    kv::sim::FuseSim &sim = fx.sim();
    FakeHost host;
    std::unique_ptr<Link> link;
};

TEST_F(Transaction, ShortCommandGoesOutPaddedAndAnEarlyReplyEndsTheWaitAtTheFirstPoll) {
    Open();
    EXPECT_EQ(Polls([&] { link->SendCommand({0x15}, 25); }), 1);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x15})});
    EXPECT_EQ(link->Received(), StatusReply(sim));
    EXPECT_EQ(link->RxCount(), 25u);
    EXPECT_EQ(host.panel(1), kGetStatusHex);
    EXPECT_EQ(host.log(), (std::vector<std::string>{RLine(StatusReply(sim)), "S: 10B"}));
    EXPECT_EQ(host.beeps(), 0);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(Transaction, TenByteCommandIsSentUnchanged) {
    Open();
    link->SendCommand({0x06, 0x20, 1, 2, 3, 4, 5, 6, 7, 0x88}, 2);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x06, 0x20, 1, 2, 3, 4, 5, 6, 7, 0x88})});
    EXPECT_EQ(link->Received(), (Bytes{0x0D, 0x0A}));
    EXPECT_EQ(host.logLine(1), "S: 10B");
    EXPECT_EQ(host.panel(1), "0x06 0x20 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x88 ");
}

TEST_F(Transaction, DefaultTimingReplyIsInAtTheSecondPoll) {
    // The floor of a transaction: one poll, and the reply's 100 ms gap to end the read.
    Open(Timing{});
    EXPECT_EQ(Polls([&] { link->SendCommand({0x15}, 25); }), 2);
    EXPECT_EQ(link->RxCount(), 25u);
    EXPECT_EQ(host.findLog("Receive error!"), -1);
}

TEST_F(Transaction, ShortReplyTimesOutAfterTheLimitKeepingWhatArrived) {
    Open(Timing{});
    sim.SetReplyLength(0x15, 10);
    const int polls = Polls([&] { link->SendCommand({0x15}, 25); });
    // 2 s in 100 ms polls; the last poll may fall just past the deadline.
    EXPECT_GE(polls, 19);
    EXPECT_LE(polls, 21);
    EXPECT_EQ(host.logLine(0), "Receive error!");
    EXPECT_EQ(host.logLine(2), "S: 10B");
    EXPECT_EQ(link->RxCount(), 10u);
    const Bytes reply = StatusReply(sim);
    EXPECT_EQ(link->Received(), Bytes(reply.begin(), reply.begin() + 10));
    EXPECT_EQ(host.beeps(), 1);
    EXPECT_EQ(host.panel(1), kGetStatusHex); // also after a time-out
}

TEST_F(Transaction, SplitReplyIsLoggedAsTwoLinesNewestOnTop) {
    Open(Timing{});
    sim.SetSplit(0x15, kv::sim::Faults::Split{10, 300});
    link->SendCommand({0x15}, 25);
    const Bytes reply = StatusReply(sim);
    EXPECT_EQ(host.log(), (std::vector<std::string>{RLine(Bytes(reply.begin() + 10, reply.end())),
                                                    RLine(Bytes(reply.begin(), reply.begin() + 10)),
                                                    "S: 10B"}));
    EXPECT_EQ(link->Received(), reply);
}

TEST_F(Transaction, BusyRuleRefusesANestedCommandAndForcesTheLogOn) {
    Open();
    bool nested = false;
    std::string panelBefore, panelAfter;
    host.onProcessEvents = [&] {
        if (nested)
            return;
        nested = true;
        panelBefore = host.panel(1);
        link->SendCommand({0x15}, 25); // a click during the wait
        panelAfter = host.panel(1);
    };
    link->LogEnabled = false; // as the current measurement does around its exchange
    link->SendCommand({0x1B}, 8);
    host.onProcessEvents = nullptr;

    EXPECT_TRUE(nested);
    EXPECT_TRUE(link->LogEnabled);
    EXPECT_NE(host.findLog("Cmd in progress..."), -1);
    EXPECT_EQ(host.findLog("S: 10B"), -1); // the running command's line was not logged
    EXPECT_EQ(host.beeps(), 1);
    EXPECT_EQ(panelBefore, "Sending data...");
    EXPECT_EQ(panelAfter, panelBefore);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x1B})});
    EXPECT_EQ(link->RxCount(), 8u);
    EXPECT_FALSE(link->CmdBusy);
}

TEST_F(Transaction, StrayBytesAreLoggedAndClearedByTheNextCommand) {
    Open();
    sim.SendRaw({0xDE, 0xAD, 0x42});
    ASSERT_TRUE(host.PumpUntil([&] { return host.findLog("R: DE AD 42") == 0; }));
    EXPECT_EQ(link->RxCount(), 3u);
    link->SendCommand({0x15}, 25);
    EXPECT_EQ(link->Received(), StatusReply(sim));
}

TEST_F(Transaction, InfoInTextModeAndReStart) {
    Open();
    link->RxDisplayMode = 2;
    link->SendCommand({0x01}, 16);
    link->RxDisplayMode = 0;
    EXPECT_EQ(host.logLine(0), "R: " + sim.InfoText() + "<CR><LF>");
    EXPECT_EQ(link->RxCount(), 16u);

    kv::sim::FuseParams changed;
    changed.fuseCurrent = 12;
    sim.SetHeldParams(changed);
    link->SendCommand({0x02}, 2);
    EXPECT_EQ(link->Received(), (Bytes{0x0D, 0x0A}));
    EXPECT_EQ(sim.HeldParams(), sim.StoredParams()); // the restarted device holds its stored set
}

TEST_F(Transaction, HangUpDuringATransactionThenRecoveryOnceTheDeviceIsBack) {
    Open();
    sim.HangUpAfterFrames(0);
    link->SendCommand({0x15}, 25);
    EXPECT_TRUE(sim.HungUp());
    EXPECT_EQ(host.logLine(0), "Receive error!");
    EXPECT_EQ(link->RxCount(), 0u);
    EXPECT_TRUE(host.errors().empty());

    // The next command reports the failure of the line, without waiting.
    EXPECT_EQ(Polls([&] { link->SendCommand({0x15}, 25); }), 0);
    EXPECT_EQ(host.errors(), std::vector<std::string>{"Input/output error"});
    EXPECT_EQ(host.panel(1), kGetStatusHex);

    fx.Replug();
    host.clearLog();
    ASSERT_TRUE(link->OpenComPort());
    EXPECT_EQ(host.logLine(0), "COM port opened");
    link->SendCommand({0x15}, 25);
    EXPECT_EQ(link->Received(), StatusReply(sim));
}

} // namespace
