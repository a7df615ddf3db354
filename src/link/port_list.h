// The serial ports the system knows of, and what it knows of each: the device to open, its
// driver and, for a USB adapter, the adapter's identity. One implementation per platform
// (port_list_linux.cpp from sysfs, port_list_win32.cpp from SetupAPI); what front ends
// print of a port comes from PortFields, so the command line's text and JSON agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::link {

// What a USB serial adapter reports of itself.
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    std::string serialNumber; // empty: the adapter has none
    bool operator==(const UsbIdentity &) const = default;
};

struct PortInfo {
    std::string path;               // what to open: /dev/ttyUSB0, \\.\COM3
    std::string name;               // the system's name of the port: ttyUSB0, COM3
    std::string driver;             // ftdi_sio, cdc_acm, serial; FTDIBUS, usbser, Serial
    std::string description;        // the system's name for the device (Windows), if any
    std::optional<UsbIdentity> usb; // a USB adapter
    // Stable names of the device that survive replugging (Linux, from udev):
    std::string byId;   // /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    std::string byPath; // /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0
};

// Where the system describes its ports. Linux reads <sysfs>/class/tty and the udev links
// under <dev>/serial; tests point both into a tree of their own. Windows ignores them.
struct PortRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

// Every serial port present, in name order (ttyS2 before ttyS10). Ports the kernel lists
// but found no UART for are left out.
std::vector<PortInfo> ListPorts(const PortRoots &roots = {});

// The port a path opens, with what the system knows of it: the path may be the device
// itself, a udev link (/dev/serial/by-id/...) or any symbolic link to it; on Windows COM3
// or \\.\COM3, in any case. Nothing when the path names no listed port.
std::optional<PortInfo> PortIdentity(const std::string &path, const PortRoots &roots = {});

// Another process that holds a port open for reading: it takes replies meant for this
// program (a terminal monitor that takes no lock).
struct PortReader {
    long pid = 0;
    std::string program; // its command name
    bool operator==(const PortReader &) const = default;
};

// The processes other than this one that hold the device `path` opens (any link to it
// included) open for reading; Linux reads them from <proc>/<pid>/fd and fdinfo. Empty where
// the platform cannot tell, or when the path names no device.
std::vector<PortReader> OtherPortReaders(const std::string &path,
                                         const std::string &proc = "/proc");

// A port's facts as named fields, in a fixed order, for the front ends to print: "port",
// "name", "driver", "description", "vendor_id", "product_id" (four lower-case hexadecimal
// digits), "manufacturer", "product", "serial", "by_id", "by_path". Empty facts are left
// out.
std::vector<std::pair<std::string, std::string>> PortFields(const PortInfo &port);

// The name to keep in the settings for a port: its by-id link when the adapter has one,
// which finds the same adapter in any USB socket, else its path.
std::string PortNameToKeep(const PortInfo &port);

// The line speeds offered when a port is chosen; the settings may hold any other.
inline constexpr int kOfferedBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// "0403" for 0x0403.
std::string HexId(std::uint16_t id);

// Orders port names as people count: the digits at the end compare as numbers.
bool PortNameLess(std::string_view a, std::string_view b);

// A Windows device instance ID, "USB\VID_0403&PID_6001\A50285BI" or
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000": the vendor and product, and whether the ID
// is that of a whole USB device (not one of its interfaces, "&MI_00") with a serial number
// of its own (Windows makes up IDs with '&' for devices that have none).
struct WindowsDeviceId {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool usbDevice = false;   // "USB\VID_xxxx&PID_xxxx\..." without an interface number
    std::string serialNumber; // set only for a usbDevice with a serial number
    bool operator==(const WindowsDeviceId &) const = default;
};
std::optional<WindowsDeviceId> ParseWindowsDeviceId(std::string_view id);

} // namespace kv::link
