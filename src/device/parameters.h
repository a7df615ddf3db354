// The seven fuse parameters: validation for Send Data, the device requests that carry them,
// their CRC and the Calc CRC input.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/settings_file.h"
#include "device/status.h"

namespace kv::device {

struct FuseParameters {
    std::uint8_t FuseCurrent = 0; // A x 10
    std::uint8_t ZeroOffset = 0;
    std::uint8_t OverloadTime = 0; // ms
    std::uint8_t CurrentMultiply = 0;
    std::uint8_t MeasureCount = 0;
    bool UseAverage = false;
    bool UseVref = false;

    bool operator==(const FuseParameters &) const = default;
};

// What the window's parameter fields hold: the edits' texts as typed and the check boxes.
struct ParameterEntries {
    std::string fuseCurrent;
    std::string zeroOffset;
    std::string overloadTime;
    std::string multiply;
    std::string measureCount;
    bool useAverage = false;
    bool useVref = false;
};

inline constexpr int kFuseCurrentLimit = 100; // fuse current must be below it
inline constexpr int kMultiplyLimit = 103;    // integer part of 103.333...
inline constexpr int kMaxMeasureCount = 20;

// Send Data's checks, in their order (fuse current, zero offset, overload time, measure
// count, multiply). Each entry is trimmed and converted as an integer, of which the low
// 16 bits are checked; a bad value is reported through `report` and replaced. A text that
// is not an integer throws kv::Error with the conversion message, after the reports of the
// entries before it.
FuseParameters ValidateForSend(const ParameterEntries &e,
                               const std::function<void(const std::string &)> &report);

// The question asked before the parameters are sent.
std::string ConfirmationText(const FuseParameters &p);

// SetStatus: the code and the parameters, use average before use voltage reference.
std::array<std::uint8_t, 8> SetStatusRequest(const FuseParameters &p);

// The CRC input in the status record's order of bytes 4..10 (use voltage reference first).
std::array<std::uint8_t, 7> CrcInput(const FuseParameters &p);
std::uint8_t ParametersCrc(const FuseParameters &p);

// True when the record holds exactly the values sent (booleans as 0/1).
bool ReadBackMatches(const DeviceStatus &s, const FuseParameters &p);

// The parameters shown by Get Data; a boolean byte other than 0 counts as set.
FuseParameters ParametersFromStatus(const DeviceStatus &s);

// Calc CRC's input: the same conversion as Send Data, with its own silent limits (fuse
// current 99, offset, multiply and overload time 255, a multiply of 0 as 1, the count's
// low byte unchecked). Throws kv::Error on a text that is not an integer.
FuseParameters CalcCrcParameters(const ParameterEntries &e);

// Writes the parameters to the settings file, section "init", in their fixed order; stops at
// the first failed write and returns it.
FileResult SaveParameters(const IniFile &ini, const FuseParameters &p);

} // namespace kv::device
