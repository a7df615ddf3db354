// The serial port list and port identities, read from a sysfs tree and /dev folder built the
// way Linux lays them out; and the hint added when a port may not be opened.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fake_sysfs.h"
#include "link/messages.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kv::link::PortInfo;
using kv::link::PortRoots;
using kv::link::UsbIdentity;

using kvtest::FakeMachine;

TEST(PortList, EveryPortWithWhatTheSystemKnowsOfIt) {
    FakeMachine m;
    const std::string dev = m.File("dev/");
    struct Row {
        std::string name, driver;
        std::optional<UsbIdentity> usb;
        std::string byId, byPath;
    };
    const Row rows[] = {
        {"ttyACM0", "cdc_acm",
         UsbIdentity{0x2341, 0x0043, "Arduino (www.arduino.cc)", "Uno", "7573530383"}, "", ""},
        {"ttyS0", "serial", std::nullopt, "", ""},
        {"ttyUSB0", "ftdi_sio", UsbIdentity{0x0403, 0x6001, "FTDI", "FT232R USB UART", "A50285BI"},
         dev + "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", ""},
        {"ttyUSB2", "ftdi_sio", UsbIdentity{0x0403, 0x6001, "FTDI", "FT232R USB UART", "A50285BJ"},
         dev + "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0", ""},
        {"ttyUSB10", "ch341", UsbIdentity{0x1a86, 0x7523, "", "USB Serial", ""},
         dev + "serial/by-id/usb-1a86_USB_Serial-if00-port0",
         dev + "serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0"},
    };
    const auto ports = kv::link::ListPorts(m.roots());
    ASSERT_EQ(ports.size(), std::size(rows)); // no ttyS1 (no UART), no tty0 (virtual)
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const Row &r = rows[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ports[i].name, r.name);
        EXPECT_EQ(ports[i].path, dev + r.name);
        EXPECT_EQ(ports[i].driver, r.driver);
        EXPECT_EQ(ports[i].usb, r.usb);
        EXPECT_EQ(ports[i].byId, r.byId);
        EXPECT_EQ(ports[i].byPath, r.byPath);
    }
}

TEST(PortList, NoSysfsNoPorts) {
    kvtest::TempDir empty;
    EXPECT_TRUE(kv::link::ListPorts({empty.File("sys"), empty.File("dev")}).empty());
}

TEST(PortList, IdentityOfThePortAtAPath) {
    FakeMachine m;
    m.Link("ttyFUSE", m.File("dev/ttyUSB10"));          // as a test rig names its port
    m.Link("elsewhere/ttyUSB0", "../dev/serial/by-id"); // not a device of dev/
    const struct {
        std::string path;
        std::string name; // empty: no port
        std::string serial;
    } rows[] = {
        {"dev/ttyUSB2", "ttyUSB2", "A50285BJ"},
        {"dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0", "A50285BI"},
        {"ttyFUSE", "ttyUSB10", ""},
        {"dev/ttyS1", "", ""},
        {"dev/ttyUSB7", "", ""},
        {"elsewhere/ttyUSB0", "", ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.path);
        const auto port = kv::link::PortIdentity(m.File(r.path), m.roots());
        ASSERT_EQ(port.has_value(), !r.name.empty());
        if (!port)
            continue;
        EXPECT_EQ(port->name, r.name);
        ASSERT_TRUE(port->usb);
        EXPECT_EQ(port->usb->serialNumber, r.serial);
    }
}

TEST(PortList, FieldsForTheFrontEnds) {
    PortInfo p;
    p.path = "/dev/ttyUSB10";
    p.name = "ttyUSB10";
    p.driver = "ch341";
    p.usb = UsbIdentity{0x1a86, 0x7523, "", "USB Serial", ""};
    p.byId = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"port", "/dev/ttyUSB10"},
        {"name", "ttyUSB10"},
        {"driver", "ch341"},
        {"vendor_id", "1a86"},
        {"product_id", "7523"},
        {"product", "USB Serial"},
        {"by_id", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"}};
    EXPECT_EQ(kv::link::PortFields(p), expected);
}

TEST(PortList, NamesInCountingOrder) {
    const std::vector<std::string> sorted = {"COM1", "COM2", "COM10", "ttyS2", "ttyS10", "ttyUSB0"};
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
        EXPECT_TRUE(kv::link::PortNameLess(sorted[i], sorted[i + 1])) << sorted[i];
        EXPECT_FALSE(kv::link::PortNameLess(sorted[i + 1], sorted[i])) << sorted[i];
    }
}

TEST(PortList, WindowsDeviceIds) {
    using kv::link::WindowsDeviceId;
    const struct {
        const char *id;
        std::optional<WindowsDeviceId> expected;
    } rows[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", WindowsDeviceId{0x0403, 0x6001, true, "A50285BI"}},
        {"usb\\vid_2341&pid_0043\\7573530383", WindowsDeviceId{0x2341, 0x0043, true, "7573530383"}},
        // Windows makes up an ID with '&' for a device without a serial number.
        {"USB\\VID_1A86&PID_7523\\5&1A2B3C4D&0&2", WindowsDeviceId{0x1A86, 0x7523, true, ""}},
        // One interface of a composite device: the serial number is its parent's.
        {"USB\\VID_2341&PID_0043&MI_00\\6&3A0B1C2D&0&0000",
         WindowsDeviceId{0x2341, 0x0043, false, ""}},
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", WindowsDeviceId{0x0403, 0x6001, false, ""}},
        {"ACPI\\PNP0501\\1", std::nullopt},
        {"USB\\VID_04X3&PID_6001\\A", std::nullopt},
        {"USB\\VID_0403", std::nullopt},
    };
    for (const auto &r : rows)
        EXPECT_EQ(kv::link::ParseWindowsDeviceId(r.id), r.expected) << r.id;
}

// Opening a device the user may not open, as nobody in a forked child (root opens anything).
// The system's text comes first, then what to do: only when the device's group could open it.
TEST(PortAccess, PermissionDeniedNamesTheGroupToJoin) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the test drops to user nobody to be refused a device";
    const passwd *nobody = ::getpwnam("nobody");
    const group *dialout = ::getgrnam("dialout");
    if (!nobody || !dialout)
        GTEST_SKIP() << "needs the user nobody and the group dialout";
    const uid_t nobodyUid = nobody->pw_uid;
    const gid_t nobodyGid = nobody->pw_gid;
    const gid_t dialoutGid = dialout->gr_gid;

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    const std::string denied = "CreateFile INVALID_HANDLE_VALUE\rPermission denied";
    const std::string joinDialout =
        "\rThe port belongs to group dialout, and user nobody is not in it: add the user to "
        "it (sudo usermod -a -G dialout nobody), then log out and in again.";
    const struct {
        const char *what;
        gid_t owner;
        mode_t mode;
        std::vector<gid_t> childGroups; // the child's groups; the first is its own
        std::string expected;
    } rows[] = {
        {"not in the group", dialoutGid, 0660, {0}, denied + joinDialout},
        {"the group may not open it either", dialoutGid, 0600, {0}, denied},
        {"the user's own group, not in this session",
         nobodyGid,
         0660,
         {dialoutGid},
         denied + "\rUser nobody was added to group " + ::getgrgid(nobodyGid)->gr_name +
             ", which may open the port, after this session began: log out and in again."},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(::chown(device.c_str(), 0, r.owner), 0);
        ASSERT_EQ(::chmod(device.c_str(), r.mode), 0);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(out[0]);
            if (::setgroups(r.childGroups.size(), r.childGroups.data()) != 0 ||
                ::setgid(r.childGroups[0]) != 0 || ::setuid(nobodyUid) != 0)
                ::_exit(3);
            auto port = kv::link::MakeSerialPort();
            const std::string text = port->Open(device)
                                         ? std::string("opened")
                                         : kv::link::PortStepError(kv::link::PortStep::CreateFile,
                                                                   kv::link::LastPortErrorText());
            [[maybe_unused]] const ssize_t n = ::write(out[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(out[1]);
        std::string text;
        char buf[512];
        ssize_t n;
        while ((n = ::read(out[0], buf, sizeof buf)) > 0)
            text.append(buf, static_cast<std::size_t>(n));
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(text, r.expected);
    }
    ::close(master);
}

} // namespace
