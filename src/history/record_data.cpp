#include "history/record_data.h"

namespace kv::history {

namespace {

template <class T> json::Value OrNull(const std::optional<T> &v, json::Value (*f)(const T &)) {
    return v ? f(*v) : json::Value();
}

json::Value ByteOrNull(const std::optional<std::uint8_t> &b) {
    return b ? json::Value(static_cast<int>(*b)) : json::Value();
}

// A member that must be an integer in [lo, hi].
std::optional<int> IntIn(const json::Value &v, std::string_view key, int lo, int hi) {
    const json::Value &m = json::At(v, key);
    if (!m.is_number_integer() || json::Int(m, -1LL - hi) < lo || json::Int(m, -1LL - hi) > hi)
        return std::nullopt;
    return static_cast<int>(json::Int(m));
}

json::Value Differences(const corr::CorrTableData &a, const corr::CorrTableData &b) {
    json::Value out = json::Value::array();
    for (int n = 0; n < corr::kEntries; ++n)
        if (a[static_cast<std::size_t>(n)] != b[static_cast<std::size_t>(n)])
            out.push_back(n);
    return out;
}

} // namespace

json::Value ParametersJson(const dev::FuseParameters &p) {
    json::Value v = json::Value::object();
    v["FuseCurrent"] = p.FuseCurrent;
    v["ZeroOffset"] = p.ZeroOffset;
    v["OverloadTimer"] = p.OverloadTime;
    v["ADCcurrentMultiply"] = p.CurrentMultiply;
    v["MeasureCount"] = p.MeasureCount;
    v["UseAverage"] = p.UseAverage;
    v["UseVref"] = p.UseVref;
    return v;
}

std::optional<dev::FuseParameters> ParametersFromJson(const json::Value &v) {
    const auto fc = IntIn(v, "FuseCurrent", 0, 255), zo = IntIn(v, "ZeroOffset", 0, 255);
    const auto ot = IntIn(v, "OverloadTimer", 0, 255), m = IntIn(v, "ADCcurrentMultiply", 0, 255);
    const auto mc = IntIn(v, "MeasureCount", 0, 255);
    if (!fc || !zo || !ot || !m || !mc || !json::At(v, "UseAverage").is_boolean() ||
        !json::At(v, "UseVref").is_boolean())
        return std::nullopt;
    dev::FuseParameters p;
    p.FuseCurrent = static_cast<std::uint8_t>(*fc);
    p.ZeroOffset = static_cast<std::uint8_t>(*zo);
    p.OverloadTime = static_cast<std::uint8_t>(*ot);
    p.CurrentMultiply = static_cast<std::uint8_t>(*m);
    p.MeasureCount = static_cast<std::uint8_t>(*mc);
    p.UseAverage = json::Bool(json::At(v, "UseAverage"));
    p.UseVref = json::Bool(json::At(v, "UseVref"));
    return p;
}

json::Value StatusJson(const dev::DeviceStatus &s) {
    json::Value bytes = json::Value::array();
    for (std::uint8_t b : dev::StatusToBytes(s))
        bytes.push_back(static_cast<int>(b));
    json::Value v = json::Value::object();
    v["record"] = std::move(bytes);
    v["parameters"] = ParametersJson(dev::ParametersFromStatus(s));
    v["crc"] = s.DataCrc;
    v["flags"] = s.Flags;
    v["relay_on"] = s.RelayOn();
    v["manual_switch_off"] = s.ManualSwitchOff();
    return v;
}

std::optional<dev::DeviceStatus> StatusFromJson(const json::Value &v) {
    const json::Value &record = json::At(v, "record");
    if (!record.is_array() || record.size() != dev::kStatusRecordSize)
        return std::nullopt;
    std::array<std::uint8_t, dev::kStatusRecordSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const json::Value &b = record[i];
        if (!b.is_number_integer() || json::Int(b, -1) < 0 || json::Int(b) > 255)
            return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(json::Int(b));
    }
    return dev::StatusFromBytes(bytes);
}

json::Value TableJson(const corr::CorrTableData &t) {
    json::Value entries = json::Value::array();
    for (int n = 0; n < corr::kEntries; ++n)
        entries.push_back(static_cast<int>(t[static_cast<std::size_t>(n)]));
    json::Value v = json::Value::object();
    v["entries"] = std::move(entries);
    v["crc"] = corr::TableCrc(t);
    return v;
}

std::optional<corr::CorrTableData> TableFromJson(const json::Value &v) {
    const json::Value &entries = json::At(v, "entries");
    if (!entries.is_array() || entries.size() != corr::kEntries)
        return std::nullopt;
    corr::CorrTableData t{};
    for (std::size_t n = 0; n < corr::kEntries; ++n) {
        const json::Value &e = entries[n];
        if (!e.is_number_integer() || json::Int(e, -129) < -128 || json::Int(e) > 127)
            return std::nullopt;
        t[n] = static_cast<std::int8_t>(json::Int(e));
    }
    return t;
}

json::Value PointsJson(const calib::PointList &points) {
    json::Value v = json::Value::array();
    for (const calib::CalPoint &p : points) {
        json::Value point = json::Value::object();
        point["mA"] = p.mA;
        point["adc"] = p.adc;
        v.push_back(std::move(point));
    }
    return v;
}

std::optional<calib::PointList> PointsFromJson(const json::Value &v) {
    if (!v.is_array())
        return std::nullopt;
    calib::PointList points;
    for (const json::Value &p : v) {
        const auto mA = IntIn(p, "mA", INT32_MIN, INT32_MAX);
        const auto adc = IntIn(p, "adc", INT32_MIN, INT32_MAX);
        if (!mA || !adc)
            return std::nullopt;
        points.push_back(calib::CalPoint{*mA, *adc});
    }
    return points;
}

corr::CorrTableData TableOf(const calib::CorrectionTable &calculated) {
    corr::CorrTableData t{};
    for (std::size_t n = 0; n < corr::kCorrections; ++n)
        t[n] = static_cast<std::int8_t>(calculated.entries[n]);
    t[corr::kCheckIndex] = static_cast<std::int8_t>(calculated.crc);
    return t;
}

json::Value ToJson(const ParamsSendData &d) {
    const std::uint8_t calculated = dev::ParametersCrc(d.sent);
    json::Value crc = json::Value::object();
    crc["calculated"] = calculated;
    crc["returned"] = ByteOrNull(d.crcReturned);
    crc["ok"] = d.crcReturned ? json::Value(*d.crcReturned == calculated) : json::Value();
    json::Value v = json::Value::object();
    v["before"] = OrNull(d.before, StatusJson);
    v["sent"] = ParametersJson(d.sent);
    v["after"] = OrNull(d.after, StatusJson);
    v["crc"] = std::move(crc);
    return v;
}

json::Value ToJson(const ParamsReadData &d) {
    return {{"parameters", ParametersJson(d.parameters)}};
}

json::Value ToJson(const ParamsCrcData &d) {
    const std::uint8_t calculated = dev::ParametersCrc(d.parameters);
    json::Value v = json::Value::object();
    v["parameters"] = ParametersJson(d.parameters);
    v["calculated"] = calculated;
    v["returned"] = ByteOrNull(d.returned);
    v["ok"] = d.returned ? json::Value(*d.returned == calculated) : json::Value();
    return v;
}

json::Value ToJson(const StatusReadData &d) {
    return {{"stored", d.stored}, {"status", StatusJson(d.status)}};
}

json::Value ToJson(const RelayData &d) {
    return {{"on", d.on}};
}

json::Value ToJson(const CurrentReadData &d) {
    json::Value v = json::Value::object();
    v["adc"] = d.sample.Adc();
    v["current"] = d.sample.Current;
    v["voltage"] = d.sample.Voltage;
    v["vref"] = d.vref;
    v["relay_on"] = d.sample.RelayOn();
    return v;
}

json::Value ToJson(const CurrentSeriesData &d) {
    json::Value v = json::Value::object();
    v["start"] = d.start;
    v["end"] = d.end;
    v["interval_s"] = d.intervalSeconds;
    v["count"] = d.count;
    v["failures"] = d.failures;
    v["log"] = d.logFile;
    return v;
}

json::Value ToJson(const TableWriteData &d) {
    json::Value v = json::Value::object();
    v["file"] = d.file;
    v["before"] = OrNull(d.before, TableJson);
    v["after"] = TableJson(d.after);
    v["backup"] = d.backupFile;
    v["verified"] = d.verified ? json::Value(*d.verified) : json::Value();
    return v;
}

json::Value ToJson(const TableReadData &d) {
    return {{"table", TableJson(d.table)}, {"file", d.file}};
}

json::Value ToJson(const TableVerifyData &d) {
    json::Value v = json::Value::object();
    v["file"] = d.file;
    v["expected"] = TableJson(d.expected);
    v["found"] = OrNull(d.found, TableJson);
    v["differences"] = d.found ? Differences(d.expected, *d.found) : json::Value();
    return v;
}

json::Value ToJson(const TableBackupData &d) {
    return {{"table", TableJson(d.table)}, {"file", d.file}};
}

json::Value ToJson(const TableRestoreData &d) {
    json::Value v = json::Value::object();
    v["file"] = d.file;
    v["before"] = OrNull(d.before, TableJson);
    v["after"] = TableJson(d.after);
    v["verified"] = d.verified ? json::Value(*d.verified) : json::Value();
    return v;
}

json::Value ToJson(const CalibrationCalcData &d) {
    using Status = calib::CorrectionTable::Status;
    const Status s = d.result.status;
    json::Value v = json::Value::object();
    v["points"] = PointsJson(d.points);
    v["multiplier"] = d.multiplier;
    v["zero_offset"] = d.zeroOffset;
    v["status"] = (s == Status::Ok            ? "ok"
                   : s == Status::NothingToDo ? "nothing-to-do"
                                              : "missing-zero");
    v["exceeded"] = d.result.exceeded;
    v["table"] = s == Status::Ok ? TableJson(TableOf(d.result)) : json::Value();
    v["file"] = d.file;
    return v;
}

json::Value ToJson(const IncludeGenerateData &d) {
    json::Value v = json::Value::object();
    v["source"] = d.source;
    v["output"] = d.output;
    v["table"] = OrNull(d.table, TableJson);
    return v;
}

json::Value ToJson(const RestartData &) {
    return json::Value::object();
}

} // namespace kv::history
