// The device path of a port name from the settings file on a POSIX system.
#include <gtest/gtest.h>

#include "link/port_name.h"

TEST(PortName, WindowsComNamesMapToTheSerialDevicesAndPathsStay) {
    struct Row {
        const char *name;
        const char *path;
    };
    for (const Row &r : {
             Row{"\\\\.\\COM1", "/dev/ttyS0"},
             Row{"COM1", "/dev/ttyS0"},
             Row{"com3", "/dev/ttyS2"},
             Row{"\\\\.\\cOm12", "/dev/ttyS11"},
             Row{"COM256", "/dev/ttyS255"},
             // Not a COM port name: left as it is.
             Row{"/dev/ttyUSB0", "/dev/ttyUSB0"},
             Row{"COM0", "COM0"},
             Row{"COM01", "COM01"},
             Row{"COM257", "COM257"},
             Row{"COM", "COM"},
             Row{"COM1:", "COM1:"},
             Row{"COMX", "COMX"},
             Row{"\\\\.\\", "\\\\.\\"},
             Row{"\\\\.\\LPT1", "\\\\.\\LPT1"},
             Row{"./COM1", "./COM1"},
             Row{"", ""},
         }) {
        EXPECT_EQ(kv::link::PosixPortPath(r.name), r.path) << r.name;
    }
}

// What the user is shown of a port: the device, and the settings' name when it differs.
TEST(PortName, ShownWithTheNameItCameFrom) {
    const struct {
        const char *name;
        const char *shown;
    } rows[] = {
        {"COM1", "/dev/ttyS0 (COM1)"},
        {"\\\\.\\COM3", "/dev/ttyS2 (\\\\.\\COM3)"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-x", "/dev/serial/by-id/usb-x"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(kv::link::PortShown(r.name), r.shown) << r.name;
}
