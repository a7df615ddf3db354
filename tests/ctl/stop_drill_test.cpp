// Stopping a table write: korvanectl writes tables to the simulated fuse (replies paced at
// 4800 bit/s, so that a write lasts about a second) and gets SIGINT at random points. The
// device must hold the old table or the new one, never a mix, read off the simulator, and the
// program must say which. A second SIGINT ends the program at once and says the table may be
// incomplete. The progress line goes to a terminal (a real pseudo-terminal) and never to a
// pipe.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "corrtable/table.h"
#include "corrtable/table_file.h"
#include "program_run.h"
#include "sim_fixture.h"
#include "sim_table.h"

using kvtest::Has;
using kvtest::SimFixture;
namespace ct = kv::corrtable;

namespace {

ct::CorrTableData Table(int seed) {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * seed) % 201 - 100);
    t[ct::kCheckIndex] = static_cast<std::int8_t>(ct::TableCrc(t));
    return t;
}

// The entries 0..223 the device holds.
std::vector<std::uint8_t> Held(kv::sim::FuseSim &sim) {
    const kv::sim::Table t = sim.GetTable();
    return {t.begin(), t.begin() + ct::kEntries};
}
std::vector<std::uint8_t> Held(const ct::CorrTableData &t) {
    const kv::sim::Table d = kvtest::DeviceBytes(t);
    return {d.begin(), d.begin() + ct::kEntries};
}

// korvanectl with standard output on a pipe and standard error on a pipe or on the given
// terminal (its slave side); the pid is the program's own.
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string outText, errText;
    bool open[2] = {true, true};

    // Reads what came until `until` is in standard output, the program ends or timeoutMs.
    void ReadUntil(const std::string &until, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (until.empty() || !Has(outText, until)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            pollfd p[2] = {{open[0] ? out : -1, POLLIN, 0}, {open[1] ? err : -1, POLLIN, 0}};
            if (!open[0] && !open[1])
                break;
            if (left <= 0 || ::poll(p, 2, static_cast<int>(left)) <= 0)
                break;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buf[1024];
                const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                if (n > 0)
                    (i == 0 ? outText : errText).append(buf, static_cast<std::size_t>(n));
                else
                    open[i] = false; // the end (a terminal's far side gives EIO)
            }
        }
    }
    int Wait() {
        ReadUntil("", 30000);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ::close(out);
        ::close(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

Child Start(std::vector<std::string> args, int errFd = -1) {
    int out[2], err[2] = {-1, -1};
    if (::pipe(out) != 0 || (errFd < 0 && ::pipe(err) != 0))
        return {};
    args.insert(args.begin(), kvtest::KorvanectlPath());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(errFd >= 0 ? errFd : err[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (errFd < 0)
        ::close(err[1]);
    return {pid, out[0], errFd >= 0 ? -1 : err[0], {}, {}};
}

struct Drill {
    SimFixture f{[] {
        kv::sim::Options o;
        o.baud = 4800;
        return o;
    }()};
    std::string files[2] = {f.dir().File("a.epr"), f.dir().File("b.epr")};
    std::vector<std::uint8_t> held[2] = {Held(Table(3)), Held(Table(7))};

    Drill() {
        EXPECT_TRUE(ct::WriteTableFile(files[0], Table(3)));
        EXPECT_TRUE(ct::WriteTableFile(files[1], Table(7)));
        f.sim().SetTable(kvtest::DeviceBytes(Table(3)));
    }
    Child Write(int which, int errFd = -1) {
        return Start({"table", "write", files[which], "--ini", f.iniFile(), "--backup-dir",
                      f.dir().File("backups"), "--db", f.dir().File("history.db")},
                     errFd);
    }
};

// Where the output says the write stopped.
std::string StoppedWhere(const std::string &err) {
    const auto at = err.find("stopped after ");
    if (at != std::string::npos)
        return "write, " + err.substr(at + 14, err.find(" of", at + 14) - at - 14) + " blocks sent";
    if (Has(err, "stopped before the first block"))
        return "backup read";
    return "read-back (finished)";
}

TEST(StopDrill, CtrlCAtRandomPointsLeavesTheOldOrTheNewTableAndSaysWhich) {
    Drill d;
    std::mt19937 random(20261209);
    std::printf("| run | SIGINT at | stopped in | device holds | told | exit |\n"
                "|---|---|---|---|---|---|\n");
    int stoppedInWrite = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // The device holds held[0]; files[1] is written.
        const int from = 0;
        ASSERT_EQ(Held(d.f.sim()), d.held[from]);
        d.f.sim().ClearFrames();
        Child c = d.Write(1 - from);
        ASSERT_GT(c.pid, 0);
        // Half the runs anywhere in the run; half once the backup is told (the write's
        // blocks are about to go).
        std::string at;
        if (run < 10) {
            const int ms = std::uniform_int_distribution(0, 1000)(random);
            c.ReadUntil("\x01", ms); // reads without an end mark: the time alone
            at = std::to_string(ms) + " ms";
        } else {
            c.ReadUntil("backup: ", 10000);
            const int ms = std::uniform_int_distribution(0, 100)(random);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            at = "backup + " + std::to_string(ms) + " ms";
        }
        ::kill(c.pid, SIGINT);
        const int rc = c.Wait();
        const std::vector<std::uint8_t> now = Held(d.f.sim());
        const bool old = now == d.held[from];
        const bool neu = now == d.held[1 - from];
        EXPECT_TRUE(old || neu) << c.errText;
        // A signal before the program took it over (while it started) ends it at once:
        // nothing was sent then.
        const bool beforeHandler = rc == -1 && d.f.sim().FrameCount() == 0;
        // A run that ended before the signal came says nothing of it and exits 0.
        // One after the command ended (the history's turn) ends it too: the report was out.
        const bool afterCommand = rc == -1 && !beforeHandler;
        const std::string told = afterCommand ? "written and read back"
                                 : Has(c.errText, "interrupted: the device holds its old table") ||
                                         Has(c.errText, "nothing written; the device holds its old")
                                     ? "old"
                                 : Has(c.errText, "interrupted: the device holds the new table")
                                     ? "new"
                                     : "?";
        if (beforeHandler) {
            EXPECT_TRUE(old);
        } else if (afterCommand) {
            EXPECT_TRUE(neu);
            EXPECT_TRUE(Has(c.outText, "224 entries written and read back")) << c.outText;
        } else if (rc == 0) {
            EXPECT_TRUE(neu);
            EXPECT_EQ(told, "?");
        } else {
            EXPECT_EQ(rc, 130) << c.errText;
            EXPECT_EQ(told, old ? "old" : "new") << c.errText;
            // The backup was named before the first block went out, and again at the end.
            if (Has(c.errText, "stopped after")) {
                EXPECT_TRUE(Has(c.outText, "backup: ")) << c.outText;
            }
        }
        const std::string where = beforeHandler  ? "program start (killed, nothing sent)"
                                  : afterCommand ? "after the command (killed, report out)"
                                  : rc == 0      ? "ended before"
                                                 : StoppedWhere(c.errText);
        stoppedInWrite += Has(where, "blocks sent") ? 1 : 0;
        std::printf("| %d | %s | %s | %s | %s | %d |\n", run + 1, at.c_str(), where.c_str(),
                    old   ? "old"
                    : neu ? "new"
                          : "MIX",
                    told.c_str(), rc);
        // The next run starts from what the device holds now.
        if (neu)
            std::swap(d.held[0], d.held[1]), std::swap(d.files[0], d.files[1]);
    }
    // The runs after the backup line hit the write itself.
    EXPECT_GE(stoppedInWrite, 3);
}

TEST(StopDrill, ASecondCtrlCStopsAtOnceAndSaysTheTableMayBeIncomplete) {
    Drill d;
    Child c = d.Write(1);
    c.ReadUntil("backup: ", 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::kill(c.pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(c.pid, SIGINT);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Wait(), 130) << c.errText;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(Has(c.errText, "stopped at once; the device's table may be incomplete"))
        << c.errText;
    // The backup told before the first block puts the device right.
    const auto at = c.outText.find("backup: ");
    ASSERT_NE(at, std::string::npos) << c.outText;
    const std::string backup = c.outText.substr(at + 8, c.outText.find('\n', at) - at - 8);
    // The device's table may not check now: the line names the plain write that puts it back.
    EXPECT_TRUE(Has(c.errText, "korvanectl table write --no-verify " + backup)) << c.errText;
    const auto back = kvtest::RunCtl({"table", "write", backup, "--no-verify", "--ini",
                                      d.f.iniFile(), "--db", d.f.dir().File("history.db")});
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(Held(d.f.sim()), d.held[0]);
}

// The progress line: on a terminal, each phase with its blocks, written over in place and
// cleared at the end; on a pipe (and with --json or -q on a terminal) nothing of it.
TEST(StopDrill, ProgressGoesToATerminalOnly) {
    Drill d;
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    Child c = d.Write(1, slave);
    ::close(slave);
    c.err = master;
    EXPECT_EQ(c.Wait(), 0);
    const std::string &tty = c.errText;
    for (const char *phase :
         {"table write: backup 28 of 28 blocks", "table write: write 28 of 28 blocks",
          "table write: read-back 28 of 28 blocks"})
        EXPECT_TRUE(Has(tty, phase)) << phase << "\n" << tty;
    EXPECT_TRUE(Has(tty, "\r")) << tty;
    // Nothing of it on standard output; the line is blanked before the next message.
    EXPECT_FALSE(Has(c.outText, "\r"));
    const std::string last = tty.substr(tty.rfind("blocks") + 6);
    EXPECT_TRUE(last.starts_with("\r") && Has(last, "  \rkorvanectl: Done")) << last;

    // A pipe: none, only the messages.
    Child piped = d.Write(0);
    EXPECT_EQ(piped.Wait(), 0) << piped.errText;
    EXPECT_FALSE(Has(piped.errText, "\r")) << piped.errText;
    EXPECT_FALSE(Has(piped.errText, "blocks")) << piped.errText;

    // A terminal with --json or -q: none either.
    for (const char *quiet : {"--json", "-q"}) {
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        Child q = Start({"table", "write", d.files[1], "--ini", d.f.iniFile(), "--backup-dir",
                         d.f.dir().File("backups"), "--db", d.f.dir().File("history.db"), quiet},
                        slave);
        ::close(slave);
        q.err = master;
        EXPECT_EQ(q.Wait(), 0) << quiet;
        EXPECT_FALSE(Has(q.errText, "blocks")) << quiet << "\n" << q.errText;
        d.f.sim().SetTable(kvtest::DeviceBytes(Table(3)));
    }
}

} // namespace
