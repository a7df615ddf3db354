#include "history/render.h"

#include "app/format.h"
#include "app/numbers.h"
#include "history/record_data.h"

namespace kv::history {

namespace {

std::string Hex(long long v) {
    return Format("0x%0.2X", {v});
}

std::string TableSummary(const json::Value &table) {
    return table.is_null() ? std::string() : "table crc " + Hex(json::Int(json::At(table, "crc")));
}

std::string ParametersSummary(const json::Value &p) {
    std::string out;
    if (!p.is_object())
        return out;
    for (const auto &m : p.items()) {
        if (!out.empty())
            out += ' ';
        const json::Value &v = m.value();
        out +=
            m.key() + "=" + std::to_string(v.is_boolean() ? (v.get<bool>() ? 1 : 0) : json::Int(v));
    }
    return out;
}

std::string Verified(const json::Value &v) {
    return v.is_null() ? std::string() : json::Bool(v) ? ", verified" : ", read back different";
}

std::string FileSuffix(std::string_view word, const json::Value &file) {
    const std::string f = json::Str(file);
    return f.empty() ? std::string() : " " + std::string(word) + " " + f;
}

std::string Join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string &p : parts)
        if (!p.empty())
            out += (out.empty() ? "" : ", ") + p;
    return out;
}

// A CSV field: quoted when it holds a separator, a quote or a line end; an apostrophe
// before what a spreadsheet would evaluate as a formula.
std::string CsvField(std::string_view s) {
    std::string f = json::ValidUtf8(s);
    if (!f.empty() && std::string_view("=+-@\t\r").find(f[0]) != std::string_view::npos)
        f.insert(f.begin(), '\'');
    if (f.find_first_of(",\"\r\n") == std::string::npos)
        return f;
    std::string out = "\"";
    for (char c : f) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string Summary(const Record &r) {
    const json::Value &d = r.data;
    const std::optional<Operation> op = r.Op();
    if (!op)
        return {};
    switch (*op) {
    case Operation::ParamsSend: {
        const json::Value &crc = json::At(d, "crc");
        std::string crcText;
        if (!json::At(crc, "returned").is_null())
            crcText = "CRC " + Hex(json::Int(json::At(crc, "returned"))) +
                      (json::Bool(json::At(crc, "ok")) ? " OK" : "") +
                      (json::Bool(json::At(crc, "ok"))
                           ? ""
                           : " (calculated " + Hex(json::Int(json::At(crc, "calculated"))) + ")");
        return Join({ParametersSummary(json::At(d, "sent")), crcText});
    }
    case Operation::ParamsRead:
        return ParametersSummary(json::At(d, "parameters"));
    case Operation::ParamsCrc:
        return Join({"calculated " + Hex(json::Int(json::At(d, "calculated"))),
                     json::At(d, "returned").is_null()
                         ? ""
                         : "returned " + Hex(json::Int(json::At(d, "returned")))});
    case Operation::StatusRead:
        return Join({json::Bool(json::At(d, "stored")) ? "stored" : "",
                     ParametersSummary(json::At(json::At(d, "status"), "parameters"))});
    case Operation::Relay:
        return json::Bool(json::At(d, "on")) ? "on" : "off";
    case Operation::CurrentRead:
        return FormatFixed(json::Real(json::At(d, "current")), 2) + " A (ADC " +
               std::to_string(json::Int(json::At(d, "adc"))) + ")";
    case Operation::CurrentSeries:
        return Join(
            {std::to_string(json::Int(json::At(d, "count"))) + " measurements",
             std::to_string(json::Int(json::At(d, "failures"))) + " failed",
             "every " + FloatToStr(json::Real(json::At(d, "interval_s"))) + " s",
             json::Str(json::At(d, "log")).empty() ? "" : "log " + json::Str(json::At(d, "log"))});
    case Operation::TableWrite:
    case Operation::TableRestore:
        return TableSummary(json::At(d, "after")) + Verified(json::At(d, "verified")) +
               FileSuffix("from", json::At(d, "file"));
    case Operation::TableRead:
    case Operation::TableBackup:
        return TableSummary(json::At(d, "table")) + FileSuffix("to", json::At(d, "file"));
    case Operation::TableVerify: {
        if (json::At(d, "found").is_null())
            return {};
        const std::size_t n = json::At(d, "differences").size();
        return n == 0 ? "equal" : std::to_string(n) + " entries differ";
    }
    case Operation::CalibrationCalc: {
        const std::string status = json::Str(json::At(d, "status"));
        if (status != "ok")
            return status;
        return Join({std::to_string(json::At(d, "points").size()) + " points",
                     "M=" + std::to_string(json::Int(json::At(d, "multiplier"))) +
                         " Z=" + std::to_string(json::Int(json::At(d, "zero_offset"))),
                     TableSummary(json::At(d, "table"))});
    }
    case Operation::IncludeGenerate:
        return json::Str(json::At(d, "source")) + " -> " + json::Str(json::At(d, "output"));
    case Operation::Restart:
        return {};
    }
    return {};
}

std::string TextLine(const Record &r) {
    std::string line = r.time + "  " + (r.unit.empty() ? "-" : r.unit) + "  " + r.operation + "  " +
                       (r.ok ? "ok" : "failed: " + r.message) + "  port=" + r.port +
                       " station=" + r.station + " operator=" + r.operatorName;
    const std::string summary = Summary(r);
    if (!summary.empty())
        line += "  " + summary;
    // One record, one line, whatever a message or a name holds.
    for (char &c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return json::ValidUtf8(line);
}

std::string JsonLine(const Record &r) {
    json::Value v = json::Value::object();
    v["id"] = r.id;
    v["time"] = r.time;
    v["mono_ns"] = r.monoNs;
    v["unit"] = r.unit;
    v["operation"] = r.operation;
    v["ok"] = r.ok;
    v["message"] = r.message;
    v["port"] = r.port;
    v["adapter"] = r.adapter;
    v["adapter_serial"] = r.adapterSerial;
    v["station"] = r.station;
    v["operator"] = r.operatorName;
    v["tool_version"] = r.toolVersion;
    v["info"] = r.info;
    v["data"] = r.data;
    return json::Write(v);
}

std::string CsvHeader() {
    return "id,time,unit,operation,ok,message,port,adapter,adapter_serial,station,operator,"
           "tool_version,info,data,summary\r\n";
}

std::string CsvRow(const Record &r) {
    std::string row = std::to_string(r.id);
    for (const std::string &f :
         {r.time, r.unit, r.operation, std::string(r.ok ? "true" : "false"), r.message, r.port,
          r.adapter, r.adapterSerial, r.station, r.operatorName, r.toolVersion, r.info,
          json::Write(r.data), Summary(r)})
        row += "," + CsvField(f);
    return row + "\r\n";
}

std::string Render(std::span<const Record> records, ListingFormat format) {
    std::string out = format == ListingFormat::Csv ? CsvHeader() : std::string();
    for (const Record &r : records) {
        switch (format) {
        case ListingFormat::Text:
            out += TextLine(r) + "\n";
            break;
        case ListingFormat::Json:
            out += JsonLine(r) + "\n";
            break;
        case ListingFormat::Csv:
            out += CsvRow(r);
            break;
        }
    }
    return out;
}

std::optional<std::string> ParseSince(std::string_view text) {
    std::string t(Trim(text));
    if (!t.empty() && t.back() == 'Z')
        t.pop_back();
    if (t.size() > 10 && t[10] == ' ')
        t[10] = 'T';
    if (t.size() == 10)
        t += "T00:00:00";
    else if (t.size() == 16)
        t += ":00";
    if (t.size() != 19)
        return std::nullopt;
    if (!UtcMilliseconds(t))
        return std::nullopt;
    // The text itself, not a round trip through the system clock, whose nanoseconds end in
    // 2262: a later date would wrap round to the past and select everything.
    return t + ".000Z";
}

} // namespace kv::history
