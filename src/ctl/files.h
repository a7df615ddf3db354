// File handling shared by the commands that write files.
#pragma once

#include <string>

#include "ctl/session.h"

namespace kv::ctl {

// True when file may be written: it does not exist, or the user answered Yes (--yes) to
// "Overwrite file <file>?".
bool MayReplace(Session &s, const std::string &file);

// The help's note on where the settings and the other files are.
std::string FilesHelpText(const ProgramPaths &paths);

} // namespace kv::ctl
