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
    const json::Value &m = v[key];
    if (!m.IsInt() || m.AsInt() < lo || m.AsInt() > hi)
        return std::nullopt;
    return static_cast<int>(m.AsInt());
}

json::Value Differences(const corr::CorrTableData &a, const corr::CorrTableData &b) {
    json::Value out = json::Value::Array();
    for (int n = 0; n < corr::kEntries; ++n)
        if (a[static_cast<std::size_t>(n)] != b[static_cast<std::size_t>(n)])
            out.Push(n);
    return out;
}

} // namespace

json::Value ParametersJson(const dev::FuseParameters &p) {
    json::Value v = json::Value::Object();
    v.Set("FuseCurrent", p.FuseCurrent);
    v.Set("ZeroOffset", p.ZeroOffset);
    v.Set("OverloadTimer", p.OverloadTime);
    v.Set("ADCcurrentMultiply", p.CurrentMultiply);
    v.Set("MeasureCount", p.MeasureCount);
    v.Set("UseAverage", p.UseAverage);
    v.Set("UseVref", p.UseVref);
    return v;
}

std::optional<dev::FuseParameters> ParametersFromJson(const json::Value &v) {
    const auto fc = IntIn(v, "FuseCurrent", 0, 255), zo = IntIn(v, "ZeroOffset", 0, 255);
    const auto ot = IntIn(v, "OverloadTimer", 0, 255), m = IntIn(v, "ADCcurrentMultiply", 0, 255);
    const auto mc = IntIn(v, "MeasureCount", 0, 255);
    if (!fc || !zo || !ot || !m || !mc || !v["UseAverage"].IsBool() || !v["UseVref"].IsBool())
        return std::nullopt;
    dev::FuseParameters p;
    p.FuseCurrent = static_cast<std::uint8_t>(*fc);
    p.ZeroOffset = static_cast<std::uint8_t>(*zo);
    p.OverloadTime = static_cast<std::uint8_t>(*ot);
    p.CurrentMultiply = static_cast<std::uint8_t>(*m);
    p.MeasureCount = static_cast<std::uint8_t>(*mc);
    p.UseAverage = v["UseAverage"].AsBool();
    p.UseVref = v["UseVref"].AsBool();
    return p;
}

json::Value StatusJson(const dev::DeviceStatus &s) {
    json::Value bytes = json::Value::Array();
    for (std::uint8_t b : dev::StatusToBytes(s))
        bytes.Push(static_cast<int>(b));
    json::Value v = json::Value::Object();
    v.Set("record", std::move(bytes));
    v.Set("parameters", ParametersJson(dev::ParametersFromStatus(s)));
    v.Set("crc", s.DataCrc);
    v.Set("flags", s.Flags);
    v.Set("relay_on", s.RelayOn());
    v.Set("manual_switch_off", s.ManualSwitchOff());
    return v;
}

std::optional<dev::DeviceStatus> StatusFromJson(const json::Value &v) {
    const json::Value &record = v["record"];
    if (record.Size() != dev::kStatusRecordSize || !record.IsArray())
        return std::nullopt;
    std::array<std::uint8_t, dev::kStatusRecordSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const json::Value &b = record.Items()[i];
        if (!b.IsInt() || b.AsInt() < 0 || b.AsInt() > 255)
            return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(b.AsInt());
    }
    return dev::StatusFromBytes(bytes);
}

json::Value TableJson(const corr::CorrTableData &t) {
    json::Value entries = json::Value::Array();
    for (int n = 0; n < corr::kEntries; ++n)
        entries.Push(static_cast<int>(t[static_cast<std::size_t>(n)]));
    json::Value v = json::Value::Object();
    v.Set("entries", std::move(entries));
    v.Set("crc", corr::TableCrc(t));
    return v;
}

std::optional<corr::CorrTableData> TableFromJson(const json::Value &v) {
    const json::Value &entries = v["entries"];
    if (!entries.IsArray() || entries.Size() != corr::kEntries)
        return std::nullopt;
    corr::CorrTableData t{};
    for (std::size_t n = 0; n < corr::kEntries; ++n) {
        const json::Value &e = entries.Items()[n];
        if (!e.IsInt() || e.AsInt() < -128 || e.AsInt() > 127)
            return std::nullopt;
        t[n] = static_cast<std::int8_t>(e.AsInt());
    }
    return t;
}

json::Value PointsJson(const calib::PointList &points) {
    json::Value v = json::Value::Array();
    for (const calib::CalPoint &p : points) {
        json::Value point = json::Value::Object();
        point.Set("mA", p.mA);
        point.Set("adc", p.adc);
        v.Push(std::move(point));
    }
    return v;
}

std::optional<calib::PointList> PointsFromJson(const json::Value &v) {
    if (!v.IsArray())
        return std::nullopt;
    calib::PointList points;
    for (const json::Value &p : v.Items()) {
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
    json::Value crc = json::Value::Object();
    crc.Set("calculated", calculated);
    crc.Set("returned", ByteOrNull(d.crcReturned));
    crc.Set("ok", d.crcReturned ? json::Value(*d.crcReturned == calculated) : json::Value());
    json::Value v = json::Value::Object();
    v.Set("before", OrNull(d.before, StatusJson));
    v.Set("sent", ParametersJson(d.sent));
    v.Set("after", OrNull(d.after, StatusJson));
    v.Set("crc", std::move(crc));
    return v;
}

json::Value ToJson(const ParamsReadData &d) {
    return json::Value::Object().Set("parameters", ParametersJson(d.parameters));
}

json::Value ToJson(const ParamsCrcData &d) {
    const std::uint8_t calculated = dev::ParametersCrc(d.parameters);
    json::Value v = json::Value::Object();
    v.Set("parameters", ParametersJson(d.parameters));
    v.Set("calculated", calculated);
    v.Set("returned", ByteOrNull(d.returned));
    v.Set("ok", d.returned ? json::Value(*d.returned == calculated) : json::Value());
    return v;
}

json::Value ToJson(const StatusReadData &d) {
    return json::Value::Object().Set("stored", d.stored).Set("status", StatusJson(d.status));
}

json::Value ToJson(const RelayData &d) {
    return json::Value::Object().Set("on", d.on);
}

json::Value ToJson(const CurrentReadData &d) {
    json::Value v = json::Value::Object();
    v.Set("adc", d.sample.Adc());
    v.Set("current", d.sample.Current);
    v.Set("voltage", d.sample.Voltage);
    v.Set("vref", d.vref);
    v.Set("relay_on", d.sample.RelayOn());
    v.Set("suspect", d.suspect);
    return v;
}

json::Value ToJson(const CurrentSeriesData &d) {
    json::Value v = json::Value::Object();
    v.Set("start", d.start);
    v.Set("end", d.end);
    v.Set("interval_s", d.intervalSeconds);
    v.Set("count", d.count);
    v.Set("failures", d.failures);
    v.Set("suspect", d.suspect);
    v.Set("log", d.logFile);
    return v;
}

json::Value ToJson(const TableWriteData &d) {
    json::Value v = json::Value::Object();
    v.Set("file", d.file);
    v.Set("before", OrNull(d.before, TableJson));
    v.Set("after", TableJson(d.after));
    v.Set("backup", d.backupFile);
    v.Set("verified", d.verified ? json::Value(*d.verified) : json::Value());
    return v;
}

json::Value ToJson(const TableReadData &d) {
    return json::Value::Object().Set("table", TableJson(d.table)).Set("file", d.file);
}

json::Value ToJson(const TableVerifyData &d) {
    json::Value v = json::Value::Object();
    v.Set("file", d.file);
    v.Set("expected", TableJson(d.expected));
    v.Set("found", OrNull(d.found, TableJson));
    v.Set("differences", d.found ? Differences(d.expected, *d.found) : json::Value());
    return v;
}

json::Value ToJson(const TableBackupData &d) {
    return json::Value::Object().Set("table", TableJson(d.table)).Set("file", d.file);
}

json::Value ToJson(const TableRestoreData &d) {
    json::Value v = json::Value::Object();
    v.Set("file", d.file);
    v.Set("before", OrNull(d.before, TableJson));
    v.Set("after", TableJson(d.after));
    v.Set("verified", d.verified ? json::Value(*d.verified) : json::Value());
    return v;
}

json::Value ToJson(const CalibrationCalcData &d) {
    using Status = calib::CorrectionTable::Status;
    const Status s = d.result.status;
    json::Value v = json::Value::Object();
    v.Set("points", PointsJson(d.points));
    v.Set("multiplier", d.multiplier);
    v.Set("zero_offset", d.zeroOffset);
    v.Set("status", s == Status::Ok            ? "ok"
                    : s == Status::NothingToDo ? "nothing-to-do"
                                               : "missing-zero");
    v.Set("exceeded", d.result.exceeded);
    v.Set("table", s == Status::Ok ? TableJson(TableOf(d.result)) : json::Value());
    v.Set("file", d.file);
    return v;
}

json::Value ToJson(const IncludeGenerateData &d) {
    json::Value v = json::Value::Object();
    v.Set("source", d.source);
    v.Set("output", d.output);
    v.Set("table", OrNull(d.table, TableJson));
    return v;
}

json::Value ToJson(const RestartData &) {
    return json::Value::Object();
}

} // namespace kv::history
