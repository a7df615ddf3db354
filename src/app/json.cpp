#include "app/json.h"

#include <cmath>
#include <limits>

#include "app/numbers.h"

namespace kv::json {

namespace {

const Value kNull;

struct TooDeep {};

} // namespace

std::string Write(const Value &v) {
    return v.dump(-1, ' ', false, Value::error_handler_t::replace);
}

std::string ValidUtf8(std::string_view s) {
    // The writer's own replacement, then the string read back out of its quotes.
    return Value::parse(Write(Value(std::string(s)))).get<std::string>();
}

std::optional<Value> Parse(std::string_view text, std::string *error) {
    // The library's parser keeps its own stack, but writing and comparing a value recurse:
    // a stored record nested ten thousand deep must not reach them.
    const Value::parser_callback_t depthLimit = [](int depth, nlohmann::detail::parse_event_t,
                                                   Value &) {
        if (depth > kMaxDepth)
            throw TooDeep{};
        return true;
    };
    try {
        return Value::parse(text.begin(), text.end(), depthLimit);
    } catch (const TooDeep &) {
        if (error)
            *error = "nested deeper than " + std::to_string(kMaxDepth);
    } catch (const Value::exception &e) {
        if (error)
            *error = e.what();
    }
    return std::nullopt;
}

Value Rounded(double v, int decimals) {
    if (!std::isfinite(v))
        return nullptr;
    return TryStrToFloat(FormatFixed(v, decimals)).value_or(v);
}

const Value &At(const Value &v, std::string_view key) {
    if (!v.is_object())
        return kNull;
    const auto it = v.find(key);
    return it == v.end() ? kNull : *it;
}

bool Bool(const Value &v, bool fallback) {
    return v.is_boolean() ? v.get<bool>() : fallback;
}

long long Int(const Value &v, long long fallback) {
    if (v.is_number_integer())
        return v.is_number_unsigned() &&
                       v.get<std::uint64_t>() > std::numeric_limits<long long>::max()
                   ? fallback
                   : v.get<long long>();
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (std::trunc(d) == d && std::abs(d) < 9.2e18)
            return static_cast<long long>(d);
    }
    return fallback;
}

double Real(const Value &v, double fallback) {
    return v.is_number() ? v.get<double>() : fallback;
}

std::string Str(const Value &v, std::string_view fallback) {
    return v.is_string() ? v.get<std::string>() : std::string(fallback);
}

} // namespace kv::json
