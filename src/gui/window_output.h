// Where the parts of the main window send what an operation gives back: its notices (boxes
// through the prompter, lines in the log pane), its record in the unit history, and plain
// log lines. The main window is it; each part is given it in its constructor.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/notice.h"

namespace kv::history {
struct Entry;
}

namespace kv {

class WindowOutput {
public:
    virtual void Show(const Notices &notices) = 0;
    // A record that cannot be written is reported in the log pane; none for nullopt.
    virtual void Record(const std::optional<history::Entry> &entry) = 0;
    // One line on top of the log pane (while the log is on).
    virtual void AddLog(std::string_view text) = 0;
    // The status bar's panel 0 or 1.
    virtual void SetStatusPanel(int panel, std::string_view text) = 0;
    // The log pane's lines, top (newest) first.
    virtual std::vector<std::string> LogLinesShown() const = 0;

protected:
    ~WindowOutput() = default;
};

} // namespace kv
