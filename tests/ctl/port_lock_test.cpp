// The port's lock against killed programs: korvanectl, run as an ordinary user, holds the
// simulated fuse's port in a timed series and is killed with SIGKILL; the next korvanectl of
// that user opens the port at once. While the first one runs, the port stays its own.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "program_run.h"
#include "sim_fixture.h"

using kvtest::Has;
using kvtest::SimFixture;

namespace {

// An ordinary user to run the programs as, when the test runs as root (the lock and the
// tty's own exclusive flag treat root differently). The test's own user otherwise.
struct User {
    uid_t uid;
    gid_t gid;
};

User Ordinary() {
    if (::geteuid() != 0)
        return {::geteuid(), ::getegid()};
    const passwd *nobody = ::getpwnam("nobody");
    return nobody ? User{nobody->pw_uid, nobody->pw_gid} : User{65534, 65534};
}

// korvanectl started as user, its standard output on a pipe; the pid is the program's own
// (the user is changed in the child before exec, no wrapper in between).
struct Child {
    pid_t pid = -1;
    int out = -1;
};

Child Start(const User &user, const std::vector<std::string> &args, const std::string &home) {
    int out[2];
    if (::pipe(out) != 0)
        return {};
    std::vector<std::string> all{kvtest::KorvanectlPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0))
            ::_exit(126);
        ::setenv("HOME", home.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    return {pid, out[0]};
}

// What the child writes until it ends or until `until` shows up or timeoutMs passes.
std::string ReadUntil(int fd, const std::string &until, int timeoutMs) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (until.empty() || !Has(text, until)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[1024];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One run of korvanectl status to its end: exit code and output.
std::pair<int, std::string> Status(const User &user, const std::string &port,
                                   const std::string &home) {
    Child c = Start(user, {"status", "--port", port, "--db", home + "history.db"}, home);
    const std::string text = ReadUntil(c.out, "", 20000);
    ::close(c.out);
    return {Wait(c.pid), text};
}

TEST(PortLock, AKilledProgramLeavesThePortToTheNextOrdinaryUser) {
    SimFixture fx;
    const User user = Ordinary();
    // The pseudo-terminal itself, opened by the ordinary user: the fixture's link lives in a
    // folder only the test's user may enter.
    const std::string port = fx.sim().DevicePath();
    ASSERT_EQ(::chmod(port.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(fx.dir().path().c_str(), 0777), 0);
    const std::string home = fx.dir().path();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Child series = Start(user,
                             {"current", "--every", "1", "--count", "60", "--port", port, "--log",
                              home + "current.adc", "--db", home + "history.db"},
                             home);
        ASSERT_GT(series.pid, 0);
        const std::string first = ReadUntil(series.out, "ADC", 10000);
        EXPECT_TRUE(Has(first, "ADC")) << first;

        // While it runs, the port is its own.
        const auto [busyCode, busyText] = Status(user, port, home);
        EXPECT_NE(busyCode, 0) << busyText;
        EXPECT_TRUE(Has(busyText, "Device or resource busy")) << busyText;

        ::kill(series.pid, SIGKILL);
        EXPECT_EQ(Wait(series.pid), -1);
        ::close(series.out);

        // Killed: the next program opens the port at once.
        const auto [code, text] = Status(user, port, home);
        EXPECT_EQ(code, 0) << text;
        EXPECT_FALSE(Has(text, "busy")) << text;
    }
}

} // namespace
