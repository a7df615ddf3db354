// Shell completion for korvanectl, generated from its command table: the commands and
// groups, each command's options and the common ones, values of on|off, files where a
// command takes a file, and the ports `korvanectl ports` lists after --port.
#pragma once

#include <string>

namespace kv::ctl {

std::string BashCompletion();
// For zsh through its bash completion layer (bashcompinit): the same function.
std::string ZshCompletion();

} // namespace kv::ctl
