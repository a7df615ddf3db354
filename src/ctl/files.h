// File handling shared by the commands that write files.
#pragma once

#include <string>
#include <string_view>

#include "ctl/session.h"

namespace kv::ctl {

// True when file may be written: it does not exist, or the user answered Yes (--yes) to
// "Overwrite file <file>?".
bool MayReplace(Session &s, const std::string &file);

// A new file in the backup folder (--backup-dir, else "backups" in the program's folder)
// named by the port and the time, with the extension ext (".epr", ".ini").
std::string NewBackupPath(Session &s, std::string_view ext);

// The help's note on where the settings and the other files are.
std::string FilesHelpText(const ProgramPaths &paths);

} // namespace kv::ctl
