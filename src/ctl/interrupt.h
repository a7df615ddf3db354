// Ctrl+C (SIGINT) and SIGTERM during a transfer that must not be cut in the middle: while a
// StopOnSignal lives, the first signal only sets a flag that the transfer asks between its
// blocks; a second one ends the program at once (exit 130) with a line saying that the
// device may hold an incomplete table.
#pragma once

#include <string>

namespace kv::ctl {

// The exit status of a run that a signal stopped (128 + SIGINT, as shells report it).
inline constexpr int kExitInterrupted = 130;

class StopOnSignal {
public:
    StopOnSignal();  // installs the handlers and clears the flag
    ~StopOnSignal(); // puts the handlers before back
    StopOnSignal(const StopOnSignal &) = delete;
    StopOnSignal &operator=(const StopOnSignal &) = delete;

    // A signal came since the handlers were installed. Safe from any thread.
    static bool Requested();
    // The backup file a second signal names (how to put it back); set before the first block
    // is sent, read by the handler.
    static void SetBackup(const std::string &file);
};

} // namespace kv::ctl
