// One run of korvanectl: the parsed command line, the settings file, the console host and
// prompter, and the link, opened on first use.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "app/comm_state.h"
#include "app/notice.h"
#include "app/program_path.h"
#include "app/settings_file.h"
#include "ctl/args.h"
#include "ctl/console.h"
#include "link/link.h"

namespace kv::ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The link's timing for the command line: a transaction ends as soon as its bytes are in,
// with the windows' 2-second limit; with --window-timing the windows' own timing.
link::Timing CtlTiming(bool windowTiming);

class Session {
public:
    Session(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out,
            std::ostream &err);
    ~Session();

    const ParsedArgs &args;
    const ProgramPaths paths;
    IniFile ini;
    StartupSettings settings; // read once, as the main window's creation reads them
    ErrorStream err;
    ConsoleHost host;
    ConsolePrompter prompter;

    bool json() const { return args.Has("--json"); }

    // The port and speed: the settings file's, which the command line overrides.
    link::PortSettings PortSettings() const;
    // The link with its port open; null after the opening failed (its messages shown).
    link::Link *OpenLink();
    link::Link *link() { return link_.get(); }

    // One line of results on standard output.
    void Out(std::string_view line);
    // An operation's notices: its boxes on standard error as the prompter shows them, its
    // failure lines there too. Its result lines are the command's to print.
    void Tell(const Notices &notices);
    // A failure: "korvanectl: <message>" on standard error; returns kExitFailed.
    int Fail(std::string_view message);

    // An integer option of the command line (usage error when it is not one), or def.
    int IntOption(std::string_view name, int def, int min, int max) const;

private:
    std::ostream &out_;
    std::unique_ptr<link::Link> link_;
};

// Runs the command line (without the program name); returns the exit status.
int Run(std::span<const std::string> args, const ProgramPaths &paths, std::ostream &out,
        std::ostream &err);

} // namespace kv::ctl
