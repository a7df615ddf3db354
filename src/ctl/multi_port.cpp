#include "ctl/multi_port.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "app/file_names.h"
#include "app/format.h"
#include "app/json.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "history/record.h"

namespace kv::ctl {

namespace {

// A ports file lists a rack's adapters: a few dozen lines. More is not a ports file.
constexpr std::size_t kPortsFileLimit = 64 * 1024;

// The device a port name reaches, so that /dev/ttyUSB0 and a link to it count as one.
std::string Resolved(const std::string &port) {
    std::error_code ec;
    const auto p = std::filesystem::weakly_canonical(port, ec);
    return ec ? port : p.string();
}

std::vector<PortTarget> Targets(const ParsedArgs &args) {
    std::vector<PortTarget> targets;
    for (const auto &port : args.Values("--port"))
        targets.push_back({port, ""});
    if (args.Has("--ports")) {
        const std::string file = args.Value("--ports");
        std::string text;
        if (FileResult r = ReadTextFile(file, kPortsFileLimit, text); !r)
            throw std::runtime_error("cannot read ports file " + ShownText(file) + ": " + r.error);
        for (auto &t : ParsePortsFile(text, file, args.command))
            targets.push_back(std::move(t));
    }
    // The ports of the command line with those of the file: each once.
    std::set<std::string> ports, units;
    for (const auto &t : targets) {
        if (!ports.insert(Resolved(t.port)).second)
            throw UsageError("port " + ShownText(t.port) + " is given twice", args.command);
        if (!t.unit.empty() && !units.insert(t.unit).second)
            throw UsageError("unit " + ShownText(t.unit) + " is given twice", args.command);
    }
    if (targets.empty())
        throw UsageError("the ports file " + args.Value("--ports") + " names no port",
                         args.command);
    return targets;
}

// "{unit}" in a file name stands for the port's label, so that each port has a file of its
// own ("tables/{unit}.epr").
constexpr std::string_view kUnitField = "{unit}";

bool NamesUnit(std::string_view file) {
    return file.find(kUnitField) != std::string_view::npos;
}

// The label as it stands in a file name: the backup files' rule (FileNamePart).
std::string ForPort(std::string text, const std::string &label) {
    const std::string name = FileNamePart(label);
    for (std::size_t at = text.find(kUnitField); at != std::string::npos;
         at = text.find(kUnitField, at + name.size()))
        text.replace(at, kUnitField.size(), name);
    return text;
}

// The port's command line: "{unit}" replaced in the arguments and option values.
ParsedArgs PortArgs(const ParsedArgs &args, const std::string &label) {
    ParsedArgs r = args;
    for (auto &a : r.args)
        a = ForPort(a, label);
    for (auto &[name, values] : r.options)
        for (auto &v : values)
            v = ForPort(v, label);
    return r;
}

// Two ports whose labels give one file name ("rack/1" and "rack_1" both give rack_1) would
// share the file: one port's table saved over the other's, or one fuse programmed with the
// other's table. Refused before any port opens.
void RefuseSameFiles(const ParsedArgs &args, const std::vector<PortTarget> &targets) {
    std::vector<std::string> named;
    for (const auto &a : args.args)
        if (NamesUnit(a))
            named.push_back(a);
    for (const auto &[option, values] : args.options)
        for (const auto &v : values)
            if (NamesUnit(v))
                named.push_back(v);
    for (const std::string &pattern : named) {
        std::map<std::string, std::string> labels; // file -> the label that gave it
        for (const auto &t : targets) {
            const std::string label = PortLabel(t);
            const std::string file = ForPort(pattern, label);
            const auto [it, fresh] = labels.emplace(file, label);
            if (!fresh)
                throw UsageError(Format("%s and %s would share the file %s: {unit} gives one "
                                        "name for both (name the units so that they differ in "
                                        "letters, digits, '.', '_' or '-')",
                                        {ShownText(it->second), ShownText(label), ShownText(file)}),
                                 args.command);
        }
    }
}

// Commands that save a file or log: on several ports each needs a file of its own, or they
// would all write the same one.
void RefuseSharedFiles(const ParsedArgs &args) {
    const std::string name(args.command->name);
    for (const auto &a : args.args)
        if (a == "-")
            throw UsageError("standard input or output (-) serves one port only", args.command);
    if (name == "table read" && !NamesUnit(args.args[0]))
        throw UsageError("table read on several ports saves a file per port: name it with "
                         "{unit} (tables/{unit}.epr)",
                         args.command);
    if (name == "current" && (args.Has("--every") || args.Has("--log")) &&
        !NamesUnit(args.Value("--log")))
        throw UsageError("current on several ports logs to a file per port: give --log with "
                         "{unit} (logs/{unit}.adc)",
                         args.command);
}

struct PortResult {
    int rc = kExitFailed;
    std::string error;
    long long ms = 0;
    std::vector<std::string> collected; // --json: the command's results
};

// The port's object: who and how it went first, then the command's own fields.
std::string PortJson(const PortTarget &t, const PortResult &r) {
    json::Value head;
    head["port"] = t.port;
    if (!t.unit.empty())
        head["unit"] = t.unit;
    head["ok"] = r.rc == kExitOk;
    if (r.rc != kExitOk)
        head["error"] = r.error.empty() ? "exit status " + std::to_string(r.rc) : r.error;
    head["ms"] = r.ms;
    return ResultJson(std::move(head), r.rc, r.error, r.collected);
}

} // namespace

std::string ResultJson(json::Value j, int rc, const std::string &error,
                       const std::vector<std::string> &collected) {
    if (!j.contains("ok"))
        j["ok"] = rc == kExitOk;
    if (rc != kExitOk && !j.contains("error"))
        j["error"] = error.empty() ? "exit status " + std::to_string(rc) : error;
    std::vector<json::Value> objects;
    std::vector<std::string> text;
    for (const auto &line : collected) {
        std::optional<json::Value> v = json::Parse(line);
        if (v && v->is_object())
            objects.push_back(std::move(*v));
        else
            text.push_back(line);
    }
    // One object: its fields are the result's own, the text lines beside them.
    if (objects.size() == 1) {
        for (const auto &m : objects.front().items())
            if (!j.contains(m.key()))
                j[m.key()] = m.value();
        if (!text.empty())
            j["output"] = text;
    } else {
        if (!objects.empty())
            j["results"] = objects;
        if (!text.empty())
            j["output"] = text;
    }
    return json::Write(j);
}

bool SeveralPorts(const ParsedArgs &args) {
    return args.Has("--ports") || args.Values("--port").size() > 1;
}

std::vector<PortTarget> ParsePortsFile(std::string_view text, const std::string &file,
                                       const CommandDef *command) {
    std::vector<PortTarget> targets;
    std::istringstream in{std::string(text)};
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (const std::size_t hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        if (w.size() > 2)
            throw UsageError(Format("%s line %d: expected PORT or PORT UNIT, found \"%s\"",
                                    {ShownText(file), n, ShownText(Trim(line))}),
                             command);
        // A unit the history would refuse is refused here, before any port opens.
        std::string error;
        if (w.size() == 2 && !history::CleanUnit(w[1], &error))
            throw UsageError(
                Format("%s line %d: unit %s: %s", {ShownText(file), n, ShownText(w[1]), error}),
                command);
        targets.push_back({w[0], w.size() == 2 ? w[1] : ""});
    }
    return targets;
}

std::string PortLabel(const PortTarget &target) {
    if (!target.unit.empty())
        return target.unit;
    constexpr std::string_view kDev = "/dev/";
    return target.port.starts_with(kDev) ? target.port.substr(kDev.size()) : target.port;
}

int RunOnPorts(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out,
               ErrorStream &err) {
    std::vector<PortTarget> targets;
    try {
        RefuseSharedFiles(args);
        targets = Targets(args);
        RefuseSameFiles(args, targets);
    } catch (const UsageError &e) {
        return UsageFailure(err, e);
    } catch (const std::exception &e) {
        err.Problem(std::string(kProgram) + ": " + e.what());
        return kExitFailed;
    }

    // Every port at once, each on its own thread with its own link: one port's failure or
    // slowness never holds up another. Questions are answered by --yes alone, so no port
    // waits on another's answer; without it every port refuses the question and fails.
    std::mutex outputLock;
    // One history file for all: records that come together are written together.
    history::RecordBatcher records(HistoryPathOfRun(args, paths));
    std::vector<PortResult> results(targets.size());
    std::vector<std::thread> threads;
    threads.reserve(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        threads.emplace_back([&, i] {
            PortResult &r = results[i];
            const std::string label = PortLabel(targets[i]);
            const ParsedArgs portArgs = PortArgs(args, label);
            PortRun run{targets[i], ShownText(label), &outputLock,
                        args.Has("--json") ? &r.collected : nullptr, &records};
            ErrorStream portErr(err.Stream(), "[" + ShownText(label) + "] ", &err.Lock(),
                                err.quiet());
            const auto start = std::chrono::steady_clock::now();
            r.rc = RunOne(portArgs, paths, out, portErr, &run);
            r.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
            r.error = portErr.firstProblem();
        });
    for (auto &t : threads)
        t.join();

    int rc = kExitOk;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const PortResult &r = results[i];
        if (r.rc != kExitOk && rc != kExitUsage)
            rc = r.rc == kExitUsage ? kExitUsage : kExitFailed;
        if (args.Has("--json")) {
            out << PortJson(targets[i], r) << '\n';
        } else {
            out << "[" << ShownText(PortLabel(targets[i])) << "] "
                << (r.rc == kExitOk ? "ok" : "FAILED") << " in " << r.ms << " ms"
                << (r.rc == kExitOk
                        ? ""
                        : ": " +
                              (r.error.empty() ? "exit status " + std::to_string(r.rc) : r.error))
                << '\n';
        }
        FlushOutput(out);
    }
    return rc;
}

} // namespace kv::ctl
