// The port listing from sysfs, as Linux describes its ttys: <sysfs>/class/tty/<name> for each
// tty, its "device" link into the device tree for those that are hardware, and udev's stable
// names under <dev>/serial. Built on the other POSIX systems too, where it finds no sysfs and
// lists nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "app/text_files.h"
#include "link/port_list.h"

namespace kv::link {

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's first line, without its line end; empty when missing. Through the
// bounded reader: a copied tree may hold anything under an attribute's name (a link to
// /dev/zero, a FIFO), and the kernel's own attributes are less than a page.
constexpr std::size_t kAttributeLimit = 4096;

std::string Attribute(const fs::path &file) {
    std::string text;
    bool whole = true;
    if (!ReadTextFile(file.string(), kAttributeLimit, text, &whole))
        return {};
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The last part of where a symbolic link points: the driver or subsystem a link names.
std::string LinkName(const fs::path &link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// The device directory and its parents up to the top of sysfs's device tree.
std::vector<fs::path> Ancestry(const fs::path &device, const fs::path &top) {
    std::vector<fs::path> dirs;
    for (fs::path d = device; !d.empty() && d != top && d != d.root_path() && dirs.size() < 16;
         d = d.parent_path())
        dirs.push_back(d);
    return dirs;
}

// The driver that serves the port. A serial-core port of a recent kernel sits on the
// "serial-base" bus, whose drivers ("port", "ctrl") say nothing: the UART's own driver is
// that of the first device above it.
std::string DriverOf(const std::vector<fs::path> &ancestry) {
    for (const fs::path &d : ancestry) {
        if (LinkName(d / "subsystem") == "serial-base")
            continue;
        if (std::string name = LinkName(d / "driver"); !name.empty())
            return name;
    }
    return {};
}

// The USB device above the port (its interface's parent), when it is on USB.
std::optional<UsbIdentity> UsbOf(const std::vector<fs::path> &ancestry) {
    for (const fs::path &d : ancestry) {
        const std::string vendor = Attribute(d / "idVendor");
        if (vendor.empty())
            continue;
        auto hex = [](const std::string &text) {
            return static_cast<std::uint16_t>(std::stoul(text, nullptr, 16) & 0xFFFF);
        };
        UsbIdentity usb;
        try {
            usb.vendorId = hex(vendor);
            usb.productId = hex(Attribute(d / "idProduct"));
        } catch (const std::exception &) {
            return std::nullopt; // not what a USB device reports
        }
        usb.manufacturer = Attribute(d / "manufacturer");
        usb.product = Attribute(d / "product");
        usb.serialNumber = Attribute(d / "serial");
        return usb;
    }
    return std::nullopt;
}

// udev's links in one folder of <dev>/serial, by the name of the tty each points at.
std::map<std::string, std::string> UdevLinks(const fs::path &folder) {
    std::map<std::string, std::string> links;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        std::error_code linkError;
        if (!entry.is_symlink(linkError))
            continue;
        const std::string tty = LinkName(entry.path());
        const std::string link = entry.path().string();
        // Two links to one tty: keep one, the same on every run.
        if (auto it = links.find(tty); it == links.end() || link < it->second)
            links[tty] = link;
    }
    return links;
}

} // namespace

std::vector<PortInfo> ListPorts(const PortRoots &roots) {
    const fs::path sysfs(roots.sysfs);
    const fs::path dev(roots.dev);
    const fs::path top = sysfs / "devices";
    const auto byId = UdevLinks(dev / "serial" / "by-id");
    const auto byPath = UdevLinks(dev / "serial" / "by-path");

    std::vector<PortInfo> ports;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(sysfs / "class" / "tty", ec)) {
        const fs::path tty = entry.path();
        std::error_code deviceError;
        // Virtual terminals and pseudo-terminals have no device behind them.
        const fs::path device = fs::canonical(tty / "device", deviceError);
        if (deviceError)
            continue;
        // The serial core lists every port it may have; type 0 is one where it found no UART.
        if (Attribute(tty / "type") == "0")
            continue;
        PortInfo p;
        p.name = tty.filename().string();
        p.path = (dev / p.name).string();
        const auto ancestry = Ancestry(device, fs::weakly_canonical(top, deviceError));
        p.driver = DriverOf(ancestry);
        p.usb = UsbOf(ancestry);
        if (auto it = byId.find(p.name); it != byId.end())
            p.byId = it->second;
        if (auto it = byPath.find(p.name); it != byPath.end())
            p.byPath = it->second;
        ports.push_back(std::move(p));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo &a, const PortInfo &b) { return PortNameLess(a.name, b.name); });
    return ports;
}

std::optional<PortInfo> PortIdentity(const std::string &path, const PortRoots &roots) {
    // Through every link to the device node itself, which must be one of <dev>'s ttys.
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec)
        return std::nullopt;
    const fs::path devRoot = fs::canonical(roots.dev, ec);
    if (ec || device.parent_path() != devRoot)
        return std::nullopt;
    for (PortInfo &p : ListPorts(roots))
        if (p.name == device.filename().string())
            return std::move(p);
    return std::nullopt;
}

std::vector<PortReader> OtherPortReaders(const std::string &path, const std::string &proc) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return {};
    const std::string self = std::to_string(::getpid());
    std::vector<PortReader> readers;
    std::error_code ec;
    for (const auto &process : fs::directory_iterator(proc, ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == self)
            continue;
        std::error_code fdError;
        for (const auto &fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat held {};
            if (::stat(fd.path().c_str(), &held) != 0 || !S_ISCHR(held.st_mode) ||
                held.st_rdev != device.st_rdev)
                continue;
            // "flags:	0100002": the open mode in octal; one that only writes takes nothing
            // (a simulated fuse keeps its own end that way).
            std::ifstream info(process.path() / "fdinfo" / fd.path().filename());
            std::string key;
            std::string flags;
            while (info >> key && key != "flags:")
                std::getline(info, flags);
            info >> flags;
            const long mode = flags.empty() ? O_RDWR : std::strtol(flags.c_str(), nullptr, 8);
            if ((mode & O_ACCMODE) == O_WRONLY)
                continue;
            readers.push_back({std::stol(pid), Attribute(process.path() / "comm")});
            break;
        }
    }
    std::sort(readers.begin(), readers.end(),
              [](const PortReader &a, const PortReader &b) { return a.pid < b.pid; });
    return readers;
}

} // namespace kv::link
