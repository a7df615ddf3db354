// Command transactions over a real pseudo-terminal against the simulated fuse.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <cstdio>

#include "fake_host.h"
#include "sim_fixture.h"

namespace {

using kv::link::LineKind;
using kv::link::Link;
using kv::link::Reply;
using kv::link::ReplyStatus;
using kv::link::RxDisplay;
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
    // A read chunk ends after the gap of silence; with the default 100 ms a reply can never be
    // in before the first 100 ms poll, so most tests take a shorter gap and time limit.
    static Timing Fast() {
        Timing t;
        t.gap = std::chrono::milliseconds(20);
        t.limit = std::chrono::milliseconds(500);
        t.closeDelay = std::chrono::milliseconds(50);
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
    // The fewest polls of three runs of fn: the count the code reaches when the machine
    // gives the fuse's thread its turn in time. A wait that ends a poll late ends late in
    // every run; a starved machine (sanitizers, other builds) only now and then.
    int FewestPolls(const std::function<void()> &fn) {
        int fewest = Polls(fn);
        for (int i = 1; i < 3 && fewest > 1; ++i)
            fewest = std::min(fewest, Polls(fn));
        return fewest;
    }
    SimFixture fx;
    kv::sim::FuseSim &sim = fx.sim();
    FakeHost host;
    std::unique_ptr<Link> link;
};

TEST_F(Transaction, ShortCommandGoesOutPaddedAndAnEarlyReplyEndsTheWaitAtTheFirstPoll) {
    Open();
    Reply r;
    EXPECT_EQ(Polls([&] { r = link->SendCommand({0x15}, 25); }), 1);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x15})});
    EXPECT_EQ(r.status, ReplyStatus::Completed);
    EXPECT_EQ(r.bytes, StatusReply(sim));
    EXPECT_TRUE(r.Has(25));
    EXPECT_EQ(link->RxCount(), 25u);
    EXPECT_EQ(host.panel(1), kGetStatusHex);
    EXPECT_EQ(host.log(), (std::vector<std::string>{RLine(StatusReply(sim)), "S: 10B"}));
    EXPECT_EQ(host.logKinds(), (std::vector{LineKind::Received, LineKind::Sent}));
    EXPECT_EQ(host.beeps(), 0);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(Transaction, TenByteCommandIsSentUnchanged) {
    Open();
    const Reply r = link->SendCommand({0x06, 0x20, 1, 2, 3, 4, 5, 6, 7, 0x88}, 2);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x06, 0x20, 1, 2, 3, 4, 5, 6, 7, 0x88})});
    EXPECT_EQ(r.bytes, (Bytes{0x0D, 0x0A}));
    EXPECT_EQ(host.logLine(1), "S: 10B");
    EXPECT_EQ(host.panel(1), "0x06 0x20 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x88 ");
}

TEST_F(Transaction, DefaultTimingReplyIsInAtTheSecondPoll) {
    // The floor of a transaction: one poll, and the reply's 100 ms gap to end the read.
    Open(Timing{});
    Reply r;
    EXPECT_EQ(FewestPolls([&] { r = link->SendCommand({0x15}, 25); }), 2);
    EXPECT_TRUE(r.Has(25));
    EXPECT_EQ(host.findLog("Receive error!"), -1);
}

TEST_F(Transaction, CompleteEarlyEndsAWindowTransactionAtTheFirstPollWithItsWholeReply) {
    // The windows' timing: the receive thread's read ends when the awaited bytes are in, not
    // after the 100 ms gap; the option holds for its transaction only.
    Open(Timing{});
    const Bytes reply = StatusReply(sim);
    struct Row {
        bool early;
        std::optional<kv::sim::Faults::Split> split;
        int polls;         // 0: not counted (a split reply takes as long as its pause)
        std::size_t lines; // "R:" lines of the reply
    } rows[] = {
        {true, std::nullopt, 1, 1},
        {true, kv::sim::Faults::Split{10, 300}, 0, 2},
        {false, std::nullopt, 2, 1},
    };
    for (const Row &row : rows) {
        sim.SetSplit(0x15, row.split);
        host.clearLog();
        Reply r;
        auto send = [&] { r = link->SendCommand({0x15}, 25, {.completeEarly = row.early}); };
        if (row.polls) {
            EXPECT_EQ(FewestPolls(send), row.polls);
            host.clearLog();
        }
        send();
        EXPECT_EQ(r.bytes, reply);
        EXPECT_EQ(host.log().size(), row.lines + 1);
    }
}

TEST_F(Transaction, ShortReplyTimesOutAfterTheLimitKeepingWhatArrived) {
    Open(Timing{});
    sim.SetReplyLength(0x15, 10);
    Reply r;
    const int polls = Polls([&] { r = link->SendCommand({0x15}, 25); });
    // 2 s in 100 ms polls; the last poll may fall just past the deadline.
    EXPECT_GE(polls, 19);
    EXPECT_LE(polls, 21);
    EXPECT_EQ(host.logLine(0), "Receive error!");
    EXPECT_EQ(host.logKinds().front(), LineKind::ReceiveError);
    EXPECT_EQ(host.logLine(2), "S: 10B");
    EXPECT_EQ(r.status, ReplyStatus::TimedOut);
    const Bytes reply = StatusReply(sim);
    EXPECT_EQ(r.bytes, Bytes(reply.begin(), reply.begin() + 10));
    EXPECT_EQ(link->RxCount(), 10u);
    EXPECT_EQ(host.beeps(), 1);
    EXPECT_EQ(host.panel(1), kGetStatusHex); // also after a time-out
}

// Another program holding the port ("sleep" with the device as its input, or only for
// writing, which takes no replies): "Receive error!" is followed by a line naming the
// readers, and by nothing when there are none.
TEST_F(Transaction, AReceiveErrorNamesTheOtherProgramsReadingThePort) {
    struct Row {
        const char *what;
        int mode; // -1: no other program
        bool named;
    };
    const Row rows[] = {
        {"no other program", -1, false},
        {"a reader", O_RDONLY, true},
        {"a reader and writer", O_RDWR, true},
        {"a writer only", O_WRONLY, false},
    };
    Open();
    sim.SetSilent(0x1B, true);
    const std::string device = sim.DevicePath();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        pid_t pid = -1;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        if (row.mode >= 0) {
            pid = ::fork();
            if (pid == 0) {
                const int fd = ::open(device.c_str(), row.mode | O_NOCTTY);
                ::dup2(fd, row.mode == O_WRONLY ? 1 : 0);
                ::close(ready[0]);
                ::fcntl(ready[1], F_SETFD, FD_CLOEXEC); // closed by the exec: the child is ready
                ::execlp("sleep", "sleep", "30", static_cast<char *>(nullptr));
                ::_exit(127);
            }
        }
        ::close(ready[1]);
        char c;
        while (::read(ready[0], &c, 1) > 0) {
        }
        ::close(ready[0]);
        host.clearLog();
        const Reply r = link->SendCommand({0x1B}, 8);
        EXPECT_EQ(r.status, ReplyStatus::TimedOut);
        const std::string named = "Also reading " + fx.port() + ": sleep (pid " +
                                  std::to_string(pid) +
                                  ") (another program may have taken the reply)";
        if (row.named) {
            ASSERT_GE(host.logCount(), 2u);
            EXPECT_EQ(host.logLine(0), named);
            EXPECT_EQ(host.logKinds().front(), LineKind::ReceiveError);
            EXPECT_EQ(host.logLine(1), "Receive error!");
        } else {
            EXPECT_EQ(host.logLine(0), "Receive error!");
        }
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

// With its log off a transaction keeps its own lines, and the program's lines written
// during its wait, out of the log; the host still learns of them, and the time-out's beep
// still sounds. Its display mode holds for it alone.
TEST_F(Transaction, OptionsHoldForTheirTransactionOnly) {
    Open();
    sim.SetSilent(0x1B, true);
    host.onProcessEvents = [&] { link->AddLog("written during the wait"); };
    const Reply r = link->SendCommand({0x1B}, 8, {.log = false});
    host.onProcessEvents = nullptr;
    EXPECT_EQ(r.status, ReplyStatus::TimedOut);
    EXPECT_EQ(host.logCount(), 0u);
    const auto kept = host.keptOut();
    ASSERT_GE(kept.size(), 3u);
    EXPECT_EQ(kept.front(), std::make_pair(LineKind::Sent, std::string("S: 10B")));
    EXPECT_EQ(kept[1], std::make_pair(LineKind::Program, std::string("written during the wait")));
    EXPECT_EQ(kept.back(), std::make_pair(LineKind::ReceiveError, std::string("Receive error!")));
    EXPECT_EQ(host.beeps(), 1);

    link->AddLog("log on again");
    EXPECT_EQ(host.logLine(0), "log on again");

    (void)link->SendCommand({0x01}, 16, {.display = RxDisplay::Text});
    EXPECT_EQ(host.logLine(0), "R: " + sim.InfoText() + "<CR><LF>");
    sim.SendRaw({'O', 0x0D});
    ASSERT_TRUE(host.PumpUntil([&] { return host.logLine(0) == "R: 4F 0D"; }));
}

TEST_F(Transaction, SplitReplyIsLoggedAsTwoLinesNewestOnTop) {
    Open(Timing{});
    sim.SetSplit(0x15, kv::sim::Faults::Split{10, 300});
    const Reply r = link->SendCommand({0x15}, 25);
    const Bytes reply = StatusReply(sim);
    EXPECT_EQ(host.log(), (std::vector<std::string>{RLine(Bytes(reply.begin() + 10, reply.end())),
                                                    RLine(Bytes(reply.begin(), reply.begin() + 10)),
                                                    "S: 10B"}));
    EXPECT_EQ(r.bytes, reply);
}

// A click during the wait that sends a command is refused: a beep and "Cmd in progress...",
// which also turns the running transaction's log on, so its later lines show.
TEST_F(Transaction, BusyRuleRefusesANestedCommandAndForcesTheLogOn) {
    Open();
    sim.SetSplit(0x1B, kv::sim::Faults::Split{3, 300}); // the reply's end comes after a poll
    bool nested = false;
    std::string panelBefore, panelAfter;
    Reply refused;
    host.onProcessEvents = [&] {
        if (nested)
            return;
        nested = true;
        EXPECT_TRUE(link->CommandRunning());
        panelBefore = host.panel(1);
        refused = link->SendCommand({0x15}, 25); // a click during the wait
        panelAfter = host.panel(1);
    };
    // With its log off, as the current measurement sends it.
    const Reply r = link->SendCommand({0x1B}, 8, {.log = false});
    host.onProcessEvents = nullptr;

    EXPECT_TRUE(nested);
    EXPECT_EQ(refused.status, ReplyStatus::Busy);
    EXPECT_TRUE(refused.bytes.size() < 8u); // what the running one had so far
    EXPECT_NE(host.findLog("Cmd in progress..."), -1);
    EXPECT_EQ(host.findLog("S: 10B"), -1); // the running command's line was not logged
    EXPECT_EQ(host.logLine(0).rfind("R: ", 0), 0u) << host.logLine(0); // but its reply's end
    EXPECT_EQ(host.beeps(), 1);
    EXPECT_EQ(panelBefore, "Sending data...");
    EXPECT_EQ(panelAfter, panelBefore);
    EXPECT_EQ(sim.Frames(), std::vector{F({0x1B})});
    EXPECT_EQ(r.status, ReplyStatus::Completed);
    EXPECT_TRUE(r.Has(8));
    EXPECT_FALSE(link->CommandRunning());
}

TEST_F(Transaction, StrayBytesAreLoggedAndClearedByTheNextCommand) {
    Open();
    sim.SendRaw({0xDE, 0xAD, 0x42});
    ASSERT_TRUE(host.PumpUntil([&] { return host.findLog("R: DE AD 42") == 0; }));
    EXPECT_EQ(link->Received(), (Bytes{0xDE, 0xAD, 0x42}));
    EXPECT_EQ(link->SendCommand({0x15}, 25).bytes, StatusReply(sim));
}

TEST_F(Transaction, InfoInTextModeAndReStart) {
    Open();
    const Reply info = link->SendCommand({0x01}, 16, {.display = RxDisplay::Text});
    EXPECT_EQ(host.logLine(0), "R: " + sim.InfoText() + "<CR><LF>");
    EXPECT_TRUE(info.Has(16));

    kv::sim::FuseParams changed;
    changed.fuseCurrent = 12;
    sim.SetHeldParams(changed);
    EXPECT_EQ(link->SendCommand({0x02}, 2).bytes, (Bytes{0x0D, 0x0A}));
    EXPECT_EQ(sim.HeldParams(), sim.StoredParams()); // the restarted device holds its stored set
}

TEST_F(Transaction, HangUpDuringATransactionThenRecoveryOnceTheDeviceIsBack) {
    Open();
    sim.HangUpAfterFrames(0);
    Reply r = link->SendCommand({0x15}, 25);
    EXPECT_TRUE(sim.HungUp());
    EXPECT_EQ(r.status, ReplyStatus::TimedOut);
    EXPECT_EQ(host.logLine(0), "Receive error!");
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_TRUE(host.errors().empty());

    // The next command reports the failure of the line, without waiting.
    EXPECT_EQ(Polls([&] { r = link->SendCommand({0x15}, 25); }), 0);
    EXPECT_EQ(r.status, ReplyStatus::WriteFailed);
    EXPECT_EQ(host.errors(), std::vector<std::string>{"Input/output error"});
    EXPECT_EQ(host.panel(1), kGetStatusHex);

    fx.Replug();
    host.clearLog();
    ASSERT_TRUE(link->OpenComPort());
    EXPECT_EQ(host.logLine(0), "COM port opened");
    EXPECT_EQ(host.logKinds(), std::vector{LineKind::PortOpened});
    EXPECT_EQ(link->SendCommand({0x15}, 25).bytes, StatusReply(sim));
}

} // namespace
