// The link on its Win32 serial port, run under Wine with COM1 mapped to the pseudo-terminal
// of a natively running fusesim. scripts/wine-test starts fusesim with the options each
// group of tests expects and runs that group alone:
//   Normal   fusesim --params 20,3,85,7,1,0,16 --info "Wine fuse v1.0"
//   Silent   fusesim --silent 21            (no reply to GetStatus)
//   Split    fusesim --split 21:5:300       (GetStatus reply in two parts, 300 ms apart)
//   HangUp   fusesim --hangup-after 2       (the line drops at the third frame)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "link/link.h"

namespace {

using kv::link::Link;
using kv::link::PortSettings;
using kvtest::FakeHost;
using Bytes = std::vector<std::uint8_t>;

const char *const kCom1 = "\\\\.\\COM1";

std::unique_ptr<Link> MakeLink(FakeHost &host, const std::string &port = kCom1) {
    return std::make_unique<Link>(host, [port] { return PortSettings{port, 19200}; });
}

// The log, oldest line first, for a failure message.
std::string Dump(const std::vector<std::string> &newestFirst) {
    std::string s;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
        s += "\n  | " + *it;
    return s;
}

int CountPrefix(const std::vector<std::string> &log, const std::string &prefix) {
    return static_cast<int>(std::count_if(
        log.begin(), log.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

class WineLink : public ::testing::Test {
protected:
    void SetUp() override {
        link = MakeLink(host);
        ASSERT_TRUE(link->OpenComPort()) << (host.errors().empty() ? "" : host.errors()[0]);
        ASSERT_EQ(host.logLine(0), "COM port opened");
        host.clearLog();
    }
    void TearDown() override {
        if (link)
            link->ClosePort();
    }
    Bytes Exchange(std::initializer_list<std::uint8_t> cmd, std::uint8_t expected) {
        return link->SendCommand(cmd, expected).bytes;
    }
    double Seconds(std::chrono::steady_clock::time_point since) const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

    FakeHost host;
    std::unique_ptr<Link> link;
};

using Normal = WineLink;
using Silent = WineLink;
using Split = WineLink;
using HangUp = WineLink;

// The status record with the parameters fusesim was started with, in one transaction.
TEST_F(Normal, GetStatusBringsTheRecord) {
    const Bytes r = Exchange({0x15}, 25);
    ASSERT_EQ(r.size(), 25u) << Dump(host.log());
    EXPECT_EQ(r[23], 0x0D);
    EXPECT_EQ(r[24], 0x0A);
    // Bytes 4..10: fuse current, zero offset, multiply, overload time, Vref, average, count.
    EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 11), (Bytes{20, 3, 85, 7, 1, 0, 16}));
    EXPECT_EQ(host.logLine(0).rfind("R: ", 0), 0u);
    EXPECT_EQ(host.findLog("S: 10B"), 1);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(Normal, InfoTextAndTableBlockRoundTrip) {
    const Bytes info = Exchange({0x01}, 16);
    ASSERT_EQ(info.size(), 16u);
    EXPECT_EQ(std::string(info.begin(), info.begin() + 14), "Wine fuse v1.0");

    const Bytes block{0x81, 0x7F, 0x00, 0x05, 0xFF, 0x10, 0x80, 0x2A};
    std::vector<std::uint8_t> write{0x06, 0x38};
    write.insert(write.end(), block.begin(), block.end());
    EXPECT_EQ(link->SendCommand(write, 2).bytes, (Bytes{0x0D, 0x0A}));
    const Bytes read = Exchange({0x07, 0x38}, 10);
    ASSERT_EQ(read.size(), 10u);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 8), block);
}

// Text display mode renders the Info reply as characters with <CR><LF>.
TEST_F(Normal, TextDisplayMode) {
    const auto reply = link->SendCommand({0x01}, 16, {.display = kv::link::RxDisplay::Text});
    EXPECT_EQ(reply.bytes.size(), 16u);
    EXPECT_EQ(host.logLine(0), "R: Wine fuse v1.0<CR><LF>");
}

// (A second opening of the port is refused by the Windows serial driver; Wine does not
// emulate that, so it is not tested here.)

TEST_F(Normal, MissingPortGivesTheSystemText) {
    FakeHost other;
    auto missing = MakeLink(other, "\\\\.\\COM9");
    EXPECT_FALSE(missing->OpenComPort());
    ASSERT_EQ(other.errors().size(), 1u);
    EXPECT_NE(other.errors()[0].find("CreateFile INVALID_HANDLE_VALUE\r"), std::string::npos);
}

// No reply: "Receive error!" after the 2 s limit, and the next command is answered.
TEST_F(Silent, TimeOutThenNextCommandWorks) {
    const auto t0 = std::chrono::steady_clock::now();
    const int polls = host.processEventsCalls();
    const Bytes r = Exchange({0x15}, 25);
    std::printf("waited %.2f s for the missing reply\n", Seconds(t0));
    EXPECT_TRUE(r.empty());
    EXPECT_EQ(host.logLine(0), "Receive error!");
    // The whole limit was waited out, polling and processing events.
    EXPECT_GE(host.processEventsCalls() - polls, 15);
    EXPECT_EQ(Exchange({0x01}, 16).size(), 16u);
}

// A pause of 300 ms inside the reply ends the first read (100 ms interval time-out of the
// driver): two "R:" lines, and the transaction still gets all 25 bytes.
TEST_F(Split, ReplyInTwoChunks) {
    const Bytes r = Exchange({0x15}, 25);
    EXPECT_EQ(r.size(), 25u);
    const auto log = host.log();
    EXPECT_EQ(CountPrefix(log, "R: "), 2) << "log: " << log.size() << " lines";
    EXPECT_EQ(host.findLog("Receive error!"), -1);
}

// The device drops the line at the third frame: that command fails within its limit, and
// the program neither hangs nor shows anything but the failed exchange.
TEST_F(HangUp, LineDropsMidSession) {
    EXPECT_EQ(Exchange({0x15}, 25).size(), 25u);
    EXPECT_EQ(Exchange({0x01}, 16).size(), 16u);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_NE(Exchange({0x15}, 25).size(), 25u);
    std::printf("failed exchange took %.2f s\n", Seconds(t0));
    EXPECT_EQ(host.logLine(0), "Receive error!");
    link->ClosePort();
    EXPECT_EQ(host.logLine(0), "COM port closed");
    link.reset();
}

} // namespace
