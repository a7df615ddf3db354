#include "app/log_lines.h"

#include <ctime>

#include "app/format.h"

namespace kv {

ClockMillis LocalClockMillis(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const std::time_t secs = system_clock::to_time_t(time_point_cast<seconds>(t));
    // to_time_t may round: the milliseconds are taken from the same whole second.
    const auto ms = duration_cast<milliseconds>(t - system_clock::from_time_t(secs)).count();
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
    return {tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

std::string StampedLine(const ClockMillis &t, std::string_view line) {
    std::string out =
        Format("%0.2d:%0.2d:%0.2d.%0.3d", {t.hour, t.minute, t.second, t.millisecond});
    if (!line.empty()) {
        out += ' ';
        out += line;
    }
    return out;
}

std::string LogFileText(const std::vector<std::string> &newestFirst) {
    std::string out;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
        out += *it;
        out += "\r\n";
    }
    return out;
}

} // namespace kv
