// A link host for tests without a display: records what the link shows (log lines newest
// first, trimmed as the log pane trims them; status panels; beeps; error boxes) and runs
// the receive thread's hand-overs when the test thread processes events.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/hand_over.h"
#include "link/host.h"

namespace kvtest {

class FakeHost : public kv::link::LinkHost {
public:
    FakeHost(); // the constructing thread is the main thread

    void WriteLogLine(kv::link::LineKind kind, std::string_view text) override;
    void LineKeptOut(kv::link::LineKind kind, std::string_view text) override;
    void SetStatusPanel(int panel, std::string_view text) override;
    void Beep() override;
    void ShowError(std::string_view text) override;
    void ProcessEvents() override;
    void RunOnMainThread(const std::function<void()> &fn) override;
    bool ShowsReceivedLines() const override { return showsReceivedLines; }

    // False: a host that drops the "R: " lines (korvanectl without --verbose).
    bool showsReceivedLines = true;

    // Runs during every ProcessEvents(), on the main thread: a test's stand-in for a click
    // or timer tick that arrives while the link waits.
    std::function<void()> onProcessEvents;

    std::vector<std::string> log() const;             // newest first
    std::vector<kv::link::LineKind> logKinds() const; // of log(), newest first
    // Lines the link kept out of the log (a transaction run with its log off), oldest first.
    std::vector<std::pair<kv::link::LineKind, std::string>> keptOut() const;
    std::string logLine(std::size_t fromTop) const; // "" beyond the end
    std::size_t logCount() const;
    // Index (from the top) of the newest line equal to text, or -1.
    int findLog(const std::string &text) const;
    void clearLog();
    std::string panel(int index) const;
    int beeps() const;
    std::vector<std::string> errors() const;
    void clearErrors();
    int processEventsCalls() const;
    // Hand-overs the receive thread is blocked on, waiting for ProcessEvents().
    std::size_t pendingHandOvers() const;

    // Processes events until pred() holds or timeoutMs has passed; pred() at the end.
    bool PumpUntil(const std::function<bool()> &pred, int timeoutMs = 5000);

private:
    kv::link::HandOverQueue handOvers_;
    mutable std::mutex mutex_;    // guards what follows: the receive thread writes log lines
    std::deque<std::string> log_; // newest first
    std::deque<kv::link::LineKind> kinds_;
    std::vector<std::pair<kv::link::LineKind, std::string>> keptOut_;
    std::string panels_[2];
    int beeps_ = 0;
    std::vector<std::string> errors_;
    int processEventsCalls_ = 0;
};

} // namespace kvtest
