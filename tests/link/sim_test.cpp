// The simulated fuse as other tests rely on it, driven through the link: the firmware
// model's exchanges, its faults, and the fusesim program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "fake_host.h"
#include "link/crc8.h"
#include "sim_fixture.h"

namespace {

using kv::link::Link;
using kv::link::PortSettings;
using kv::link::Timing;
using kv::sim::FuseParams;
using kvtest::FakeHost;
using kvtest::SimFixture;
using Bytes = std::vector<std::uint8_t>;

const Bytes kCrLf = {0x0D, 0x0A};

Bytes Tail(const Bytes &b, std::size_t n) {
    return Bytes(b.end() - static_cast<std::ptrdiff_t>(std::min(n, b.size())), b.end());
}

Timing Fast() {
    Timing t;
    t.poll = std::chrono::milliseconds(20);
    t.gap = std::chrono::milliseconds(20);
    t.limit = std::chrono::milliseconds(300);
    t.closeDelay = std::chrono::milliseconds(50);
    return t;
}

class Sim : public ::testing::Test {
protected:
    void SetUp() override {
        link = fx.MakeLink(host, Fast());
        ASSERT_TRUE(link->OpenComPort());
    }
    Bytes Send(std::initializer_list<std::uint8_t> cmd, std::uint8_t expected) {
        return link->SendCommand(cmd, expected).bytes;
    }
    SimFixture fx;
    kv::sim::FuseSim &sim = fx.sim();
    FakeHost host;
    std::unique_ptr<Link> link;
};

TEST_F(Sim, ParametersAreSetReadBackStoredAndTheirCrcReturned) {
    // SetStatus carries use average before use vref; the record has vref at 8, average at 9.
    ASSERT_EQ(Send({0x16, 12, 3, 85, 200, 1, 0, 7}, 2), kCrLf);
    const Bytes live = Send({0x15}, 25);
    ASSERT_EQ(live.size(), 25u);
    EXPECT_EQ(Bytes(live.begin() + 4, live.begin() + 11), (Bytes{12, 3, 85, 200, 0, 1, 7}));
    EXPECT_EQ(live[11], kv::Crc8(Bytes{12, 3, 85, 200, 0, 1, 7}));
    EXPECT_EQ(Tail(live, 2), kCrLf);
    // Not stored yet.
    EXPECT_EQ(Send({0x14}, 25)[4], FuseParams{}.fuseCurrent);

    const Bytes write = Send({0x17}, 3);
    EXPECT_EQ(write, (Bytes{kv::Crc8(Bytes{12, 3, 85, 200, 0, 1, 7}), 0x0D, 0x0A}));
    const Bytes stored = Send({0x14}, 25);
    EXPECT_EQ(Bytes(stored.begin() + 4, stored.begin() + 12),
              Bytes(live.begin() + 4, live.begin() + 12));
}

TEST_F(Sim, RelayFollowsItsCommandsUnlessTheManualSwitchIsOff) {
    EXPECT_EQ(Send({0x08}, 2), kCrLf);
    EXPECT_TRUE(sim.Relay());
    EXPECT_EQ(Send({0x15}, 25)[0] & 0x08, 0x08);
    sim.SetManualSwitchOff(true);
    EXPECT_EQ(Send({0x09}, 2), kCrLf); // answered, but refused
    EXPECT_TRUE(sim.Relay());
    const Bytes st = Send({0x15}, 25);
    EXPECT_EQ(st[2] & 0x08, 0x08);
    sim.SetManualSwitchOff(false);
    Send({0x09}, 2);
    EXPECT_FALSE(sim.Relay());
}

TEST_F(Sim, CurrentReadingFollowsTheLoadCurrent) {
    struct Row {
        double amps;
        std::optional<int> adc;
        std::uint8_t hi, lo;
    };
    const Row rows[] = {
        {5.0, std::nullopt, 0x01, 0xF4},  // 5 A x 100 = 500
        {20.0, std::nullopt, 0x03, 0xFF}, // limited to 1023
        {1.0, 0x0123, 0x01, 0x23},        // set directly
    };
    sim.SetHeldParams(FuseParams{99, 4, 100, 0, 0, 0, 20});
    sim.SetRelay(true);
    for (const Row &r : rows) {
        sim.SetLoadCurrent(r.amps);
        sim.SetAdc(r.adc);
        EXPECT_EQ(Send({0x1B}, 8), (Bytes{r.hi, r.lo, 4, 100, 0x08, 0x00, 0x0D, 0x0A})) << r.amps;
        const Bytes st = Send({0x15}, 25);
        EXPECT_EQ(st[12], r.hi);
        EXPECT_EQ(st[13], r.lo);
    }
}

TEST_F(Sim, TableRoundTripOverAllBlocks) {
    kv::sim::Table table{};
    for (int k = 0; k < 28; ++k) {
        std::vector<std::uint8_t> frame = {0x06, static_cast<std::uint8_t>(0x20 + 8 * k)};
        for (int j = 0; j < 8; ++j)
            frame.push_back(static_cast<std::uint8_t>(255 - 8 * k - j));
        std::copy(frame.begin() + 2, frame.end(), table.begin() + 8 * k);
        ASSERT_EQ(link->SendCommand(frame, 2).bytes, kCrLf) << k;
    }
    EXPECT_EQ(sim.GetTable(), table);
    for (int k = 0; k < 28; ++k) {
        const Bytes r = Send({0x07, static_cast<std::uint8_t>(0x20 + 8 * k)}, 10);
        ASSERT_EQ(r.size(), 10u);
        EXPECT_EQ(Bytes(r.begin(), r.begin() + 8),
                  Bytes(table.begin() + 8 * k, table.begin() + 8 * k + 8));
    }
}

TEST_F(Sim, Faults) {
    sim.SetWrongWriteCrc(true);
    const Bytes w = Send({0x17}, 3);
    EXPECT_EQ(w[0], static_cast<std::uint8_t>(~kv::Crc8(FuseParams{}.RecordOrder())));
    sim.SetWrongWriteCrc(false);

    sim.SetReadBackMismatch(9); // use average
    Send({0x16, 12, 3, 85, 200, 1, 0, 7}, 2);
    EXPECT_EQ(Send({0x15}, 25)[9], 0);
    sim.SetReadBackMismatch(-1);

    sim.OverrideStatusByte(3, 0x81);
    EXPECT_EQ(Send({0x15}, 25)[3], 0x81);
    EXPECT_EQ(Send({0x14}, 25)[3], 0x81);
    sim.OverrideStatusByte(3, std::nullopt);

    sim.SetReplyLength(0x15, 26);
    EXPECT_EQ(Send({0x15}, 25).size(), 26u);
    sim.SetReplyLength(0x15, std::nullopt);

    sim.SetSilent(0x01, true);
    EXPECT_TRUE(Send({0x01}, 16).empty());
    sim.SetSilent(0x01, false);
    EXPECT_EQ(Send({0x01}, 16).size(), 16u);
    EXPECT_TRUE(Send({0x33}, 2).empty()); // an unknown code gets no answer

    sim.SetTableBlockReply(3, Bytes{'E', 'R'});
    EXPECT_EQ(Send({0x06, 0x20 + 24, 1, 2, 3, 4, 5, 6, 7, 8}, 2), (Bytes{'E', 'R'}));
    EXPECT_EQ(sim.GetTable()[24], 0); // the failing block stored nothing
    EXPECT_EQ(Send({0x06, 0x20 + 16, 1, 2, 3, 4, 5, 6, 7, 8}, 2), kCrLf);
    sim.SetTableSilentFrom(5);
    EXPECT_EQ(Send({0x07, 0x20 + 32}, 10).size(), 10u);
    EXPECT_TRUE(Send({0x07, 0x20 + 40}, 10).empty());
}

// The program: prints its device path first, answers with the options given.
TEST(FuseSimProgram, ServesItsDeviceWithTheOptionsGiven) {
    const char *bin = std::getenv("KORVANE_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    kvtest::TempDir dir;
    const std::string linkPath = dir.File("ttyFUSE");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        const std::string exe = std::string(bin) + "/fusesim";
        ::execl(exe.c_str(), exe.c_str(), "--baud", "115200", "--link", linkPath.c_str(),
                "--status-byte", "0:0x08", "--split", "0x15:5:150", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::FILE *f = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_EQ(std::string(line).rfind("/dev/", 0), 0u) << line;

    FakeHost host;
    Timing t;
    t.closeDelay = std::chrono::milliseconds(50);
    auto link = std::make_unique<Link>(
        host,
        [&] {
            return PortSettings{linkPath, 115200};
        },
        t);
    ASSERT_TRUE(link->OpenComPort());
    const kv::link::Reply r = link->SendCommand({0x15}, 25);
    ASSERT_TRUE(r.Has(25));
    EXPECT_EQ(r.bytes[0], 0x08);
    EXPECT_EQ(host.logLine(0).size(), 3u + 20 * 3 - 1); // the part after the pause
    link.reset();

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::fclose(f);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(::access(linkPath.c_str(), F_OK), -1); // its link is removed at exit
}

TEST(FuseSimProgram, HelpAndBadOptions) {
    const char *bin = std::getenv("KORVANE_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    const std::string exe = std::string(bin) + "/fusesim";
    EXPECT_EQ(std::system((exe + " --help >/dev/null").c_str()), 0);
    for (const char *bad : {"--baud x", "--split 0x15:3", "--status-byte 23:1", "--nonsense"})
        EXPECT_NE(std::system((exe + " " + bad + " 2>/dev/null").c_str()), 0) << bad;
}

} // namespace

// The line's two ways of handing a paced reply over: byte by byte, each when it is due, or
// (--whole-replies) in one piece when its last byte is due. A 25-byte reply at 4800 bit/s
// ends 24 byte times (50 ms) after its first byte either way.
TEST(FuseSimLine, PacedRepliesComeByteByByteOrInOnePiece) {
    struct Case {
        const char *name;
        bool whole;
    } cases[] = {{"byte by byte", false}, {"whole replies", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        kv::sim::Options options;
        options.baud = 4800;
        options.wholeReplies = c.whole;
        SimFixture fx(options);
        const int fd = ::open(fx.port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::cfmakeraw(&t);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        const Bytes frame = {0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(::write(fd, frame.data(), frame.size()), 10);
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        const auto firstMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent)
                .count();
        int queued = 0;
        ASSERT_EQ(::ioctl(fd, FIONREAD, &queued), 0);
        if (c.whole) {
            EXPECT_GE(firstMs, 45.0);
            EXPECT_EQ(queued, 25);
        } else {
            EXPECT_LT(firstMs, 45.0);
            EXPECT_LT(queued, 25);
        }
        // All of it in the end, whichever way it came.
        Bytes got;
        std::uint8_t buf[64];
        while (got.size() < 25 && ::poll(&p, 1, 1000) == 1) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        EXPECT_EQ(got.size(), 25u);
        EXPECT_EQ(Tail(got, 2), kCrLf);
        ::close(fd);
    }
}
