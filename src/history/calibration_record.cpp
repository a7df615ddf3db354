#include "history/calibration_record.h"

#include <algorithm>

#include "app/format.h"
#include "app/numbers.h"
#include "calib/graph_geometry.h"
#include "history/record_data.h"

namespace kv::history {

namespace {

namespace corr = kv::corrtable;
namespace dev = kv::device;
using Table = corr::CorrTableData;
using Params = dev::FuseParameters;

bool Is(const Record &r, Operation op) {
    return r.operation == OperationName(op);
}

bool IsTableChange(const Record &r) {
    return Is(r, Operation::TableWrite) || Is(r, Operation::TableRestore);
}

std::optional<Table> TableIn(const json::Value &v) {
    return v.is_null() ? std::nullopt : TableFromJson(v);
}

// The table a record saw the device hold: a read, a backup, a verify's read.
std::optional<Table> TableRead(const Record &r) {
    if ((Is(r, Operation::TableRead) || Is(r, Operation::TableBackup)) && r.ok)
        return TableIn(json::At(r.data, "table"));
    if (Is(r, Operation::TableVerify))
        return TableIn(json::At(r.data, "found"));
    return std::nullopt;
}

// The table the device held after the record: what a successful write sent, or a read.
std::optional<Table> TableAfter(const Record &r) {
    if (IsTableChange(r))
        return r.ok ? TableIn(json::At(r.data, "after")) : std::nullopt;
    return TableRead(r);
}

std::optional<Params> ParamsOfStatus(const json::Value &status) {
    return status.is_null() ? std::nullopt : ParametersFromJson(json::At(status, "parameters"));
}

std::optional<Params> ParamsRead(const Record &r) {
    if (Is(r, Operation::ParamsRead) && r.ok)
        return ParametersFromJson(json::At(r.data, "parameters"));
    if (Is(r, Operation::StatusRead) && r.ok)
        return ParamsOfStatus(json::At(r.data, "status"));
    return std::nullopt;
}

// The parameters the device held after the record: a send's read-back (even of a send
// that failed later, at WriteData), the values of a send that succeeded, or a read.
std::optional<Params> ParamsAfter(const Record &r) {
    if (Is(r, Operation::ParamsSend)) {
        if (std::optional<Params> p = ParamsOfStatus(json::At(r.data, "after")))
            return p;
        return r.ok ? ParametersFromJson(json::At(r.data, "sent")) : std::nullopt;
    }
    return ParamsRead(r);
}

template <class T, class F> Known<T> Latest(std::span<const Record> range, F f) {
    Known<T> k;
    for (const Record &r : range)
        if (std::optional<T> v = f(r)) {
            k.value = v;
            k.from = &r;
        }
    return k;
}

// The state before the first change in the visit: the change's own `before` when it has
// one, else the latest read before it.
template <class T, class IsChange, class Before, class Read>
Known<T> FoundState(std::span<const Record> visit, IsChange isChange, Before before, Read read) {
    const auto first = std::find_if(visit.begin(), visit.end(), isChange);
    if (first != visit.end())
        if (std::optional<T> b = before(*first))
            return Known<T>{b, &*first};
    return Latest<T>(std::span<const Record>(visit.begin(), first), read);
}

std::int64_t Millis(const Record &r, std::int64_t fallback) {
    return UtcMilliseconds(r.time).value_or(fallback);
}

std::string Esc(std::string_view s) {
    std::string out;
    for (char c : json::ValidUtf8(s)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// "2025-05-20 14:03:07 UTC" for "2025-05-20T14:03:07.123Z".
std::string ShownTime(const std::string &t) {
    if (!UtcMilliseconds(t) || t.size() < 19)
        return t;
    return t.substr(0, 10) + " " + t.substr(11, 8) + " UTC";
}

std::string Hex(int v) {
    return Format("0x%0.2X", {v & 0xFF});
}

std::string CheckByte(const Table &t) {
    const int stored = static_cast<std::uint8_t>(t[corr::kCheckIndex]);
    const int computed = corr::TableCrc(t);
    std::string s = Hex(stored);
    if (stored != computed)
        s += " (does not match the entries: " + Hex(computed) + ")";
    return s;
}

std::string Source(const Record *r) {
    if (!r)
        return "not recorded";
    const std::optional<Operation> op = r->Op();
    return Esc(op ? OperationTitle(*op) : r->operation) + ", " + Esc(ShownTime(r->time));
}

struct ParamRow {
    const char *key;
    const char *name;
    int (*get)(const Params &);
};
constexpr ParamRow kParamRows[] = {
    {"FuseCurrent", "Fuse current, A &times; 10", [](const Params &p) { return +p.FuseCurrent; }},
    {"ZeroOffset", "Zero offset, ADC steps", [](const Params &p) { return +p.ZeroOffset; }},
    {"OverloadTimer", "Overload time, ms", [](const Params &p) { return +p.OverloadTime; }},
    {"ADCcurrentMultiply", "Current to ADC multiplier",
     [](const Params &p) { return +p.CurrentMultiply; }},
    {"MeasureCount", "Current measure count", [](const Params &p) { return +p.MeasureCount; }},
    {"UseAverage", "Use average current", [](const Params &p) { return p.UseAverage ? 1 : 0; }},
    {"UseVref", "Use voltage reference", [](const Params &p) { return p.UseVref ? 1 : 0; }},
};

std::string Cell(const Known<Params> &k, const ParamRow &row, const Known<Params> *compare) {
    if (!k.value)
        return "<td class=\"none\">&ndash;</td>";
    const int v = row.get(*k.value);
    const bool differs = compare && compare->value && row.get(*compare->value) != v;
    return std::string(differs ? "<td class=\"changed\">" : "<td>") + std::to_string(v) + "</td>";
}

// 224 entries in rows of 16, the row's first index at the left. Entries that differ from
// `compare` are marked.
std::string TableGrid(const Table &t, const Table *compare) {
    std::string out = "<table class=\"grid\"><tr><th></th>";
    for (int c = 0; c < 16; ++c)
        out += "<th>+" + std::to_string(c) + "</th>";
    out += "</tr>";
    for (int row = 0; row < corr::kEntries / 16; ++row) {
        out += "<tr><th>" + std::to_string(row * 16) + "</th>";
        for (int c = 0; c < 16; ++c) {
            const auto n = static_cast<std::size_t>(row * 16 + c);
            const bool check = n == corr::kCheckIndex;
            const bool differs = compare && (*compare)[n] != t[n];
            out += std::string("<td") +
                   (check     ? " class=\"check\""
                    : differs ? " class=\"changed\""
                              : "") +
                   ">" + (check ? Hex(t[n]) : std::to_string(t[n])) + "</td>";
        }
        out += "</tr>";
    }
    return out + "</table>";
}

// "1 entry", "3 entries".
std::string Entries(int n) {
    return std::to_string(n) + (n == 1 ? " entry" : " entries");
}

int CountDifferences(const Table &a, const Table &b) {
    int n = 0;
    for (std::size_t i = 0; i < corr::kEntries; ++i)
        n += a[i] != b[i];
    return n;
}

} // namespace

std::string CalibrationGraphSvg(calib::PointList points, int W, int H) {
    calib::SortPointsByCurrent(points);
    const calib::SeriesLayout l = calib::LayoutSeries(points, W, H);
    const calib::Rgb c = calib::SeriesColors[calib::kFirstAdcColumn];
    const std::string colour = Format("rgb(%d,%d,%d)", {c.r, c.g, c.b});
    const auto xy = [](calib::Pixel p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
    const int m = calib::kGraphMargin;
    std::string s = Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                           "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Calibration graph\">",
                           {W, H + 16, W, H + 16});
    s += Format("<rect width=\"%d\" height=\"%d\" fill=\"#fff\"/>", {W, H + 16});
    s += Format("<polyline points=\"%d,%d %d,%d %d,%d\" fill=\"none\" stroke=\"#000\" "
                "stroke-width=\"2\"/>",
                {m, m, m, H - m, W - m, H - m});
    s += "<text x=\"4\" y=\"14\" class=\"axis\">div|U</text>";
    s += Format("<text x=\"%d\" y=\"%d\" class=\"axis\">I</text>", {W - 13, H - 6});
    const calib::CalPoint last = points.back();
    s += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s A</text>",
                {W - m, H + 12, FormatFixed(last.mA / 1000.0, 2)});
    s += Format("<text x=\"%d\" y=\"%d\">%d</text>", {m + 4, m + 4, last.adc});
    s += "<line x1=\"" + std::to_string(l.referenceStart.x) + "\" y1=\"" +
         std::to_string(l.referenceStart.y) + "\" x2=\"" + std::to_string(l.points.back().x) +
         "\" y2=\"" + std::to_string(l.points.back().y) + "\" stroke=\"" + colour +
         "\" stroke-width=\"1\" stroke-dasharray=\"2,2\"/>";
    s += "<polyline points=\"" + xy(l.origin);
    for (const calib::Pixel &p : l.points)
        s += " " + xy(p);
    s += "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\"/>";
    for (const calib::Pixel &p : l.points)
        s += Format("<path d=\"M%d %dH%dM%d %dV%d\" stroke=\"#000\" stroke-width=\"1\"/>",
                    {p.x - 7, p.y, p.x + 7, p.x, p.y - 7, p.y + 7});
    return s + "</svg>";
}

namespace {

constexpr const char *kStyle = R"css(
@page { size: A4; margin: 12mm 14mm 14mm; }
* { box-sizing: border-box; }
body { font: 9pt/1.3 "Liberation Sans", Arial, Helvetica, sans-serif; color: #000;
       margin: 0 auto; max-width: 182mm; padding: 6mm 0; background: #fff; }
h1 { font-size: 16pt; margin: 0; }
h2 { font-size: 10.5pt; margin: 4mm 0 1.5mm; padding-bottom: 0.5mm;
     border-bottom: 0.6pt solid #000; break-after: avoid; }
header { display: flex; justify-content: space-between; align-items: flex-end;
         border-bottom: 1.5pt solid #000; padding-bottom: 1.5mm; }
header .unit { font-size: 14pt; font-weight: bold; }
header .sub { color: #333; }
p { margin: 1mm 0; }
table { border-collapse: collapse; }
.facts th { text-align: left; font-weight: normal; color: #333; padding: 0.2mm 5mm 0.2mm 0;
            vertical-align: top; white-space: nowrap; }
.facts td { padding: 0.2mm 0; }
.data th, .data td { border: 0.5pt solid #777; padding: 0.4mm 2mm; text-align: right; }
.data th { background: #eee; font-weight: bold; }
.data td.name, .data th.name { text-align: left; white-space: nowrap; }
.data small { color: #555; }
.grid { font: 7pt/1.15 "Liberation Mono", "Courier New", monospace; }
.grid th, .grid td { border: 0.4pt solid #999; padding: 0.2mm 1mm; text-align: right;
                     min-width: 8mm; }
.grid th { background: #eee; font-weight: normal; }
td.changed { font-weight: bold; background: #fde7b0; }
td.check { font-weight: bold; background: #e3e3e3; }
td.none { color: #777; text-align: center; }
.side { display: flex; gap: 6mm; align-items: flex-start; }
.note { color: #333; }
.warn { font-weight: bold; }
.grid, .data, .side, .sign { break-inside: avoid; }
svg text { font: 8pt "Liberation Sans", Arial, sans-serif; }
svg text.axis { font: bold 12pt "Liberation Mono", "Courier New", monospace; fill: #00f; }
.sign { display: flex; gap: 10mm; margin-top: 12mm; }
.sign div { flex: 1; border-top: 0.6pt solid #000; padding-top: 1mm; color: #333; }
footer { margin-top: 4mm; font-size: 7.5pt; color: #555; }
)css";

std::string Fact(const char *name, const std::string &htmlValue) {
    return std::string("<tr><th>") + name + "</th><td>" + htmlValue + "</td></tr>";
}

std::string PointsTable(const CalibrationSession &s) {
    calib::PointList sorted = s.points;
    calib::SortPointsByCurrent(sorted);
    std::string out = "<table class=\"data\"><tr><th>Current, A</th><th>ADC reading</th>"
                      "<th>Ideal, M&middot;I + Z</th><th>Deviation</th></tr>";
    for (const calib::CalPoint &p : sorted) {
        const long long ideal = static_cast<long long>(RoundHalfEven(
                                    static_cast<Extended>(s.multiplier) * p.mA / 1000)) +
                                s.zeroOffset;
        out += "<tr><td>" + FormatFixed(p.mA / 1000.0, 3) + "</td><td>" + std::to_string(p.adc) +
               "</td><td>" + std::to_string(ideal) + "</td><td>" + std::to_string(p.adc - ideal) +
               "</td></tr>";
    }
    return out + "</table>";
}

std::string ParametersSection(const CalibrationSession &s) {
    const bool prev = s.previousParameters.value.has_value();
    std::string out = "<table class=\"data\"><tr><th class=\"name\">Parameter</th>";
    if (prev)
        out += "<th>Previous as left</th>";
    out += "<th>As found</th><th>As left</th></tr>";
    for (const ParamRow &row : kParamRows) {
        out += std::string("<tr><td class=\"name\">") + row.name + " <small>" + row.key +
               "</small></td>";
        if (prev)
            out += Cell(s.previousParameters, row, nullptr);
        out += Cell(s.parametersFound, row, prev ? &s.previousParameters : nullptr);
        out += Cell(s.parametersLeft, row, &s.parametersFound);
        out += "</tr>";
    }
    const auto crc = [](const Known<Params> &k) {
        return k.value ? "<td>" + Hex(dev::ParametersCrc(*k.value)) + "</td>"
                       : std::string("<td class=\"none\">&ndash;</td>");
    };
    out += "<tr><td class=\"name\">CRC-8 of the parameters</td>";
    if (prev)
        out += crc(s.previousParameters);
    out += crc(s.parametersFound) + crc(s.parametersLeft) + "</tr>";
    out += "<tr><td class=\"name\">Taken from</td>";
    if (prev)
        out += "<td>" + Source(s.previousParameters.from) + "</td>";
    out += "<td>" + Source(s.parametersFound.from) + "</td><td>" +
           (s.parametersSent || !s.parametersLeft.from
                ? Source(s.parametersLeft.from)
                : std::string("unchanged (no parameters sent)")) +
           "</td></tr>";
    return out + "</table>";
}

std::string DriftSection(const CalibrationSession &s) {
    std::string out;
    const Record *prevFrom =
        s.previousTable.from ? s.previousTable.from : s.previousParameters.from;
    if (!prevFrom && !s.previousCalibration)
        return "<p class=\"note\">The history holds no earlier state of this unit: this is its "
               "first recorded calibration.</p>";
    if (s.previousTable.value && s.tableFound.value) {
        const int n = CountDifferences(*s.previousTable.value, *s.tableFound.value);
        out += "<p>Correction table: " +
               (n == 0 ? std::string("as found equals the previous as left")
                       : "<span class=\"warn\">" + Entries(n) +
                             " changed</span> between the previous as left and as found") +
               " (previous: " + Source(s.previousTable.from) + ").</p>";
    } else if (s.previousTable.value) {
        out += "<p>Correction table: not compared (as found was not recorded).</p>";
    }
    if (s.previousParameters.value && s.parametersFound.value) {
        std::string changed;
        for (const ParamRow &row : kParamRows)
            if (row.get(*s.previousParameters.value) != row.get(*s.parametersFound.value))
                changed += std::string(changed.empty() ? "" : ", ") + row.key + " " +
                           std::to_string(row.get(*s.previousParameters.value)) + " &rarr; " +
                           std::to_string(row.get(*s.parametersFound.value));
        out += "<p>Parameters: " +
               (changed.empty() ? std::string("as found equal the previous as left")
                                : "<span class=\"warn\">changed</span>: " + changed) +
               ".</p>";
    }
    if (s.previousCalibration) {
        std::string rows;
        calib::PointList sorted = s.points;
        calib::SortPointsByCurrent(sorted);
        for (const calib::CalPoint &p : sorted)
            for (const calib::CalPoint &q : s.previousPoints)
                if (q.mA == p.mA) {
                    rows += "<tr><td>" + FormatFixed(p.mA / 1000.0, 3) + "</td><td>" +
                            std::to_string(q.adc) + "</td><td>" + std::to_string(p.adc) +
                            "</td><td>" + (p.adc > q.adc ? "+" : "") +
                            std::to_string(p.adc - q.adc) + "</td></tr>";
                    break;
                }
        out += "<p>Measured points against the previous calibration (" +
               Source(s.previousCalibration) + "):</p>";
        out += rows.empty() ? "<p class=\"note\">No current was measured in both.</p>"
                            : "<table class=\"data\"><tr><th>Current, A</th><th>ADC then</th>"
                              "<th>ADC now</th><th>Drift</th></tr>" +
                                  rows + "</table>";
    }
    return out;
}

} // namespace

CalibrationAnalysis AnalyzeCalibration(std::span<const Record> records, const std::string &unit) {
    CalibrationAnalysis out;
    const std::string name = "Unit " + unit;
    if (unit.empty()) {
        out.refusal = "A calibration record needs the unit's serial number";
        return out;
    }
    // The calibration: the last successful calculation that gave a table.
    std::size_t ci = records.size();
    for (std::size_t i = records.size(); i-- > 0;)
        if (Is(records[i], Operation::CalibrationCalc) && records[i].ok &&
            TableIn(json::At(records[i].data, "table")) &&
            PointsFromJson(json::At(records[i].data, "points"))) {
            ci = i;
            break;
        }
    if (ci == records.size()) {
        out.refusal = name + " has no calibration in the history";
        return out;
    }
    // The visit around it.
    std::size_t first = ci, last = ci;
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(kVisitGap).count();
    while (first > 0 && Millis(records[first], 0) - Millis(records[first - 1], 0) <= gap)
        --first;
    while (last + 1 < records.size() &&
           Millis(records[last + 1], 0) - Millis(records[last], 0) <= gap)
        ++last;
    const std::span<const Record> visit = records.subspan(first, last - first + 1);
    const std::span<const Record> before = records.first(first);
    const Record &calc = records[ci];

    // The table written: the last table change after the calibration must be a successful
    // write.
    const Record *change = nullptr;
    for (std::size_t i = ci + 1; i <= last; ++i)
        if (IsTableChange(records[i]))
            change = &records[i];
    const std::string since = " since its calibration (" + ShownTime(calc.time) + ")";
    if (!change) {
        out.refusal = name + " has no correction table written" + since;
        return out;
    }
    if (!change->ok) {
        out.refusal = name + ": the last correction table write" + since + " failed (" +
                      change->message + "); the table it left is not known";
        return out;
    }
    if (!Is(*change, Operation::TableWrite)) {
        out.refusal = name + ": the table written" + since + " was replaced by a restore at " +
                      ShownTime(change->time);
        return out;
    }
    std::optional<Table> written = TableIn(json::At(change->data, "after"));
    if (!written) {
        out.refusal = name + ": the table write" + since + " holds no table";
        return out;
    }

    CalibrationSession s;
    s.calibration = &calc;
    s.tableWrite = change;
    s.points = *PointsFromJson(json::At(calc.data, "points"));
    s.multiplier = static_cast<int>(json::Int(json::At(calc.data, "multiplier")));
    s.zeroOffset = static_cast<int>(json::Int(json::At(calc.data, "zero_offset")));
    s.calculated = *TableIn(json::At(calc.data, "table"));
    s.written = *written;
    if (!json::At(change->data, "verified").is_null())
        s.verified = json::Bool(json::At(change->data, "verified"));
    // The write was the visit's last table change: a later comparison, or a later read of
    // the whole table, shows what the device took.
    for (const Record *r = change + 1; r <= &records[last]; ++r) {
        if (Is(*r, Operation::TableVerify))
            if (std::optional<Table> found = TableIn(json::At(r->data, "found")))
                s.verified = *found == s.written;
        if (Is(*r, Operation::TableRead) && r->ok)
            if (std::optional<Table> read = TableIn(json::At(r->data, "table")))
                s.verified = *read == s.written;
    }

    s.tableFound = FoundState<Table>(
        visit, IsTableChange, [](const Record &r) { return TableIn(json::At(r.data, "before")); },
        TableRead);
    const auto isSend = [](const Record &r) { return Is(r, Operation::ParamsSend); };
    s.parametersFound = FoundState<Params>(
        visit, isSend, [](const Record &r) { return ParamsOfStatus(json::At(r.data, "before")); },
        ParamsRead);
    s.parametersSent = std::any_of(visit.begin(), visit.end(), isSend);
    s.parametersLeft = Latest<Params>(visit, ParamsAfter);
    s.previousTable = Latest<Table>(before, TableAfter);
    s.previousParameters = Latest<Params>(before, ParamsAfter);
    for (const Record &r : before)
        if (Is(r, Operation::CalibrationCalc) && r.ok && !json::At(r.data, "table").is_null())
            if (std::optional<calib::PointList> p = PointsFromJson(json::At(r.data, "points"))) {
                s.previousCalibration = &r;
                s.previousPoints = *p;
            }
    s.visitFirst = &visit.front();
    s.visitLast = &visit.back();
    for (const Record &r : records.subspan(last + 1))
        if (IsTableChange(r) || isSend(r)) {
            s.laterChange = &r;
            break;
        }
    out.session = std::move(s);
    return out;
}

CalibrationDocument CalibrationRecordHtml(std::span<const Record> records, const std::string &unit,
                                          const std::string &reference, const std::string &madeAt) {
    CalibrationAnalysis a = AnalyzeCalibration(records, unit);
    if (!a.session)
        return {false, {}, a.refusal};
    const CalibrationSession &s = *a.session;
    const Record &calc = *s.calibration;
    const Record &write = *s.tableWrite;

    std::string h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<title>Calibration record " +
                    Esc(unit) + "</title><style>" + kStyle + "</style></head><body>\n";
    h += "<header><div><h1>Calibration record</h1><div class=\"sub\">Korvane electronic fuse"
         "</div></div><div class=\"unit\">Unit " +
         Esc(unit) + "</div></header>\n";

    h += "<section><h2>Unit and service</h2><table class=\"facts\">";
    h += Fact("Unit serial number", Esc(unit));
    const std::string &info = write.info.empty() ? calc.info : write.info;
    h += Fact("Device", info.empty() ? "not read" : Esc(info));
    h += Fact("Calibrated", Esc(ShownTime(calc.time)));
    h += Fact("Table written", Esc(ShownTime(write.time)));
    h += Fact("Visit",
              Esc(ShownTime(s.visitFirst->time)) + " to " + Esc(ShownTime(s.visitLast->time)));
    h += Fact("Station", Esc(write.station));
    h += Fact("Operator",
              Esc(write.operatorName) + (calc.operatorName != write.operatorName
                                             ? " (calculated by " + Esc(calc.operatorName) + ")"
                                             : ""));
    h += Fact("Tool version", "korvane " + Esc(write.toolVersion));
    h += Fact("Reference instrument", reference.empty() ? "not stated" : Esc(reference));
    std::string port = Esc(write.port);
    if (!write.adapter.empty())
        port += "<br>" + Esc(write.adapter);
    if (!write.adapterSerial.empty())
        port += "<br>adapter serial " + Esc(write.adapterSerial);
    h += Fact("Port", port);
    h += Fact("Record made", Esc(ShownTime(madeAt)));
    h += "</table></section>\n";

    h += "<section><h2>Calibration points</h2><div class=\"side\"><div>" + PointsTable(s);
    h += "<p class=\"note\">Multiplier M = " + std::to_string(s.multiplier) +
         " ADC steps per ampere, zero offset Z = " + std::to_string(s.zeroOffset) + " ADC steps.";
    if (const long long exceeded = json::Int(json::At(calc.data, "exceeded")); exceeded > 0)
        h += " <span class=\"warn\">" + std::to_string(exceeded) +
             " corrections below 12 A were limited to &plusmn;127.</span>";
    h += "</p></div><div>" + CalibrationGraphSvg(s.points, kGraphWidth, kGraphHeight) +
         "</div></div></section>\n";

    h += "<section><h2>Correction table written</h2>";
    h += "<p>Check byte " + CheckByte(s.written) + "; " +
         (s.verified ? (*s.verified ? std::string("read back and verified.")
                                    : std::string("<span class=\"warn\">read back DIFFERENT from "
                                                  "what was written.</span>"))
                     : std::string("not read back.")) +
         "</p>";
    const int edited = CountDifferences(s.calculated, s.written);
    if (edited > 0)
        h += "<p class=\"warn\">" + Entries(edited) + (edited == 1 ? " was" : " were") +
             " changed by hand after the calculation (marked).</p>";
    h += TableGrid(s.written, &s.calculated) + "</section>\n";

    h += "<section><h2>As found and as left</h2>" + ParametersSection(s);
    h += "<p>Correction table as found: ";
    if (s.tableFound.value) {
        const int n = CountDifferences(*s.tableFound.value, s.written);
        h += "check byte " + CheckByte(*s.tableFound.value) + " (" + Source(s.tableFound.from) +
             "); " + (n == 0 ? "equal to the table left" : Entries(n) + " changed");
    } else {
        h += "not recorded (the table was not read before the first write)";
    }
    h += ". As left: the table written, check byte " + CheckByte(s.written) + ".</p>";
    if (s.tableFound.value && CountDifferences(*s.tableFound.value, s.written) > 0)
        h += "<p class=\"note\">Table as found (entries that differ from the table left are "
             "marked):</p>" +
             TableGrid(*s.tableFound.value, &s.written);
    h += "</section>\n";

    h += "<section><h2>Drift since the previous as left</h2>" + DriftSection(s) + "</section>\n";
    if (s.laterChange)
        h += "<p class=\"note warn\">After this calibration the device was changed again: " +
             Source(s.laterChange) + ". This record shows the state of the visit above.</p>\n";

    h += "<div class=\"sign\"><div>Calibrated by (name, signature)</div><div>Date</div>"
         "<div>Checked by</div></div>\n";
    h += "<footer>Made from the unit's service history by korvane " + Esc(ToolVersion()) +
         ". Times are UTC.</footer>\n</body></html>\n";
    return {true, h, {}};
}

std::string CalibrationRecordFileName(const std::string &unit) {
    return UnitFileName("calibration", unit, ".html");
}

} // namespace kv::history
