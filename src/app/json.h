// JSON through nlohmann's JSON for Modern C++: Value keeps an object's members in the order
// they were set, as the outputs list them. Write and Parse are the only ways text comes and
// goes, so that every output replaces invalid UTF-8 and every reader has the same limits.
// The accessors read members of outside data (a stored record of another version) without
// throwing: a missing member or one of another type gives the fallback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kv::json {

using Value = nlohmann::ordered_json;

// Compact text: no blanks, members in their order. Bytes of a string that are not valid
// UTF-8 become U+FFFD; a non-finite real is written as null.
std::string Write(const Value &v);

// The text with every byte that is not part of a valid UTF-8 sequence replaced by U+FFFD,
// the rule Write applies.
std::string ValidUtf8(std::string_view s);

// Reads exactly one JSON value (blanks around it allowed). Strict RFC 8259: no trailing
// commas, comments or single quotes; numbers beyond a double and nesting deeper than
// kMaxDepth are refused. On failure: nothing, and the reason with its byte offset in *error.
inline constexpr int kMaxDepth = 64;
std::optional<Value> Parse(std::string_view text, std::string *error = nullptr);

// v rounded to the given count of decimals as FormatFixed writes it, so that a JSON number
// and the text beside it agree; null when v is not finite. The library writes the shortest
// form of the result: 5.10 with two decimals is written 5.1.
Value Rounded(double v, int decimals);

// The member key of an object; a null value when it is missing or v is no object.
const Value &At(const Value &v, std::string_view key);

// The value, or the fallback when it is of another type. Int takes an integral real; Real
// takes an integer.
bool Bool(const Value &v, bool fallback = false);
long long Int(const Value &v, long long fallback = 0);
double Real(const Value &v, double fallback = 0);
std::string Str(const Value &v, std::string_view fallback = {});

} // namespace kv::json
