// A small JSON object writer for the --json output: one object per line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::ctl {

std::string JsonString(std::string_view s); // quoted and escaped

class JsonObject {
public:
    JsonObject &Int(std::string_view key, long long v);
    JsonObject &Bool(std::string_view key, bool v);
    JsonObject &Str(std::string_view key, std::string_view v);
    // A number with a fixed count of decimals ("." always).
    JsonObject &Fixed(std::string_view key, double v, int decimals);
    JsonObject &Strings(std::string_view key, const std::vector<std::string> &v);
    JsonObject &Raw(std::string_view key, std::string_view json);
    std::string str() const { return "{" + body_ + "}"; }

private:
    void Key(std::string_view key);
    std::string body_;
};

} // namespace kv::ctl
