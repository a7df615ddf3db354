#include "history/record.h"

#include "app/numbers.h"
#include "history/host_identity.h"

namespace kv::history {

namespace {

void Digits(std::string &out, long long v, int width) {
    std::string d = std::to_string(v);
    if (static_cast<int>(d.size()) < width)
        out.append(static_cast<std::size_t>(width) - d.size(), '0');
    out += d;
}

// The number of exactly `width` digits at text[pos], or nothing.
std::optional<int> Number(std::string_view text, std::size_t pos, std::size_t width) {
    if (pos + width > text.size())
        return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

} // namespace

std::string UtcText(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day ymd{day};
    const hh_mm_ss hms{ms - day};
    std::string out;
    Digits(out, static_cast<int>(ymd.year()), 4);
    out += '-';
    Digits(out, static_cast<unsigned>(ymd.month()), 2);
    out += '-';
    Digits(out, static_cast<unsigned>(ymd.day()), 2);
    out += 'T';
    Digits(out, hms.hours().count(), 2);
    out += ':';
    Digits(out, hms.minutes().count(), 2);
    out += ':';
    Digits(out, hms.seconds().count(), 2);
    out += '.';
    Digits(out, hms.subseconds().count(), 3);
    out += 'Z';
    return out;
}

std::optional<std::int64_t> UtcMilliseconds(std::string_view text) {
    using namespace std::chrono;
    // YYYY-MM-DDTHH:MM:SS[.mmm][Z]
    const auto y = Number(text, 0, 4), mo = Number(text, 5, 2), d = Number(text, 8, 2);
    const auto h = Number(text, 11, 2), mi = Number(text, 14, 2), s = Number(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    std::size_t pos = 19;
    int ms = 0;
    if (pos < text.size() && text[pos] == '.') {
        const auto f = Number(text, pos + 1, 3);
        if (!f)
            return std::nullopt;
        ms = *f;
        pos += 4;
    }
    if (pos < text.size() && text[pos] == 'Z')
        ++pos;
    const year_month_day ymd{year{*y}, month{static_cast<unsigned>(*mo)},
                             day{static_cast<unsigned>(*d)}};
    if (pos != text.size() || !ymd.ok() || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    const auto t = sys_days{ymd} + hours{*h} + minutes{*mi} + seconds{*s} + milliseconds{ms};
    return duration_cast<milliseconds>(t.time_since_epoch()).count();
}

Stamp Now() {
    const auto mono = std::chrono::steady_clock::now().time_since_epoch();
    return Stamp{UtcText(std::chrono::system_clock::now()),
                 std::chrono::duration_cast<std::chrono::nanoseconds>(mono).count()};
}

std::string ToolVersion() {
    return KORVANE_VERSION;
}

Context DefaultContext() {
    Context c;
    c.station = HostName();
    c.operatorName = LoginName();
    c.toolVersion = ToolVersion();
    return c;
}

void SetPort(Context &context, const std::string &path, const link::PortRoots &roots) {
    context.port = path;
    context.adapter.clear();
    context.adapterSerial.clear();
    if (const std::optional<link::PortInfo> port = link::PortIdentity(path, roots)) {
        context.adapter = port->byId;
        if (port->usb)
            context.adapterSerial = port->usb->serialNumber;
    }
}

std::optional<std::string> CleanUnit(std::string_view text, std::string *error) {
    std::string unit = Trim(text);
    for (unsigned char c : unit)
        if (c < 0x20 || c == 0x7F) {
            if (error)
                *error = "The unit's serial number may not contain control characters";
            return std::nullopt;
        }
    if (unit.size() > kMaxUnitLength) {
        if (error)
            *error = "The unit's serial number is longer than " + std::to_string(kMaxUnitLength) +
                     " characters";
        return std::nullopt;
    }
    return unit;
}

Record MakeRecord(const Context &context, Operation op, const Outcome &outcome, json::Value data,
                  const Stamp &stamp) {
    Record r;
    r.time = stamp.time;
    r.monoNs = stamp.monoNs;
    r.station = context.station;
    r.operatorName = context.operatorName;
    r.toolVersion = context.toolVersion;
    r.unit = context.unit;
    r.port = context.port;
    r.adapter = context.adapter;
    r.adapterSerial = context.adapterSerial;
    r.info = context.info;
    r.operation = std::string(OperationName(op));
    r.ok = outcome.ok;
    r.message = outcome.message;
    r.data = data.is_null() ? json::Value::object() : std::move(data);
    return r;
}

std::string UnitFileName(const std::string &stem, const std::string &unit, const std::string &ext) {
    std::string name = stem + "-";
    for (char c : unit) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || c == '-' || c == '_' || c == '.';
        name += plain ? c : '_';
    }
    return name + ext;
}

} // namespace kv::history
