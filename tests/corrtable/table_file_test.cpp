// The table file: the writer, the reader's line and value rules, and round trips on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corrtable/table_file.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

using namespace kv::corrtable;

namespace {

std::string Values(int count, int first = 1) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += std::to_string(first + i) + " ";
    return s;
}

std::vector<int> Head(const CorrTableData &t, int n) {
    return std::vector<int>(t.begin(), t.begin() + n);
}

} // namespace

TEST(CorrTableFile, WriterPutsEveryEntryOnOneLine) {
    CorrTableData t{};
    t[1] = -3;
    t[2] = 12;
    t[223] = -46;
    t[224] = 99; // spare: never saved
    const std::string text = TableFileText(t);
    EXPECT_EQ(text.substr(0, 8), "0 -3 12 ");
    EXPECT_EQ(text.substr(text.size() - 6), "0 -46 ");
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), ' '), kEntries);
}

TEST(CorrTableFile, ReaderLineEndsAndValues) {
    struct Row {
        std::string content;
        std::vector<int> head; // entries 0..3
        std::string message;   // empty: none
    };
    const std::vector<Row> rows{
        {"", {0, 0, 0, 0}, ""},
        {"\r\n5 6 7", {0, 0, 0, 0}, ""},
        {"1 2\r3 4", {1, 2, 0, 0}, ""},
        {"1 2\x1A 3 4", {1, 2, 0, 0}, ""},
        {"1 2\n3 4", {1, 0, 0, 0}, "'2\\n3' is not a valid integer value"}, // shown escaped
        {"1 2 x 4", {1, 2, 0, 0}, "'x' is not a valid integer value"},
        {"200 300 -1 $FF", {-56, 44, -1, -1}, ""},
        {"   7    8  \t", {7, 8, 0, 0}, ""},
        {"\t5\t 6", {5, 6, 0, 0}, ""},
        {"1 2\t3 4", {1, 0, 0, 0}, "'2\\t3' is not a valid integer value"},
        {"0x7f X10 -0x05", {127, 16, 0, 0}, "'-0x05' is not a valid integer value"},
        {std::string("1 \0 2", 5), {1, 2, 0, 0}, ""},
    };
    for (const Row &r : rows) {
        CorrTableData t{};
        t.fill(33);
        const auto message = ParseTableText(r.content, t);
        EXPECT_EQ(*message, r.message) << r.content;
        EXPECT_EQ(Head(t, 4), r.head) << r.content;
        EXPECT_EQ(t[4], 0) << r.content;
        EXPECT_EQ(t[256], 0) << r.content;
    }
}

TEST(CorrTableFile, ReaderCountsAtMost224Values) {
    CorrTableData t{};
    // 225 values: the message once, the 225th value left in the spare entry 224.
    auto message = ParseTableText(Values(225), t);
    EXPECT_EQ(*message, kDataTooLong);
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[223], -32); // 224 in the low 8 bits
    EXPECT_EQ(t[224], -31); // 225
    EXPECT_EQ(t[225], 0);

    // 224 values, then further lines: no message, the later lines ignored.
    message = ParseTableText(Values(224) + "\r\n1 2 3\r\n", t);
    EXPECT_FALSE(message);
    EXPECT_EQ(t[223], -32);
    EXPECT_EQ(t[224], 0);

    // The calculation's file: the check byte last, unsigned, with no blank after it.
    message = ParseTableText(Values(223, 0) + "200", t);
    EXPECT_FALSE(message);
    EXPECT_EQ(t[222], -34);
    EXPECT_EQ(t[223], -56);
}

TEST(CorrTableFile, SaveThenLoadOnDisk) {
    kvtest::TempDir dir;
    const std::string file = dir.File("corrtbl.epr");
    CorrTableData saved{};
    std::fill(saved.begin(), saved.begin() + kEntries, -127);
    ASSERT_TRUE(WriteTableFile(file, saved).ok);
    EXPECT_EQ(kvtest::TempDir::Read(file).size(), 1120u);

    CorrTableData loaded{};
    loaded.fill(5);
    EXPECT_FALSE(ReadTableFile(file, loaded));
    EXPECT_EQ(loaded, saved);

    for (int n = 0; n < kEntries; ++n)
        saved[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(n * 37 - 128);
    ASSERT_TRUE(WriteTableFile(file, saved).ok); // replaces, not appends
    EXPECT_FALSE(ReadTableFile(file, loaded));
    EXPECT_EQ(loaded, saved);
}

TEST(CorrTableFile, UnreadableFileClearsTheBufferAndSaysSo) {
    kvtest::TempDir dir;
    kvtest::ScriptedPrompter prompter;
    CorrTableData t{};
    t.fill(7);
    const std::string missing = dir.File("missing.epr");
    LoadTableFileReporting(missing, t, prompter);
    EXPECT_EQ(t, CorrTableData{});
    ASSERT_EQ(prompter.messageTexts().size(), 1u);
    EXPECT_EQ(prompter.messageTexts()[0].rfind("Cannot read file " + missing + ": ", 0), 0u);
    EXPECT_EQ(prompter.prompts()[0].icon, kv::MsgIcon::Error);

    // A folder in place of the file.
    t.fill(7);
    std::filesystem::create_directory(dir.File("folder.epr"));
    EXPECT_TRUE(ReadTableFile(dir.File("folder.epr"), t));
    EXPECT_EQ(t, CorrTableData{});
}
