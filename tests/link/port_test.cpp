// Opening and closing the port: log lines, the error boxes of each failing step with the
// system's text, exclusive use, draining at reopening, the first command opening the port.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "sim_fixture.h"

namespace {

using kv::link::Link;
using kv::link::PortSettings;
using kv::link::Timing;
using kvtest::FakeHost;
using kvtest::SimFixture;

Timing Fast() {
    Timing t;
    t.gap = std::chrono::milliseconds(20);
    t.limit = std::chrono::milliseconds(300);
    t.closeDelay = std::chrono::milliseconds(50);
    return t;
}

std::unique_ptr<Link> LinkOn(FakeHost &host, std::string port, int baud = 19200) {
    return std::make_unique<Link>(
        host,
        [port, baud] {
            return PortSettings{port, baud};
        },
        Fast());
}

// Another program holding the port: a child process that opens it the way this program
// does and keeps it until told to let go.
class OtherProcess {
public:
    explicit OtherProcess(const std::string &path) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
            [[maybe_unused]] auto w = ::write(ready[1], &ok, 1);
            char c;
            [[maybe_unused]] auto r = ::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = '0';
        held_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~OtherProcess() {
        if (release_ >= 0)
            ::close(release_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

TEST(Port, OpenAndCloseWithTheirLogLines) {
    SimFixture fx;
    FakeHost host;
    auto link = fx.MakeLink(host, Fast());
    EXPECT_TRUE(link->OpenComPort());
    EXPECT_TRUE(link->PortOpen());
    link->ClosePort();
    EXPECT_FALSE(link->PortOpen());
    link->ClosePort(); // nothing open: still logged
    EXPECT_EQ(host.log(),
              (std::vector<std::string>{"COM port closed", "COM port closed", "COM port opened"}));
    EXPECT_TRUE(host.errors().empty());
}

TEST(Port, EachFailingStepShowsItsBoxWithTheSystemText) {
    kvtest::TempDir dir;
    const std::string plainFile = dir.File("not-a-tty");
    kvtest::TempDir::Write(plainFile, "x");
    SimFixture fx;
    struct Row {
        std::string port;
        int baud;
        std::string box;
    };
    const Row rows[] = {
        {dir.File("no-such-port"), 19200,
         "CreateFile INVALID_HANDLE_VALUE\rNo such file or directory\rPort tried: " +
             dir.File("no-such-port")},
        {"COM250", 19200,
         "CreateFile INVALID_HANDLE_VALUE\rNo such file or directory\r"
         "Port tried: /dev/ttyS249 (COM250)"},
        {plainFile, 19200,
         "ComHandle GetCommState Inappropriate ioctl for device\r"
         "Inappropriate ioctl for device\rPort tried: " +
             plainFile},
        {fx.port(), 12345,
         "ComHandle SetCommState Invalid argument\rInvalid argument\rPort tried: " + fx.port()},
    };
    for (const Row &r : rows) {
        FakeHost host;
        auto link = LinkOn(host, r.port, r.baud);
        EXPECT_FALSE(link->OpenComPort()) << r.port;
        EXPECT_EQ(host.errors(), std::vector<std::string>{r.box}) << r.port;
        EXPECT_EQ(host.logCount(), 0u) << r.port;
        EXPECT_FALSE(link->PortOpen());
    }
}

TEST(Port, APortHeldElsewhereIsRefusedAlsoForRoot) {
    SimFixture fx;
    const std::string busy =
        "CreateFile INVALID_HANDLE_VALUE\rDevice or resource busy\rPort tried: " + fx.port();
    {
        OtherProcess other(fx.port());
        ASSERT_TRUE(other.held());
        FakeHost host;
        auto link = fx.MakeLink(host, Fast());
        EXPECT_FALSE(link->OpenComPort());
        EXPECT_EQ(host.errors(), std::vector<std::string>{busy});
    }
    // Two links of one program are no better off; once the holder lets go, it opens.
    FakeHost h1, h2;
    auto first = fx.MakeLink(h1, Fast());
    auto second = fx.MakeLink(h2, Fast());
    ASSERT_TRUE(first->OpenComPort());
    EXPECT_FALSE(second->OpenComPort());
    EXPECT_EQ(h2.errors(), std::vector<std::string>{busy});
    first->ClosePort();
    EXPECT_TRUE(second->OpenComPort());
}

TEST(Port, ReopeningDiscardsAtMostAThousandWaitingBytes) {
    SimFixture fx;
    FakeHost host;
    auto link = fx.MakeLink(host, Fast());
    ASSERT_TRUE(link->OpenComPort());
    link->ClosePort();
    std::vector<std::uint8_t> waiting(1500);
    for (std::size_t i = 0; i < waiting.size(); ++i)
        waiting[i] = static_cast<std::uint8_t>(i);
    fx.sim().SendRaw(waiting);
    ASSERT_TRUE(fx.sim().WaitSent());
    host.clearLog();

    ASSERT_TRUE(link->OpenComPort());
    // The receive thread gets what the drain left: bytes 1000..1499, in order.
    ASSERT_TRUE(host.PumpUntil([&] { return link->RxCount() >= 500; }));
    host.PumpUntil([] { return false; }, 200); // nothing more comes
    const auto got = link->Received();
    EXPECT_EQ(got, std::vector<std::uint8_t>(waiting.begin() + 1000, waiting.end()));
    EXPECT_EQ(host.logLine(host.logCount() - 1), "COM port opened");
}

TEST(Port, FirstCommandOpensAClosedPort) {
    SimFixture fx;
    FakeHost host;
    auto link = fx.MakeLink(host, Fast());
    (void)link->SendCommand({0x15}, 25);
    EXPECT_EQ(link->RxCount(), 25u);
    const auto log = host.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "COM port opened");
    EXPECT_EQ(log[1], "S: 10B");
}

TEST(Port, CommandOnAPortThatCannotOpenFailsAtTheWrite) {
    kvtest::TempDir dir;
    FakeHost host;
    auto link = LinkOn(host, dir.File("missing"));
    const int before = host.processEventsCalls();
    (void)link->SendCommand({0x15}, 25);
    EXPECT_EQ(host.processEventsCalls(), before); // no wait after a failed write
    EXPECT_EQ(host.errors(), (std::vector<std::string>{
                                 "CreateFile INVALID_HANDLE_VALUE\rNo such file or directory\r"
                                 "Port tried: " +
                                     dir.File("missing"),
                                 "Bad file descriptor"}));
    EXPECT_EQ(host.log(), std::vector<std::string>{"S: 10B"});
    EXPECT_EQ(link->RxCount(), 0u);
    EXPECT_EQ(host.panel(1), "0x15 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 ");
}

TEST(Port, OpeningWhileAnOpeningWaitsIsTurnedAway) {
    // The wait after stopping the thread processes events; a second opening started there
    // would close the port under the first one's new thread.
    SimFixture fx;
    FakeHost host;
    auto link = fx.MakeLink(host, Fast());
    ASSERT_TRUE(link->OpenComPort());
    bool nestedResult = true;
    bool nested = false;
    host.onProcessEvents = [&] {
        if (nested)
            return;
        nested = true;
        nestedResult = link->OpenComPort();
        link->ClosePort();
    };
    EXPECT_TRUE(link->OpenComPort());
    host.onProcessEvents = nullptr;
    EXPECT_TRUE(nested);
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(host.beeps(), 2);
    EXPECT_TRUE(link->PortOpen());
    (void)link->SendCommand({0x15}, 25);
    EXPECT_EQ(link->RxCount(), 25u);
}

} // namespace
