// A sysfs tree and /dev folder built in a temporary folder the way Linux lays them out, for
// the tests of the serial port list (the link's and korvanectl's "ports").
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "link/port_list.h"
#include "temp_dir.h"

namespace kvtest {

// A machine with three USB serial adapters (two of one kind, told apart only by their
// serial numbers, and one without a serial number), a USB modem-class (CDC ACM) device, an
// on-board UART on a recent kernel's serial-base bus, a serial-core port with no UART behind
// it and a virtual terminal.
class FakeMachine {
    static constexpr const char *kHub = "sys/devices/pci0000:00/0000:00:14.0/usb1";
    using UsbIdentity = kv::link::UsbIdentity;

public:
    FakeMachine() {
        UsbAdapter("1-2", "ttyUSB0", "ftdi_sio",
                   {0x0403, 0x6001, "FTDI", "FT232R USB UART", "A50285BI"});
        UsbAdapter("1-3", "ttyUSB2", "ftdi_sio",
                   {0x0403, 0x6001, "FTDI", "FT232R USB UART", "A50285BJ"});
        UsbAdapter("1-4", "ttyUSB10", "ch341", {0x1a86, 0x7523, "", "USB Serial", ""});
        const std::string acm = std::string(kHub) + "/1-5";
        UsbDevice(acm, {0x2341, 0x0043, "Arduino (www.arduino.cc)", "Uno", "7573530383"});
        Driver(acm + "/1-5:1.0", "usb", "cdc_acm");
        Tty(acm + "/1-5:1.0/tty/ttyACM0", "../../../1-5:1.0");

        const std::string uart = "sys/devices/pnp0/00:00/00:00:0/00:00:0.0";
        Driver("sys/devices/pnp0/00:00", "pnp", "serial");
        Driver("sys/devices/pnp0/00:00/00:00:0", "serial-base", "ctrl");
        Driver(uart, "serial-base", "port");
        Tty(uart + "/tty/ttyS0", "../../../00:00:0.0", "4");

        Driver("sys/devices/platform/serial8250", "platform", "serial8250");
        Tty("sys/devices/platform/serial8250/tty/ttyS1", "../../../serial8250", "0");
        Tty("sys/devices/virtual/tty/tty0", "");

        for (const char *tty : {"ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1"})
            Write("dev/" + std::string(tty), "");
        Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
        Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0", "../../ttyUSB2");
        Link("dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "../../ttyUSB10");
        Link("dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0", "../../ttyUSB10");
    }

    kv::link::PortRoots roots() const { return {dir.File("sys"), dir.File("dev")}; }

    // A USB serial adapter plugged in at USB socket `bus` as `tty`, its by-id link `byId`
    // (none: udev has not made it yet), and the same adapter pulled out again.
    void PlugIn(const std::string &bus, const std::string &tty, const UsbIdentity &id,
                const std::string &byId = "") {
        UsbAdapter(bus, tty, "ftdi_sio", id);
        Write("dev/" + tty, "");
        if (!byId.empty())
            Link("dev/serial/by-id/" + byId, "../../" + tty);
    }
    void Unplug(const std::string &bus, const std::string &tty, const std::string &byId = "") {
        std::filesystem::remove_all(dir.File(std::string(kHub) + "/" + bus));
        std::filesystem::remove(dir.File("sys/class/tty/" + tty));
        std::filesystem::remove(dir.File("dev/" + tty));
        if (!byId.empty())
            std::filesystem::remove(dir.File("dev/serial/by-id/" + byId));
    }
    std::string File(const std::string &name) const { return dir.File(name); }
    void Link(const std::string &at, const std::string &target) const {
        std::filesystem::create_directories(std::filesystem::path(dir.File(at)).parent_path());
        std::filesystem::create_directory_symlink(target, dir.File(at));
    }

private:
    void Write(const std::string &file, const std::string &text) const {
        std::filesystem::create_directories(std::filesystem::path(dir.File(file)).parent_path());
        std::ofstream(dir.File(file)) << text;
    }
    // Where sysfs links a device to its bus and its driver.
    void Driver(const std::string &device, const std::string &bus, const std::string &driver) {
        const std::string root =
            std::filesystem::relative(dir.File("sys"), dir.File(device)).string();
        Write("sys/bus/" + bus + "/drivers/" + driver + "/uevent", "");
        Link(device + "/subsystem", root + "/bus/" + bus);
        Link(device + "/driver", root + "/bus/" + bus + "/drivers/" + driver);
    }
    // The tty's own folder with its class link, its "device" link (none: a virtual one) and,
    // for a serial-core port, its UART type.
    void Tty(const std::string &folder, const std::string &device, const std::string &type = "") {
        const std::string name = std::filesystem::path(folder).filename().string();
        Write(folder + "/dev", "188:0\n");
        if (!device.empty())
            Link(folder + "/device", device);
        if (!type.empty())
            Write(folder + "/type", type + "\n");
        Link("sys/class/tty/" + name, "../../" + folder.substr(4));
    }
    void UsbDevice(const std::string &at, const UsbIdentity &id) {
        Write(at + "/idVendor", kv::link::HexId(id.vendorId) + "\n");
        Write(at + "/idProduct", kv::link::HexId(id.productId) + "\n");
        if (!id.manufacturer.empty())
            Write(at + "/manufacturer", id.manufacturer + "\n");
        Write(at + "/product", id.product + "\n");
        if (!id.serialNumber.empty())
            Write(at + "/serial", id.serialNumber + "\n");
    }
    // A usb-serial adapter: the USB device, its interface, the port device below it.
    void UsbAdapter(const std::string &bus, const std::string &tty, const std::string &driver,
                    const UsbIdentity &id) {
        const std::string device = std::string(kHub) + "/" + bus;
        const std::string port = device + "/" + bus + ":1.0/" + tty;
        UsbDevice(device, id);
        Driver(device + "/" + bus + ":1.0", "usb", driver);
        Driver(port, "usb-serial", driver);
        Tty(port + "/tty/" + tty, "../../../" + tty);
    }

    kvtest::TempDir dir;
};

} // namespace kvtest
