// korvanectl's own decisions without a device: the timed series' slots, the ports file and
// the labels of the ports' lines.
#include <gtest/gtest.h>

#include "ctl/commands.h"
#include "ctl/multi_port.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(CtlSeries, SlotsMissedWhileAMeasurementWaitedAreSkipped) {
    const Clock::time_point t0{};
    const struct {
        Clock::duration last, now, next; // from t0
    } rows[] = {
        {0s, 100ms, 1s},   // on time: the next slot
        {0s, 1s, 1s},      // ended right on the slot: measured at once
        {0s, 2100ms, 3s},  // a 2-second time-out: slots 1 and 2 skipped
        {5s, 5s, 6s},      // the first measurement took no time
        {3s, 9999ms, 10s}, // long stall: the next slot on the grid, not a burst
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::chrono::duration<double>(r.now).count());
        EXPECT_EQ(kv::ctl::NextSlot(t0 + r.last, 1s, t0 + r.now), t0 + r.next);
    }
}

TEST(CtlPortsFile, PortsWithTheirUnitsCommentsAndBlankLines) {
    const auto t = kv::ctl::ParsePortsFile("# rack 3\n\n/dev/ttyUSB0 fuse-0017\r\n"
                                           "  /dev/ttyUSB1   # no unit yet\n\t/dev/ttyUSB2\tB2\n",
                                           "rack.txt", nullptr);
    ASSERT_EQ(t.size(), 3u);
    const struct {
        std::string port, unit, label;
    } rows[] = {
        {"/dev/ttyUSB0", "fuse-0017", "fuse-0017"},
        {"/dev/ttyUSB1", "", "ttyUSB1"},
        {"/dev/ttyUSB2", "B2", "B2"},
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].port, rows[i].port);
        EXPECT_EQ(t[i].unit, rows[i].unit);
        EXPECT_EQ(kv::ctl::PortLabel(t[i]), rows[i].label);
    }
    EXPECT_EQ(kv::ctl::PortLabel({"COM7", ""}), "COM7");
    EXPECT_THROW(kv::ctl::ParsePortsFile("/dev/ttyUSB0 a b\n", "f", nullptr), kv::ctl::UsageError);
}

} // namespace
