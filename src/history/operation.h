// The operations a unit's history records: one fixed table of their names (as stored and
// as typed after --operation) and their titles (as a window or a document shows them).
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace kv::history {

enum class Operation {
    ParamsSend,      // Send Data: the status read before, the values sent, read-back, CRC
    ParamsRead,      // Get Data: the parameters the device holds
    ParamsCrc,       // Calc CRC: the parameters' CRC against the device's
    StatusRead,      // Get Last Values / Get Last Stored Values: the status record
    Relay,           // relay switched on or off
    CurrentRead,     // one current measurement
    CurrentSeries,   // a timed series, one record for the whole series
    TableWrite,      // correction table written (before = backup, after = written)
    TableRead,       // correction table read from the device
    TableVerify,     // device table compared with a table
    TableBackup,     // device table saved into a backup file
    TableRestore,    // a backup written back
    CalibrationCalc, // the correction table calculated from calibration points
    IncludeGenerate, // the firmware include file generated from a table file
    Restart,         // the device restarted
};

struct OperationInfo {
    Operation operation;
    std::string_view name;      // "table-write"
    std::string_view title;     // "Correction table written"
    bool changesDevice = false; // the operation changes what the device holds
};

// Every operation, in the order of the enumeration (checked in operation.cpp): a new
// operation is its enumerator and its row here.
inline constexpr auto kOperations = std::to_array<OperationInfo>({
    {Operation::ParamsSend, "params-send", "Parameters sent", true},
    {Operation::ParamsRead, "params-read", "Parameters read"},
    {Operation::ParamsCrc, "params-crc", "Parameter CRC checked"},
    {Operation::StatusRead, "status-read", "Status read"},
    {Operation::Relay, "relay", "Relay switched", true},
    {Operation::CurrentRead, "current-read", "Current measured"},
    {Operation::CurrentSeries, "current-series", "Current series measured"},
    {Operation::TableWrite, "table-write", "Correction table written", true},
    {Operation::TableRead, "table-read", "Correction table read"},
    {Operation::TableVerify, "table-verify", "Correction table verified"},
    {Operation::TableBackup, "table-backup", "Correction table backed up"},
    {Operation::TableRestore, "table-restore", "Correction table restored", true},
    {Operation::CalibrationCalc, "calibration-calc", "Correction table calculated"},
    {Operation::IncludeGenerate, "include-generate", "Include file generated"},
    {Operation::Restart, "restart", "Device restarted", true},
});

// Every operation, in the order above.
std::span<const OperationInfo> Operations();

std::string_view OperationName(Operation op);
std::string_view OperationTitle(Operation op);
std::optional<Operation> OperationFromName(std::string_view name);

// Operations that change what the device holds.
bool ChangesDevice(Operation op);

} // namespace kv::history
