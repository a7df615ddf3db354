// The unplug drill for korvanectl: fusesim (the program) is unplugged with SIGUSR1 in the
// middle of a timed current series and plugged back in with SIGUSR2 on the same link path.
// The series says so once, waits, opens the port again by itself and goes on in its slots.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using kvtest::Has;
using kvtest::Lines;

// fusesim as a child process, stopped by its own id at the end.
class FusesimProcess {
public:
    explicit FusesimProcess(const std::vector<std::string> &args) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            const std::string exe = std::string(std::getenv("KORVANE_BIN_DIR")) + "/fusesim";
            std::vector<char *> argv{const_cast<char *>(exe.c_str())};
            for (const auto &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = ::fdopen(out[0], "r");
    }
    ~FusesimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_)
            std::fclose(out_);
    }
    // The next line it prints ("unplugged", "plugged in /dev/pts/N").
    std::string Line() {
        char line[512] = {};
        if (!out_ || !std::fgets(line, sizeof line, out_))
            return {};
        std::string s(line);
        s.erase(s.find_last_not_of('\n') + 1);
        return s;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    std::FILE *out_ = nullptr;
};

int CountHaving(const std::vector<std::string> &lines, const std::string &part) {
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const auto &l) { return Has(l, part); }));
}

TEST(CtlReplugDrill, UnpluggedMidSeriesTheSeriesWaitsAndGoesOnInItsSlots) {
    kvtest::TempDir dir;
    const std::string port = dir.File("ttyFUSE");
    const std::string log = dir.File("series.adc");
    FusesimProcess sim({"--baud", "19200", "--adc", "512", "--link", port});
    ASSERT_TRUE(Has(sim.Line(), "/dev/pts/"));
    ASSERT_EQ(sim.Line(), "linked as " + port);

    constexpr int kSlots = 8;
    kvtest::ProgramResult r;
    std::thread run([&] {
        r = kvtest::RunCtl({"current", "--every", "1", "--count", std::to_string(kSlots), "--log",
                            log, "--port", port, "--ini", dir.File("none.ini")},
                           60000);
    });
    // Unplugged once two slots are in the file (its header and two records), plugged back
    // in 2.5 s later.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Lines(kvtest::TempDir::Read(log)).size() < 3 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    sim.Signal(SIGUSR1);
    EXPECT_EQ(sim.Line(), "unplugged");
    EXPECT_NE(::access(port.c_str(), F_OK), 0) << "the link outlived the unplug";
    std::this_thread::sleep_for(2500ms);
    sim.Signal(SIGUSR2);
    EXPECT_TRUE(Has(sim.Line(), "plugged in /dev/pts/"));
    run.join();

    const auto err = Lines(r.err);
    // One message when it goes, one when it is back with the gap; no failure per slot.
    EXPECT_EQ(CountHaving(err, "unplugged (" + std::string(std::strerror(EIO)) +
                                   "): the series waits for it to come back"),
              1)
        << r.err;
    EXPECT_EQ(CountHaving(err, "reopened: the series goes on"), 1) << r.err;
    EXPECT_EQ(CountHaving(err, "GetCurrent error!"), 0) << r.err;
    int missed = 0;
    for (const auto &l : err)
        if (const auto at = l.find("the series goes on, "); at != std::string::npos)
            missed = std::atoi(l.c_str() + at + 20);
    EXPECT_GE(missed, 2) << r.err;
    EXPECT_LE(missed, 4) << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "korvanectl: " + std::to_string(missed) + " of " +
                               std::to_string(kSlots) + " measurements failed"))
        << r.err;

    // The file holds what was measured, no more: a record for each slot taken, each with the
    // device's reading, in time order with the gap between.
    const auto records = Lines(kvtest::TempDir::Read(log));
    ASSERT_EQ(static_cast<int>(records.size()), 1 + kSlots - missed) << r.err;
    std::vector<int> seconds;
    for (std::size_t i = 1; i < records.size(); ++i) {
        std::istringstream fields(records[i]);
        std::string date, time;
        int adc = 0;
        fields >> date >> time >> adc;
        EXPECT_EQ(adc, 512) << records[i];
        const int h = std::stoi(time.substr(0, 2)), m = std::stoi(time.substr(3, 2)),
                  s = std::stoi(time.substr(6, 2));
        seconds.push_back(h * 3600 + m * 60 + s);
    }
    int widest = 0;
    for (std::size_t i = 1; i < seconds.size(); ++i)
        widest = std::max(widest, (seconds[i] - seconds[i - 1] + 86400) % 86400);
    EXPECT_GE(widest, missed) << "the gap is not in the file's times";
    // Every slot taken printed its measurement.
    EXPECT_EQ(CountHaving(Lines(r.out), "> ADC "), kSlots - missed) << r.out;
}

} // namespace
