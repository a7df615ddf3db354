// The device operations as whole sequences over the serial link, so that the main window and
// korvanectl run the same code. Each returns a typed outcome: what it read or did, and which
// of its failures happened. Questions asked on the way (confirmations, the messages of
// replaced values) go through the prompter while it runs; what it has to tell at the end
// comes from NoticesOf(outcome) (device/notices.h). Every function runs on the link's (main)
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/notice.h"
#include "app/prompter.h"
#include "app/scope.h"
#include "app/settings_file.h"
#include "device/current.h"
#include "device/parameters.h"
#include "device/status.h"
#include "link/commands.h"
#include "link/link.h"

namespace kv::device {

// One status request (GetStatus or GetStoredStatus) and its record.
struct [[nodiscard]] StatusRead {
    link::Cmd command = link::Cmd::GetStatus;
    link::Reply reply;
    std::optional<DeviceStatus> status; // when exactly 25 bytes came ("GetStatus error!")

    bool ok() const { return status.has_value(); }
};

// Get Data: the parameters the device reports.
struct [[nodiscard]] ParametersRead {
    StatusRead read;
    std::optional<FuseParameters> parameters;

    bool ok() const { return parameters.has_value(); }
};

// Send Data, which stops at its first failure.
enum class SendFailure {
    None,
    Error,            // a field is not an integer, or the sequence failed (error: the message)
    Declined,         // the confirmation was not answered Yes
    SettingsNotSaved, // AutoSaveData could not write the settings file (error: the reason)
    SetStatus,        // "SetStatus error!"
    GetStatus,        // the read-back: "GetStatus error!"
    ReadBack,         // the read-back differs from what was sent: "Data set error!"
    WriteData,        // "WriteData error!"
    CrcMismatch,      // the CRC the device stored differs: "CRC NOT OK!"
};

struct [[nodiscard]] SendOutcome {
    SendFailure failure = SendFailure::None;
    FuseParameters parameters;         // as validated: what was sent, or would have been
    std::vector<std::string> replaced; // the messages of the values replaced, in order
    std::string error;                 // Error, SettingsNotSaved
    std::string settingsFile;          // the file AutoSaveData wrote (empty when off)
    std::optional<DeviceStatus> readBack;
    std::uint8_t crc = 0;                    // the parameters' CRC
    std::optional<std::uint8_t> returnedCrc; // the one WriteData returned
    link::Reply reply;                       // the last exchange's

    bool ok() const { return failure == SendFailure::None; }
};

enum class RelayResult { StatusFailed, ManualSwitchOff, SwitchedOff, SwitchedOn, Declined };

struct [[nodiscard]] RelayOutcome {
    RelayResult result = RelayResult::StatusFailed;
    StatusRead before;
    // The RelayOn or RelayOff exchange. The relay button does not judge its reply;
    // korvanectl does.
    std::optional<link::Reply> switched;
};

// One current measurement (GetCurrentCmd). On failure the sample holds zeros and its time
// stamp.
struct [[nodiscard]] Measurement {
    CurrentSample sample;
    link::Reply reply;
    bool ok = false;     // 8 bytes came with a multiply other than 0
    std::string suspect; // ok, but no plausible measurement: why (SuspectCurrentReply)
};

// The measurement of a timer tick that reached the interval: the status first, then the
// current, then its line in the current log file.
class SeriesPort; // device/series_port.h

struct TimedRecord {
    StatusRead status;
    std::optional<Measurement> measurement; // once the status came
    std::string logFile;
    std::optional<FileResult> written; // the record line's append, once the status came

    bool measured() const { return measurement && measurement->ok; }
};

// One tick of the main window's 1-second timer.
struct [[nodiscard]] TimerTickOutcome {
    bool dropped = false; // reached the interval while a measurement still ran
    bool missed = false;  // reached the interval while the series' port was lost
    std::optional<TimedRecord> record;
    Notices notices;     // the record's, and the series port's (SeriesPort)
    int secondsLeft = 0; // for the status bar (CountdownText)
};

// "Set Interval".
struct [[nodiscard]] IntervalChange {
    bool asked = false;   // false: cancelled
    std::string badEntry; // the answer is not an integer: its conversion message
    bool changed = false;
    int interval = 0;
    std::string settingsFile;
    std::optional<FileResult> saved; // the "timer" key's write, when changed
};

// Calc CRC: the window's parameters against the CRC the device reports. Its first step
// (CrcOfEntries) runs before anything is sent and is shown at once; the second
// (DeviceOps::CompareCrc) reads the device.
struct [[nodiscard]] CrcCheck {
    std::string error;     // a field is not an integer (nothing sent), or the check failed
    bool compared = false; // the second step ran
    std::uint8_t calculated = 0;
    std::optional<StatusRead> read;
    std::optional<std::uint8_t> returned; // the device's DataCrc, when its status came

    bool ok() const { return error.empty() && returned && *returned == calculated; }
};
CrcCheck CrcOfEntries(const ParameterEntries &entries);

// ReStart.
enum class RestartResult { Declined, Failed, Done };
struct [[nodiscard]] RestartOutcome {
    RestartResult result = RestartResult::Declined;
    std::optional<link::Reply> reply;
};

class DeviceOps {
public:
    DeviceOps(link::Link &link, Prompter &prompter, AdcScale scale = {}, Clock clock = LocalNow);

    StatusRead ReadStatus(link::Cmd cmd = link::Cmd::GetStatus, link::SendOptions options = {});

    // Send Data. `autoSave` is the settings file when AutoSaveData is on, else null.
    // beforeSend, when given, runs once the confirmation is answered Yes, before anything
    // is saved or sent (korvanectl keeps the device's parameters there).
    SendOutcome SendData(const ParameterEntries &entries, const IniFile *autoSave,
                         const std::function<void()> &beforeSend = {});
    // Get Data.
    ParametersRead GetData();

    // The relay button: reads the status, then switches off, or asks and switches on.
    RelayOutcome Relay();

    // One measurement, with its exchange kept out of the log.
    Measurement GetCurrent(bool useVref);

    // One tick of the timed measurement (ticks, busy and interval are the window's state).
    // port, when given, carries the series over an unplug: while it is lost each tick looks
    // for it, and a due tick is missed instead of measured.
    TimerTickOutcome TimerTick(int &ticks, BusyFlag &busy, const int &interval,
                               const std::string &logFileName, SeriesPort *port = nullptr);
    // The measurement of a tick that reached the interval. Its line is written to the file
    // also when the current could not be measured (zeros and the time stamp).
    TimedRecord TimedMeasurement(const std::string &logFileName);

    // "Set Interval": asks for a new interval; when it differs, interval takes it and the
    // settings file's "timer" key is written (a failed write keeps the value for this run).
    IntervalChange SetTimerInterval(int &interval, const IniFile &ini);

    // Calc CRC's second step: the device's CRC into check, unless its first step failed.
    void CompareCrc(CrcCheck &check);

    // Info: the reply is only seen in the log, rendered as text (options: the history's
    // reading of it keeps its lines out of the log).
    link::Reply Info(link::SendOptions options = {.display = link::RxDisplay::Text});
    // ReStart, after "Are you sure?".
    RestartOutcome Restart();

    link::Link &link() { return link_; }

private:
    Measurement Measure(bool useVref, link::SendOptions options);
    void SendValidated(SendOutcome &out, const IniFile *autoSave);

    link::Link &link_;
    Prompter &prompter_;
    AdcScale scale_;
    Clock clock_;
};

} // namespace kv::device
