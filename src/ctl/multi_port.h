// A device command on several ports at once: the ports of the command line and of a ports
// file, one session (link and receive thread) per port on a thread of its own, and one
// result per port.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/json.h"
#include "app/program_path.h"
#include "ctl/args.h"
#include "ctl/console.h"
#include "ctl/session.h"

namespace kv::ctl {

// True when the command runs on several ports: --ports FILE, or --port more than once.
bool SeveralPorts(const ParsedArgs &args);

// The lines of a ports file: "PORT" or "PORT UNIT" a line; blank lines and # comments are
// left out. A line with more, or a port or unit named twice, is an error (UsageError for
// the command), named with file and line.
std::vector<PortTarget> ParsePortsFile(std::string_view text, const std::string &file,
                                       const CommandDef *command);

// The text before a port's lines: its unit when named, else the port without "/dev/".
std::string PortLabel(const PortTarget &target);

// A command's result as one JSON object: head's members (the port, or the command), "ok",
// "error" when it failed, then the command's own: the fields of its one object, or its
// objects as "results" and its text lines as "output". A member the head has already set
// is not replaced.
std::string ResultJson(json::Value head, int rc, const std::string &error,
                       const std::vector<std::string> &collected);

// Runs the command on every port at once; each port's output goes out as it would alone,
// each line led by its label. Ends with one summary line per port, or with --json one object
// per port. 0 only when every port succeeded; 2 when a port's command line was refused.
int RunOnPorts(const ParsedArgs &args, const ProgramPaths &paths, std::ostream &out,
               ErrorStream &err);

} // namespace kv::ctl
