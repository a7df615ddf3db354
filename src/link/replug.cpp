#include "link/replug.h"

#include "link/port_name.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace kv::link {

bool MeansPortGone(int systemError) {
#ifdef _WIN32
    // What the USB serial drivers answer once their device has been removed: FTDI's
    // ERROR_BAD_COMMAND, usbser's ERROR_GEN_FAILURE and ERROR_OPERATION_ABORTED, and a handle
    // whose device no longer exists.
    switch (systemError) {
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
#else
    // A hung-up tty answers EIO; a removed USB serial device ENODEV or ENXIO.
    return systemError == EIO || systemError == ENODEV || systemError == ENXIO;
#endif
}

AdapterIdentity IdentityOf(const std::string &portName, const PortRoots &roots) {
    AdapterIdentity id{.name = portName};
    // COM1 is /dev/ttyS0 on Linux.
    if (const auto port = PortIdentity(PortPath(portName), roots)) {
        id.byId = port->byId;
        id.usb = port->usb;
    }
    return id;
}

namespace {

bool SameAdapter(const UsbIdentity &a, const UsbIdentity &b) {
    return a.vendorId == b.vendorId && a.productId == b.productId &&
           a.serialNumber == b.serialNumber;
}

// The name names a device the system can open (a port it does not list: a pseudo-terminal
// through its link, a built-in port).
bool NamesDevice(const std::string &name, const PortRoots &roots) {
#ifdef _WIN32
    return PortIdentity(name, roots).has_value();
#else
    (void)roots;
    struct stat st {};
    return ::stat(PortPath(name).c_str(), &st) == 0 && S_ISCHR(st.st_mode);
#endif
}

} // namespace

std::optional<std::string> WhereIsAdapter(const AdapterIdentity &id, const PortRoots &roots) {
    if (!id.byId.empty()) {
        if (const auto port = PortIdentity(id.byId, roots);
            port && (!id.usb || (port->usb && SameAdapter(*port->usb, *id.usb))))
            return id.byId;
    }
    if (id.usb && !id.usb->serialNumber.empty()) {
        for (const PortInfo &p : ListPorts(roots))
            if (p.usb && SameAdapter(*p.usb, *id.usb))
                return p.byId.empty() ? p.path : p.byId;
        return std::nullopt;
    }
    if (id.usb) {
        // No serial number to tell two adapters of one kind apart: the same name, and an
        // adapter of the same kind behind it.
        const auto port = PortIdentity(PortPath(id.name), roots);
        if (port && port->usb && SameAdapter(*port->usb, *id.usb))
            return id.name;
        return std::nullopt;
    }
    if (NamesDevice(id.name, roots))
        return id.name;
    return std::nullopt;
}

} // namespace kv::link
