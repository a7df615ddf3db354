// One run of korvanectl: the parsed command line, the settings file, the console host and
// prompter, and the link, opened on first use.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "app/comm_state.h"
#include "app/notice.h"
#include "app/program_path.h"
#include "app/settings_file.h"
#include "ctl/args.h"
#include "ctl/console.h"
#include "ctl/phases.h"
#include "history/recorder.h"
#include "link/link.h"

namespace kv::ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// --timeout: the reply time-out's range; the default is the link's 2 seconds.
inline constexpr int kTimeoutMinMs = 100;
inline constexpr int kTimeoutMaxMs = 60000;

// The link's timing for the command line: a transaction ends as soon as its bytes are in,
// with the windows' 2-second limit; with --window-timing the windows' own timing.
link::Timing CtlTiming(bool windowTiming);

// A port of a run over several ports (--ports FILE, or --port more than once).
struct PortTarget {
    std::string port;
    std::string unit; // empty: the ports file names none
};

// What one port's session shares with the others of its run.
struct PortRun {
    PortTarget target;
    std::string label;                   // before each of its lines: "[label] "
    std::mutex *outputLock;              // standard output's, shared by the ports
    std::vector<std::string> *collected; // --json: its results, kept for the port's object
    // The run's history file, written for every port in shared transactions; null: each
    // session writes its own.
    history::RecordBatcher *records = nullptr;
};

class Session {
public:
    // run: the port of a run over several; null for a run on one port. collect: where the
    // result lines go instead of standard output (a run on one port with --json).
    Session(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out, ErrorStream &err,
            const PortRun *run = nullptr, std::vector<std::string> *collect = nullptr);
    ~Session();

    const ParsedArgs &args;
    const ProgramPaths paths;
    IniFile ini;
    StartupSettings settings; // read once, as the main window's creation reads them
    ErrorStream &err;
    // The port to open (--port, or the run's); empty: "port" of the settings file. The unit
    // on it, when the ports file names one.
    const std::string port;
    const std::string unit;
    ConsoleHost host;
    ConsolePrompter prompter;

    bool json() const { return args.Has("--json"); }

    // The port and speed: the settings file's, which the command line overrides.
    link::PortSettings PortSettings() const;
    // The link with its port open; null after the opening failed (its messages shown).
    link::Link *OpenLink();
    link::Link *link() { return link_.get(); }

    // One line of results on standard output (standard error once a file goes there).
    void Out(std::string_view line);
    // A file's bytes on standard output ("-" for an output file); the result lines go to
    // standard error from now on.
    void WriteData(std::string_view bytes);
    void ResultsToErrors() { resultsToErrors_ = true; }
    // An operation's notices: its boxes on standard error as the prompter shows them, its
    // failure lines there too. Its result lines are the command's to print.
    void Tell(const Notices &notices);
    // A failure: "korvanectl: <message>" on standard error; returns kExitFailed.
    int Fail(std::string_view message);

    // An integer option of the command line (usage error when it is not one), or def.
    int IntOption(std::string_view name, int def, int min, int max) const;

    // The unit history: the file (--db, else "HistoryDb", else korvane.db in the data
    // folder) and the reference instrument (--reference, else "ReferenceInstrument").
    std::string HistoryPath() const;
    std::string Reference() const;
    // The shared history's connection string: --shared URI, else "SharedHistory"; "" for
    // none. Never printed as it is (history::MaskPassword).
    std::string SharedHistory() const;
    history::Recorder &recorder() { return recorder_; }
    // Records an operation. A record that cannot be written is reported on standard error
    // and makes the run fail when --unit asked for traceability; the operation's own
    // output and result stand. Without --unit, a build without the history file records
    // nothing and says nothing.
    void Record(const std::optional<history::Entry> &entry);
    bool HistoryFailed() const { return historyFailed_; }
    bool UnitNamed() const { return !unit.empty() || args.Has("--unit"); }

private:
    std::ostream &out_;
    const PortRun *run_;
    std::vector<std::string> *collected_; // the run's or collect; null: lines go out
    bool resultsToErrors_ = false;
    PhaseTimes phases_; // first: its clock starts with the session
    history::Recorder recorder_;
    bool historyFailed_ = false;
    std::unique_ptr<link::Link> link_;
};

// Standard output could not be written; the run fails with the system's reason.
class OutputFailed : public std::runtime_error {
public:
    explicit OutputFailed(int err);
};

// Flushes standard output; OutputFailed when it could not be written.
void FlushOutput(std::ostream &out);

// The command on one port (or the settings file's), its failures shown on err as they come;
// returns the exit status.
int RunOne(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out, ErrorStream &err,
           const PortRun *run);

// "korvanectl: <message>\n<usage line>" for a usage error; returns kExitUsage.
int UsageFailure(ErrorStream &err, const UsageError &e);

// The history file and the shared history of a run: --db or "HistoryDb" or the data
// folder's korvane.db; --shared URI or "SharedHistory".
std::string HistoryPathOf(const ParsedArgs &args, const StartupSettings &settings,
                          const ProgramPaths &paths);
std::string SharedHistoryOf(const ParsedArgs &args, const StartupSettings &settings);
// The history file of a run, as its sessions find it (the settings file read for it).
std::string HistoryPathOfRun(const ParsedArgs &args, const ProgramPaths &paths);

// The end of a run with a shared history: the records waiting in the history file are
// sent, within one connect time-out; a failure is one warning on err, and the records
// wait for the next run. The run's exit status stays as it was.
void ForwardAtEnd(const ParsedArgs &args, const ProgramPaths &paths, ErrorStream &err);

// Runs the command line (without the program name); returns the exit status.
int Run(std::span<const std::string> args, const ProgramPaths &paths, std::ostream &out,
        std::ostream &err);

} // namespace kv::ctl
