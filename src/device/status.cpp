#include "device/status.h"

#include <cstring>

#include "app/format.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "device/texts.h"

namespace kv::device {

DeviceStatus StatusFromBytes(std::span<const std::uint8_t, kStatusRecordSize> bytes) {
    DeviceStatus s;
    std::memcpy(&s, bytes.data(), kStatusRecordSize);
    return s;
}

std::array<std::uint8_t, kStatusRecordSize> StatusToBytes(const DeviceStatus &s) {
    std::array<std::uint8_t, kStatusRecordSize> b{};
    std::memcpy(b.data(), &s, kStatusRecordSize);
    return b;
}

std::optional<DeviceStatus> StatusFromReply(std::span<const std::uint8_t> reply,
                                            std::uint32_t count, std::uint8_t expected) {
    if (count != expected || reply.size() < kStatusRecordSize)
        return std::nullopt;
    return StatusFromBytes(reply.first<kStatusRecordSize>());
}

std::string FlagNameList(std::uint8_t flags) {
    std::string names;
    for (std::size_t bit = 0; bit < FlagNames.size(); ++bit)
        if (flags & (1u << bit)) {
            names += FlagNames[bit];
            names += ' ';
        }
    return Trim(names);
}

RelayOffTime RelayOffTimeFrom(int count) {
    RelayOffTime t;
    // count x 1.024 rounded to the nearest integer; count x 1024 never ends in 500, so no
    // tie can occur and integer arithmetic gives the exact result.
    t.total = static_cast<int>((static_cast<long long>(count) * 1024 + 500) / 1000);
    if (t.total > kMaxRelayOffTimeMs)
        t.total = kMaxRelayOffTimeMs;
    t.minutes = t.total / 60000;
    t.milliseconds = t.total % 1000;
    t.seconds = (t.total - t.minutes * 60000 - t.milliseconds) / 1000;
    return t;
}

std::vector<std::string> StatusReportLines(const DeviceStatus &s, std::string_view caption) {
    using namespace text;
    const RelayOffTime off = RelayOffTimeFrom(s.RelayOffCount());
    return {
        std::string(ReportSeparator),
        Format(ReportPorts, {ByteToBinary(s.PortA), ByteToBinary(s.PortB), ByteToBinary(s.PortC)}),
        Format(ReportFlags, {ByteToBinary(s.Flags), FlagNameList(s.Flags)}),
        std::string(ReportSeparator),
        Format(ReportAvgAdc, {s.AvgAdc(), s.AvgAdcHi, s.AvgAdcLo, s.MeasureCount}),
        Format(ReportLastAdc, {s.LastAdc(), s.LastAdcHi, s.LastAdcLo}),
        Format(ReportRelayOffTime, {off.total, off.minutes, off.seconds, off.milliseconds}),
        Format(ReportCurrents, {s.UsedCurrent, s.MeasuredCurrent}),
        std::string(ReportSeparator),
        Format(ReportVrefAverage, {s.UseVref, s.UseAverage}),
        Format(ReportOverloadMultiply, {s.OverloadTime, s.CurrentMultiply}),
        Format(ReportFuseOffset, {s.FuseCurrent, s.ZeroOffset}),
        Format(ReportCaption, {caption, OffOnText[s.RelayOn() ? 1 : 0]}),
    };
}

} // namespace kv::device
