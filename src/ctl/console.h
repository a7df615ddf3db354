// The console side of korvanectl: the link host (log and status lines to standard error,
// hand-overs from the receive thread run by the waiting main thread) and the prompter
// (messages to standard error, questions answered from --yes, file names and entries from
// the command line).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/prompter.h"
#include "link/host.h"
#include "link/link.h"

namespace kv::ctl {

// Writes to the error stream from any thread, one line at a time.
class ErrorStream {
public:
    explicit ErrorStream(std::ostream &err) : err_(err) {}
    void Line(std::string_view text);

private:
    std::mutex mu_;
    std::ostream &err_;
};

class ConsoleHost : public link::LinkHost {
public:
    ConsoleHost(ErrorStream &err, bool verbose);

    // Log lines that are results rather than traffic go here when set (else to stderr).
    std::function<void(std::string_view)> onResultLine;

    void WriteLogLine(std::string_view text) override;
    void SetStatusPanel(int panel, std::string_view text) override;
    // The link reports a time-out by its log line and a beep; while the log is off for an
    // exchange only the beep comes, and the time-out is then reported here.
    void Beep() override;
    void ShowError(std::string_view text) override;

    // The link whose time-outs Beep reports (set once it exists).
    const link::Link *link = nullptr;
    void ProcessEvents() override;
    void RunOnMainThread(const std::function<void()> &fn) override;

    // Every log line seen, traffic included, in order (for the failure summary).
    const std::vector<std::string> &logLines() const { return logLines_; }
    int errorsShown() const { return errorsShown_; }

    // Traffic lines: the frames sent and received and the port's own notes.
    static bool IsTrafficLine(std::string_view text);

private:
    ErrorStream &err_;
    bool verbose_;
    std::thread::id mainThread_;
    std::vector<std::string> logLines_;
    int errorsShown_ = 0;
    bool receiveErrorLogged_ = false; // the last log line was the time-out's

    // Hand-overs queued by the receive thread, run by ProcessEvents. Guarded by mu_.
    struct Task {
        const std::function<void()> *fn;
        bool done = false;
    };
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Task *> tasks_;
};

class ConsolePrompter : public Prompter {
public:
    ConsolePrompter(ErrorStream &err, bool assumeYes) : err_(err), assumeYes_(assumeYes) {}

    // The file the next file dialog (of any title) is answered with; unset: the dialog is
    // refused as cancelled.
    void SetFileAnswer(std::string path) { fileAnswer_ = std::move(path); }
    // The answer to the text-entry dialog of this caption; unset: its start text, as if the
    // user had pressed OK.
    void SetInputAnswer(const std::string &caption, std::string text) {
        inputAnswers_[caption] = std::move(text);
    }

    int Message(const std::string &caption, const std::string &text, MsgIcon icon,
                MsgButtons buttons) override;
    bool RunFileDialog(FileDialog &dlg) override;
    std::optional<std::string> InputQuery(const std::string &caption, const std::string &prompt,
                                          const std::string &initial) override;
    void Beep() override {}

    // Questions refused for want of --yes, in order.
    const std::vector<std::string> &refused() const { return refused_; }
    // Message texts shown with the error icon, in order.
    const std::vector<std::string> &errors() const { return errors_; }
    const std::vector<std::string> &infos() const { return infos_; }

    // Message text for a console: CR LF and lone CR become line feeds.
    static std::string ConsoleText(std::string_view text);

private:
    ErrorStream &err_;
    bool assumeYes_;
    std::optional<std::string> fileAnswer_;
    std::map<std::string, std::string> inputAnswers_;
    std::vector<std::string> refused_;
    std::vector<std::string> errors_;
    std::vector<std::string> infos_;
};

} // namespace kv::ctl
