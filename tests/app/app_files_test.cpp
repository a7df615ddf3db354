// The settings file, the text-file helpers and the program's paths, on real files.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "app/comm_state.h"
#include "app/program_path.h"
#include "app/settings_file.h"
#include "app/text_files.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kvtest::TempDir;

class CountingBeeper : public kv::Beeper {
public:
    void Beep() override { ++beeps; }
    int beeps = 0;
};

// ---------------------------------------------------------------- settings file

TEST(SettingsFile, MissingFileGivesEveryDefaultAndIsNotCreated) {
    TempDir dir;
    kv::IniFile ini(dir.File("korvane.ini"));
    const kv::StartupSettings s = kv::ReadStartupSettings(ini);
    const kv::StartupSettings d;
    EXPECT_EQ(s.RefVoltage, 1.8);
    EXPECT_EQ(s.Voltage, 5.0);
    EXPECT_TRUE(s.AutoSaveData && s.AllDataChange && s.AutoOpen);
    EXPECT_EQ(s.LogLines, 100);
    EXPECT_EQ(s.GridLines, 15);
    EXPECT_EQ(s.TimerInterval, 5);
    EXPECT_EQ(s.FuseCurrent, 99);
    EXPECT_EQ(s.ZeroOffset, 0);
    EXPECT_EQ(s.OverloadTimer, 0);
    EXPECT_EQ(s.ADCcurrentMultiply, 10);
    EXPECT_FALSE(s.UseAverage || s.UseVref);
    EXPECT_EQ(s.MeasureCount, 20);
    const kv::PortSetting p = kv::ReadPortSetting(ini);
    EXPECT_EQ(p.port, "/dev/ttyS0");
    EXPECT_EQ(p.baud, 19200);
    EXPECT_FALSE(fs::exists(ini.FileName()));
}

TEST(SettingsFile, ReadsEveryKeyWithoutRegardToCase) {
    TempDir dir;
    const std::string file = dir.File("k.ini");
    TempDir::Write(file, "; service settings\r\n"
                         "[other]\r\nFuseCurrent=1\r\n"
                         "[INIT]\r\n"
                         "refvoltage=2.5\r\nVOLTAGE = 3.3\r\nautosavedata=0\r\n"
                         "AllDataChange=0\r\nAutoOpen=0\r\nLogLines=0x20\r\nGridLines=40\r\n"
                         "timer=0\r\nfusecurrent= 12 \r\nZeroOffset=$10\r\nOverloadTimer=200\r\n"
                         "ADCCURRENTMULTIPLY=85\r\nUseAverage=7\r\nUseVref=1\r\n"
                         "MeasureCount=5\r\nPort=/dev/pts/7\r\nBAUD=9600\r\n");
    kv::IniFile ini(file);
    const kv::StartupSettings s = kv::ReadStartupSettings(ini);
    EXPECT_EQ(s.RefVoltage, 2.5);
    EXPECT_EQ(s.Voltage, 3.3);
    EXPECT_FALSE(s.AutoSaveData);
    EXPECT_FALSE(s.AllDataChange);
    EXPECT_FALSE(s.AutoOpen);
    EXPECT_EQ(s.LogLines, 32);
    EXPECT_EQ(s.GridLines, 40);
    EXPECT_EQ(s.TimerInterval, 1); // below 1 becomes 1
    EXPECT_EQ(s.FuseCurrent, 12);  // from [init], not from [other]
    EXPECT_EQ(s.ZeroOffset, 16);
    EXPECT_EQ(s.OverloadTimer, 200);
    EXPECT_EQ(s.ADCcurrentMultiply, 85);
    EXPECT_TRUE(s.UseAverage); // any non-zero integer is true
    EXPECT_TRUE(s.UseVref);
    EXPECT_EQ(s.MeasureCount, 5);
    const kv::PortSetting p = kv::ReadPortSetting(ini);
    EXPECT_EQ(p.port, "/dev/pts/7"); // a POSIX path keeps its case
    EXPECT_EQ(p.baud, 9600);
}

TEST(SettingsFile, MalformedValuesGiveTheirDefaults) {
    TempDir dir;
    const std::string file = dir.File("k.ini");
    TempDir::Write(file, "[init]\nRefVoltage=1,9\nVoltage=five\nLogLines=12abc\n"
                         "GridLines=\nTimer=-5\nAutoOpen=yes\nFuseCurrent=0x\n"
                         "MeasureCount=99999999999\n");
    const kv::StartupSettings s = kv::ReadStartupSettings(kv::IniFile(file));
    EXPECT_EQ(s.RefVoltage, 1.8);
    EXPECT_EQ(s.Voltage, 5.0);
    EXPECT_EQ(s.LogLines, 100);
    EXPECT_EQ(s.GridLines, 15);
    EXPECT_EQ(s.TimerInterval, 1); // -5 is read, then raised to 1
    EXPECT_TRUE(s.AutoOpen);
    EXPECT_EQ(s.FuseCurrent, 99);
    EXPECT_EQ(s.MeasureCount, 20);
}

TEST(SettingsFile, WriteUpdatesInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    const std::string file = dir.File("k.ini");
    const std::string before = "; written by hand\r\n"
                               "[Init]\r\n"
                               "port=/dev/ttyUSB0\r\n"
                               "  fusecurrent = 50   \r\n"
                               "; a comment FuseCurrent=1\r\n"
                               "\r\n"
                               "[other]\r\n"
                               "FuseCurrent=77\r\n";
    TempDir::Write(file, before);
    kv::IniFile ini(file);
    ASSERT_TRUE(ini.WriteInteger("init", "FuseCurrent", 12).ok);
    EXPECT_EQ(TempDir::Read(file), "; written by hand\r\n"
                                   "[Init]\r\n"
                                   "port=/dev/ttyUSB0\r\n"
                                   "fusecurrent=12\r\n"
                                   "; a comment FuseCurrent=1\r\n"
                                   "\r\n"
                                   "[other]\r\n"
                                   "FuseCurrent=77\r\n");
    EXPECT_EQ(ini.ReadInteger("init", "FuseCurrent", 0), 12);
    EXPECT_EQ(ini.ReadInteger("other", "FuseCurrent", 0), 77);

    // A new key goes at the end of its section, before the blank line and the next one.
    ASSERT_TRUE(ini.WriteBool("init", "UseVref", true).ok);
    EXPECT_EQ(TempDir::Read(file), "; written by hand\r\n"
                                   "[Init]\r\n"
                                   "port=/dev/ttyUSB0\r\n"
                                   "fusecurrent=12\r\n"
                                   "; a comment FuseCurrent=1\r\n"
                                   "UseVref=1\r\n"
                                   "\r\n"
                                   "[other]\r\n"
                                   "FuseCurrent=77\r\n");
}

TEST(SettingsFile, NewSectionIsAppendedAndAMissingFileIsCreated) {
    TempDir dir;
    const std::string file = dir.File("k.ini");
    kv::IniFile ini(file);
    ASSERT_TRUE(ini.WriteInteger("init", "timer", 7).ok);
    EXPECT_EQ(TempDir::Read(file), "[init]\r\ntimer=7\r\n");

    TempDir::Write(file, "[other]\nx=1"); // LF line ends, no final line end
    ASSERT_TRUE(ini.WriteString("init", "port", "/dev/pts/3").ok);
    EXPECT_EQ(TempDir::Read(file), "[other]\nx=1\n[init]\nport=/dev/pts/3\n");
    EXPECT_EQ(ini.ReadString("INIT", "PORT", ""), "/dev/pts/3");
}

TEST(SettingsFile, FailedWriteLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string file = dir.File("k.ini");
    TempDir::Write(file, "[init]\r\nFuseCurrent=5\r\n");
    ::chmod(file.c_str(), 0444);
    kv::IniFile ini(file);
    const kv::FileResult r = ini.WriteInteger("init", "FuseCurrent", 9);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(TempDir::Read(file), "[init]\r\nFuseCurrent=5\r\n");
}

// ---------------------------------------------------------------- text files

TEST(TextFiles, AppendCreatesThenAppendsUnchanged) {
    TempDir dir;
    const std::string file = dir.File("log.adc");
    CountingBeeper beeper;
    EXPECT_TRUE(kv::AppendTextFile("first\r\n", file, &beeper).ok);
    EXPECT_EQ(TempDir::Read(file), "first\r\n");
    EXPECT_TRUE(kv::AppendTextFile("second", file, &beeper).ok);
    EXPECT_EQ(TempDir::Read(file), "first\r\nsecond");
    EXPECT_EQ(beeper.beeps, 0);
}

TEST(TextFiles, AppendToAMissingFolderIsSkippedSilently) {
    TempDir dir;
    CountingBeeper beeper;
    const kv::FileResult r = kv::AppendTextFile("x", dir.File("no/such/file"), &beeper);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(beeper.beeps, 0);
    // A path whose parent is a regular file cannot be opened either, even by root.
    TempDir::Write(dir.File("plain"), "p");
    EXPECT_FALSE(kv::AppendTextFile("x", dir.File("plain/file"), &beeper).ok);
    EXPECT_EQ(beeper.beeps, 0);
    EXPECT_EQ(TempDir::Read(dir.File("plain")), "p");
}

TEST(TextFiles, WriteReplacesTheWholeContentAndKeepsTheMode) {
    TempDir dir;
    const std::string file = dir.File("t.txt");
    EXPECT_TRUE(kv::WriteTextFile("new file", file).ok);
    EXPECT_EQ(TempDir::Read(file), "new file");
    TempDir::Write(file, "a much longer old content\r\n");
    ::chmod(file.c_str(), 0640);
    EXPECT_TRUE(kv::WriteTextFile("short", file).ok);
    EXPECT_EQ(TempDir::Read(file), "short");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(fs::exists(file + ".tmp~"));
}

TEST(TextFiles, ReadOnlyFileKeepsItsContent) {
    TempDir dir;
    const std::string file = dir.File("ro.txt");
    TempDir::Write(file, "old");
    ::chmod(file.c_str(), 0444);
    const kv::FileResult r = kv::WriteTextFile("new", file);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(TempDir::Read(file), "old");
}

TEST(TextFiles, WriteIntoAnImpossibleFolderFailsWithoutTouchingAnything) {
    TempDir dir;
    TempDir::Write(dir.File("plain"), "p");
    EXPECT_FALSE(kv::WriteTextFile("x", dir.File("plain/t.txt")).ok);
    EXPECT_EQ(TempDir::Read(dir.File("plain")), "p");
    // A device is no file to replace.
    EXPECT_FALSE(kv::WriteTextFile("x", "/dev/null").ok);
}

// A write that fails half-way (here: the file size limit, which stops root too) must leave
// the old file whole, beep, and leave no temporary file behind.
TEST(TextFiles, WriteFailingHalfWayKeepsTheOldFile) {
    TempDir dir;
    const std::string file = dir.File("table.epr");
    const std::string old = "old content that must survive\r\n";
    TempDir::Write(file, old);

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    CountingBeeper beeper;
    const kv::FileResult w = kv::WriteTextFile(std::string(4096, 'x'), file, &beeper);
    const kv::FileResult a = kv::AppendTextFile(std::string(4096, 'y'), dir.File("a.adc"), &beeper);

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(w.ok);
    EXPECT_FALSE(w.error.empty());
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(beeper.beeps, 2);
    EXPECT_EQ(TempDir::Read(file), old);
    EXPECT_FALSE(fs::exists(file + ".tmp~"));
}

TEST(TextFiles, ByteToBinary) {
    const std::pair<std::uint8_t, const char *> cases[] = {
        {0, "00000000"}, {255, "11111111"}, {128, "10000000"}, {5, "00000101"}, {0x5A, "01011010"},
    };
    for (const auto &[v, s] : cases)
        EXPECT_EQ(kv::ByteToBinary(v), s);
}

// ---------------------------------------------------------------- program paths

TEST(ProgramPaths, NameLosesOnlyItsLastExtension) {
    struct Case {
        const char *path;
        const char *name;
        const char *dir;
    };
    const Case cases[] = {
        {"/opt/kv/a.b.exe", "a.b", "/opt/kv/"},
        {"/opt/kv/korvane", "korvane", "/opt/kv/"},
        {"/opt/v1.2/korvane", "korvane", "/opt/v1.2/"},
        {"/korvane.bin", "korvane", "/"},
    };
    for (const auto &c : cases) {
        const kv::ProgramPaths p = kv::ProgramPathsFrom(c.path);
        EXPECT_EQ(p.name, c.name) << c.path;
        EXPECT_EQ(p.dir, c.dir) << c.path;
    }
    const kv::ProgramPaths p = kv::ProgramPathsFrom("/opt/kv/a.b.exe");
    EXPECT_EQ(p.IniFileName(), "/opt/kv/a.b.ini");
    EXPECT_EQ(p.CurrentLogFileName(), "/opt/kv/a.b.adc");
    EXPECT_EQ(p.SavFileName(), "/opt/kv/a.b.sav");
}

TEST(ProgramPaths, LongNamesAreCutTo255Characters) {
    const std::string longName(300, 'n');
    const kv::ProgramPaths p = kv::ProgramPathsFrom("/d/" + longName + ".exe");
    EXPECT_EQ(p.name, std::string(255, 'n'));
}

TEST(ProgramPaths, OfTheRunningProcessIsAbsoluteWithTrailingSeparator) {
    const kv::ProgramPaths p = kv::ProgramPathsOfProcess(nullptr);
    EXPECT_EQ(p.name, "app_files_test");
    ASSERT_FALSE(p.dir.empty());
    EXPECT_EQ(p.dir.front(), '/');
    EXPECT_EQ(p.dir.back(), '/');
}

} // namespace
