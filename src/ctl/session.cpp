#include "ctl/session.h"

#include "app/errors.h"
#include "app/numbers.h"
#include "ctl/files.h"

namespace kv::ctl {

link::Timing CtlTiming(bool windowTiming) {
    link::Timing t;
    if (windowTiming)
        return t;
    // No log pane to keep in step: the reply is judged as soon as its bytes are in. The
    // 2-second limit stays, so a silent device fails as it does in the windows.
    t.completeEarly = true;
    t.pollMs = 1;
    t.gapMs = 2;    // a read ends 2 ms after the last byte (a byte lasts 0.52 ms at 19200)
    t.rxIdleMs = 1; // the receive thread looks for bytes every millisecond
    t.closeDelayMs = 0;
    return t;
}

namespace {

std::string IniPath(const ParsedArgs &args, const ProgramPaths &paths) {
    return args.Has("--ini") ? args.Value("--ini") : paths.IniFileName();
}

} // namespace

Session::Session(const ParsedArgs &a, const ProgramPaths &p, std::ostream &out, std::ostream &e)
    : args(a), paths(p), ini(IniPath(a, p)), settings(ReadStartupSettings(ini)), err(e),
      host(err, a.Has("--verbose")), prompter(err, a.Has("--yes")), out_(out) {
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
    if (args.Has("--port"))
        r.name = args.Value("--port");
    if (args.Has("--baud"))
        r.baud = IntOption("--baud", r.baud, 1, 4000000);
    return r;
}

link::Link *Session::OpenLink() {
    if (link_)
        return link_.get();
    // Read at each opening, as the windows do.
    link_ = std::make_unique<link::Link>(
        host, [this] { return PortSettings(); }, CtlTiming(args.Has("--window-timing")));
    if (!link_->OpenComPort()) {
        link_.reset();
        return nullptr;
    }
    return link_.get();
}

void Session::Out(std::string_view line) {
    out_ << line << '\n';
    out_.flush();
}

void Session::Tell(const Notices &notices) {
    ShowNotices(notices, prompter, [this](const Notice &line) {
        if (line.kind == Notice::Kind::Problem)
            err.Line(line.text);
    });
}

int Session::Fail(std::string_view message) {
    err.Line(std::string(kProgram) + ": " + std::string(message));
    return kExitFailed;
}

int Session::IntOption(std::string_view name, int def, int min, int max) const {
    if (!args.Has(name))
        return def;
    const std::string v = args.Value(name);
    auto n = TryStrToInt(Trim(v));
    if (!n)
        throw UsageError(IntegerErrorText(v), args.command);
    if (*n < min || *n > max)
        throw UsageError("option " + std::string(name) + " must be " + std::to_string(min) + ".." +
                             std::to_string(max),
                         args.command);
    return *n;
}

namespace {

int UsageFailure(std::ostream &err, const UsageError &e) {
    err << kProgram << ": " << e.what() << '\n' << UsageLine(e.command()) << '\n';
    if (!e.command())
        err << "Run \"" << kProgram << " --help\" for the commands.\n";
    return kExitUsage;
}

} // namespace

int Run(std::span<const std::string> argv, const ProgramPaths &paths, std::ostream &out,
        std::ostream &err) {
    ParsedArgs args;
    try {
        args = ParseArgs(argv);
    } catch (const UsageError &e) {
        return UsageFailure(err, e);
    }
    if (args.help) {
        // The program's help ends with where its files are.
        out << HelpText(args.helpTopic) << (args.helpTopic.empty() ? FilesHelpText(paths) : "");
        return kExitOk;
    }
    try {
        Session s(args, paths, out, err);
        // As the main window logs it: the command goes on with the defaults.
        if (!s.settings.problem.empty())
            s.err.Line(std::string(kProgram) + ": " + s.settings.problem);
        int rc = args.command->run(s);
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
        err << kProgram << ": " << AppErrorText(e.what()) << '\n';
        return kExitFailed;
    } catch (const std::exception &e) {
        err << kProgram << ": " << e.what() << '\n';
        return kExitFailed;
    }
}

} // namespace kv::ctl
