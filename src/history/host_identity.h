// Who and where the program runs: the host's name and the user's login name. One
// implementation per platform (host_identity_posix.cpp, host_identity_win32.cpp).
#pragma once

#include <string>

namespace kv::history {

// The computer's name ("bench-2"); "" when the system does not tell.
std::string HostName();

// The name the user logged in with: on POSIX the session's login name (the person behind
// sudo, not root), else the name of the real user id; on Windows the account name.
// "" when the system does not tell.
std::string LoginName();

} // namespace kv::history
