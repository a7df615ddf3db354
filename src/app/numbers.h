// The shared number syntaxes: integers (decimal or "$", "x", "X", "0x", "0X" hexadecimal)
// and floating-point numbers with "." as the decimal separator, whatever the locale.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Extended precision: a 64-bit significand, as the calculations and the graph need.
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64,
              "long double must have a 64-bit significand (x87 extended precision)");

// Rounds to the nearest integer, an exact half to the even neighbour.
Extended RoundHalfEven(Extended v);

// Removes leading and trailing characters with codes 0x00..0x20.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII upper case.
std::string UpperCase(std::string_view s);
// The value of a hexadecimal digit (either case), -1 for any other character.
int HexValue(char c);

// The integer syntax: leading blanks skipped; then an optional sign and decimal digits
// (signed 32-bit range), or a "$", "x", "X", "0x", "0X" prefix and up to 8 significant
// hexadecimal digits taken as 32-bit two's complement. Nothing may follow the digits.
std::optional<std::int32_t> TryStrToInt(std::string_view s);
// As TryStrToInt; throws kv::Error("'<s>' is not a valid integer value") on failure.
std::int32_t StrToInt(std::string_view s);
// The message of a failed integer conversion of s.
std::string IntegerErrorText(std::string_view s);

// The floating-point syntax: leading and trailing blanks skipped; optional sign, digits
// with an optional "." and fraction, optional exponent ("e"/"E", optional sign, digits).
std::optional<double> TryStrToFloat(std::string_view s);
// The same, in extended precision.
std::optional<Extended> TryStrToExtended(std::string_view s);
// As TryStrToFloat; throws kv::Error("'<s>' is not a valid floating point value").
double StrToFloat(std::string_view s);
std::string FloatErrorText(std::string_view s);

// Fixed-point text with the given number of decimals and "." as separator
// ("0.000" style: at least one digit before the point). Rounds to nearest.
std::string FormatFixed(double v, int decimals);

// Shortest text that reads back as the same double, with "." ("1.8", "5").
std::string FloatToStr(double v);

} // namespace kv
