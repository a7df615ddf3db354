// The shared history's connection string as the user gives it (libpq's URI form
// "postgresql://user@host:5432/korvane?sslmode=require" or its "host=... dbname=..." form),
// and the one rule for showing it: a password written into it never appears in any
// message, log line or record. Toolkit-free and without libpq, so that a build without
// the shared history masks the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::history {

inline constexpr const char *kNoSharedInBuild = "shared history not available in this build";
inline constexpr const char *kMasked = "****";

// The connection string with every password in it replaced by kMasked: the URI's
// "user:PASSWORD@", a "password=..." keyword (quoted or not) and a "password=" query
// parameter. Errs on the side of masking more.
std::string MaskPassword(std::string_view conninfo);

// The password texts the connection string holds, as written and percent-decoded: what a
// message from the client library must not repeat.
std::vector<std::string> PasswordsIn(std::string_view conninfo);

// The text with each of the connection string's passwords replaced by kMasked, and the
// connection string masked: for messages that may quote either.
std::string Scrub(std::string text, std::string_view conninfo);

} // namespace kv::history
