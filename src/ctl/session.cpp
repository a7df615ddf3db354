#include "ctl/session.h"

#include "app/errors.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "ctl/files.h"
#include "ctl/multi_port.h"
#include "device/operations.h"

#include <cerrno>

namespace kv::ctl {

link::Timing CtlTiming(bool windowTiming) {
    link::Timing t;
    if (windowTiming)
        return t;
    // No log pane to keep in step: the reply is judged as soon as its bytes are in. The
    // 2-second limit stays, so a silent device fails as it does in the windows.
    t.completeEarly = true;
    t.gapMs = 2; // a read ends 2 ms after the last byte (a byte lasts 0.52 ms at 19200)
    t.closeDelayMs = 0;
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
    if (args.Has("--operator"))
        c.operatorName = args.Value("--operator");
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
                 const PortRun *run)
    : args(a), paths(p), ini(IniPath(a, p)), settings(ReadStartupSettings(ini)), err(e),
      port(run ? run->target.port : a.Value("--port")), unit(run ? run->target.unit : ""),
      host(err, a.Has("--verbose"), a.Has("--timestamps")), prompter(err, a.Has("--yes")),
      out_(out), run_(run), recorder_(HistoryPath(), RunContext(a, unit)) {
    IntOption("--baud", 0, 1, 4000000); // a bad speed is a usage error before any opening
    paths.DataDir();                    // an installed program's folder, made at its first run
}

Session::~Session() {
    // The link's destructor still processes hand-overs through the host.
    link_.reset();
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
    link_ = std::make_unique<link::Link>(
        host, [this] { return PortSettings(); }, CtlTiming(args.Has("--window-timing")));
    if (!link_->OpenComPort()) {
        link_.reset();
        return nullptr;
    }
    // The Info text costs one exchange of 17 bytes, made only when a record for a named
    // unit needs it, and kept out of the traffic shown with --verbose.
    recorder_.PortOpened(PortSettings().name, [this] {
        return history::InfoText(device::DeviceOps(*link_, prompter).Info({.log = false}));
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

std::string Session::HistoryPath() const {
    if (args.Has("--db"))
        return args.Value("--db");
    if (!settings.HistoryDb.empty())
        return settings.HistoryDb;
    return history::DefaultHistoryPath(paths.DataDir());
}

std::string Session::Reference() const {
    return args.Has("--reference") ? args.Value("--reference") : settings.ReferenceInstrument;
}

void Session::Record(const std::optional<history::Entry> &entry) {
    if (!entry || (!history::StoreAvailable() && !UnitNamed()))
        return;
    const history::Recorder::Result r = recorder_.Add(*entry);
    if (!r.warning.empty())
        err.Line(std::string(kProgram) + ": " + r.warning);
    if (!r.status) {
        historyFailed_ = true;
        Fail(r.status.message);
    }
}

void Session::Out(std::string_view line) {
    if (run_ && run_->collected) {
        run_->collected->emplace_back(line);
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
    err.Line(UsageLine(e.command()));
    if (!e.command())
        err.Line("Run \"" + std::string(kProgram) + " --help\" for the commands.");
    return kExitUsage;
}

int RunOne(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out, ErrorStream &err,
           const PortRun *run) {
    try {
        Session s(args, paths, out, err, run);
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

int Run(std::span<const std::string> argv, const ProgramPaths &paths, std::ostream &out,
        std::ostream &err) {
    ErrorStream errors(err);
    ParsedArgs args;
    try {
        args = ParseArgs(argv);
    } catch (const UsageError &e) {
        return UsageFailure(errors, e);
    }
    try {
        if (args.help) {
            // The program's help ends with where its files are.
            out << HelpText(args.helpTopic) << (args.helpTopic.empty() ? FilesHelpText(paths) : "");
            FlushOutput(out);
            return kExitOk;
        }
        const int rc = SeveralPorts(args) ? RunOnPorts(args, paths, out, errors)
                                          : RunOne(args, paths, out, errors, nullptr);
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
