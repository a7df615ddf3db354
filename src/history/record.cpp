#include "history/record.h"

#include "app/file_names.h"
#include "app/numbers.h"
#include "app/version.h"
#include "history/host_identity.h"

#include <mutex>
#include <random>

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
    return std::string(ProgramVersion());
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

namespace {

// A name as typed or scanned: trimmed of blanks and control characters at both ends;
// control characters inside, or more than limit bytes, are refused with the reason.
std::optional<std::string> CleanName(std::string_view text, std::string_view what,
                                     std::size_t limit, std::string *error) {
    std::string name = Trim(text);
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) {
            if (error)
                *error = std::string(what) + " may not contain control characters";
            return std::nullopt;
        }
    if (name.size() > limit) {
        if (error)
            *error = std::string(what) + " is longer than " + std::to_string(limit) + " characters";
        return std::nullopt;
    }
    return name;
}

} // namespace

std::optional<std::string> CleanUnit(std::string_view text, std::string *error) {
    return CleanName(text, "The unit's serial number", kMaxUnitLength, error);
}

std::optional<std::string> CleanOperator(std::string_view text, std::string *error) {
    return CleanName(text, "The operator's name", kMaxOperatorLength, error);
}

std::string NewRecordUuid() {
    // One generator for the process, seeded from the system's entropy once; the lock
    // keeps the ports' threads of a run apart.
    static std::mutex lock;
    static std::mt19937_64 gen{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }()};
    unsigned char b[16];
    {
        std::lock_guard<std::mutex> g(lock);
        const std::uint64_t hi = gen(), lo = gen();
        for (int i = 0; i < 8; ++i) {
            b[i] = static_cast<unsigned char>(hi >> (8 * i));
            b[8 + i] = static_cast<unsigned char>(lo >> (8 * i));
        }
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            s += '-';
        s += kHex[b[i] >> 4];
        s += kHex[b[i] & 0x0F];
    }
    return s;
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
    return stem + "-" + FileNamePart(unit) + ext;
}

} // namespace kv::history
