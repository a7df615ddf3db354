// The data of each kind of record, as typed structures that become the record's JSON, so
// that no front end writes JSON by hand, and the readers that take the pieces back.
//
// Pieces, as they appear inside the data (the field names of every JSON output):
//   parameters  {"fuse_current":99,"zero_offset":0,"overload_time":12,"current_multiply":85,
//                "measure_count":20,"use_average":true,"use_vref":false}
//               (earlier versions: the settings keys FuseCurrent, ..., UseVref; read still)
//   status      {"record":[23 bytes],"parameters":{...},"data_crc":157,"flags":8,
//                "relay_on":false,"manual_switch_off":false}   (earlier: "crc" for data_crc)
//   table       {"entries":[224 signed entries, 223 = the check byte as stored],
//                "crc":46}   (crc: the check byte computed from entries 0..222, 0..255)
//   points      [{"mA":0,"adc":3},{"mA":1000,"adc":90}]
// A piece that was not read or not known is null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/json.h"
#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "corrtable/table.h"
#include "device/current.h"
#include "device/parameters.h"
#include "device/status.h"
#include "history/record.h"

namespace kv::history {

namespace corr = kv::corrtable;
namespace dev = kv::device;

json::Value ParametersJson(const dev::FuseParameters &p);
std::optional<dev::FuseParameters> ParametersFromJson(const json::Value &v);

json::Value StatusJson(const dev::DeviceStatus &s);
std::optional<dev::DeviceStatus> StatusFromJson(const json::Value &v); // from "record"

json::Value TableJson(const corr::CorrTableData &t);
std::optional<corr::CorrTableData> TableFromJson(const json::Value &v); // entries 0..223

json::Value PointsJson(const calib::PointList &points);
std::optional<calib::PointList> PointsFromJson(const json::Value &v);

// The table of a calculation: entries 0..222 and the calculated check value in 223.
corr::CorrTableData TableOf(const calib::CorrectionTable &calculated);

// params-send: {"before":status|null,"sent":parameters,"after":status|null,
//               "crc":{"calculated":n,"returned":n|null,"ok":bool|null}}
struct ParamsSendData {
    static constexpr Operation kOperation = Operation::ParamsSend;
    std::optional<dev::DeviceStatus> before; // the status record read before sending
    dev::FuseParameters sent;
    std::optional<dev::DeviceStatus> after;  // the read-back
    std::optional<std::uint8_t> crcReturned; // WriteData's answer
};
json::Value ToJson(const ParamsSendData &d);

// params-read: {"parameters":parameters}
struct ParamsReadData {
    static constexpr Operation kOperation = Operation::ParamsRead;
    dev::FuseParameters parameters;
};
json::Value ToJson(const ParamsReadData &d);

// params-crc: {"parameters":parameters,"calculated":n,"returned":n|null,"ok":bool|null}
struct ParamsCrcData {
    static constexpr Operation kOperation = Operation::ParamsCrc;
    dev::FuseParameters parameters;
    std::optional<std::uint8_t> returned;
};
json::Value ToJson(const ParamsCrcData &d);

// status-read: {"stored":bool,"status":status}
struct StatusReadData {
    static constexpr Operation kOperation = Operation::StatusRead;
    dev::DeviceStatus status;
    bool stored = false; // Get Last Stored Values
};
json::Value ToJson(const StatusReadData &d);

// relay: {"on":bool}
struct RelayData {
    static constexpr Operation kOperation = Operation::Relay;
    bool on = false;
};
json::Value ToJson(const RelayData &d);

// current-read: {"adc":n,"current":A,"voltage":V,"vref":bool,"relay_on":bool}
struct CurrentReadData {
    static constexpr Operation kOperation = Operation::CurrentRead;
    dev::CurrentSample sample;
    bool vref = false;
    bool suspect = false; // the reply was no plausible measurement (SuspectCurrentReply)
};
json::Value ToJson(const CurrentReadData &d);

// current-series: {"start":time,"end":time,"interval_s":s,"count":n,"failures":n,
//                  "suspect":n,"log":file}
struct CurrentSeriesData {
    static constexpr Operation kOperation = Operation::CurrentSeries;
    std::string start; // UtcText
    std::string end;
    double intervalSeconds = 0;
    int count = 0;    // the lines the log file got (a failed measurement's zeros too)
    int failures = 0; // ticks that gave no measurement, or whose line the log did not take
    int suspect = 0;  // measurements that came but were no plausible reading
    std::string logFile;
};
json::Value ToJson(const CurrentSeriesData &d);

// table-write: {"file":path,"before":table|null,"after":table,"backup":path,
//               "verified":bool|null}
struct TableWriteData {
    static constexpr Operation kOperation = Operation::TableWrite;
    std::string file;                          // the table file written, "" for the editor's table
    std::optional<corr::CorrTableData> before; // the device's table read first (the backup)
    corr::CorrTableData after{};               // what was sent
    std::string backupFile;                    // where `before` was saved, if it was
    std::optional<bool> verified;              // read back equal; nothing when not read back
};
json::Value ToJson(const TableWriteData &d);

// table-read: {"table":table,"file":path}
struct TableReadData {
    static constexpr Operation kOperation = Operation::TableRead;
    corr::CorrTableData table{};
    std::string file; // where it was saved, if it was
};
json::Value ToJson(const TableReadData &d);

// table-verify: {"file":path,"expected":table,"found":table|null,"differences":[n...]}
struct TableVerifyData {
    static constexpr Operation kOperation = Operation::TableVerify;
    std::string file;
    corr::CorrTableData expected{};
    std::optional<corr::CorrTableData> found; // nothing when the read failed
};
json::Value ToJson(const TableVerifyData &d);

// table-backup: {"table":table,"file":path}
struct TableBackupData {
    static constexpr Operation kOperation = Operation::TableBackup;
    corr::CorrTableData table{};
    std::string file;
};
json::Value ToJson(const TableBackupData &d);

// table-restore: {"file":path,"before":table|null,"after":table,"verified":bool|null}
struct TableRestoreData {
    static constexpr Operation kOperation = Operation::TableRestore;
    std::string file; // the backup written back
    std::optional<corr::CorrTableData> before;
    corr::CorrTableData after{};
    std::optional<bool> verified;
};
json::Value ToJson(const TableRestoreData &d);

// calibration-calc: {"points":points,"multiplier":M,"zero_offset":Z,
//                    "status":"ok"|"nothing-to-do"|"missing-zero","exceeded":n,
//                    "table":table|null,"file":path}
struct CalibrationCalcData {
    static constexpr Operation kOperation = Operation::CalibrationCalc;
    calib::PointList points; // as collected (row order)
    std::int32_t multiplier = 0;
    std::int32_t zeroOffset = 0;
    calib::CorrectionTable result;
    std::string file; // the table file saved, "" when the save was cancelled
};
json::Value ToJson(const CalibrationCalcData &d);

// include-generate: {"source":path,"output":path,"table":table|null}
struct IncludeGenerateData {
    static constexpr Operation kOperation = Operation::IncludeGenerate;
    std::string source;
    std::string output;
    std::optional<corr::CorrTableData> table;
};
json::Value ToJson(const IncludeGenerateData &d);

// restart: {}
struct RestartData {
    static constexpr Operation kOperation = Operation::Restart;
};
json::Value ToJson(const RestartData &d);

// A record of one of the kinds above.
template <class Data>
Record MakeRecord(const Context &context, const Data &data, const Outcome &outcome,
                  const Stamp &stamp = Now()) {
    return MakeRecord(context, Data::kOperation, outcome, ToJson(data), stamp);
}

} // namespace kv::history
