// fusesim: the simulated fuse as a program, for the demo and for trying the tool by hand.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/version.h"
#include "fuse_sim.h"
#include "link/commands.h"
#include "options.h"

namespace {

volatile sig_atomic_t gStop = 0;
volatile sig_atomic_t gUnplug = 0;
volatile sig_atomic_t gPlugIn = 0;

void OnSignal(int) {
    gStop = 1;
}

void OnUnplug(int) {
    gUnplug = 1;
}

void OnPlugIn(int) {
    gPlugIn = 1;
}

} // namespace

int main(int argc, char **argv) {
    const auto parsed = kv::sim::ParseProgramArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto *error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "fusesim: %s\n(fusesim --help lists the options)\n", error->c_str());
        return 2;
    }
    const auto &args = std::get<kv::sim::ProgramArgs>(parsed);
    if (args.help) {
        std::fputs(kv::sim::kProgramHelp, stdout);
        return 0;
    }
    if (args.version) {
        std::printf("fusesim %s\n", std::string(kv::ProgramVersion()).c_str());
        return 0;
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    struct sigaction unplug {};
    unplug.sa_handler = OnUnplug;
    sigaction(SIGUSR1, &unplug, nullptr);
    struct sigaction plugIn {};
    plugIn.sa_handler = OnPlugIn;
    sigaction(SIGUSR2, &plugIn, nullptr);

    kv::sim::FuseSim sim(args.options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "fusesim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.DevicePath().c_str());
    if (!args.options.linkPath.empty())
        std::printf("linked as %s\n", args.options.linkPath.c_str());
    std::fflush(stdout);
    if (args.floodBytesPerSecond > 0)
        sim.Flood(args.floodBytesPerSecond, args.floodMs);
    // After a hang-up fault the line is gone: the program ends like an unplugged device.
    // Unplugged by a signal, it waits to be plugged in again.
    while (!gStop && !sim.HungUp()) {
        if (gUnplug) {
            gUnplug = 0;
            sim.Unplug();
            std::printf("unplugged\n");
            std::fflush(stdout);
        }
        if (gPlugIn) {
            gPlugIn = 0;
            if (!sim.PlugIn(&error)) {
                std::fprintf(stderr, "fusesim: %s\n", error.c_str());
                return 1;
            }
            std::printf("plugged in %s\n", sim.DevicePath().c_str());
            std::fflush(stdout);
        }
        ::usleep(20 * 1000);
    }
    sim.Stop();
    if (args.options.verbose) {
        const auto writes =
            sim.FrameCount(static_cast<std::uint8_t>(kv::link::Cmd::WriteTableBlock));
        std::fprintf(stderr, "fusesim: %zu frames received, %zu table block writes\n",
                     sim.FrameCount(), writes);
    }
    return 0;
}
