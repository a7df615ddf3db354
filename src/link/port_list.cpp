// The parts of the port listing that every platform shares.
#include "link/port_list.h"

#include <cctype>
#include <charconv>

namespace kv::link {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char &c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// Four hexadecimal digits at id[at..], as a number.
std::optional<std::uint16_t> Hex4(std::string_view id, std::size_t at) {
    if (at + 4 > id.size())
        return std::nullopt;
    std::uint16_t v = 0;
    const auto r = std::from_chars(id.data() + at, id.data() + at + 4, v, 16);
    if (r.ec != std::errc() || r.ptr != id.data() + at + 4)
        return std::nullopt;
    return v;
}

} // namespace

std::string HexId(std::uint16_t id) {
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, id = static_cast<std::uint16_t>(id >> 4))
        s[static_cast<std::size_t>(i)] = kHexDigits[id & 0xF];
    return s;
}

bool PortNameLess(std::string_view a, std::string_view b) {
    auto split = [](std::string_view s) {
        std::size_t d = s.size();
        while (d > 0 && std::isdigit(static_cast<unsigned char>(s[d - 1])))
            --d;
        std::string_view digits = s.substr(d);
        while (digits.size() > 1 && digits[0] == '0')
            digits.remove_prefix(1);
        return std::pair{s.substr(0, d), digits};
    };
    const auto [pa, na] = split(a);
    const auto [pb, nb] = split(b);
    if (pa != pb)
        return pa < pb;
    if (na.size() != nb.size())
        return na.size() < nb.size();
    if (na != nb)
        return na < nb;
    return a < b;
}

std::vector<std::pair<std::string, std::string>> PortFields(const PortInfo &port) {
    std::vector<std::pair<std::string, std::string>> f;
    auto add = [&f](const char *key, const std::string &value) {
        if (!value.empty())
            f.emplace_back(key, value);
    };
    add("port", port.path);
    add("name", port.name);
    add("driver", port.driver);
    add("description", port.description);
    if (port.usb) {
        add("vendor_id", HexId(port.usb->vendorId));
        add("product_id", HexId(port.usb->productId));
        add("manufacturer", port.usb->manufacturer);
        add("product", port.usb->product);
        add("serial", port.usb->serialNumber);
    }
    add("by_id", port.byId);
    add("by_path", port.byPath);
    return f;
}

std::optional<WindowsDeviceId> ParseWindowsDeviceId(std::string_view id) {
    const std::string u = Upper(id);
    const std::size_t vid = u.find("VID_");
    if (vid == std::string::npos)
        return std::nullopt;
    // The product follows the vendor after '&' (USB) or '+' (the FTDI bus driver).
    const std::size_t pid = vid + 8;
    if (pid + 4 > u.size() || (u[pid] != '&' && u[pid] != '+') || u.compare(pid + 1, 4, "PID_"))
        return std::nullopt;
    const auto v = Hex4(u, vid + 4);
    const auto p = Hex4(u, pid + 5);
    if (!v || !p)
        return std::nullopt;
    WindowsDeviceId out;
    out.vendorId = *v;
    out.productId = *p;
    const std::size_t after = pid + 9;
    out.usbDevice =
        u.compare(0, 4, "USB\\") == 0 && vid == 4 && after < u.size() && u[after] == '\\';
    if (out.usbDevice) {
        const std::string_view rest = id.substr(after + 1);
        if (!rest.empty() && rest.find('&') == std::string_view::npos &&
            rest.find('\\') == std::string_view::npos)
            out.serialNumber = std::string(rest);
    }
    return out;
}

std::string PortNameToKeep(const PortInfo &port) {
    return port.byId.empty() ? port.path : port.byId;
}

} // namespace kv::link
