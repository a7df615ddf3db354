#include "history/host_identity.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace kv::history {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string LoginName() {
    // getlogin_r names the session's user (the technician behind sudo) but fails without
    // a controlling terminal, as for a program started from a desktop menu.
    char login[LOGIN_NAME_MAX + 1] = {};
    if (getlogin_r(login, sizeof login) == 0 && login[0] != '\0')
        return login;
    passwd pw{};
    passwd *found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
        return found->pw_name;
    return {};
}

} // namespace kv::history
