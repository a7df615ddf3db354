// What each front end records of an operation, made from the operation's typed outcome:
// one function per kind of operation, shared by korvanectl and the windows, so that both
// record the same data and the same failure text for the same outcome.
#pragma once

#include <optional>
#include <string>

#include "app/notice.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "corrtable/include_file.h"
#include "corrtable/table.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "device/operations.h"
#include "history/record.h"

namespace kv::history {

// An operation's record before the context is stamped on it.
struct Entry {
    Operation operation = Operation::StatusRead;
    Outcome outcome;
    json::Value data = json::Value::object();
};

// ok, or failed with the failure texts of the notices the front end showed ("; " between
// them): its boxes and failure lines, not its result lines.
Outcome OutcomeOf(bool ok, const Notices &notices);

// The failure text of a command refused because another was running ("Cmd in progress..."):
// nothing reached the device.
inline constexpr const char *kNotSentBusy =
    "not sent: another command was in progress (Cmd in progress...)";

Entry EntryOf(const device::StatusRead &read);
Entry EntryOf(const device::ParametersRead &read);
// before: the status read just before sending (see StatusBeforeSending).
// Nothing when the confirmation was declined: nothing was sent.
std::optional<Entry> EntryOf(const device::SendOutcome &out,
                             const std::optional<device::DeviceStatus> &before);
// Nothing when the relay was not asked to switch (status failed, manual switch, declined
// question): the device did not change.
std::optional<Entry> EntryOf(const device::RelayOutcome &out);
Entry EntryOf(const device::Measurement &m, bool vref);
// Nothing when the fields gave no parameters to compare: nothing was sent.
std::optional<Entry> EntryOf(const device::CrcCheck &check,
                             const device::ParameterEntries &entries);
std::optional<Entry> EntryOf(const device::RestartOutcome &out); // nothing when declined
Entry TableReadEntry(const corrtable::TableTransfer &read, const corrtable::CorrTableData &table,
                     const std::string &file, bool saved);
Entry TableWriteEntry(const corrtable::TableTransfer &written,
                      const corrtable::CorrTableData &table, const std::string &file);
// The checked write: the device's table before (the backup), what was sent, whether it read
// back equal; a restore of the backup after a failed write is a record of its own.
Entry VerifiedWriteEntry(const corrtable::VerifiedWrite &v, const corrtable::CorrTableData &table,
                         const std::string &file);
std::optional<Entry> RestoreEntry(const corrtable::VerifiedWrite &v);
// The device's table saved to a file; error: why the file did not take it ("" when it did).
Entry TableBackupEntry(const corrtable::CorrTableData &table, const std::string &file,
                       const std::string &error);
// The device's table compared with a file's (or the editor's, file "").
Entry TableVerifyEntry(const corrtable::TableCheck &check, const corrtable::CorrTableData &table,
                       const std::string &file);
Entry CalculationEntry(const calib::CorrectionTable &table, const calib::PointList &points,
                       std::int32_t multiplier, std::int32_t zeroOffset, const std::string &file,
                       const std::string &saveError);
// table: what was loaded from the table file, when anything was.
Entry IncludeEntry(const corrtable::IncludeOutcome &o,
                   const std::optional<corrtable::CorrTableData> &table);
// A timed series: one record for all of it.
struct SeriesCount {
    std::string start = {}; // UtcText
    double intervalSeconds = 0;
    std::string logFile = {};
    int ticks = 0;                // measurements due
    int count = 0;                // lines the log file got
    int failures = 0;             // ticks without a measurement, or without its line
    int suspect = 0;              // measurements that were no plausible reading
    std::string lastFailure = {}; // the last failed or suspect tick's text
};
Entry SeriesEntry(const SeriesCount &series, const std::string &end);
void CountTick(SeriesCount &series, const device::TimedRecord &tick);
// A slot that came while the port was gone (the adapter unplugged): nothing was measured.
inline constexpr const char *kPortNotReopened = "the port was unplugged";
void CountPortLost(SeriesCount &series);

// The parameters' record holds the device's state before they were sent: read quietly
// (no log lines), only when a unit is named, since it costs an exchange.
std::optional<device::DeviceStatus> StatusBeforeSending(device::DeviceOps &ops, bool unitNamed);

// The device's Info reply as a record keeps it: its printable text, blanks trimmed.
std::string InfoText(const link::Reply &reply);

} // namespace kv::history
