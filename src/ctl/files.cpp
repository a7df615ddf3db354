#include "ctl/files.h"

#include "app/text_files.h"

namespace kv::ctl {

bool MayReplace(Session &s, const std::string &file) {
    return !FileExists(file) || AskQuestion(s.prompter, "Overwrite file " + file + "?") == IdYes;
}

} // namespace kv::ctl
