// An adapter that is pulled out and plugged back in: which failures mean the port has gone,
// what identifies the adapter behind a port, and where that adapter is once it is back.
// Shared by every front end that keeps a port over time (the timed current series).
#pragma once

#include <optional>
#include <string>

#include "link/port_list.h"

namespace kv::link {

// A system error of a write or read that means the device itself has gone (a pulled USB
// adapter, a hung-up line), rather than a fault of one exchange.
bool MeansPortGone(int systemError);

// What is known of the adapter behind a port name while it is there. A port the system
// lists as a USB adapter is known by its serial number (with its vendor and product) and
// its by-id name; anything else (a built-in port, a pseudo-terminal) only by the name.
struct AdapterIdentity {
    std::string name;      // the name the port was opened by
    std::string byId = {}; // its /dev/serial/by-id link, when it has one
    std::optional<UsbIdentity> usb = {};
    bool operator==(const AdapterIdentity &) const = default;
};
AdapterIdentity IdentityOf(const std::string &portName, const PortRoots &roots = {});

// The name to open the same adapter by, once it is back: its by-id link when that leads to
// a port again; else the listed port with the same vendor, product and serial number
// (the adapter in another USB socket, ttyUSB1 where it was ttyUSB0); else, for an adapter
// without a serial number or a port the system does not list, the same name when it names
// a device again. Nothing while it is not back. A USB adapter whose serial number differs
// is never taken for the one that was pulled.
std::optional<std::string> WhereIsAdapter(const AdapterIdentity &id, const PortRoots &roots = {});

} // namespace kv::link
