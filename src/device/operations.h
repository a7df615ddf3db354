// The device operations as whole sequences over the serial link and the prompter, so that
// the main window and a program without windows run the same code. Every function runs on
// the link's (main) thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/prompter.h"
#include "app/scope.h"
#include "app/settings_file.h"
#include "device/current.h"
#include "device/parameters.h"
#include "device/status.h"
#include "link/commands.h"
#include "link/link.h"

namespace kv::device {

enum class SendDataResult {
    Failed,   // bad entry or settings file not written: its error box was shown
    Declined, // the user did not confirm
    SetStatusFailed,
    GetStatusFailed,
    DataSetError, // read-back differs from what was sent
    WriteDataFailed,
    CrcMismatch,
    Done,
};

enum class RelayResult { StatusFailed, ManualSwitchOff, SwitchedOff, SwitchedOn, Declined };

enum class CrcCheckResult { Failed, StatusFailed, Match, Mismatch };

class DeviceOps {
public:
    DeviceOps(link::Link &link, Prompter &prompter, AdcScale scale = {}, Clock clock = LocalNow);

    // Sends GetStatus (or GetStoredStatus) and returns the record when exactly 25 bytes came.
    std::optional<DeviceStatus> ReadStatus(link::Cmd cmd = link::Cmd::GetStatus,
                                           link::SendOptions options = {});

    // Writes the status report, or shows "GetStatus error!".
    bool ShowStatus(const std::optional<DeviceStatus> &status, std::string_view caption);
    bool GetLastValues(std::optional<DeviceStatus> *read = nullptr);
    bool GetLastStoredValues(std::optional<DeviceStatus> *read = nullptr);

    // Send Data. `autoSave` is the settings file when AutoSaveData is on, else null.
    SendDataResult SendData(const ParameterEntries &entries, const IniFile *autoSave);
    // Get Data: the parameters the device reports, or nullopt after "GetStatus error!".
    std::optional<FuseParameters> GetData();

    RelayResult Relay(link::Reply *switched = nullptr);

    // One measurement and its report. On failure the sample holds zeros and its time stamp,
    // and "GetCurrent error!" is shown in a box (errorBox) or logged.
    bool GetCurrent(CurrentSample &sample, bool useVref, bool errorBox);

    // One tick of the timed measurement (ticks, busy and interval are the window's state).
    // Returns the countdown text for the status bar, or nullopt when the tick was dropped
    // because a measurement is still running.
    std::optional<std::string> TimerTick(int &ticks, BusyFlag &busy, const int &interval,
                                         const std::string &logFileName);
    // The measurement of a tick that reached the interval: status, current, one file line.
    // Returns the sample written to the file (zeros and the time stamp after a failed
    // measurement; measured says whether it succeeded).
    CurrentSample TimedMeasurement(const std::string &logFileName, bool *measured = nullptr);

    // "Set Interval": asks for a new interval; true when it changed. The new value is logged
    // and written to the settings file ("timer"); a failed write is logged and the new value
    // kept for this run. A non-integer answer throws kv::Error.
    bool SetTimerInterval(int &interval, const IniFile &ini);

    // Calc CRC: the window's parameters against the CRC the device reports.
    CrcCheckResult CalcCrc(const ParameterEntries &entries);

    link::Link &link() { return link_; }

private:
    SendDataResult SendValidated(const FuseParameters &p, const IniFile *autoSave);

    link::Link &link_;
    Prompter &prompter_;
    AdcScale scale_;
    Clock clock_;
};

} // namespace kv::device
