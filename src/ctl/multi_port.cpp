#include "ctl/multi_port.h"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "app/format.h"
#include "app/json.h"
#include "app/numbers.h"
#include "app/text_files.h"

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
            throw std::runtime_error("cannot read ports file " + file + ": " + r.error);
        for (auto &t : ParsePortsFile(text, file, args.command))
            targets.push_back(std::move(t));
    }
    // The ports of the command line with those of the file: each once.
    std::set<std::string> ports, units;
    for (const auto &t : targets) {
        if (!ports.insert(Resolved(t.port)).second)
            throw UsageError("port " + t.port + " is given twice", args.command);
        if (!t.unit.empty() && !units.insert(t.unit).second)
            throw UsageError("unit " + t.unit + " is given twice", args.command);
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

std::string ForPort(std::string text, const std::string &label) {
    std::string name = label;
    for (char &c : name)
        if (c == '/' || c == '\\')
            c = '_';
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

// Commands that save a file or log: on several ports each needs a file of its own, or they
// would all write the same one.
void RefuseSharedFiles(const ParsedArgs &args) {
    const std::string name(args.command->name);
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

// The port's object: who and how it went first, then the command's own fields (its one
// object's fields, or its objects as "results", its text lines as "output").
std::string PortJson(const PortTarget &t, const PortResult &r) {
    json::Value j;
    j["port"] = t.port;
    if (!t.unit.empty())
        j["unit"] = t.unit;
    j["ok"] = r.rc == kExitOk;
    if (r.rc != kExitOk)
        j["error"] = r.error.empty() ? "exit status " + std::to_string(r.rc) : r.error;
    j["ms"] = r.ms;
    std::vector<json::Value> objects;
    std::vector<std::string> text;
    for (const auto &line : r.collected) {
        std::optional<json::Value> v = json::Parse(line);
        if (v && v->is_object())
            objects.push_back(std::move(*v));
        else
            text.push_back(line);
    }
    if (objects.size() == 1 && text.empty()) {
        for (const auto &m : objects.front().items())
            j[m.key()] = m.value();
    } else {
        if (!objects.empty())
            j["results"] = objects;
        if (!text.empty())
            j["output"] = text;
    }
    return json::Write(j);
}

} // namespace

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
                                    {file, n, Trim(line)}),
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
    std::vector<PortResult> results(targets.size());
    std::vector<std::thread> threads;
    threads.reserve(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        threads.emplace_back([&, i] {
            PortResult &r = results[i];
            const std::string label = PortLabel(targets[i]);
            const ParsedArgs portArgs = PortArgs(args, label);
            PortRun run{targets[i], label, &outputLock,
                        args.Has("--json") ? &r.collected : nullptr};
            ErrorStream portErr(err.Stream(), "[" + label + "] ", &err.Lock());
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
            out << "[" << PortLabel(targets[i]) << "] " << (r.rc == kExitOk ? "ok" : "FAILED")
                << " in " << r.ms << " ms"
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
