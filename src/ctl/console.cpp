#include "ctl/console.h"

#include "app/format.h"
#include "app/log_lines.h"
#include "app/numbers.h"
#include "ctl/args.h"

namespace kv::ctl {

void ErrorStream::Alias(std::string path, std::string shown) {
    std::lock_guard<std::mutex> lock(mu_);
    aliases_.emplace_back(std::move(path), std::move(shown));
}

std::string ErrorStream::Shown(std::string_view text) {
    std::string s(text);
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto &[path, shown] : aliases_)
        for (std::size_t at = s.find(path); at != std::string::npos;
             at = s.find(path, at + shown.size()))
            s.replace(at, path.size(), shown);
    return s;
}

void ErrorStream::Write(std::string_view original, bool message) {
    const std::string shownText = Shown(original);
    const std::string_view text = shownText;
    std::string stamp;
    if (timestamps_ && !message)
        stamp = StampedLine(LocalClockMillis(std::chrono::system_clock::now()), "") + " ";
    const std::string program = std::string(kProgram) + ": ";
    std::string lines;
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const std::size_t eol = text.find('\n', start);
        const std::string_view line = text.substr(start, eol - start);
        // The message's first line names the program; its further lines stay as they are.
        lines += prefix_ + stamp +
                 (message && first && !line.starts_with(program) ? program : std::string()) +
                 std::string(line) + '\n';
        if (eol == std::string_view::npos)
            break;
        start = eol + 1;
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (message)
        lastMessage_ = text.substr(0, text.find('\n'));
    ClearProgressLocked();
    err_ << lines;
    err_.flush();
}

void ErrorStream::Progress(std::string_view text) {
    if (!progressOn_)
        return;
    std::lock_guard<std::mutex> lock(mu_);
    const std::string line = prefix_ + std::string(kProgram) + ": " + std::string(text);
    // Spaces cover what a longer line before left; the cursor stays at the line's start.
    err_ << '\r' << line
         << std::string(progressWidth_ > line.size() ? progressWidth_ - line.size() : 0, ' ')
         << '\r';
    err_.flush();
    progressWidth_ = line.size();
}

void ErrorStream::ClearProgress() {
    std::lock_guard<std::mutex> lock(mu_);
    ClearProgressLocked();
    err_.flush();
}

void ErrorStream::ClearProgressLocked() {
    if (progressWidth_ == 0)
        return;
    err_ << '\r' << std::string(progressWidth_, ' ') << '\r';
    progressWidth_ = 0;
}

void ErrorStream::Line(std::string_view text) {
    if (!quiet_) {
        Write(text, true);
        return;
    }
    const std::string shown = Shown(text);
    std::lock_guard<std::mutex> lock(mu_);
    lastMessage_ = shown.substr(0, shown.find('\n'));
}

void ErrorStream::Raw(std::string_view text) {
    Write(text, false);
}

void ErrorStream::Problem(std::string_view text) {
    const std::string shown = Shown(text);
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (firstProblem_.empty())
            firstProblem_ = shown;
    }
    Write(text, true);
}

std::string ErrorStream::lastMessage() {
    std::lock_guard<std::mutex> lock(mu_);
    return lastMessage_;
}

std::string ErrorStream::firstProblem() {
    std::lock_guard<std::mutex> lock(mu_);
    return firstProblem_;
}

ConsoleHost::ConsoleHost(ErrorStream &err, int verbosity, bool timestamps)
    : err_(err), verbose_(verbosity > 0) {
    err_.SetTimestamps(timestamps || verbosity > 1);
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
            err_.Raw(text);
        return;
    case LineKind::ReceiveError:
        err_.Problem(text);
        return;
    case LineKind::CmdInProgress:
        err_.Line(text);
        return;
    case LineKind::Program: // the commands print their results from the outcomes
        err_.Line(text);
        return;
    }
}

void ConsoleHost::LineKeptOut(link::LineKind kind, std::string_view text) {
    if (kind == link::LineKind::ReceiveError)
        err_.Problem(TrimRight(text));
}

void ConsoleHost::SetStatusPanel(int panel, std::string_view text) {
    if (verbose_ && !TrimRight(text).empty())
        err_.Raw("[panel " + std::to_string(panel) + "] " + TrimRight(text));
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
