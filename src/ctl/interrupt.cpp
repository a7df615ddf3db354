#include "ctl/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <mutex>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kv::ctl {

namespace {

// Written by the handler only; lock-free so that the handler may touch it.
std::atomic<int> signals{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr char kAtOnce[] = "\nkorvanectl: stopped at once; the device's table may be incomplete";
// "; put the backup back: korvanectl table write --no-verify FILE" (the device's table may
// not check, so the checked write would refuse it); made before the handler may read it.
char backupAdvice[1024] = "";
std::atomic<std::size_t> backupAdviceLength{0};

void WriteOut(const char *text, std::size_t n) {
#ifdef _WIN32
    [[maybe_unused]] const int w = _write(2, text, static_cast<unsigned>(n));
#else
    [[maybe_unused]] const ssize_t w = ::write(2, text, n);
#endif
}

extern "C" void OnStopSignal(int sig) {
    if (signals.fetch_add(1) >= 1) {
        // The second signal: only async-signal-safe calls from here on.
        WriteOut(kAtOnce, sizeof kAtOnce - 1);
        WriteOut(backupAdvice, backupAdviceLength.load());
        WriteOut("\n", 1);
        _exit(kExitInterrupted);
    }
#ifdef _WIN32
    std::signal(sig, OnStopSignal); // the C runtime resets the handler on each signal
#else
    (void)sig;
#endif
}

#ifndef _WIN32
struct sigaction oldInt, oldTerm;
#else
void (*oldInt)(int) = SIG_DFL;
void (*oldTerm)(int) = SIG_DFL;
#endif

} // namespace

StopOnSignal::StopOnSignal() {
    signals = 0;
    backupAdviceLength = 0;
#ifdef _WIN32
    oldInt = std::signal(SIGINT, OnStopSignal);
    oldTerm = std::signal(SIGTERM, OnStopSignal);
    // A signal the program was started to ignore stays ignored.
    if (oldInt == SIG_IGN)
        std::signal(SIGINT, SIG_IGN);
    if (oldTerm == SIG_IGN)
        std::signal(SIGTERM, SIG_IGN);
#else
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // SA_RESTART: the waits of the transfer go on; the flag is asked between blocks.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, nullptr, &oldInt);
    sigaction(SIGTERM, nullptr, &oldTerm);
    // A signal the program was started to ignore (a background job, nohup) stays ignored.
    if (oldInt.sa_handler != SIG_IGN)
        sigaction(SIGINT, &sa, nullptr);
    if (oldTerm.sa_handler != SIG_IGN)
        sigaction(SIGTERM, &sa, nullptr);
#endif
}

StopOnSignal::~StopOnSignal() {
#ifdef _WIN32
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
#else
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
#endif
}

void StopOnSignal::SetBackup(const std::string &file) {
    // Ports written at once each have a backup: the advice then points at the lines that name
    // them. Only the main threads of the ports call this; they take turns through the lock.
    static std::mutex lock;
    const std::lock_guard guard(lock);
    const std::string text =
        backupAdviceLength.load() > 0
            ? std::string("; put each port's backup (its backup: line) back with korvanectl "
                          "table write --no-verify")
            : "; put the backup back: korvanectl table write --no-verify " + file;
    backupAdviceLength = 0;
    if (text.size() >= sizeof backupAdvice)
        return; // a path that long is left out; the backup line on standard output names it
    text.copy(backupAdvice, text.size());
    backupAdviceLength = text.size();
}

bool StopOnSignal::Requested() {
    return signals.load() > 0;
}

} // namespace kv::ctl
