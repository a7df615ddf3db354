#include "ctl/console.h"

#include "app/log_lines.h"
#include "app/numbers.h"

namespace kv::ctl {

void ErrorStream::Line(std::string_view text) {
    std::string lines;
    if (prefix_.empty()) {
        lines = std::string(text) + '\n';
    } else {
        // Every line of a message carries the port's prefix.
        std::size_t start = 0;
        for (;;) {
            const std::size_t eol = text.find('\n', start);
            lines += prefix_ + std::string(text.substr(start, eol - start)) + '\n';
            if (eol == std::string_view::npos)
                break;
            start = eol + 1;
        }
    }
    std::lock_guard<std::mutex> lock(mu_);
    err_ << lines;
    err_.flush();
}

void ErrorStream::Problem(std::string_view text) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (firstProblem_.empty())
            firstProblem_ = text;
    }
    Line(text);
}

std::string ErrorStream::firstProblem() {
    std::lock_guard<std::mutex> lock(mu_);
    return firstProblem_;
}

ConsoleHost::ConsoleHost(ErrorStream &err, bool verbose, bool timestamps)
    : err_(err), verbose_(verbose), timestamps_(timestamps) {}

std::string ConsoleHost::Stamped(std::string text) const {
    if (!timestamps_)
        return text;
    return StampedLine(LocalClockMillis(std::chrono::system_clock::now()), text);
}

void ConsoleHost::WriteLogLine(link::LineKind kind, std::string_view line) {
    using link::LineKind;
    // As the log pane stores it: trailing blanks and control characters removed.
    const std::string text = TrimRight(line);
    switch (kind) {
    case LineKind::PortOpened:
    case LineKind::PortClosed:
    case LineKind::Sent:
    case LineKind::Received:
        if (verbose_)
            err_.Line(Stamped(text));
        return;
    case LineKind::ReceiveError:
        err_.Problem(Stamped(text));
        return;
    case LineKind::CmdInProgress:
        err_.Line(Stamped(text));
        return;
    case LineKind::Program: // the commands print their results from the outcomes
        err_.Line(Stamped(text));
        return;
    }
}

void ConsoleHost::LineKeptOut(link::LineKind kind, std::string_view text) {
    if (kind == link::LineKind::ReceiveError)
        err_.Problem(Stamped(TrimRight(text)));
}

void ConsoleHost::SetStatusPanel(int panel, std::string_view text) {
    if (verbose_ && !TrimRight(text).empty())
        err_.Line(Stamped("[panel " + std::to_string(panel) + "] " + TrimRight(text)));
}

void ConsoleHost::ShowError(std::string_view text) {
    err_.Problem("Error: " + ConsolePrompter::ConsoleText(text));
}

void ConsoleHost::ProcessEvents() {
    handOvers_.RunPending();
}

void ConsoleHost::RunOnMainThread(const std::function<void()> &fn) {
    handOvers_.Run(fn);
}

std::string ConsolePrompter::ConsoleText(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            s += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            s += text[i];
        }
    }
    return s;
}

int ConsolePrompter::Message(const std::string &caption, const std::string &text, MsgIcon icon,
                             MsgButtons buttons) {
    const std::string body = ConsoleText(text);
    if (buttons == MsgButtons::Ok) {
        if (icon == MsgIcon::Error) {
            // The general error report carries the application title; a plain error box
            // says "Error".
            err_.Problem((caption == kAppTitle ? std::string("Error") : caption) + ": " + body);
        } else {
            err_.Line(body);
        }
        return IdOk;
    }
    if (assumeYes_) {
        err_.Line("Question: " + body + " -> Yes (--yes)");
        return IdYes;
    }
    refused_.push_back(text);
    err_.Line("Question: " + body + " -> No (confirm with --yes)");
    return buttons == MsgButtons::YesNoCancel ? IdCancel : IdNo;
}

bool ConsolePrompter::RunFileDialog(FileDialog & /*dlg*/) {
    return false;
}

std::optional<std::string> ConsolePrompter::InputQuery(const std::string & /*caption*/,
                                                       const std::string & /*prompt*/,
                                                       const std::string &initial) {
    return initial;
}

} // namespace kv::ctl
