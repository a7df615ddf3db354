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

// "-" for a file of the command line: standard input copied into a temporary file before
// the command reads it, or a temporary file the command writes, copied to standard output
// when it is done (the command's result lines then go to standard error, so that standard
// output holds the file alone). Any other name is used as it is. The temporary folder is
// removed when this ends; messages name the file stdin.EXT or stdout.EXT.
class StdioFile {
public:
    enum class Use { Read, Write };
    StdioFile(Session &s, std::string name, Use use, std::string_view ext);
    ~StdioFile();
    StdioFile(const StdioFile &) = delete;
    StdioFile &operator=(const StdioFile &) = delete;

    const std::string &path() const { return path_; }
    bool standard() const { return !dir_.empty(); }
    // Write: the file's bytes to standard output (nothing for another name). False after its
    // message when the file could not be read.
    bool Finish();

private:
    Session &s_;
    std::string path_;
    std::string dir_; // the temporary folder; empty for a plain name
};

// The help's note on where the settings and the other files are.
std::string FilesHelpText(const ProgramPaths &paths);

} // namespace kv::ctl
