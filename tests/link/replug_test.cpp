// An adapter pulled out and plugged back in: which failures mean the port has gone, and
// whether (and where) the adapter that comes back is the one that went, read from a sysfs
// tree and /dev folder built the way Linux lays them out.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "fake_sysfs.h"
#include "link/replug.h"
#include "temp_dir.h"

namespace {

using kv::link::IdentityOf;
using kv::link::UsbIdentity;
using kv::link::WhereIsAdapter;
using kvtest::FakeMachine;

TEST(Replug, FailuresThatMeanThePortHasGone) {
    const struct {
        int error;
        bool gone;
    } rows[] = {{EIO, true},        {ENODEV, true},  {ENXIO, true},  {EAGAIN, false},
                {ETIMEDOUT, false}, {EACCES, false}, {EBUSY, false}, {0, false}};
    for (const auto &r : rows)
        EXPECT_EQ(kv::link::MeansPortGone(r.error), r.gone) << r.error;
}

constexpr const char *kById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const UsbIdentity kAdapter{0x0403, 0x6001, "FTDI", "FT232R USB UART", "A50285BI"};

// The adapter ttyUSB0 (serial A50285BI) is opened by `opened`, pulled out, and then
// `back` happens; the adapter is looked for where `expect` says (relative to dev/), or
// nowhere.
TEST(Replug, TheSameAdapterIsFoundWhereverItComesBack) {
    struct Row {
        const char *what;
        std::string opened; // relative to dev/
        std::function<void(FakeMachine &)> back;
        std::optional<std::string> expect;
    };
    const std::string byId = std::string("serial/by-id/") + kById;
    const Row rows[] = {
        {"not back", byId, [](FakeMachine &) {}, std::nullopt},
        {"same socket", byId, [](FakeMachine &m) { m.PlugIn("1-2", "ttyUSB0", kAdapter, kById); },
         byId},
        {"another socket, by-id name", byId,
         [](FakeMachine &m) { m.PlugIn("1-7", "ttyUSB5", kAdapter, kById); }, byId},
        {"opened by its device, back as another", "ttyUSB0",
         [](FakeMachine &m) { m.PlugIn("1-7", "ttyUSB5", kAdapter, kById); }, byId},
        {"back before udev made its by-id link", "ttyUSB0",
         [](FakeMachine &m) { m.PlugIn("1-7", "ttyUSB5", kAdapter); }, "ttyUSB5"},
        {"another adapter of the kind in its place", byId,
         [](FakeMachine &m) {
             UsbIdentity other = kAdapter;
             other.serialNumber = "A50285BK";
             m.PlugIn("1-2", "ttyUSB0", other);
         },
         std::nullopt},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        FakeMachine m;
        const auto roots = m.roots();
        const auto id = IdentityOf(m.File("dev/" + r.opened), roots);
        EXPECT_EQ(id.byId, m.File("dev/") + byId);
        ASSERT_TRUE(id.usb);
        EXPECT_EQ(*id.usb, kAdapter);
        EXPECT_EQ(WhereIsAdapter(id, roots), m.File("dev/") + byId); // there: found
        m.Unplug("1-2", "ttyUSB0", kById);
        r.back(m);
        const auto where = WhereIsAdapter(id, roots);
        if (r.expect)
            EXPECT_EQ(where, m.File("dev/" + *r.expect));
        else
            EXPECT_EQ(where, std::nullopt) << *where;
    }
}

TEST(Replug, AnAdapterWithoutSerialNumberComesBackByItsByIdNameElseByItsNameAndKind) {
    const UsbIdentity kind{0x1a86, 0x7523, "", "USB Serial", ""};
    const std::string byId = "usb-1a86_USB_Serial-if00-port0";
    FakeMachine m;
    const auto roots = m.roots();
    const std::string name = m.File("dev/ttyUSB10");
    const auto id = IdentityOf(name, roots);
    ASSERT_TRUE(id.usb);
    EXPECT_EQ(WhereIsAdapter(id, roots), m.File("dev/serial/by-id/" + byId));
    m.Unplug("1-4", "ttyUSB10", byId);
    EXPECT_EQ(WhereIsAdapter(id, roots), std::nullopt);
    m.PlugIn("1-4", "ttyUSB10", kAdapter); // another kind at the name
    EXPECT_EQ(WhereIsAdapter(id, roots), std::nullopt);
    m.Unplug("1-4", "ttyUSB10");
    m.PlugIn("1-4", "ttyUSB10", kind); // its kind again, before udev made the by-id link
    EXPECT_EQ(WhereIsAdapter(id, roots), name);
}

TEST(Replug, APortTheSystemDoesNotListComesBackWhenItsNameNamesADeviceAgain) {
    // A pseudo-terminal's link (what fusesim --link makes): known only by its name.
    kvtest::TempDir dir;
    FakeMachine m;
    const std::string link = dir.File("ttyFUSE");
    std::filesystem::create_symlink("/dev/null", link);
    const auto id = IdentityOf(link, m.roots());
    EXPECT_EQ(id.byId, "");
    EXPECT_FALSE(id.usb);
    EXPECT_EQ(WhereIsAdapter(id, m.roots()), link);
    std::filesystem::remove(link);
    EXPECT_EQ(WhereIsAdapter(id, m.roots()), std::nullopt);
    // A file in its place is no device.
    kvtest::TempDir::Write(link, "");
    EXPECT_EQ(WhereIsAdapter(id, m.roots()), std::nullopt);
}

} // namespace
