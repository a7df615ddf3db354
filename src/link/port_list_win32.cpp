// The port listing on Windows, from SetupAPI: the devices of the "Ports" and "Modem" classes
// that have a COM port name, with what Plug and Play knows of them and of the USB device
// they belong to.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "link/port_list.h"

namespace kv::link {

namespace {

// The device setup classes that hold serial ports: Ports (COM & LPT), and Modem, where the
// ports of USB CDC modems and some adapters are listed.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kModemClass = {
    0x4D36E96D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// DEVPKEY_Device_BusReportedDeviceDesc: the product string the USB device reports.
constexpr DEVPROPKEY kBusReportedDeviceDesc = {
    {0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}}, 4};

std::string Utf8(const wchar_t *w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}

// A device registry property as text (the first string of a multi-string).
std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA &info, DWORD property) {
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                             reinterpret_cast<PBYTE>(buf.data()), size, nullptr))
        return {};
    return Utf8(buf.data());
}

std::string StringProperty(HDEVINFO set, SP_DEVINFO_DATA &info, const DEVPROPKEY &key) {
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    ::SetupDiGetDevicePropertyW(set, &info, &key, &type, nullptr, 0, &size, 0);
    if (size == 0)
        return {};
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDevicePropertyW(set, &info, &key, &type, reinterpret_cast<PBYTE>(buf.data()),
                                     size, nullptr, 0) ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return Utf8(buf.data());
}

// The port's name ("COM3") from the device's own registry key.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA &info) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buf[256] = {};
    DWORD size = sizeof buf - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(buf), &size);
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? Utf8(buf) : std::string();
}

std::string InstanceId(DEVINST inst) {
    wchar_t buf[MAX_DEVICE_ID_LEN + 1] = {};
    return ::CM_Get_Device_IDW(inst, buf, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? Utf8(buf)
                                                                              : std::string();
}

// The USB identity of a port: its vendor and product from its own ID or the first parent
// that has them, its serial number from the whole USB device above it (a port of a
// multi-interface device, or of the FTDI bus driver, sits one or two levels below).
std::optional<UsbIdentity> UsbOf(DEVINST inst) {
    std::optional<UsbIdentity> usb;
    for (int level = 0; level < 4; ++level) {
        if (const auto id = ParseWindowsDeviceId(InstanceId(inst))) {
            if (!usb) {
                usb.emplace();
                usb->vendorId = id->vendorId;
                usb->productId = id->productId;
            }
            if (id->usbDevice) {
                usb->serialNumber = id->serialNumber;
                break;
            }
        }
        DEVINST parent = 0;
        if (::CM_Get_Parent(&parent, inst, 0) != CR_SUCCESS)
            break;
        inst = parent;
    }
    return usb;
}

std::string Upper(std::string s) {
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void ListClass(const GUID &cls, std::vector<PortInfo> &ports) {
    HDEVINFO set = ::SetupDiGetClassDevsW(&cls, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        PortInfo p;
        p.name = PortName(set, info);
        if (Upper(p.name).rfind("COM", 0) != 0)
            continue; // a printer port, or a modem without a COM port
        p.path = "\\\\.\\" + p.name;
        p.driver = RegistryProperty(set, info, SPDRP_SERVICE);
        p.description = RegistryProperty(set, info, SPDRP_FRIENDLYNAME);
        p.usb = UsbOf(info.DevInst);
        if (p.usb) {
            p.usb->manufacturer = RegistryProperty(set, info, SPDRP_MFG);
            p.usb->product = StringProperty(set, info, kBusReportedDeviceDesc);
            if (p.usb->product.empty())
                p.usb->product = RegistryProperty(set, info, SPDRP_DEVICEDESC);
        }
        ports.push_back(std::move(p));
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

} // namespace

std::vector<PortInfo> ListPorts(const PortRoots &) {
    std::vector<PortInfo> ports;
    ListClass(kPortsClass, ports);
    ListClass(kModemClass, ports);
    std::sort(ports.begin(), ports.end(), [](const PortInfo &a, const PortInfo &b) {
        return PortNameLess(Upper(a.name), Upper(b.name));
    });
    return ports;
}

std::optional<PortInfo> PortIdentity(const std::string &path, const PortRoots &roots) {
    std::string name = Upper(path);
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    for (PortInfo &p : ListPorts(roots))
        if (Upper(p.name) == name)
            return std::move(p);
    return std::nullopt;
}

std::vector<PortReader> OtherPortReaders(const std::string &, const std::string &) {
    return {}; // Windows opens a port for one process only
}

} // namespace kv::link
