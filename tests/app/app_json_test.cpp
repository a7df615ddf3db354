// JSON through the library: what Write makes of outside text and numbers, what Parse
// refuses, the accessors' fallbacks, and that stored data in the earlier writer's forms
// (Latin-1 bytes as \u00XX, "2.0" reals) still reads.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/json.h"

using kv::json::Parse;
using kv::json::Value;
using kv::json::Write;
namespace json = kv::json;

TEST(Json, WriterForms) {
    Value doc;
    doc["n"] = nullptr;
    doc["b"] = true;
    doc["i"] = -42;
    doc["r"] = 0.1;
    doc["two"] = 2.0;
    doc["big"] = 9223372036854775807LL;
    doc["s"] = "a\"b\\c\n\t\x01";
    doc["nan"] = std::numeric_limits<double>::quiet_NaN();
    doc["list"] = Value::array({1, "x", Value::object()});
    doc["i"] = 7; // replaces, keeps the place
    EXPECT_EQ(Write(doc), R"({"n":null,"b":true,"i":7,"r":0.1,"two":2.0,)"
                          R"("big":9223372036854775807,"s":"a\"b\\c\n\t\u0001",)"
                          R"("nan":null,"list":[1,"x",{}]})");
}

TEST(Json, InvalidUtf8IsReplacedNeverPassedThrough) {
    const std::string kBad = "\xef\xbf\xbd"; // U+FFFD
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {"\xc3\xa9", "\xc3\xa9"},                 // é as UTF-8 stays
        {"\xe9", kBad},                           // é as Latin-1
        {"a\xc0\xaf", "a" + kBad + kBad},         // overlong '/'
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"}, // U+1F600 stays
        {"\xe2\x82", kBad},                       // cut short
    };
    for (const Row &r : rows) {
        EXPECT_EQ(Write(Value(r.in)), "\"" + r.out + "\"") << r.in;
        EXPECT_EQ(json::ValidUtf8(r.in), r.out) << r.in;
        EXPECT_EQ(Parse(Write(Value(r.in)))->get<std::string>(), r.out);
    }
}

TEST(Json, RoundedAgreesWithTheFixedText) {
    EXPECT_EQ(Write(json::Rounded(0.900881, 5)), "0.90088");
    EXPECT_EQ(Write(json::Rounded(5.1234, 2)), "5.12");
    EXPECT_EQ(Write(json::Rounded(5.1, 2)), "5.1"); // the library's shortest form
    EXPECT_EQ(Write(json::Rounded(std::nan(""), 2)), "null");
}

TEST(Json, ReaderAcceptsEarlierStoredFormsAndRoundTrips) {
    const char *texts[] = {
        R"({"a":[1,2.5,-3e-7,true,false,null],"b":{"c":""}})",
        R"(["\u00e9\ud83d\ude00","\/\b\f","\u007f"])",
        "  \t\r\n 17 \n",
        R"({"":1,"two":2.0})",
    };
    for (const char *t : texts) {
        std::string error;
        const auto v = Parse(t, &error);
        ASSERT_TRUE(v) << t << ": " << error;
        EXPECT_EQ(Parse(Write(*v)), v) << t;
    }
    EXPECT_EQ(Parse(R"("\u00e9\ud83d\ude00")")->get<std::string>(), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_TRUE(Parse("2.0")->is_number_float());
    EXPECT_EQ(Parse("0.30000000000000004")->get<double>(), 0.1 + 0.2);
}

TEST(Json, ReaderRefuses) {
    const std::string deep(json::kMaxDepth + 2, '[');
    const std::string deepClosed = deep + std::string(json::kMaxDepth + 2, ']');
    const std::string texts[] = {
        "",      "{",   "[1,]",  R"({"a":1,})", "01",      "1.",          ".5",       "+1",
        "1e",    "nul", "1 2",   "\"\x01\"",    R"("\x")", R"("\ud800")", "\"\xff\"", "\"abc",
        "{a:1}", "'a'", "[1]//", "1e999",       deep,      deepClosed,
    };
    for (const std::string &t : texts) {
        std::string error;
        EXPECT_FALSE(Parse(t, &error)) << t;
        EXPECT_FALSE(error.empty()) << t;
    }
}

TEST(Json, AccessorsFallBackOnOtherTypes) {
    const Value v = *Parse(R"({"i":3,"r":2.5,"s":"x","b":true,"a":[1],"w":4.0})");
    EXPECT_EQ(json::Real(json::At(v, "i")), 3.0);
    EXPECT_EQ(json::Int(json::At(v, "r"), -1), -1); // not integral
    EXPECT_EQ(json::Int(json::At(v, "w"), -1), 4);
    EXPECT_EQ(json::Int(json::At(v, "s"), -1), -1);
    EXPECT_EQ(json::Str(json::At(json::At(v, "missing"), "deeper"), "none"), "none");
    EXPECT_TRUE(json::At(v, "missing").is_null());
    EXPECT_TRUE(json::At(json::At(v, "a"), "x").is_null()); // an array has no members
    EXPECT_TRUE(json::Bool(json::At(v, "b")));
    EXPECT_EQ(json::Real(json::At(v, "b"), 0.5), 0.5);
    EXPECT_EQ(json::Int(*Parse("18446744073709551615"), -1), -1); // beyond long long
}
