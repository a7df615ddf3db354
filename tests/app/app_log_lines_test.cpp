// The log's time stamps and its text file.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/log_lines.h"

namespace kv {
namespace {

TEST(LogLines, StampsAndFileText) {
    const struct {
        ClockMillis t;
        const char *line;
        const char *expected;
    } rows[] = {
        {{9, 5, 7, 42}, "S: 10B", "09:05:07.042 S: 10B"},
        {{23, 59, 59, 999}, "R: 00 01", "23:59:59.999 R: 00 01"},
        {{0, 0, 0, 0}, "", "00:00:00.000"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(StampedLine(r.t, r.line), r.expected);

    EXPECT_EQ(LogFileText({"newest", "middle", "oldest"}), "oldest\r\nmiddle\r\nnewest\r\n");
    EXPECT_EQ(LogFileText({}), "");
}

TEST(LogLines, MillisecondsOfTheSameSecond) {
    using namespace std::chrono;
    const system_clock::time_point t = system_clock::from_time_t(1798718400) + milliseconds(999);
    const ClockMillis c = LocalClockMillis(t);
    EXPECT_EQ(c.millisecond, 999);
    // The whole seconds are those of the time without its milliseconds.
    const ClockMillis whole = LocalClockMillis(system_clock::from_time_t(1798718400));
    EXPECT_EQ(c.second, whole.second);
    EXPECT_EQ(c.minute, whole.minute);
    EXPECT_EQ(whole.millisecond, 0);
}

} // namespace
} // namespace kv
