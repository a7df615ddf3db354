// printf-style formatting that never follows the C locale: "." is always the decimal
// separator. Supports %d %i %u %x %X %s %c %f %%, with flags "-" and "0", width and
// precision ("%4d", "%6.2f", "%0.2x", "%0.5f"). Hexadecimal is printed in upper case
// for both %x and %X, as every message of the program shows it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
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

// Formats fmt with args. A missing argument formats as nothing; a type mismatch is
// converted sensibly (an integer for %f, a number for %s).
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args);

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
