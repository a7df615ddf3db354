// The integer and floating-point syntaxes, their messages, rounding and formatting.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/errors.h"
#include "app/file_names.h"
#include "app/format.h"
#include "app/numbers.h"
#include "temp_dir.h"

namespace {

struct IntCase {
    const char *text;
    std::optional<std::int32_t> value;
};

TEST(IntegerSyntax, AcceptsDecimalAndEveryHexPrefix) {
    const IntCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"+42", 42},
        {"-42", -42},
        {"   17", 17},
        {"007", 7},
        {"$1F", 31},
        {"$1f", 31},
        {"x1F", 31},
        {"X1F", 31},
        {"0x1F", 31},
        {"0X1F", 31},
        {"0xff", 255},
        {"  0x10", 16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", 2147483647},
        {"0xFFFFFFFF", -1}, // eight F digits are -1 in 32-bit two's complement
        {"$80000000", INT32_MIN},
        {"0x000000001", 1}, // leading zeros are not significant
    };
    for (const auto &c : cases)
        EXPECT_EQ(kv::TryStrToInt(c.text), c.value) << "'" << c.text << "'";
}

TEST(IntegerSyntax, RejectsEverythingElse) {
    const char *bad[] = {
        "",           "   ", "abc",   "12abc",      "1 2",         "-",           "+",
        "--5",        "+-5", "-0x05", "$",          "0x",          "x",           "0xG1",
        "$-5",        "1.5", "1e3",   "2147483648", "-2147483649", "99999999999", "0x100000000",
        "$123456789", "12 ", "0x1F ", "١",
    };
    for (const char *s : bad)
        EXPECT_EQ(kv::TryStrToInt(s), std::nullopt) << "'" << s << "'";
}

TEST(IntegerSyntax, StrToIntThrowsWithTheOffendingText) {
    EXPECT_EQ(kv::StrToInt("0x20"), 32);
    for (const char *s : {"abc", "", "-0x05", " 12x"}) {
        try {
            kv::StrToInt(s);
            ADD_FAILURE() << "no exception for '" << s << "'";
        } catch (const kv::Error &e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(s) + "' is not a valid integer value");
        }
    }
}

// Outside text quoted in a message: short values whole, as they are; control characters
// escaped; a long one cut to 40 shown characters and "...", never inside a UTF-8 character.
TEST(QuoteText, ShortVisiblePieceOfOutsideText) {
    const std::string long1MB(1'000'000, '7');
    const std::pair<std::string, std::string> rows[] = {
        {"abc", "abc"},
        {"", ""},
        {" 8.5 ", " 8.5 "},
        {"C:\\data\\x", "C:\\data\\x"},
        {std::string(40, 'x'), std::string(40, 'x')},
        {std::string(41, 'x'), std::string(40, 'x') + "..."},
        {long1MB, std::string(40, '7') + "..."},
        {"2\n3\r\t", "2\\n3\\r\\t"},
        {std::string("a\0b\x1B[2J\x7F", 8), "a\\x00b\\x1B[2J\\x7F"},
        {std::string(39, 'x') + "\x01", std::string(39, 'x') + "..."},
        {std::string(39, 'x') + "\xC3\xA9z", std::string(39, 'x') + "\xC3\xA9..."},
        {std::string(40, 'x') + "\xC3\xA9", std::string(40, 'x') + "..."},
    };
    for (const auto &[text, quoted] : rows)
        EXPECT_EQ(kv::QuoteText(text), quoted) << text.substr(0, 60);
    EXPECT_EQ(kv::IntegerErrorText(long1MB + "x"),
              "'" + std::string(40, '7') + "...' is not a valid integer value");
    EXPECT_EQ(kv::FloatErrorText("1,8\n"), "'1,8\\n' is not a valid floating point value");
}

// Every outside text a terminal shows: nothing in it acts on the terminal (C0 and C1
// controls, bytes that are not UTF-8 shown escaped), and it is cut at its limit.
TEST(ShownText, OutsideTextCannotActOnTheTerminal) {
    const struct {
        std::string text;
        std::size_t limit;
        std::string shown;
    } rows[] = {
        {"SN-1234 \xC3\xA9", 200, "SN-1234 \xC3\xA9"},
        {"\x1B]0;title\x07", 200, "\\x1B]0;title\\x07"},
        {"a\xC2\x9B"
         "2J",
         200, "a\\u009B2J"},                                 // C1 control sequence introducer
        {"\xFF\xC3(\xE2\x82", 200, "\\xFF\\xC3(\\xE2\\x82"}, // not UTF-8, cut short
        {"\xED\xA0\x80", 200, "\\xED\\xA0\\x80"},            // a surrogate
        {std::string(100000, 'o'), 200, std::string(200, 'o') + "..."},
        {"ab\x1B", 4, "ab..."}, // an escape counts as what it shows
    };
    for (const auto &row : rows)
        EXPECT_EQ(kv::ShownText(row.text, row.limit), row.shown) << row.text.substr(0, 40);
}

// A name as a piece of a file name: the same on every system, never a folder of its own.
TEST(FileNamePart, OnlyPlainCharactersStay) {
    const std::pair<std::string, std::string> rows[] = {
        {"SN-1234_a.b", "SN-1234_a.b"},
        {"rack/1", "rack_1"},
        {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {"..", "__"},
        {"a..b", "a__b"},
        {".hidden", ".hidden"},
        {"t\x1B[2J", "t__2J"},
        {"\xC3\xBC", "u"},     // a letter with an accent: its plain letter
        {"\xE2\x82\xAC", "_"}, // any other character: one "_"
    };
    for (const auto &[text, part] : rows)
        EXPECT_EQ(kv::FileNamePart(text), part) << text;
}

TEST(FloatSyntax, AcceptsPointNotationOnly) {
    struct Case {
        const char *text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1.8", 1.8},
        {"  5  ", 5.0},
        {"-0.25", -0.25},
        {"+3", 3.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"1e3", 1000.0},
        {"2.5E-1", 0.25},
        {"1,8", std::nullopt},
        {"", std::nullopt},
        {".", std::nullopt},
        {"1e", std::nullopt},
        {"1.2.3", std::nullopt},
        {"abc", std::nullopt},
        {"1e999", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kv::TryStrToFloat(c.text), c.value) << "'" << c.text << "'";

    try {
        kv::StrToFloat("1,8");
        ADD_FAILURE() << "no exception";
    } catch (const kv::Error &e) {
        EXPECT_STREQ(e.what(), "'1,8' is not a valid floating point value");
    }
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const std::pair<kv::Extended, kv::Extended> cases[] = {
        {0.5L, 0.0L},   {1.5L, 2.0L},    {2.5L, 2.0L},    {-0.5L, -0.0L}, {-1.5L, -2.0L},
        {-2.5L, -2.0L}, {2.4999L, 2.0L}, {2.5001L, 3.0L}, {8.5L, 8.0L},   {9.5L, 10.0L},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(kv::RoundHalfEven(in), out) << static_cast<double>(in);
}

TEST(Trim, RemovesControlCharactersAndBlanksAtBothEnds) {
    EXPECT_EQ(kv::Trim(std::string("\x01 \t a b \r\n\0", 12)), "a b");
    EXPECT_EQ(kv::TrimRight("  x  \r\n"), "  x");
    EXPECT_EQ(kv::TrimLeft("\t x "), "x ");
    EXPECT_EQ(kv::Trim(" \r\n"), "");
}

TEST(Format, PrintfStyleWithUpperCaseHex) {
    EXPECT_EQ(kv::Format("%d|%4d|%-4d|%04d", {7, 7, 7, -7}), "7|   7|7   |-007");
    EXPECT_EQ(kv::Format("CRC OK [0x%x]", {0xa1}), "CRC OK [0xA1]");
    EXPECT_EQ(kv::Format("%0.2x %X", {5, 255}), "05 FF");
    EXPECT_EQ(kv::Format("%x", {-1}), "FFFFFFFF");
    EXPECT_EQ(kv::Format("%6.2f|%0.5f|%.0f", {3.14159, 0.1, 2.5}), "  3.14|0.10000|2");
    EXPECT_EQ(kv::Format("%s=%s %c %%", {"a", std::string("b"), 'z'}), "a=b z %");
    // A format made at run time is not counted: a missing argument formats as nothing.
    EXPECT_EQ(kv::Format(kv::RuntimeFormat("%d %d"), {1}), "1 ");
    EXPECT_EQ(kv::Format(kv::RuntimeFormat("%d"), {1, 2}), "1");
}

// The count a literal format is checked against at compile time (Format("%d", {1, 2}) does
// not compile): "%%" and a conversion cut off at the end take no argument.
static_assert(kv::ConversionCount("") == 0);
static_assert(kv::ConversionCount("100%% of %d") == 1);
static_assert(kv::ConversionCount("%-06.2f|%0.2X|%s%c") == 4);
static_assert(kv::ConversionCount("%%%0.2X") == 1);
static_assert(kv::ConversionCount("ends in %0.") == 0);

TEST(FormatFixed, PointSeparatorAndNoNegativeZero) {
    EXPECT_EQ(kv::FormatFixed(1.8, 3), "1.800");
    EXPECT_EQ(kv::FormatFixed(0.4, 0), "0");
    EXPECT_EQ(kv::FormatFixed(-0.0001, 3), "0.000");
    EXPECT_EQ(kv::FormatFixed(-1.25, 1), "-1.2");
    EXPECT_EQ(kv::FloatToStr(1.8), "1.8");
    EXPECT_EQ(kv::FloatToStr(5.0), "5");
}

TEST(ErrorReport, FullStopOnlyAfterCharactersSortingAfterThePoint) {
    EXPECT_EQ(kv::AppErrorText("'abc' is not a valid integer value"),
              "'abc' is not a valid integer value.");
    EXPECT_EQ(kv::AppErrorText("Bad value 7"), "Bad value 7."); // '7' > '.'
    EXPECT_EQ(kv::AppErrorText("Done."), "Done.");              // already there
    EXPECT_EQ(kv::AppErrorText("Stop!"), "Stop!");              // '!' < '.'
    EXPECT_EQ(kv::AppErrorText("a-"), "a-");                    // '-' < '.'
    EXPECT_EQ(kv::AppErrorText("path/"), "path/.");             // '/' > '.'
    EXPECT_EQ(kv::AppErrorText(""), "");
    EXPECT_EQ(kv::AppErrorText("\xC3\xA9"), "\xC3\xA9."); // bytes above 0x7F
}

// Parsing and formatting must keep "." under a locale whose decimal separator is ",".
class DecimalCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            // Not installed: compile it into a private folder from the system's locale
            // sources, when they are present.
            const std::string dir = tmp_.path() + "locale";
            const std::string cmd =
                "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
            if (std::system(("mkdir -p '" + dir + "' && " + cmd).c_str()) == 0) {
                ::setenv("LOCPATH", dir.c_str(), 1);
                std::setlocale(LC_ALL, "de_DE.UTF-8");
            }
        }
        const char *point = std::localeconv()->decimal_point;
        if (std::string(point) != ",")
            GTEST_SKIP() << "no locale with a decimal comma can be made here";
    }
    void TearDown() override {
        std::setlocale(LC_ALL, old_.c_str());
        ::unsetenv("LOCPATH");
    }

private:
    std::string old_;
    kvtest::TempDir tmp_;
};

TEST_F(DecimalCommaLocale, PointStaysTheSeparator) {
    EXPECT_EQ(kv::TryStrToFloat("1.8"), 1.8);
    EXPECT_EQ(kv::TryStrToFloat("1,8"), std::nullopt);
    EXPECT_EQ(kv::TryStrToExtended("0.1"), 0.1L);
    EXPECT_EQ(kv::TryStrToExtended("1,5"), std::nullopt);
    EXPECT_EQ(kv::Format("%6.2f %0.3f", {3.14159, 1.8}), "  3.14 1.800");
    EXPECT_EQ(kv::FormatFixed(2.5, 1), "2.5");
    EXPECT_EQ(kv::FloatToStr(0.25), "0.25");
}

} // namespace
