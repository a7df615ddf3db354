// What the serial link needs from the program around it. The main window implements it;
// korvanectl and the tests have hosts of their own.
#pragma once

#include <functional>
#include <string_view>

namespace kv::link {

// What a line of the log is, so that a host can treat the kinds differently without
// reading the text: the link's own lines, and the program's lines written through
// Link::AddLog.
enum class LineKind {
    PortOpened,    // "COM port opened"
    PortClosed,    // "COM port closed"
    Sent,          // "S: 10B"
    Received,      // "R: ..." (a received chunk, or "Buffer full")
    ReceiveError,  // "Receive error!": a transaction's wait ran out
    CmdInProgress, // "Cmd in progress...": a command refused while another one ran
    Program,       // a line of the program's own: a report, a result, a message
};

class LinkHost {
public:
    virtual ~LinkHost() = default;
    // Writes one line at the top of the log. Called while the log is on.
    virtual void WriteLogLine(LineKind kind, std::string_view text) = 0;
    // A line that a transaction run with its log off keeps out of the log (its beep, if it
    // has one, still sounds). The log pane ignores it; a host without one may report it.
    virtual void LineKeptOut(LineKind /*kind*/, std::string_view /*text*/) {}
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
    // Whether the received chunks' "R: " lines go anywhere. A host that drops them (the
    // command-line program without --verbose) spares the receive thread each chunk's
    // hand-over to the main thread: a transaction then returns as soon as its bytes are in.
    virtual bool ShowsReceivedLines() const { return true; }
};

} // namespace kv::link
