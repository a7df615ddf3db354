#include "app/json.h"

#include <charconv>
#include <cmath>

namespace kv::json {

namespace {

const Value kNull;
const Value::ArrayItems kNoItems;
const Value::ObjectMembers kNoMembers;

// The length of the valid UTF-8 sequence at s[i], or 0 when the byte there starts none
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xBF; // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            lo = 0xA0;
        if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(k) < 0x80 || b(k) > 0xBF)
            return 0;
    return n;
}

void AppendUtf8(std::string &out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void HexEscape(std::string &out, unsigned v) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u00";
    out += digits[(v >> 4) & 0xF];
    out += digits[v & 0xF];
}

void WriteTo(std::string &out, const Value &v) {
    switch (v.type()) {
    case Value::Type::Null:
        out += "null";
        break;
    case Value::Type::Bool:
        out += v.AsBool() ? "true" : "false";
        break;
    case Value::Type::Int:
        out += std::to_string(v.AsInt());
        break;
    case Value::Type::Real: {
        const double d = v.AsReal();
        if (!std::isfinite(d)) {
            out += "null";
            break;
        }
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, d);
        std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
        out += text;
        // Keep it a real when read back: "2" would come back as an integer.
        if (text.find_first_of(".eE") == std::string_view::npos)
            out += ".0";
        break;
    }
    case Value::Type::String:
        out += Quote(v.AsString());
        break;
    case Value::Type::Array: {
        out += '[';
        bool first = true;
        for (const Value &item : v.Items()) {
            if (!first)
                out += ',';
            first = false;
            WriteTo(out, item);
        }
        out += ']';
        break;
    }
    case Value::Type::Object: {
        out += '{';
        bool first = true;
        for (const Member &m : v.Members()) {
            if (!first)
                out += ',';
            first = false;
            out += Quote(m.key);
            out += ':';
            WriteTo(out, m.value);
        }
        out += '}';
        break;
    }
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    std::optional<Value> Document(std::string *error) {
        std::optional<Value> v = ReadValue(0);
        if (v) {
            SkipBlanks();
            if (pos_ != s_.size())
                Fail("unexpected text after the value");
        }
        if (!error_.empty()) {
            if (error)
                *error = error_ + " at offset " + std::to_string(pos_);
            return std::nullopt;
        }
        return v;
    }

private:
    std::optional<Value> Fail(const char *what) {
        if (error_.empty())
            error_ = what;
        return std::nullopt;
    }

    void SkipBlanks() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool Literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }

    std::optional<Value> ReadValue(int depth) {
        if (depth > kMaxDepth)
            return Fail("nested too deeply");
        SkipBlanks();
        if (pos_ >= s_.size())
            return Fail("unexpected end of text");
        const char c = s_[pos_];
        if (c == '{')
            return ReadObject(depth);
        if (c == '[')
            return ReadArray(depth);
        if (c == '"') {
            std::optional<std::string> str = ReadString();
            if (!str)
                return std::nullopt;
            return Value(std::move(*str));
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return ReadNumber();
        if (Literal("true"))
            return Value(true);
        if (Literal("false"))
            return Value(false);
        if (Literal("null"))
            return Value();
        return Fail("unexpected character");
    }

    std::optional<Value> ReadObject(int depth) {
        ++pos_; // '{'
        Value obj = Value::Object();
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return obj;
        }
        for (;;) {
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != '"')
                return Fail("expected a member name");
            std::optional<std::string> key = ReadString();
            if (!key)
                return std::nullopt;
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != ':')
                return Fail("expected ':'");
            ++pos_;
            std::optional<Value> v = ReadValue(depth + 1);
            if (!v)
                return std::nullopt;
            if (obj.Find(*key))
                return Fail("duplicate member name");
            obj.Set(*key, std::move(*v));
            SkipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return obj;
            }
            return Fail("expected ',' or '}'");
        }
    }

    std::optional<Value> ReadArray(int depth) {
        ++pos_; // '['
        Value arr = Value::Array();
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return arr;
        }
        for (;;) {
            std::optional<Value> v = ReadValue(depth + 1);
            if (!v)
                return std::nullopt;
            arr.Push(std::move(*v));
            SkipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return arr;
            }
            return Fail("expected ',' or ']'");
        }
    }

    std::optional<unsigned> Hex4() {
        if (pos_ + 4 > s_.size())
            return std::nullopt;
        unsigned v = 0;
        const auto r = std::from_chars(s_.data() + pos_, s_.data() + pos_ + 4, v, 16);
        if (r.ec != std::errc() || r.ptr != s_.data() + pos_ + 4)
            return std::nullopt;
        pos_ += 4;
        return v;
    }

    std::optional<std::string> ReadString() {
        ++pos_; // '"'
        std::string out;
        while (pos_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c < 0x20) {
                Fail("control character in a string");
                return std::nullopt;
            }
            if (c != '\\') {
                const std::size_t n = Utf8Length(s_, pos_);
                if (n == 0) {
                    Fail("invalid UTF-8 in a string");
                    return std::nullopt;
                }
                out.append(s_.substr(pos_, n));
                pos_ += n;
                continue;
            }
            if (++pos_ >= s_.size())
                break;
            const char e = s_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::optional<unsigned> cp = Hex4();
                if (!cp) {
                    Fail("bad \\u escape");
                    return std::nullopt;
                }
                std::uint32_t code = *cp;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    std::optional<unsigned> low;
                    if (Literal("\\u"))
                        low = Hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                        Fail("unpaired surrogate");
                        return std::nullopt;
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    Fail("unpaired surrogate");
                    return std::nullopt;
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                Fail("bad escape");
                return std::nullopt;
            }
        }
        Fail("unterminated string");
        return std::nullopt;
    }

    std::optional<Value> ReadNumber() {
        const std::size_t start = pos_;
        bool integral = true;
        if (s_[pos_] == '-')
            ++pos_;
        const auto digits = [&] {
            const std::size_t from = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            return pos_ - from;
        };
        const std::size_t intStart = pos_;
        const std::size_t intDigits = digits();
        if (intDigits == 0)
            return Fail("bad number");
        if (intDigits > 1 && s_[intStart] == '0')
            return Fail("leading zero in a number");
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            integral = false;
            if (digits() == 0)
                return Fail("bad number");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            integral = false;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-'))
                ++pos_;
            if (digits() == 0)
                return Fail("bad number");
        }
        const char *first = s_.data() + start;
        const char *last = s_.data() + pos_;
        if (integral) {
            long long v = 0;
            const auto r = std::from_chars(first, last, v);
            if (r.ec == std::errc() && r.ptr == last)
                return Value(v);
        }
        double d = 0;
        const auto r = std::from_chars(first, last, d);
        if (r.ec == std::errc::result_out_of_range)
            return Fail("number out of range");
        if (r.ec != std::errc() || r.ptr != last)
            return Fail("bad number");
        return Value(d);
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace

Value Value::Array() {
    Value v;
    v.v_ = ArrayItems{};
    return v;
}

Value Value::Object() {
    Value v;
    v.v_ = ObjectMembers{};
    return v;
}

bool Value::AsBool(bool fallback) const {
    const bool *b = std::get_if<bool>(&v_);
    return b ? *b : fallback;
}

long long Value::AsInt(long long fallback) const {
    if (const long long *i = std::get_if<long long>(&v_))
        return *i;
    if (const double *d = std::get_if<double>(&v_))
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::abs(*d) < 9.2e18)
            return static_cast<long long>(*d);
    return fallback;
}

double Value::AsReal(double fallback) const {
    if (const double *d = std::get_if<double>(&v_))
        return *d;
    if (const long long *i = std::get_if<long long>(&v_))
        return static_cast<double>(*i);
    return fallback;
}

std::string Value::AsString(std::string_view fallback) const {
    const std::string *s = std::get_if<std::string>(&v_);
    return s ? *s : std::string(fallback);
}

Value &Value::Push(Value v) {
    if (IsNull())
        v_ = ArrayItems{};
    if (ArrayItems *items = std::get_if<ArrayItems>(&v_))
        items->push_back(std::move(v));
    return *this;
}

const Value::ArrayItems &Value::Items() const {
    const ArrayItems *items = std::get_if<ArrayItems>(&v_);
    return items ? *items : kNoItems;
}

std::size_t Value::Size() const {
    if (const ArrayItems *items = std::get_if<ArrayItems>(&v_))
        return items->size();
    if (const ObjectMembers *members = std::get_if<ObjectMembers>(&v_))
        return members->size();
    return 0;
}

Value &Value::Set(std::string_view key, Value v) {
    if (IsNull())
        v_ = ObjectMembers{};
    ObjectMembers *members = std::get_if<ObjectMembers>(&v_);
    if (!members)
        return *this;
    for (Member &m : *members)
        if (m.key == key) {
            m.value = std::move(v);
            return *this;
        }
    members->push_back(Member{std::string(key), std::move(v)});
    return *this;
}

const Value *Value::Find(std::string_view key) const {
    for (const Member &m : Members())
        if (m.key == key)
            return &m.value;
    return nullptr;
}

const Value &Value::operator[](std::string_view key) const {
    const Value *v = Find(key);
    return v ? *v : kNull;
}

const Value::ObjectMembers &Value::Members() const {
    const ObjectMembers *members = std::get_if<ObjectMembers>(&v_);
    return members ? *members : kNoMembers;
}

bool Value::operator==(const Value &other) const {
    return v_ == other.v_;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8Length(s, i);
            if (n == 0) {
                HexEscape(out, c); // Latin-1
                ++i;
            } else {
                out.append(s.substr(i, n));
                i += n;
            }
            continue;
        }
        ++i;
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
            if (c < 0x20 || c == 0x7F)
                HexEscape(out, c);
            else
                out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string ValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8Length(s, i);
        if (n == 0) {
            AppendUtf8(out, static_cast<unsigned char>(s[i]));
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string Write(const Value &v) {
    std::string out;
    WriteTo(out, v);
    return out;
}

std::optional<Value> Parse(std::string_view text, std::string *error) {
    return Reader(text).Document(error);
}

} // namespace kv::json
