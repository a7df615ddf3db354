// What the serial link needs from the program around it. The main window implements it;
// tests and the command-line program have hosts of their own.
#pragma once

#include <functional>
#include <string_view>

namespace kv::link {

class LinkHost {
public:
    virtual ~LinkHost() = default;
    // Writes one line at the top of the log (the caller has checked LogEnabled).
    virtual void WriteLogLine(std::string_view text) = 0;
    // Sets the text of a status-bar panel (0 or 1).
    virtual void SetStatusPanel(int panel, std::string_view text) = 0;
    virtual void Beep() = 0;
    // An error box; main thread only.
    virtual void ShowError(std::string_view text) = 0;
    // Main thread: handles the pending window events (and hand-overs) once.
    virtual void ProcessEvents() = 0;
    // Any thread: runs fn on the main thread and returns once it has run there. Called from
    // the receive thread while the main thread may be waiting in ProcessEvents().
    virtual void RunOnMainThread(const std::function<void()> &fn) = 0;
};

} // namespace kv::link
