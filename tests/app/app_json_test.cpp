// The JSON values: what the writer makes of each kind of value, what the reader accepts
// and refuses, and that text written reads back to the same value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/json.h"

using kv::json::Parse;
using kv::json::Quote;
using kv::json::Value;
using kv::json::Write;

TEST(Json, WriterForms) {
    Value doc = Value::Object();
    doc.Set("n", nullptr).Set("b", true).Set("i", -42).Set("r", 0.1).Set("two", 2.0);
    doc.Set("big", Value::Int(9223372036854775807LL)).Set("s", "a\"b\\c\n\t\x01\x7f");
    doc.Set("nan", std::numeric_limits<double>::quiet_NaN());
    doc.Set("list", Value::Array().Push(1).Push("x").Push(Value::Object()));
    doc.Set("i", 7); // replaces, keeps the place
    EXPECT_EQ(Write(doc), R"({"n":null,"b":true,"i":7,"r":0.1,"two":2.0,)"
                          R"("big":9223372036854775807,"s":"a\"b\\c\n\t\u0001\u007f",)"
                          R"("nan":null,"list":[1,"x",{}]})");
}

TEST(Json, QuoteKeepsUtf8AndTakesOtherBytesAsLatin1) {
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {"\xc3\xa9", "\"\xc3\xa9\""},                  // é as UTF-8 stays
        {"\xe9", "\"\\u00e9\""},                       // é as Latin-1 becomes \u00e9
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},            // overlong '/': not UTF-8
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}, // a surrogate: not UTF-8
        {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},  // U+1F600 stays
        {"\xe2\x82", "\"\\u00e2\\u0082\""},            // cut short
    };
    for (const Row &r : rows) {
        EXPECT_EQ(Quote(r.in), r.out);
        // Whatever went in comes back out of the reader as valid UTF-8.
        const auto back = Parse(Quote(r.in));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->AsString(), kv::json::ValidUtf8(r.in));
    }
}

TEST(Json, ReaderAcceptsAndRoundTrips) {
    const char *texts[] = {
        R"({"a":[1,2.5,-3e-7,true,false,null],"b":{"c":""}})",
        R"(["\u00e9\ud83d\ude00","\/\b\f"])",
        "  \t\r\n 17 \n",
        "-0",
        R"({"":1})",
    };
    for (const char *t : texts) {
        std::string error;
        const auto v = Parse(t, &error);
        ASSERT_TRUE(v) << t << ": " << error;
        EXPECT_EQ(Parse(Write(*v)), v) << t;
    }
    EXPECT_EQ(Parse(R"("\u00e9\ud83d\ude00")")->AsString(), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_TRUE(Parse("9223372036854775807")->IsInt());
    EXPECT_FALSE(Parse("9223372036854775808")->IsInt()); // beyond 64 bits: a real
    EXPECT_EQ(Parse("1e3")->AsInt(), 1000);              // an integral real
    EXPECT_EQ(Parse("2.0")->type(), Value::Type::Real);
    EXPECT_EQ(Parse("0.30000000000000004")->AsReal(), 0.1 + 0.2);
}

TEST(Json, ReaderRefuses) {
    const std::string deep(kv::json::kMaxDepth + 2, '[');
    const std::string texts[] = {
        "",         "{",       "[1,]",        R"({"a":1,})",  "01",       "1.",
        ".5",       "+1",      "1e",          "nul",          "1 2",      R"({"a":1,"a":2})",
        "\"\x01\"", R"("\x")", R"("\ud800")", R"("\udc00x")", "\"\xff\"", "\"abc",
        "{a:1}",    "'a'",     "[1]//",       "1e999",        deep,
    };
    for (const std::string &t : texts) {
        std::string error;
        EXPECT_FALSE(Parse(t, &error)) << t;
        EXPECT_NE(error.find(" at offset "), std::string::npos) << t;
    }
}

TEST(Json, AccessorsFallBackOnOtherTypes) {
    const Value v = *Parse(R"({"i":3,"r":2.5,"s":"x","b":true,"a":[1]})");
    EXPECT_EQ(v["i"].AsReal(), 3.0);
    EXPECT_EQ(v["r"].AsInt(-1), -1); // not integral
    EXPECT_EQ(v["s"].AsInt(-1), -1);
    EXPECT_EQ(v["missing"]["deeper"].AsString("none"), "none");
    EXPECT_TRUE(v["missing"].IsNull());
    EXPECT_EQ(v["a"].Size(), 1u);
    EXPECT_EQ(v["s"].Size(), 0u);
    EXPECT_TRUE(v["b"].AsBool());
    EXPECT_TRUE(std::isfinite(v["b"].AsReal(0.5)));
}
