#include "ctl/files.h"

#include "app/text_files.h"

namespace kv::ctl {

bool MayReplace(Session &s, const std::string &file) {
    return !FileExists(file) || AskQuestion(s.prompter, OverwriteQuestion(file)) == IdYes;
}

std::string FilesHelpText(const ProgramPaths &paths) {
    return "\nFiles (" + paths.name + ".ini, " + paths.name + ".adc): " + paths.dir +
           (paths.installed ? "\n  (the user's data folder, since the program is installed)\n"
                            : "\n  (the program's own folder: a portable copy)\n");
}

} // namespace kv::ctl
