#include "history/host_identity.h"

#include <windows.h>

namespace kv::history {

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size))
        return {};
    return std::string(name, size);
}

std::string LoginName() {
    char name[257] = {}; // UNLEN + 1
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size) || size == 0)
        return {};
    return std::string(name, size - 1); // size counts the terminating zero
}

} // namespace kv::history
