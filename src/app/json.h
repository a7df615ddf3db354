// JSON values: a small tree (null, boolean, integer, real, string, array, object with its
// members in insertion order), a compact writer and a strict reader. Numbers are written
// and read without the C locale: "." always.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace kv::json {

struct Member;

class Value {
public:
    enum class Type { Null, Bool, Int, Real, String, Array, Object };
    using ArrayItems = std::vector<Value>;
    using ObjectMembers = std::vector<Member>; // insertion order, keys unique

    Value() = default; // null
    Value(const Value &) = default;
    Value(Value &&) noexcept = default; // so that containers of values move, not copy
    Value &operator=(const Value &) = default;
    Value &operator=(Value &&) noexcept = default;
    // Defined below Member: a constructor's body needs the members' destructors, and
    // those need Member complete (clang checks that where the body stands).
    Value(std::nullptr_t);
    Value(bool v);
    Value(int v);
    Value(unsigned v);
    Value(long v);
    Value(long long v);
    Value(double v);
    Value(const char *v);
    Value(std::string_view v);
    Value(std::string v);
    // Integers of other widths would pick an ambiguous constructor: say which.
    template <class T>
    requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)static Value Int(T v) {
        return Value(static_cast<long long>(v));
    }

    static Value Array();
    static Value Object();

    Type type() const { return static_cast<Type>(v_.index()); }
    bool IsNull() const { return type() == Type::Null; }
    bool IsObject() const { return type() == Type::Object; }
    bool IsArray() const { return type() == Type::Array; }
    bool IsString() const { return type() == Type::String; }
    bool IsInt() const { return type() == Type::Int; }
    bool IsNumber() const { return type() == Type::Int || type() == Type::Real; }
    bool IsBool() const { return type() == Type::Bool; }

    // The value, or the fallback when it is of another type. AsInt takes an integral
    // real; AsReal takes an integer.
    bool AsBool(bool fallback = false) const;
    long long AsInt(long long fallback = 0) const;
    double AsReal(double fallback = 0) const;
    std::string AsString(std::string_view fallback = {}) const;

    // Arrays. Push turns a null into an empty array first.
    Value &Push(Value v);
    const ArrayItems &Items() const; // empty for a non-array
    std::size_t Size() const;        // items of an array, members of an object, else 0

    // Objects. Set turns a null into an empty object first and replaces an existing key.
    Value &Set(std::string_view key, Value v);
    const Value *Find(std::string_view key) const;
    // The member's value; a null value when it is missing or this is no object.
    const Value &operator[](std::string_view key) const;
    const ObjectMembers &Members() const; // empty for a non-object

    bool operator==(const Value &other) const;

private:
    std::variant<std::monostate, bool, long long, double, std::string, ArrayItems, ObjectMembers>
        v_;
};

struct Member {
    std::string key;
    Value value;
    bool operator==(const Member &) const = default;
};

inline Value::Value(std::nullptr_t) {}
inline Value::Value(bool v) : v_(v) {}
inline Value::Value(int v) : v_(static_cast<long long>(v)) {}
inline Value::Value(unsigned v) : v_(static_cast<long long>(v)) {}
inline Value::Value(long v) : v_(static_cast<long long>(v)) {}
inline Value::Value(long long v) : v_(v) {}
inline Value::Value(double v) : v_(v) {}
inline Value::Value(const char *v) : v_(std::string(v)) {}
inline Value::Value(std::string_view v) : v_(std::string(v)) {}
inline Value::Value(std::string v) : v_(std::move(v)) {}

// A string as a JSON string literal: quoted, with '"', '\\' and control characters
// escaped. Bytes that are not valid UTF-8 are taken as Latin-1 (written as \u00XX), so
// that any byte string, a device's text for one, gives valid JSON and loses nothing.
std::string Quote(std::string_view s);

// The text with every byte that is not part of a valid UTF-8 sequence replaced by that
// byte's Latin-1 character, the same rule Quote applies.
std::string ValidUtf8(std::string_view s);

// Compact text: no blanks, members in their order. Reals in the shortest form that reads
// back to the same double; a non-finite real is written as null.
std::string Write(const Value &v);

// Reads exactly one JSON value (blanks around it allowed). Strict RFC 8259: no trailing
// commas, comments or single quotes; nesting deeper than kMaxDepth is refused. Integers
// that fit 64 bits read as Int, other numbers as Real. On failure: nothing, and the reason
// with its byte offset in *error.
inline constexpr int kMaxDepth = 64;
std::optional<Value> Parse(std::string_view text, std::string *error = nullptr);

} // namespace kv::json
