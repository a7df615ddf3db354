// The programs' version: the project version and, when built from a git checkout, its
// description ("1.0 (git v1.0-3-g2902d14-dirty)"). One place for korvanectl, fusesim, the
// window program and the history's records.
#pragma once

#include <string_view>

namespace kv {

std::string_view ProgramVersion();

} // namespace kv
