// fusesim as a program: its table block faults reach the device over the line, and --verbose
// counts the table block writes it received.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Writes one 10-byte frame and reads up to n reply bytes (fewer when the line stays quiet).
Bytes Exchange(int fd, Bytes frame, std::size_t n) {
    frame.resize(10, 0);
    EXPECT_EQ(::write(fd, frame.data(), frame.size()), 10);
    Bytes got;
    std::uint8_t buf[64];
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0)
            break;
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        s.append(buf, static_cast<std::size_t>(n));
    return s;
}

TEST(FusesimProgram, TableBlockFaultsAndTheWriteCount) {
    const char *bin = std::getenv("KORVANE_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    int out[2], err[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        const std::string exe = std::string(bin) + "/fusesim";
        ::execl(exe.c_str(), exe.c_str(), "--baud", "0", "--verbose", "--corrupt-block-once", "2",
                "--ignore-block", "3", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    std::FILE *f = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    std::string device(line);
    device.erase(device.find_last_not_of('\n') + 1);

    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << device;
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::cfmakeraw(&t);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);

    const Bytes crLf = {0x0D, 0x0A};
    const Bytes sent = {1, 2, 3, 4, 5, 6, 7, 8};
    auto write = [&](std::uint8_t address) {
        Bytes frame = {0x06, address};
        frame.insert(frame.end(), sent.begin(), sent.end());
        return Exchange(fd, frame, 2);
    };
    auto read = [&](std::uint8_t address) {
        const Bytes r = Exchange(fd, {0x07, address}, 10);
        return r.size() == 10 ? Bytes(r.begin(), r.begin() + 8) : r;
    };
    EXPECT_EQ(write(0x30), crLf);
    EXPECT_EQ(read(0x30), (Bytes{0, 2, 3, 4, 5, 6, 7, 8})); // block 2 stored wrong once
    EXPECT_EQ(write(0x30), crLf);
    EXPECT_EQ(read(0x30), sent);
    EXPECT_EQ(write(0x38), crLf);
    EXPECT_EQ(read(0x38), Bytes(8, 0)); // block 3 never stored
    ::close(fd);

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::fclose(f);
    const std::string log = ReadAll(err[0]);
    ::close(err[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(log.find("fusesim: 6 frames received, 3 table block writes"), std::string::npos)
        << log;
}

} // namespace
