#include "app/format.h"

#include <charconv>
#include <cmath>

namespace kv {

namespace {

std::string Pad(std::string body, const Conversion &sp, bool numeric) {
    if (static_cast<int>(body.size()) >= sp.width)
        return body;
    std::size_t fill = static_cast<std::size_t>(sp.width) - body.size();
    if (sp.left)
        return body + std::string(fill, ' ');
    if (sp.zero && numeric) {
        std::size_t signEnd = (!body.empty() && body[0] == '-') ? 1 : 0;
        return body.insert(signEnd, std::string(fill, '0'));
    }
    return std::string(fill, ' ') + body;
}

long long AsInteger(const FormatArg &a) {
    const auto &v = a.value();
    if (auto *i = std::get_if<long long>(&v))
        return *i;
    if (auto *d = std::get_if<double>(&v))
        return static_cast<long long>(*d);
    return 0;
}

double AsDouble(const FormatArg &a) {
    const auto &v = a.value();
    if (auto *d = std::get_if<double>(&v))
        return *d;
    if (auto *i = std::get_if<long long>(&v))
        return static_cast<double>(*i);
    return 0;
}

std::string AsString(const FormatArg &a) {
    const auto &v = a.value();
    if (auto *s = std::get_if<std::string_view>(&v))
        return std::string(*s);
    if (auto *i = std::get_if<long long>(&v))
        return std::to_string(*i);
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(v));
    return ec == std::errc() ? std::string(buf, p) : std::string();
}

std::string Convert(const Conversion &sp, const FormatArg &a) {
    switch (sp.conv) {
    case 'd':
    case 'i':
    case 'u': {
        long long v = AsInteger(a);
        std::string digits = std::to_string(v < 0 ? -static_cast<unsigned long long>(v)
                                                  : static_cast<unsigned long long>(v));
        if (sp.precision > static_cast<int>(digits.size()))
            digits.insert(0,
                          std::string(static_cast<std::size_t>(sp.precision) - digits.size(), '0'));
        return Pad((v < 0 ? "-" : "") + digits, sp, sp.precision < 0);
    }
    case 'x':
    case 'X': {
        // Hexadecimal of the value as a 32-bit unsigned number (wider values as 64-bit).
        long long v = AsInteger(a);
        unsigned long long u = (v >= INT32_MIN && v <= UINT32_MAX)
                                   ? static_cast<unsigned long long>(static_cast<std::uint32_t>(v))
                                   : static_cast<unsigned long long>(v);
        char buf[32];
        auto [p, ec] = std::to_chars(buf, buf + sizeof buf, u, 16);
        std::string digits(buf, p);
        for (char &c : digits)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
        if (sp.precision > static_cast<int>(digits.size()))
            digits.insert(0,
                          std::string(static_cast<std::size_t>(sp.precision) - digits.size(), '0'));
        return Pad(digits, sp, sp.precision < 0);
    }
    case 'f': {
        double v = AsDouble(a);
        int prec = sp.precision < 0 ? 6 : sp.precision;
        char buf[400];
        auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, prec);
        std::string body = ec == std::errc() ? std::string(buf, p) : std::string("INF");
        return Pad(body, sp, true);
    }
    case 'c': {
        return Pad(std::string(1, static_cast<char>(AsInteger(a))), sp, false);
    }
    case 's':
    default: {
        std::string s = AsString(a);
        if (sp.precision >= 0 && static_cast<int>(s.size()) > sp.precision)
            s.resize(static_cast<std::size_t>(sp.precision));
        return Pad(s, sp, false);
    }
    }
}

} // namespace

std::string FormatArgs(std::string_view fmt, std::span<const FormatArg> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Conversion sp;
        const std::size_t j = ScanConversion(fmt, i, sp);
        if (j >= fmt.size()) {
            out.append(fmt.substr(i));
            break;
        }
        if (arg != args.end())
            out += Convert(sp, *arg++);
        i = j;
    }
    return out;
}

namespace {

// The length of the valid UTF-8 sequence at text[i] (1 for ASCII), 0 for a byte that starts
// none: overlong forms, surrogates and code points above U+10FFFF count as invalid.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xBF; // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : lo;
        hi = c == 0xED ? 0x9F : hi;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : lo;
        hi = c == 0xF4 ? 0x8F : hi;
    } else {
        return 0;
    }
    if (i + n > text.size() || b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(k) < 0x80 || b(k) > 0xBF)
            return 0;
    return n;
}

std::string Escaped(std::string_view prefix, unsigned value, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(prefix);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 15];
    return out;
}

} // namespace

std::string ShownText(std::string_view text, std::size_t limit) {
    std::string out;
    std::size_t shown = 0; // characters shown so far
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8SequenceAt(text, i);
        std::string piece;
        std::size_t width = 1;
        if (c == '\n' || c == '\r' || c == '\t') {
            piece = c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c < 0x20 || c == 0x7F || n == 0) {
            piece = Escaped("\\x", c, 2); // a control character, or a byte that is not UTF-8
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // U+0080..U+009F: the C1 controls (U+009B starts a terminal's control sequence).
            piece = Escaped("\\u00", static_cast<unsigned char>(text[i + 1]), 2);
        } else {
            piece.assign(text.substr(i, n));
        }
        if (piece.size() > 1 && piece[0] == '\\')
            width = piece.size();
        if (shown + width > limit)
            return out + "...";
        out += piece;
        shown += width;
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::string QuoteText(std::string_view text) {
    return ShownText(text, kQuoteLength);
}

std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

} // namespace kv
