// The backup files kept before a table or the parameters are replaced: where they go, how
// they are named, and their creation, which never replaces or follows anything.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "app/text_files.h"

namespace kv::corrtable {

// The backup folder inside the program's data folder (tables and parameters).
std::string DefaultBackupDir(const std::string &dataDir);

// The name of a backup file: the unit when one is named (not empty), else the port's last
// path part, and the UTC time: "ttyUSB0-20261208-131500Z.epr" (ext ".ini" for parameters).
// Letters, digits, '.', '_' and '-' stay; a Latin letter with a mark becomes its plain
// letter ("ü" -> "u", "ß" -> "ss"), so that the name is one every file system takes; any
// other character (not byte) becomes '_'.
std::string BackupFileName(std::string_view unit, std::string_view port,
                           std::chrono::system_clock::time_point when,
                           std::string_view ext = ".epr");

// The wanted path of a backup: name in dir (a separator put between when dir lacks one).
std::string BackupPath(const std::string &dir, const std::string &name);

// Writes a backup file as a new file at wanted, or at wanted with "-2", "-3", ... when the
// name is taken (two writes in one second keep both backups; a link planted under the name
// is never followed). The folder is made when missing. created gets the file written.
FileResult CreateBackupFile(const std::string &wanted, std::string_view text, std::string &created);

} // namespace kv::corrtable
