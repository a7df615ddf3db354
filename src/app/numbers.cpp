#include "app/numbers.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "app/errors.h"
#include "app/format.h"

namespace kv {

Extended RoundHalfEven(Extended v) {
    return std::nearbyintl(v);
}

namespace {
bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string TrimLeft(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size() && IsTrimmed(s[b]))
        ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && IsTrimmed(s[e - 1]))
        --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::optional<std::int32_t> TryStrToInt(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    if (i >= s.size())
        return std::nullopt;

    bool hex = false;
    if (s[i] == '$' || s[i] == 'x' || s[i] == 'X') {
        hex = true;
        ++i;
    } else if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    if (hex) {
        if (i >= s.size())
            return std::nullopt;
        std::uint64_t v = 0;
        int significant = 0;
        for (; i < s.size(); ++i) {
            int d = HexValue(s[i]);
            if (d < 0)
                return std::nullopt;
            if (v != 0 || d != 0)
                ++significant;
            if (significant > 8)
                return std::nullopt;
            v = v * 16 + static_cast<std::uint64_t>(d);
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }

    bool negative = false;
    if (s[i] == '+' || s[i] == '-') {
        negative = s[i] == '-';
        ++i;
    }
    if (i >= s.size())
        return std::nullopt;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i]))
            return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<std::int64_t>(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::string IntegerErrorText(std::string_view s) {
    return "'" + QuoteText(s) + "' is not a valid integer value";
}

std::int32_t StrToInt(std::string_view s) {
    if (auto v = TryStrToInt(s))
        return *v;
    throw Error(IntegerErrorText(s));
}

namespace {
// Checks the float syntax and returns the text ready for from_chars (no leading '+').
std::optional<std::string> FloatSyntax(std::string_view s) {
    std::string t = Trim(s);
    std::size_t i = 0;
    std::string out;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-')
            out += '-';
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) {
        out += t[i++];
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        out += t[i++];
        while (i < t.size() && IsDigit(t[i])) {
            out += t[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        out += t[i++];
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            out += t[i++];
        std::size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) {
            out += t[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    return out;
}
} // namespace

std::optional<double> TryStrToFloat(std::string_view s) {
    auto t = FloatSyntax(s);
    if (!t)
        return std::nullopt;
    double v = 0;
    auto [p, ec] = std::from_chars(t->data(), t->data() + t->size(), v);
    if (ec != std::errc() || p != t->data() + t->size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<Extended> TryStrToExtended(std::string_view s) {
    auto t = FloatSyntax(s);
    if (!t)
        return std::nullopt;
    // strtold follows LC_NUMERIC; the syntax above only admits ".", so replace it by the
    // locale's own decimal point before converting.
    std::string local = *t;
    const char point = *std::localeconv()->decimal_point;
    for (char &c : local)
        if (c == '.')
            c = point;
    char *end = nullptr;
    Extended v = std::strtold(local.c_str(), &end);
    if (end != local.c_str() + local.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string FloatErrorText(std::string_view s) {
    return "'" + QuoteText(s) + "' is not a valid floating point value";
}

double StrToFloat(std::string_view s) {
    if (auto v = TryStrToFloat(s))
        return *v;
    throw Error(FloatErrorText(s));
}

std::string FormatFixed(double v, int decimals) {
    char buf[400];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return "???";
    std::string r(buf, p);
    // "-0.000" reads as 0 to a user; show it without the sign.
    if (!r.empty() && r[0] == '-' && r.find_first_not_of("-0.") == std::string::npos)
        r.erase(0, 1);
    return r;
}

std::string FloatToStr(double v) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc())
        return "0";
    return std::string(buf, p);
}

} // namespace kv
