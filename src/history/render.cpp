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
    return table.IsNull() ? std::string() : "table crc " + Hex(table["crc"].AsInt());
}

std::string ParametersSummary(const json::Value &p) {
    std::string out;
    for (const json::Member &m : p.Members()) {
        if (!out.empty())
            out += ' ';
        out += m.key + "=" +
               std::to_string(m.value.IsBool() ? (m.value.AsBool() ? 1 : 0) : m.value.AsInt());
    }
    return out;
}

std::string Verified(const json::Value &v) {
    return v.IsNull() ? std::string() : v.AsBool() ? ", verified" : ", read back different";
}

std::string FileSuffix(std::string_view word, const json::Value &file) {
    const std::string f = file.AsString();
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
        const json::Value &crc = d["crc"];
        std::string crcText;
        if (!crc["returned"].IsNull())
            crcText =
                "CRC " + Hex(crc["returned"].AsInt()) + (crc["ok"].AsBool() ? " OK" : "") +
                (crc["ok"].AsBool() ? "" : " (calculated " + Hex(crc["calculated"].AsInt()) + ")");
        return Join({ParametersSummary(d["sent"]), crcText});
    }
    case Operation::ParamsRead:
        return ParametersSummary(d["parameters"]);
    case Operation::ParamsCrc:
        return Join({"calculated " + Hex(d["calculated"].AsInt()),
                     d["returned"].IsNull() ? "" : "returned " + Hex(d["returned"].AsInt())});
    case Operation::StatusRead:
        return Join(
            {d["stored"].AsBool() ? "stored" : "", ParametersSummary(d["status"]["parameters"])});
    case Operation::Relay:
        return d["on"].AsBool() ? "on" : "off";
    case Operation::CurrentRead:
        return FormatFixed(d["current"].AsReal(), 2) + " A (ADC " +
               std::to_string(d["adc"].AsInt()) + ")";
    case Operation::CurrentSeries:
        return Join({std::to_string(d["count"].AsInt()) + " measurements",
                     std::to_string(d["failures"].AsInt()) + " failed",
                     "every " + FloatToStr(d["interval_s"].AsReal()) + " s",
                     d["log"].AsString().empty() ? "" : "log " + d["log"].AsString()});
    case Operation::TableWrite:
    case Operation::TableRestore:
        return TableSummary(d["after"]) + Verified(d["verified"]) + FileSuffix("from", d["file"]);
    case Operation::TableRead:
    case Operation::TableBackup:
        return TableSummary(d["table"]) + FileSuffix("to", d["file"]);
    case Operation::TableVerify: {
        if (d["found"].IsNull())
            return {};
        const std::size_t n = d["differences"].Size();
        return n == 0   ? "equal"
               : n == 1 ? "1 entry differs"
                        : std::to_string(n) + " entries differ";
    }
    case Operation::CalibrationCalc: {
        const std::string status = d["status"].AsString();
        if (status != "ok")
            return status;
        return Join({std::to_string(d["points"].Size()) + " points",
                     "M=" + std::to_string(d["multiplier"].AsInt()) +
                         " Z=" + std::to_string(d["zero_offset"].AsInt()),
                     TableSummary(d["table"])});
    }
    case Operation::IncludeGenerate:
        return d["source"].AsString() + " -> " + d["output"].AsString();
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
    json::Value v = json::Value::Object();
    v.Set("id", r.id);
    v.Set("time", r.time);
    v.Set("mono_ns", r.monoNs);
    v.Set("unit", r.unit);
    v.Set("operation", r.operation);
    v.Set("ok", r.ok);
    v.Set("message", r.message);
    v.Set("port", r.port);
    v.Set("adapter", r.adapter);
    v.Set("adapter_serial", r.adapterSerial);
    v.Set("station", r.station);
    v.Set("operator", r.operatorName);
    v.Set("tool_version", r.toolVersion);
    v.Set("info", r.info);
    v.Set("data", r.data);
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
