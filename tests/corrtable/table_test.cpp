// The table's byte forms, its check byte and the check of typed field values.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "corrtable/table.h"
#include "corrtable/verified_write.h"
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
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->index, 10);
    EXPECT_EQ(error->message, "Invalid value 10: 1.5! (-127..127)");
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
    ASSERT_TRUE(checkByte.has_value());
    EXPECT_EQ(checkByte->message, "Invalid value 223:-128! (-127..127)");
    EXPECT_EQ(t[10], -3);
    EXPECT_EQ(t[11], 16);
    EXPECT_EQ(t[222], 1);
    EXPECT_EQ(t[223], 9);
    texts[223] = "-127";
    EXPECT_FALSE(ReadFieldTexts(texts, t).has_value());
    EXPECT_EQ(t[223], -127);
    EXPECT_EQ(t[224], 9); // spare entries are never read from the fields
}

TEST(BackupFiles, NamesComeFromTheUnitOrThePortAndNeverReplaceABackup) {
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
    };
    for (const Row &r : rows)
        EXPECT_EQ(BackupFileName(r.unit, r.port, when, r.ext), r.name);

    // The folder is made; a name in use gets -2, -3 before its extension.
    kvtest::TempDir d;
    const std::string dir = d.File("a/backups");
    for (const char *want : {"x.ini", "x-2.ini", "x-3.ini"}) {
        const std::string path = FreeBackupPath(dir, "x.ini");
        EXPECT_EQ(path, dir + "/" + want);
        kvtest::TempDir::Write(path, "");
    }
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
