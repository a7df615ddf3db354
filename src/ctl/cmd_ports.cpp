// The ports command: every serial port with what the system knows of it.
#include <filesystem>

#include "app/json.h"
#include "ctl/commands.h"
#include "ctl/session.h"
#include "link/port_list.h"

namespace kv::ctl {

int CmdPorts(Session &s) {
    link::PortRoots roots;
    if (s.args.Has("--root")) {
        // A copy of a machine's system tree (DIR/sys, DIR/dev), as a report of a service PC
        // is looked at elsewhere.
        const std::filesystem::path root = s.args.Value("--root");
        roots = {(root / "sys").lexically_normal().string(),
                 (root / "dev").lexically_normal().string()};
    }
    const auto ports = link::ListPorts(roots);
    bool first = true;
    for (const auto &port : ports) {
        const auto fields = link::PortFields(port);
        if (s.json()) {
            json::Value j = json::Value::object();
            for (const auto &[key, value] : fields)
                j[key] = value;
            s.Out(json::Write(j));
            continue;
        }
        // A block per port: its device first, its facts indented below it.
        if (!first)
            s.Out("");
        first = false;
        for (const auto &[key, value] : fields)
            s.Out(key == "port" ? value : "  " + key + ": " + value);
    }
    if (ports.empty() && !s.json())
        s.err.Line("no serial ports found");
    return kExitOk;
}

} // namespace kv::ctl
