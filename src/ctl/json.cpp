#include "ctl/json.h"

#include <cmath>

#include "app/format.h"
#include "app/json.h"
#include "app/numbers.h"

namespace kv::ctl {

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    // JSON is UTF-8: a byte that is not (a port's name, a device's string) is replaced.
    for (unsigned char c : json::ValidUtf8(s)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
                out += Format("\\u%0.4x", {static_cast<int>(c)});
            else
                out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (!body_.empty())
        body_ += ',';
    body_ += JsonString(key) + ':';
}

JsonObject &JsonObject::Int(std::string_view key, long long v) {
    Key(key);
    body_ += std::to_string(v);
    return *this;
}

JsonObject &JsonObject::Bool(std::string_view key, bool v) {
    Key(key);
    body_ += v ? "true" : "false";
    return *this;
}

JsonObject &JsonObject::Str(std::string_view key, std::string_view v) {
    Key(key);
    body_ += JsonString(v);
    return *this;
}

JsonObject &JsonObject::Fixed(std::string_view key, double v, int decimals) {
    Key(key);
    body_ += std::isfinite(v) ? FormatFixed(v, decimals) : std::string("null");
    return *this;
}

JsonObject &JsonObject::Strings(std::string_view key, const std::vector<std::string> &v) {
    Key(key);
    body_ += '[';
    for (std::size_t i = 0; i < v.size(); ++i)
        body_ += (i ? "," : "") + JsonString(v[i]);
    body_ += ']';
    return *this;
}

JsonObject &JsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key);
    body_ += json;
    return *this;
}

} // namespace kv::ctl
