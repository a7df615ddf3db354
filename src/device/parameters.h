// The seven fuse parameters: validation for Send Data, the device requests that carry them,
// their CRC and the Calc CRC input.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/comm_state.h"
#include "app/settings_file.h"
#include "device/status.h"

namespace kv::device {

// The seven fuse parameters, in the order of the main window's fields: five numbers held as
// Number and two switches held as Flag.
template <class Number, class Flag> struct ParameterSet {
    Number FuseCurrent{};     // A x 10
    Number ZeroOffset{};      // ADC steps
    Number OverloadTime{};    // ms
    Number CurrentMultiply{}; // I to ADC multiply
    Number MeasureCount{};
    Flag UseAverage{};
    Flag UseVref{};

    bool operator==(const ParameterSet &) const = default;
};

// The parameters as the device holds them.
using FuseParameters = ParameterSet<std::uint8_t, bool>;
// What the window's parameter fields hold: the edits' texts as typed and the check boxes.
using ParameterEntries = ParameterSet<std::string, bool>;

// What names a parameter outside the program: its settings-file key, korvanectl's option
// and the option's help, and its field name in every JSON output, history listing and record
// (earlier versions recorded the settings key: readers take both).
struct ParameterName {
    std::string_view settingsKey; // "FuseCurrent"
    std::string_view option;      // "--fuse-current"
    std::string_view help;
    std::string_view field; // "fuse_current"
};

// Calls f(name, field) for each parameter of the set, in the fields' order.
template <class Set, class F> void ForEachParameter(Set &set, F &&f) {
    f(ParameterName{"FuseCurrent", "--fuse-current", "fuse current, A x10 (0..99)", "fuse_current"},
      set.FuseCurrent);
    f(ParameterName{"ZeroOffset", "--zero-offset", "zero offset, ADC steps (0..255)",
                    "zero_offset"},
      set.ZeroOffset);
    f(ParameterName{"OverloadTimer", "--overload-time", "overload time, ms (0..255)",
                    "overload_time"},
      set.OverloadTime);
    f(ParameterName{"ADCcurrentMultiply", "--multiply", "I to ADC multiply", "current_multiply"},
      set.CurrentMultiply);
    f(ParameterName{"MeasureCount", "--measure-count", "current measure count (1..20)",
                    "measure_count"},
      set.MeasureCount);
    f(ParameterName{"UseAverage", "--average", "use average current", "use_average"},
      set.UseAverage);
    f(ParameterName{"UseVref", "--vref", "use voltage reference", "use_vref"}, set.UseVref);
}

// The fields holding the parameters, as the window shows values the device holds.
ParameterEntries EntriesOf(const FuseParameters &p);

// The fields as the main window's start-up fills them from the settings file.
ParameterEntries EntriesFromSettings(const StartupSettings &s);

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

// A parameter backup as SaveParameters writes it (a settings file's section "init"), read
// for a restore: all seven keys, each a value the device can hold and Send Data would send
// unchanged (fuse current 0..99, zero offset and overload time 0..255, multiply 1..103,
// measure count 1..20, the switches 0 or 1). Nothing is guessed: parameters only when every
// key is there and valid, else `problems` names each key missing or wrong, in the fields'
// order.
struct BackupRead {
    std::optional<FuseParameters> parameters;
    std::vector<std::string> problems; // "ZeroOffset=-5 is outside 0..255", "UseVref is missing"
};
BackupRead ParametersFromBackup(std::string_view content);

// Writes the parameters to the settings file, section "init", in their fixed order; stops at
// the first failed write and returns it.
FileResult SaveParameters(const IniFile &ini, const FuseParameters &p);
// The text of a new settings file holding just the parameters, as SaveParameters writes them
// into an empty file (a backup of the device's parameters).
std::string ParametersText(const FuseParameters &p);

} // namespace kv::device
