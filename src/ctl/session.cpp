#include "ctl/session.h"

#include "app/errors.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "app/version.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/multi_port.h"
#include "device/operations.h"
#include "history/forwarder.h"

#include <cerrno>
#include <chrono>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kv::ctl {

namespace {

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(2) != 0;
#endif
}

} // namespace

link::Timing CtlTiming(bool windowTiming) {
    link::Timing t;
    if (windowTiming)
        return t;
    // No log pane to keep in step: the reply is judged as soon as its bytes are in. The
    // 2-second limit stays, so a silent device fails as it does in the windows.
    t.completeEarly = true;
    // A read ends 2 ms after the last byte (a byte lasts 0.52 ms at 19200).
    t.gap = std::chrono::milliseconds(2);
    // What the raising of DTR and RTS shakes loose arrives within a few byte times; the
    // windows' 100 ms before the drain were a quarter of a checked table write.
    t.openSettle = std::chrono::milliseconds(10);
    t.closeDelay = std::chrono::milliseconds(0);
    return t;
}

namespace {

std::string IniPath(const ParsedArgs &args, const ProgramPaths &paths) {
    return args.Has("--ini") ? args.Value("--ini") : paths.IniFileName();
}

// The records' context: this station and operator, and the unit from --unit or, on
// several ports, from the port's line of the --ports file.
history::Context RunContext(const ParsedArgs &args, const std::string &portUnit) {
    history::Context c = history::DefaultContext();
    if (args.Has("--operator")) {
        std::string error;
        auto name = history::CleanOperator(args.Value("--operator"), &error);
        if (!name || name->empty())
            throw UsageError("--operator: " + (name ? std::string("the name is empty") : error),
                             args.command);
        c.operatorName = *name;
    }
    const bool named = !portUnit.empty() || args.Has("--unit");
    if (named) {
        std::string error;
        auto unit = history::CleanUnit(portUnit.empty() ? args.Value("--unit") : portUnit, &error);
        if (!unit || unit->empty())
            throw UsageError("--unit: " +
                                 (unit ? std::string("the serial number is empty") : error),
                             args.command);
        c.unit = *unit;
    }
    return c;
}

} // namespace

Session::Session(const ParsedArgs &a, const ProgramPaths &p, std::ostream &out, ErrorStream &e,
                 const PortRun *run, std::vector<std::string> *collect)
    : args(a), paths(p), ini(IniPath(a, p)), settings(ReadStartupSettings(ini)), err(e),
      port(run ? run->target.port : a.Value("--port")), unit(run ? run->target.unit : ""),
      host(err, static_cast<int>(a.Values("--verbose").size()), a.Has("--timestamps")),
      prompter(err, a.Has("--yes")), out_(out), run_(run),
      collected_(run ? run->collected : collect), recorder_(HistoryPath(), RunContext(a, unit)) {
    if (run && run->records && run->records->Path() == HistoryPath())
        recorder_.WriteThrough(run->records);
    IntOption("--baud", 0, 1, 4000000); // a bad speed is a usage error before any opening
    IntOption("--timeout", 0, kTimeoutMinMs, kTimeoutMaxMs);
    paths.DataDir(); // an installed program's folder, made at its first run
}

Session::~Session() {
    // The link's destructor still processes hand-overs through the host.
    link_.reset();
    if (phases_.on())
        err.Raw(phases_.Line(run_ ? run_->label : port));
}

link::PortSettings Session::PortSettings() const {
    PortSetting ps = ReadPortSetting(ini);
    link::PortSettings r{ps.port, ps.baud};
    if (!port.empty()) // --port, or this port of several
        r.name = port;
    if (args.Has("--baud"))
        r.baud = IntOption("--baud", r.baud, 1, 4000000);
    return r;
}

link::Link *Session::OpenLink() {
    if (link_)
        return link_.get();
    // Read at each opening, as the windows do; the command line overrides both.
    link::Timing timing = CtlTiming(args.Has("--window-timing"));
    timing.limit = std::chrono::milliseconds(IntOption(
        "--timeout", static_cast<int>(timing.limit.count()), kTimeoutMinMs, kTimeoutMaxMs));
    link_ = std::make_unique<link::Link>(
        host, [this] { return PortSettings(); }, timing);
    phases_.Opening();
    if (!link_->OpenComPort()) {
        link_.reset();
        return nullptr;
    }
    phases_.Opened();
    // The Info text costs one exchange of 17 bytes, made only when a record for a named
    // unit needs it, and kept out of the traffic shown with --verbose.
    recorder_.PortOpened(PortSettings().name, [this] {
        const auto start = std::chrono::steady_clock::now();
        std::string info =
            history::InfoText(device::DeviceOps(*link_, prompter).Info({.log = false}));
        phases_.AddInfo(std::chrono::steady_clock::now() - start);
        return info;
    });
    return link_.get();
}

OutputFailed::OutputFailed(int err)
    : std::runtime_error("cannot write standard output: " +
                         (err ? SystemErrorText(err) : std::string("write error"))) {}

void FlushOutput(std::ostream &out) {
    errno = 0;
    if (!out.flush())
        throw OutputFailed(errno);
}

std::string HistoryPathOf(const ParsedArgs &args, const StartupSettings &settings,
                          const ProgramPaths &paths) {
    if (args.Has("--db"))
        return args.Value("--db");
    if (!settings.HistoryDb.empty())
        return settings.HistoryDb;
    return history::DefaultHistoryPath(paths.DataDir());
}

std::string HistoryPathOfRun(const ParsedArgs &args, const ProgramPaths &paths) {
    const IniFile ini(IniPath(args, paths));
    return HistoryPathOf(args, ReadStartupSettings(ini), paths);
}

std::string SharedHistoryOf(const ParsedArgs &args, const StartupSettings &settings) {
    const std::string given = args.Value("--shared");
    return given.empty() ? settings.SharedHistory : given;
}

std::string Session::HistoryPath() const {
    return HistoryPathOf(args, settings, paths);
}

std::string Session::SharedHistory() const {
    return SharedHistoryOf(args, settings);
}

void ForwardAtEnd(const ParsedArgs &args, const ProgramPaths &paths, ErrorStream &err) {
    if (!args.command || args.command->run == CmdHistorySync)
        return; // it forwards, or only reports, itself
    const IniFile ini(IniPath(args, paths));
    const StartupSettings settings = ReadStartupSettings(ini);
    const std::string shared = SharedHistoryOf(args, settings);
    if (shared.empty())
        return;
    const std::string warning = std::string(kProgram) + ": warning: ";
    if (!history::SharedAvailable()) {
        err.Line(warning + history::kNoSharedInBuild);
        return;
    }
    history::Store local(HistoryPathOf(args, settings, paths));
    history::SharedStore store(shared);
    const history::ForwardResult r = history::Forward(local, store);
    if (!r.status)
        err.Line(warning + history::Scrub(history::ForwardWarning(r), shared));
}

std::string Session::Reference() const {
    return args.Has("--reference") ? args.Value("--reference") : settings.ReferenceInstrument;
}

void Session::Record(const std::optional<history::Entry> &entry) {
    if (!entry || (!history::StoreAvailable() && !UnitNamed()))
        return;
    const auto start = std::chrono::steady_clock::now();
    const history::Recorder::Result r = recorder_.Add(*entry);
    phases_.AddRecords(std::chrono::steady_clock::now() - start);
    if (!r.warning.empty())
        err.Line(std::string(kProgram) + ": " + r.warning);
    if (!r.status) {
        historyFailed_ = true;
        Fail(r.status.message);
    }
}

void Session::WriteData(std::string_view bytes) {
#ifdef _WIN32
    if (&out_ == &std::cout) {
        std::cout.flush();
        _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
    out_ << bytes;
    FlushOutput(out_);
}

void Session::Out(std::string_view original) {
    const std::string shown = err.Shown(original);
    const std::string_view line = shown;
    if (resultsToErrors_) {
        err.Line(line);
        return;
    }
    if (collected_) {
        collected_->emplace_back(line);
        return;
    }
    std::unique_lock<std::mutex> lock;
    if (run_)
        lock = std::unique_lock<std::mutex>(*run_->outputLock);
    if (out_)
        out_ << (run_ ? "[" + run_->label + "] " : std::string()) << line << '\n';
    FlushOutput(out_);
}

void Session::Tell(const Notices &notices) {
    ShowNotices(notices, prompter, [this](const Notice &line) {
        if (line.kind == Notice::Kind::Problem)
            err.Problem(line.text);
    });
}

int Session::Fail(std::string_view message) {
    err.Problem(std::string(kProgram) + ": " + std::string(message));
    return kExitFailed;
}

int Session::IntOption(std::string_view name, int def, int min, int max) const {
    if (!args.Has(name))
        return def;
    const std::string v = args.Value(name);
    auto n = TryStrToInt(Trim(v));
    if (!n)
        // Also a number too long for the range: the message names the option either way.
        throw UsageError("option " + std::string(name) + ": " + IntegerErrorText(v), args.command);
    if (*n < min || *n > max)
        throw UsageError("option " + std::string(name) + " must be " + std::to_string(min) + ".." +
                             std::to_string(max),
                         args.command);
    return *n;
}

int UsageFailure(ErrorStream &err, const UsageError &e) {
    err.Problem(std::string(kProgram) + ": " + e.what());
    err.Raw(UsageLine(e.command()));
    if (!e.command())
        err.Raw("Run \"" + std::string(kProgram) + " --help\" for the commands.");
    return kExitUsage;
}

namespace {

int RunSession(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out,
               ErrorStream &err, const PortRun *run, std::vector<std::string> *collect) {
    try {
        Session s(args, paths, out, err, run, collect);
        if (s.args.Has("--verbose"))
            for (const std::string &name : IgnoredOptions(args))
                s.err.Line(name + " is ignored by " + std::string(args.command->name) +
                           " (it does not talk to the device)");
        // As the main window logs it: the command goes on with the defaults.
        if (!s.settings.problem.empty())
            s.err.Line(std::string(kProgram) + ": " + s.settings.problem);
        int rc = args.command->run(s);
        // Traceability was asked for: a record lost fails the run, the work stays done.
        if (s.HistoryFailed() && s.UnitNamed() && rc == kExitOk)
            rc = kExitFailed;
        if (!s.prompter.refused().empty()) {
            // The question was shown in full; its first line names it here.
            const std::string q = ConsolePrompter::ConsoleText(s.prompter.refused().front());
            const std::size_t eol = q.find('\n');
            s.Fail("confirmation refused: " +
                   (eol == std::string::npos ? q : q.substr(0, eol) + " ...") +
                   " (answer Yes with --yes)");
            rc = kExitFailed;
        }
        return rc;
    } catch (const UsageError &e) {
        return UsageFailure(err, e);
    } catch (const kv::Error &e) {
        err.Problem(std::string(kProgram) + ": " + AppErrorText(e.what()));
        return kExitFailed;
    } catch (const std::exception &e) {
        err.Problem(std::string(kProgram) + ": " + e.what());
        return kExitFailed;
    }
}

} // namespace

int RunOne(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out, ErrorStream &err,
           const PortRun *run) {
    // A command on one port with --json gives one object, as each port does on several: a command
    // with objects of its own prints them as they come and, when it fails, an object with "ok":
    // false and the "error"; any other prints its lines as the object's "output", with "ok".
    const bool json = !run && args.Has("--json");
    const bool collect = json && !args.command->json;
    std::vector<std::string> lines;
    const int rc = RunSession(args, paths, out, err, run, collect ? &lines : nullptr);
    // A usage error is no result: its reason and usage line are on standard error.
    if (json && rc != kExitUsage && (collect || rc != kExitOk)) {
        json::Value head;
        head["command"] = std::string(args.command->name);
        const std::string problem = err.firstProblem();
        out << ResultJson(std::move(head), rc, problem.empty() ? err.lastMessage() : problem, lines)
            << '\n';
        FlushOutput(out);
    }
    return rc;
}

int Run(std::span<const std::string> argv, const ProgramPaths &paths, std::ostream &out,
        std::ostream &err) {
    ErrorStream errors(err);
    ParsedArgs args;
    try {
        // "help COMMAND" is "COMMAND --help"; "help" alone the program's help.
        if (!argv.empty() && argv.front() == "help") {
            std::vector<std::string> asked(argv.begin() + 1, argv.end());
            asked.emplace_back("--help");
            args = ParseArgs(asked);
        } else {
            args = ParseArgs(argv);
        }
    } catch (const UsageError &e) {
        return UsageFailure(errors, e);
    }
    errors.SetQuiet(args.Has("--quiet"));
    try {
        if (args.Has("--version")) {
            out << kProgram << ' ' << ProgramVersion() << '\n';
            FlushOutput(out);
            return kExitOk;
        }
        if (args.help) {
            // The program's help ends with where its files are.
            out << HelpText(args.helpTopic) << (args.helpTopic.empty() ? FilesHelpText(paths) : "");
            FlushOutput(out);
            return kExitOk;
        }
        // A transfer's progress line, only on a terminal and for one port: a pipe or a file
        // gets the messages alone, and several ports would write over each other's line.
        errors.ShowProgress(&err == &std::cerr && StandardErrorIsTerminal() &&
                            !args.Has("--quiet") && !args.Has("--json") && !SeveralPorts(args));
        const int rc = args.command->device && SeveralPorts(args)
                           ? RunOnPorts(args, paths, out, errors)
                           : RunOne(args, paths, out, errors, nullptr);
        // The device work is done and reported: the shared history's turn, which never
        // changes the exit status.
        try {
            ForwardAtEnd(args, paths, errors);
        } catch (const std::exception &e) {
            errors.Line(std::string(kProgram) + ": warning: " + e.what());
        }
        // Each result line was flushed and checked as it was written (a failed one ended the
        // command with its message); what is still buffered is checked here.
        if (out.good())
            FlushOutput(out);
        return rc;
    } catch (const OutputFailed &e) {
        errors.Problem(std::string(kProgram) + ": " + e.what());
        return kExitFailed;
    }
}

} // namespace kv::ctl
