#include "ctl/files.h"

#include "app/program_path.h"
#include "app/text_files.h"

namespace kv::ctl {

bool MayReplace(Session &s, const std::string &file) {
    return !FileExists(file) || AskQuestion(s.prompter, "Overwrite file " + file + "?") == IdYes;
}

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.find_last_of(PathSeparator() == '\\' ? "\\/" : "/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace kv::ctl
