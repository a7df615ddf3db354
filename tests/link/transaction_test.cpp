// Command transactions over a real pseudo-terminal against the simulated fuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_host.h"
#include "link/crc8.h"
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

class Transaction : public ::testing::Test {
protected:
    // A read chunk ends after gapMs of silence; with the default 100 ms a reply can never be
    // in before the first 100 ms poll, so these tests take a shorter gap.
    static Timing Fast() {
        Timing t;
        t.gapMs = 20;
        return t;
    }
    void SetUp() override {
        link = sim.MakeLink(host, Fast());
        ASSERT_TRUE(link->OpenComPort());
        host.clearLog();
    }
    SimFixture sim;
    FakeHost host;
    std::unique_ptr<Link> link;
};

TEST_F(Transaction, ShortCommandGoesOutAsTenByteFrameAndReplyEndsTheWait) {
    const int pollsBefore = host.processEventsCalls();
    link->SendCommand({0x15}, 25);
    // The whole reply is in before the first poll: the wait ends there.
    EXPECT_EQ(host.processEventsCalls() - pollsBefore, 1);
    ASSERT_EQ(sim.sim().Frames(), std::vector{F({0x15})});
    ASSERT_EQ(link->RxCount(), 25u);
    const auto rec = sim.sim().StatusRecord(false);
    Bytes expected(rec.begin(), rec.end());
    expected.push_back(0x0D);
    expected.push_back(0x0A);
    EXPECT_EQ(link->Received(), expected);
    EXPECT_EQ(host.panel(1), "0x15 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 ");
    ASSERT_EQ(host.logCount(), 2u);
    EXPECT_EQ(host.logLine(1), "S: 10B");
    EXPECT_EQ(host.logLine(0).substr(0, 3), "R: ");
    EXPECT_EQ(host.beeps(), 0);
    EXPECT_TRUE(host.errors().empty());
}

} // namespace
