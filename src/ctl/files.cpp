#include "ctl/files.h"

#include <chrono>

#include "app/text_files.h"
#include "corrtable/backup_files.h"

namespace kv::ctl {

bool MayReplace(Session &s, const std::string &file) {
    return !FileExists(file) || AskQuestion(s.prompter, OverwriteQuestion(file)) == IdYes;
}

std::string NewBackupPath(Session &s, std::string_view ext) {
    namespace ct = kv::corrtable;
    // The wanted name: the file is created exclusively when it is written, and a name taken
    // by then gets "-2", "-3", ... (see CreateBackupFile).
    return ct::BackupPath(s.args.Has("--backup-dir") ? s.args.Value("--backup-dir")
                                                     : ct::DefaultBackupDir(s.paths.DataDir()),
                          // Named by the unit when one is named, else by the port.
                          ct::BackupFileName(s.recorder().unit(), s.PortSettings().name,
                                             std::chrono::system_clock::now(), ext));
}

std::string FilesHelpText(const ProgramPaths &paths) {
    return "\nFiles (" + paths.name + ".ini, " + paths.name + ".adc): " + paths.dir +
           (paths.installed ? "\n  (the user's data folder, since the program is installed)\n"
                            : "\n  (the program's own folder: a portable copy)\n");
}

} // namespace kv::ctl
