// printf-style formatting that never follows the C locale: "." is always the decimal
// separator. Supports %d %i %u %x %X %s %c %f %%, with flags "-" and "0", width and
// precision ("%4d", "%6.2f", "%0.2x", "%0.5f"). Hexadecimal is printed in upper case
// for both %x and %X, as every message of the program shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace kv {

class FormatArg {
public:
    FormatArg(int v) : v_(static_cast<long long>(v)) {}
    FormatArg(unsigned v) : v_(static_cast<long long>(v)) {}
    FormatArg(long v) : v_(static_cast<long long>(v)) {}
    FormatArg(unsigned long v) : v_(static_cast<long long>(v)) {}
    FormatArg(long long v) : v_(v) {}
    FormatArg(unsigned long long v) : v_(static_cast<long long>(v)) {}
    FormatArg(double v) : v_(v) {}
    FormatArg(const char *v) : v_(std::string_view(v)) {}
    FormatArg(std::string_view v) : v_(v) {}
    FormatArg(const std::string &v) : v_(std::string_view(v)) {}

    const std::variant<long long, double, std::string_view> &value() const { return v_; }

private:
    std::variant<long long, double, std::string_view> v_;
};

// One conversion of a format ("%-06.2f"), as the formatter and the compile-time count read it.
struct Conversion {
    bool left = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
    char conv = 0;
};

// Reads the conversion that starts at fmt[i] (a '%' that is not "%%"): its flags, width,
// precision and letter. Returns the index of the letter, or fmt.size() for a format that
// ends inside the conversion (printed as it stands, taking no argument).
constexpr std::size_t ScanConversion(std::string_view fmt, std::size_t i, Conversion &sp) {
    std::size_t j = i + 1;
    for (; j < fmt.size() && (fmt[j] == '-' || fmt[j] == '0'); ++j) {
        if (fmt[j] == '-')
            sp.left = true;
        else
            sp.zero = true;
    }
    for (; j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9'; ++j)
        sp.width = sp.width * 10 + (fmt[j] - '0');
    if (j < fmt.size() && fmt[j] == '.') {
        sp.precision = 0;
        for (++j; j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9'; ++j)
            sp.precision = sp.precision * 10 + (fmt[j] - '0');
    }
    if (j < fmt.size())
        sp.conv = fmt[j];
    return j;
}

// How many arguments fmt takes: one per conversion, none for "%%".
constexpr std::size_t ConversionCount(std::string_view fmt) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            ++i;
            continue;
        }
        Conversion sp;
        i = ScanConversion(fmt, i, sp);
        if (i < fmt.size())
            ++n;
    }
    return n;
}

namespace format_detail {
// Not constexpr: reached while a literal format is checked, it stops the compilation there.
inline void FormatArgumentCountDiffers() {}
} // namespace format_detail

// A format known at compile time (a literal or a constexpr text) that takes N arguments:
// a format whose conversions do not number N does not compile.
template <std::size_t N> class FormatString {
public:
    consteval FormatString(const char *fmt) : FormatString(std::string_view(fmt)) {}
    consteval FormatString(std::string_view fmt) : fmt_(fmt) {
        if (ConversionCount(fmt) != N)
            format_detail::FormatArgumentCountDiffers();
    }
    std::string_view get() const { return fmt_; }

private:
    std::string_view fmt_;
};

// A format made at run time: its count is not checked (a missing argument formats as
// nothing, one too many is left out).
struct RuntimeFormat {
    explicit RuntimeFormat(std::string_view f) : fmt(f) {}
    std::string_view fmt;
};

// Formats fmt with args; a type mismatch is converted sensibly (an integer for %f, a number
// for %s). The one formatter behind both forms of Format.
std::string FormatArgs(std::string_view fmt, std::span<const FormatArg> args);

// Format("%d of %d", {a, b}): the literal format's count is checked against the arguments.
template <std::size_t N>
std::string Format(std::type_identity_t<FormatString<N>> fmt, const FormatArg (&args)[N]) {
    return FormatArgs(fmt.get(), std::span<const FormatArg>(args, N));
}
inline std::string Format(FormatString<0> fmt) {
    return FormatArgs(fmt.get(), {});
}
inline std::string Format(RuntimeFormat fmt, std::initializer_list<FormatArg> args) {
    return FormatArgs(fmt.fmt, std::span<const FormatArg>(args.begin(), args.size()));
}

// Outside text (a name typed by someone, a value read from a file, the system or another
// station's record) as a message, a box or a terminal shows it: control characters, C1
// controls and bytes that are not UTF-8 shown escaped ("\n", "\t", "\x1B", "\u009B",
// "\xFF"), so that nothing the text holds acts on the terminal, and a text that would show
// more than `limit` characters cut to its first ones and "...". An ordinary short text comes
// back unchanged; a UTF-8 character is never cut in two. Every outside text korvanectl
// prints goes through it.
inline constexpr std::size_t kShownLength = 200; // a name, a path, a device's string
std::string ShownText(std::string_view text, std::size_t limit = kShownLength);

// A short piece of outside text fit to quote in a message: ShownText cut to kQuoteLength.
inline constexpr std::size_t kQuoteLength = 40;
std::string QuoteText(std::string_view text);

// The text with its first letter upper-cased (ASCII), for a text that starts a box.
std::string Capitalized(std::string text);

} // namespace kv
