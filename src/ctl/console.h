// The console side of korvanectl: the link host (log and status lines to standard error,
// hand-overs from the receive thread run by the waiting main thread) and the prompter
// (messages to standard error, questions answered from --yes, file names and entries from
// the command line).
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/prompter.h"
#include "link/hand_over.h"
#include "link/host.h"
#include "link/link.h"

namespace kv::ctl {

// Writes to the error stream from any thread, one line at a time. Every message has one
// style: "korvanectl: " before its first line; with several ports each port's lines carry
// its prefix first ("[ttyUSB0] korvanectl: ...") and the ports share one lock. Quiet
// (-q) leaves out everything but problems.
class ErrorStream {
public:
    explicit ErrorStream(std::ostream &err, std::string prefix = {}, std::mutex *shared = nullptr,
                         bool quiet = false)
        : mu_(shared ? *shared : own_), err_(err), prefix_(std::move(prefix)), quiet_(quiet) {}
    // A message (left out when quiet).
    void Line(std::string_view text);
    // A line that says what went wrong, shown also when quiet; the first one is kept as the
    // run's error.
    void Problem(std::string_view text);
    // A line as it is: the serial traffic and status lines of -v, a usage line. With
    // timestamps (-vv) each starts with the local time to the millisecond.
    void Raw(std::string_view text);
    std::string firstProblem();
    // The last message line, for a failure that no problem line explained ("Manual switch
    // is OFF!" is a notice).
    std::string lastMessage();
    // Every later line shows `shown` where it would name `path` (a temporary file that
    // stands for standard input or output).
    void Alias(std::string path, std::string shown);
    std::string Shown(std::string_view text);
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }
    void SetTimestamps(bool on) { timestamps_ = on; }
    // A progress line on a terminal: written over in place ("\r"), cleared by the next line
    // written and by ClearProgress. Nothing when ShowProgress has not turned it on.
    void ShowProgress(bool on) { progressOn_ = on; }
    bool progressShown() const { return progressOn_; }
    void Progress(std::string_view text);
    void ClearProgress();
    // The stream and its lock, for the streams of several ports writing to it at once.
    std::ostream &Stream() { return err_; }
    std::mutex &Lock() { return mu_; }

private:
    void Write(std::string_view text, bool message);
    void ClearProgressLocked();
    std::mutex own_;
    std::mutex &mu_; // guards err_ and firstProblem_
    std::ostream &err_;
    const std::string prefix_;
    bool quiet_;
    bool timestamps_ = false;
    bool progressOn_ = false;
    std::size_t progressWidth_ = 0; // the progress line on the terminal now; 0: none
    std::string firstProblem_;
    std::string lastMessage_;
    std::vector<std::pair<std::string, std::string>> aliases_;
};

class ConsoleHost : public link::LinkHost {
public:
    // verbosity: 0 results and messages; 1 (-v) the traffic and status lines too; 2 (-vv)
    // those with timestamps. timestamps (--timestamps): every line on standard error starts
    // with the time of day to the millisecond.
    ConsoleHost(ErrorStream &err, int verbosity, bool timestamps = false);

    // The traffic (frames, the port's opening and closing) goes to standard error with
    // --verbose; a time-out or a refused command always, also when the exchange kept it out
    // of the log.
    void WriteLogLine(link::LineKind kind, std::string_view text) override;
    void LineKeptOut(link::LineKind kind, std::string_view text) override;
    void SetStatusPanel(int panel, std::string_view text) override;
    void Beep() override {}
    void ShowError(std::string_view text) override;
    void ProcessEvents() override;
    void RunOnMainThread(const std::function<void()> &fn) override;
    bool ShowsReceivedLines() const override { return verbose_; }

private:
    ErrorStream &err_;
    bool verbose_;
    link::HandOverQueue handOvers_; // the receive thread's lines, run by ProcessEvents
};

class ConsolePrompter : public Prompter {
public:
    ConsolePrompter(ErrorStream &err, bool assumeYes) : err_(err), assumeYes_(assumeYes) {}

    int Message(const std::string &caption, const std::string &text, MsgIcon icon,
                MsgButtons buttons) override;
    // File names come from the command line: a file dialog is cancelled.
    bool RunFileDialog(FileDialog &dlg) override;
    // Entries come from options: the text-entry dialog is confirmed with its start text.
    std::optional<std::string> InputQuery(const std::string &caption, const std::string &prompt,
                                          const std::string &initial) override;
    void Beep() override {}

    // Questions refused for want of --yes, in order.
    const std::vector<std::string> &refused() const { return refused_; }

    // Message text for a console: CR LF and lone CR become line feeds.
    static std::string ConsoleText(std::string_view text);

private:
    ErrorStream &err_;
    bool assumeYes_;
    std::vector<std::string> refused_;
};

} // namespace kv::ctl
