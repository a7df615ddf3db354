// The device's 23-byte status record and the status report written to the log.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv::device {

inline constexpr std::size_t kStatusRecordSize = 23;
// The reply to GetStatus and GetStoredStatus: the record and the two terminator bytes.
inline constexpr std::uint8_t kStatusReplyLength = 25;

inline constexpr std::uint8_t kRelayOnBit = 0x08;         // PortC, and the current reply's port
inline constexpr std::uint8_t kManualSwitchOffBit = 0x08; // PortA

// One byte per field, in the record's order; 16-bit values are high byte first.
struct DeviceStatus {
    std::uint8_t PortC = 0;
    std::uint8_t PortB = 0;
    std::uint8_t PortA = 0;
    std::uint8_t Flags = 0;
    // Bytes 4..10: the seven fuse parameters as the device holds them.
    std::uint8_t FuseCurrent = 0;
    std::uint8_t ZeroOffset = 0;
    std::uint8_t CurrentMultiply = 0;
    std::uint8_t OverloadTime = 0;
    std::uint8_t UseVref = 0;
    std::uint8_t UseAverage = 0;
    std::uint8_t MeasureCount = 0;
    std::uint8_t DataCrc = 0; // the device's CRC-8 over bytes 4..10
    std::uint8_t AvgAdcHi = 0;
    std::uint8_t AvgAdcLo = 0;
    std::uint8_t UsedCurrent = 0;
    std::uint8_t MeasuredCurrent = 0;
    std::uint8_t LastAdcHi = 0;
    std::uint8_t LastAdcLo = 0;
    std::uint8_t Reserved18 = 0;
    std::uint8_t RelayOffTimeHi = 0; // count of 1.024 ms units
    std::uint8_t RelayOffTimeLo = 0;
    std::uint8_t Reserved21 = 0;
    std::uint8_t Reserved22 = 0;

    bool RelayOn() const { return (PortC & kRelayOnBit) != 0; }
    bool ManualSwitchOff() const { return (PortA & kManualSwitchOffBit) != 0; }
    int AvgAdc() const { return AvgAdcHi * 256 + AvgAdcLo; }
    int LastAdc() const { return LastAdcHi * 256 + LastAdcLo; }
    int RelayOffCount() const { return RelayOffTimeHi * 256 + RelayOffTimeLo; }
};
static_assert(sizeof(DeviceStatus) == kStatusRecordSize);

DeviceStatus StatusFromBytes(std::span<const std::uint8_t, kStatusRecordSize> bytes);
std::array<std::uint8_t, kStatusRecordSize> StatusToBytes(const DeviceStatus &s);

// The record of a reply of `count` bytes, when count equals `expected` (25) and the reply
// holds at least the record.
std::optional<DeviceStatus> StatusFromReply(std::span<const std::uint8_t> reply,
                                            std::uint32_t count, std::uint8_t expected);

// The names of the set flag bits in bit order, separated by one blank.
std::string FlagNameList(std::uint8_t flags);

struct RelayOffTime {
    int total = 0; // milliseconds, at most kMaxRelayOffTimeMs
    int minutes = 0;
    int seconds = 0;
    int milliseconds = 0;
};
inline constexpr int kMaxRelayOffTimeMs = 66845;
RelayOffTime RelayOffTimeFrom(int count);

// The 13 report lines in the order they are logged (the caption line last, so that it ends
// up on top of the log pane).
std::vector<std::string> StatusReportLines(const DeviceStatus &s, std::string_view caption);

} // namespace kv::device
