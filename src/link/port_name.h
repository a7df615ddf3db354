// The device path a port name from the settings file stands for on a POSIX system.
#pragma once

#include <string>
#include <string_view>

namespace kv::link {

// A Windows COM port name, with or without the "\\.\" prefix and in any case ("\\.\COM1",
// "COM1", "com3"), names the n-th serial port: /dev/ttyS<n-1>. A settings file copied from
// a Windows PC then opens the same port here. Every other name is a path and stays as it is.
std::string PosixPortPath(std::string_view name);

// The device a port name opens on this system, as the user is shown it: "/dev/ttyS0 (COM1)"
// when the name stands for another path, else the name itself (always on Windows).
std::string PortShown(std::string_view name);
// The device path a port name opens on this system (the name itself on Windows).
std::string PortPath(std::string_view name);

} // namespace kv::link
