// One entry of a unit's service history: when, where, by whom and with which tool an
// operation was done on which unit through which port, whether it succeeded, and its data
// as JSON. The context (who, where, which unit and port) is set once and stamped on every
// record.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/json.h"
#include "history/operation.h"
#include "link/port_list.h"

namespace kv::history {

// When a record is made: UTC wall-clock time to the millisecond, ISO 8601
// ("2025-05-20T14:03:07.123Z", which sorts as text in time order), and the monotonic clock
// in nanoseconds, which orders and spaces one station's records even when its wall clock
// is set back (it does not compare between stations or across a restart).
struct Stamp {
    std::string time;
    std::int64_t monoNs = 0;
};
Stamp Now();

std::string UtcText(std::chrono::system_clock::time_point t);
// Milliseconds since 1970 of a UTC text as UtcText writes it (the fraction and the "Z" may
// be left out); nothing for any other text.
std::optional<std::int64_t> UtcMilliseconds(std::string_view text);

// Who, where and on what: the same for every record of a run or port opening.
struct Context {
    std::string station;       // the host name
    std::string operatorName;  // the login name, or as given
    std::string toolVersion;   // this build's version
    std::string unit;          // the unit's serial number as the technician gave it; may be ""
    std::string port;          // the port as opened: /dev/ttyUSB0, \\.\COM3
    std::string adapter;       // the adapter's stable name, /dev/serial/by-id/... (Linux)
    std::string adapterSerial; // the USB adapter's serial number, when it has one
    std::string info;          // the device's Info text, read once per port opening
};

// The station, operator and tool version of this process; no unit, port or Info text.
Context DefaultContext();

// This build's version ("1.0").
std::string ToolVersion();

// Sets the port, and the adapter's by-id name and USB serial number from the system's list
// of ports (left empty when the system knows none, as for a pseudo-terminal).
void SetPort(Context &context, const std::string &path, const link::PortRoots &roots = {});

// A unit serial number as typed or scanned (a scanner may add a CR or a tab): trimmed of
// blanks and control characters at both ends. Control characters inside, or more than
// kMaxUnitLength bytes, are refused with the reason in *error.
inline constexpr std::size_t kMaxUnitLength = 64;
std::optional<std::string> CleanUnit(std::string_view text, std::string *error = nullptr);
// The operator's name as given (--operator): the same rule, at most kMaxOperatorLength bytes.
inline constexpr std::size_t kMaxOperatorLength = 64;
std::optional<std::string> CleanOperator(std::string_view text, std::string *error = nullptr);

// A file name for one unit's document: "calibration-SN-1234.html" from ("calibration",
// "SN-1234", ".html"), each character of the serial number that a file name may not hold
// replaced by "_".
std::string UnitFileName(const std::string &stem, const std::string &unit, const std::string &ext);

struct Outcome {
    bool ok = true;
    std::string message; // the failure's text as the front end showed it; "" when ok
    static Outcome Ok() { return {}; }
    static Outcome Failed(std::string message) { return {false, std::move(message)}; }
};

struct Record {
    std::int64_t id = 0; // the store's number; 0 until stored
    // The record's id everywhere, the shared history's key: a random UUID (version 4) in
    // lower-case text, given when the record is stored ("" before).
    std::string uuid;
    std::string time; // see Stamp
    std::int64_t monoNs = 0;
    std::string station;
    std::string operatorName;
    std::string toolVersion;
    std::string unit;
    std::string port;
    std::string adapter;
    std::string adapterSerial;
    std::string info;
    // The operation's name (OperationName). Kept as text so that a record written by a
    // newer version, with an operation this one does not know, still reads back.
    std::string operation;
    bool ok = true;
    std::string message;
    json::Value data; // an object; see record_data.h for each operation's members

    std::optional<Operation> Op() const { return OperationFromName(operation); }
};

// A new random UUID (version 4): "3f2b8c1e-9a4d-4e7f-8b21-0c5d6e7f8a9b".
std::string NewRecordUuid();

// A record of the operation with the context's fields, the outcome and the data.
Record MakeRecord(const Context &context, Operation op, const Outcome &outcome, json::Value data,
                  const Stamp &stamp = Now());

} // namespace kv::history
