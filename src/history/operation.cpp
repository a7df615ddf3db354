#include "history/operation.h"

#include <array>

namespace kv::history {

namespace {
constexpr std::array<OperationInfo, 15> kOperations = {{
    {Operation::ParamsSend, "params-send", "Parameters sent"},
    {Operation::ParamsRead, "params-read", "Parameters read"},
    {Operation::ParamsCrc, "params-crc", "Parameter CRC checked"},
    {Operation::StatusRead, "status-read", "Status read"},
    {Operation::Relay, "relay", "Relay switched"},
    {Operation::CurrentRead, "current-read", "Current measured"},
    {Operation::CurrentSeries, "current-series", "Current series measured"},
    {Operation::TableWrite, "table-write", "Correction table written"},
    {Operation::TableRead, "table-read", "Correction table read"},
    {Operation::TableVerify, "table-verify", "Correction table verified"},
    {Operation::TableBackup, "table-backup", "Correction table backed up"},
    {Operation::TableRestore, "table-restore", "Correction table restored"},
    {Operation::CalibrationCalc, "calibration-calc", "Correction table calculated"},
    {Operation::IncludeGenerate, "include-generate", "Include file generated"},
    {Operation::Restart, "restart", "Device restarted"},
}};

// Info() indexes the table by the enumerator.
constexpr bool TableFollowsTheEnum() {
    for (std::size_t i = 0; i < kOperations.size(); ++i)
        if (static_cast<std::size_t>(kOperations[i].operation) != i)
            return false;
    return true;
}
static_assert(TableFollowsTheEnum());

const OperationInfo &Info(Operation op) {
    return kOperations[static_cast<std::size_t>(op)];
}
} // namespace

std::span<const OperationInfo> Operations() {
    return kOperations;
}

std::string_view OperationName(Operation op) {
    return Info(op).name;
}

std::string_view OperationTitle(Operation op) {
    return Info(op).title;
}

std::optional<Operation> OperationFromName(std::string_view name) {
    for (const OperationInfo &i : kOperations)
        if (i.name == name)
            return i.operation;
    return std::nullopt;
}

bool ChangesDevice(Operation op) {
    switch (op) {
    case Operation::ParamsSend:
    case Operation::Relay:
    case Operation::TableWrite:
    case Operation::TableRestore:
    case Operation::Restart:
        return true;
    default:
        return false;
    }
}

} // namespace kv::history
