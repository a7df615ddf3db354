#include "link/port_name.h"

#include <cctype>

namespace kv::link {

std::string PosixPortPath(std::string_view name) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    // Windows numbers its COM ports 1..256, without leading zeros.
    constexpr int kLastComPort = 256;
    std::string_view rest = name;
    if (rest.starts_with(kDevicePrefix))
        rest.remove_prefix(kDevicePrefix.size());
    const auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    if (rest.size() < 4 || upper(rest[0]) != 'C' || upper(rest[1]) != 'O' || upper(rest[2]) != 'M')
        return std::string(name);
    const std::string_view digits = rest.substr(3);
    if (digits.size() > 3 || digits.front() == '0')
        return std::string(name);
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::string(name);
        n = n * 10 + (c - '0');
    }
    if (n > kLastComPort)
        return std::string(name);
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string PortPath(std::string_view name) {
#ifdef _WIN32
    return std::string(name);
#else
    return PosixPortPath(name);
#endif
}

std::string PortShown(std::string_view name) {
    const std::string path = PortPath(name);
    return path == name ? path : path + " (" + std::string(name) + ")";
}

} // namespace kv::link
