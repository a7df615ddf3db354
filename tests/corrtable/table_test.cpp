// The table's byte forms, its check byte and the check of typed field values.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corrtable/backup_files.h"
#include "corrtable/table.h"
#include "corrtable/table_differences.h"
#include "temp_dir.h"

using namespace kv::corrtable;

TEST(CorrTableBytes, SignMagnitudeBothWays) {
    struct Row {
        int value;
        std::uint8_t byte;
    };
    for (const Row &r : std::vector<Row>{
             {0, 0x00}, {1, 0x01}, {127, 0x7F}, {-1, 0x81}, {-5, 0x85}, {-127, 0xFF}}) {
        EXPECT_EQ(ToSignMagnitude(static_cast<std::int8_t>(r.value)), r.byte) << r.value;
        EXPECT_EQ(FromSignMagnitude(r.byte), r.value) << int(r.byte);
    }
    // The two bytes without a value of their own: -128 wraps to 0x00, minus zero reads 0.
    EXPECT_EQ(ToSignMagnitude(-128), 0x00);
    EXPECT_EQ(FromSignMagnitude(0x80), 0);
}

TEST(CorrTableBytes, CheckByteTravelsRaw) {
    CorrTableData t{};
    t[222] = -1;
    t[223] = -56; // 0xC8
    EXPECT_EQ(DeviceByte(t, 222), 0x81);
    EXPECT_EQ(DeviceByte(t, 223), 0xC8);
    EXPECT_EQ(EntryFromDevice(222, 0xC8), -72);
    EXPECT_EQ(EntryFromDevice(223, 0xC8), -56);
    EXPECT_EQ(EntryFromDevice(223, 0x80), -128);
}

TEST(CorrTableCrc, KnownTables) {
    struct Row {
        int index;
        std::int8_t value;
        std::uint8_t crc;
    };
    for (const Row &r : std::vector<Row>{{0, 0, 0}, {0, -1, 99}, {0, 1, 97}, {222, -1, 210}}) {
        CorrTableData t{};
        t[static_cast<std::size_t>(r.index)] = r.value;
        EXPECT_EQ(TableCrc(t), r.crc) << r.index << "=" << int(r.value);
    }
    // Only entries 0..222 count: neither the check byte nor the spare entries change it.
    CorrTableData t{};
    t[222] = -1;
    t[223] = 17;
    t[224] = 5;
    EXPECT_EQ(TableCrc(t), 210);
    EXPECT_EQ(EntryText(static_cast<std::int8_t>(210)), "-46");
}

TEST(CorrTableFields, IntegerSyntaxAndRange) {
    struct Row {
        const char *text;
        int value;
    };
    for (const Row &r : std::vector<Row>{{" 12 ", 12},
                                         {"\t-7\t", -7},
                                         {"0x7f", 127},
                                         {"$7F", 127},
                                         {"X7F", 127},
                                         {"x7f", 127},
                                         {"+5", 5},
                                         {"0xFFFFFFFF", -1},
                                         {"-127", -127},
                                         {"0", 0}}) {
        const auto v = ParseFieldText(r.text);
        ASSERT_TRUE(v.has_value()) << r.text;
        EXPECT_EQ(*v, r.value) << r.text;
    }
    for (const char *bad : {"-0x05", "128", "-128", "1.5", "", "  ", "abc", "0x", "-", "1 2",
                            "0x1FFFFFFFF", "99999999999"}) {
        EXPECT_FALSE(ParseFieldText(bad).has_value()) << bad;
    }
    EXPECT_EQ(InvalidValueText(5, "abc"), "Invalid value 5:abc! (-127..127)");
    EXPECT_EQ(InvalidValueText(17, " 1.5 "), "Invalid value 17: 1.5 ! (-127..127)");
}

TEST(CorrTableFields, ReadStopsAtFirstBadFieldKeepingTheRest) {
    CorrTableData t{};
    t.fill(9);
    std::vector<std::string> texts(kEntries, "1");
    texts[3] = "2";
    texts[10] = " 1.5";
    texts[11] = "x"; // never reached
    const auto error = ReadFieldTexts(texts, t);
    ASSERT_TRUE(error);
    EXPECT_EQ(error.index, 10);
    EXPECT_EQ(error.message, "Invalid value 10: 1.5! (-127..127)");
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[3], 2);
    EXPECT_EQ(t[9], 1);
    EXPECT_EQ(t[10], 9);
    EXPECT_EQ(t[223], 9);

    texts[10] = "-3";
    texts[11] = "$10";
    // The check byte field takes what every field takes: a check byte of 0x80 (-128) stops
    // the reading at entry 223.
    texts[223] = "-128";
    const auto checkByte = ReadFieldTexts(texts, t);
    ASSERT_TRUE(checkByte);
    EXPECT_EQ(checkByte.message, "Invalid value 223:-128! (-127..127)");
    EXPECT_EQ(t[10], -3);
    EXPECT_EQ(t[11], 16);
    EXPECT_EQ(t[222], 1);
    EXPECT_EQ(t[223], 9);
    texts[223] = "-127";
    EXPECT_FALSE(ReadFieldTexts(texts, t));
    EXPECT_EQ(t[223], -127);
    EXPECT_EQ(t[224], 9); // spare entries are never read from the fields
}

TEST(BackupFiles, NamesComeFromTheUnitOrThePort) {
    // 2026-12-08 13:15:00 UTC.
    const auto when = std::chrono::system_clock::from_time_t(1796735700);
    struct Row {
        std::string unit; // "": none
        std::string port;
        const char *ext;
        std::string name;
    } rows[] = {
        {"", "/dev/ttyUSB0", ".epr", "ttyUSB0-20261208-131500Z.epr"},
        {"", "\\\\.\\COM12", ".ini", "COM12-20261208-131500Z.ini"},
        {"line 3/fuse:7", "/dev/ttyUSB0", ".epr", "line_3_fuse_7-20261208-131500Z.epr"},
        {"", "", ".epr", "table-20261208-131500Z.epr"},
        // Letters with marks become their plain letters (one name on every file system);
        // other characters one '_' each, a byte that is not UTF-8 one '_'.
        {"\xC3\xBC", "/dev/ttyUSB0", ".epr", "u-20261208-131500Z.epr"},
        {"\xC3\xA9", "/dev/ttyUSB0", ".epr", "e-20261208-131500Z.epr"},
        {"\xC3\x86r\xC3\xB8 \xC5\x81\xC3\x9F", "", ".ini", "AEro_Lss-20261208-131500Z.ini"},
        {"\xE6\x97\xA5\xE6\x9C\xAC-\xFF", "", ".epr", "__-_-20261208-131500Z.epr"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(BackupFileName(r.unit, r.port, when, r.ext), r.name);
}

TEST(BackupFiles, AreCreatedNewNeverReplacingOrFollowingAnything) {
    // The folder is made; a name in use (a file, a dangling link) gets -2, -3 before its
    // extension, and what held the name is left as it was.
    kvtest::TempDir d;
    const std::string dir = d.File("a/backups");
    const std::string wanted = BackupPath(dir, "x.ini");
    EXPECT_EQ(wanted, dir + "/x.ini");
    std::string created;
    ASSERT_TRUE(CreateBackupFile(wanted, "one", created));
    EXPECT_EQ(created, wanted);
    const std::string outside = d.File("outside.ini");
    std::filesystem::create_symlink(outside, dir + "/x-2.ini");
    ASSERT_TRUE(CreateBackupFile(wanted, "two", created));
    EXPECT_EQ(created, dir + "/x-3.ini");
    EXPECT_EQ(kvtest::TempDir::Read(wanted), "one");
    EXPECT_EQ(kvtest::TempDir::Read(created), "two");
    EXPECT_FALSE(std::filesystem::exists(outside));

    // Writers racing for one name each get a file of their own.
    constexpr int kWriters = 8;
    std::vector<std::string> paths(kWriters);
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i)
        writers.emplace_back([&, i] {
            EXPECT_TRUE(CreateBackupFile(BackupPath(dir, "race.epr"), std::to_string(i), paths[i]));
        });
    for (auto &w : writers)
        w.join();
    for (int i = 0; i < kWriters; ++i)
        EXPECT_EQ(kvtest::TempDir::Read(paths[static_cast<std::size_t>(i)]), std::to_string(i));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(std::unique(paths.begin(), paths.end()), paths.end());
}

TEST(TableDifferencesTest, ListsEntriesDeviceToFileAndCutsTheListWithACount) {
    CorrTableData device{}, file{};
    file[0] = 5;
    file[223] = -2; // the check byte counts as an entry
    file[224] = 9;  // spare entries do not
    const auto d = TableDifferences(device, file);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(DifferenceLine(d[1]), "223: 0 -> -2");
    EXPECT_EQ(SentAndReadBack(d[0]), "entry 0: sent 5, read back 0");
    EXPECT_EQ(DifferenceLines(d, 1), (std::vector<std::string>{"0: 0 -> 5", "... and 1 more"}));
    EXPECT_EQ(DifferenceLines(d, 2).size(), 2u);
}
