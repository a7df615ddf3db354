// The settings file, the text-file helpers and the program's paths, on real files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// Temporary files a write left behind in a folder.
int Leftovers(const TempDir &dir) {
    int n = 0;
    for (const auto &e : fs::directory_iterator(dir.path()))
        n += e.path().string().ends_with(".tmp~") ? 1 : 0;
    return n;
}

mode_t Mode(const std::string &file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

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

// A settings file that is no file, or too large to be one, gives every default with the
// reason, and is never rewritten; a link to it is written through and stays a link.
TEST(SettingsFile, UnreadableFilesGiveTheDefaultsAndAreNotRewritten) {
    TempDir dir;
    ::mkfifo(dir.File("fifo.ini").c_str(), 0600);
    const std::string big = "[init]\r\nTimer=9\r\n" + std::string(kv::kSettingsFileLimit, ';');
    TempDir::Write(dir.File("big.ini"), big);
    const std::pair<std::string, std::string> rows[] = {
        {"/dev/zero", kv::kNotARegularFile},
        {dir.File("fifo.ini"), kv::kNotARegularFile},
        {dir.path(), "Is a directory"},
        {dir.File("big.ini"), kv::SystemErrorText(EFBIG) + " (more than 1048576 bytes)"},
    };
    for (const auto &[file, reason] : rows) {
        const kv::IniFile ini(file);
        const kv::StartupSettings s = kv::ReadStartupSettings(ini);
        EXPECT_EQ(s.problem, "Cannot read the settings file " + file + ": " + reason);
        EXPECT_EQ(s.TimerInterval, 5) << file;
        EXPECT_EQ(ini.ReadInteger("init", "Timer", 5), 5) << file;
        EXPECT_FALSE(ini.WriteInteger("init", "Timer", 7).ok) << file;
    }
    EXPECT_EQ(TempDir::Read(dir.File("big.ini")), big);
    EXPECT_EQ(kv::ReadStartupSettings(kv::IniFile(dir.File("missing.ini"))).problem, "");

    TempDir::Write(dir.File("real.ini"), "[init]\r\nTimer=3\r\n");
    fs::create_symlink(dir.File("real.ini"), dir.File("link.ini"));
    ASSERT_TRUE(kv::IniFile(dir.File("link.ini")).WriteInteger("init", "Timer", 8).ok);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(TempDir::Read(dir.File("real.ini")), "[init]\r\nTimer=8\r\n");
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
    EXPECT_EQ(Leftovers(dir), 0);
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
}

// What the replacing writer does with each kind of target: the named file is replaced
// whole, through links to their final target; what is no regular file is refused with its
// reason; a name planted where a temporary file could go is never written through.
TEST(TextFiles, WriteReplacesTheFinalTargetAndRefusesWhatIsNoFile) {
    struct Row {
        const char *name;
        std::function<std::string(const TempDir &)> setUp; // returns the path written to
        std::string error;                                 // empty: written
        std::function<void(const TempDir &)> check;
    };
    auto link = [](const std::string &to, const std::string &at) { fs::create_symlink(to, at); };
    const std::vector<Row> rows{
        {"plain file keeps its mode",
         [](const TempDir &d) {
             TempDir::Write(d.File("a.epr"), "old");
             ::chmod(d.File("a.epr").c_str(), 0604);
             return d.File("a.epr");
         },
         "", [](const TempDir &d) { EXPECT_EQ(Mode(d.File("a.epr")), 0604u); }},
        {"link stays a link, its target is replaced",
         [&](const TempDir &d) {
             TempDir::Write(d.File("real.epr"), "old");
             ::chmod(d.File("real.epr").c_str(), 0640);
             fs::create_directory(d.File("sub"));
             link("../real.epr", d.File("sub/mid.epr")); // relative, from the link's folder
             link(d.File("sub/mid.epr"), d.File("link.epr"));
             return d.File("link.epr");
         },
         "",
         [](const TempDir &d) {
             EXPECT_TRUE(fs::is_symlink(d.File("link.epr")));
             EXPECT_TRUE(fs::is_symlink(d.File("sub/mid.epr")));
             EXPECT_EQ(TempDir::Read(d.File("real.epr")), "new");
             EXPECT_EQ(Mode(d.File("real.epr")), 0640u);
         }},
        {"dangling link creates its target",
         [&](const TempDir &d) {
             link("made.epr", d.File("dangling.epr"));
             return d.File("dangling.epr");
         },
         "",
         [](const TempDir &d) {
             EXPECT_TRUE(fs::is_symlink(d.File("dangling.epr")));
             EXPECT_EQ(TempDir::Read(d.File("made.epr")), "new");
         }},
        {"planted temporary names are left alone",
         [&](const TempDir &d) {
             TempDir::Write(d.File("victim.txt"), "victim");
             link(d.File("victim.txt"), d.File("out.epr.tmp~"));
             TempDir::Write(d.File("out.epr~"), "other");
             return d.File("out.epr");
         },
         "",
         [](const TempDir &d) {
             EXPECT_EQ(TempDir::Read(d.File("victim.txt")), "victim");
             EXPECT_TRUE(fs::is_symlink(d.File("out.epr.tmp~")));
             EXPECT_EQ(TempDir::Read(d.File("out.epr~")), "other");
             EXPECT_FALSE(fs::is_symlink(d.File("out.epr")));
         }},
        {"directory", [](const TempDir &d) { return d.path() + "."; }, "Is a directory", {}},
        {"link to a directory",
         [&](const TempDir &d) {
             fs::create_directory(d.File("dir"));
             link(d.File("dir"), d.File("dir.epr"));
             return d.File("dir.epr");
         },
         "Is a directory",
         {}},
        {"/dev/null",
         [](const TempDir &) { return std::string("/dev/null"); },
         kv::kNotARegularFile,
         {}},
        {"link to /dev/full",
         [&](const TempDir &d) {
             link("/dev/full", d.File("full.epr"));
             return d.File("full.epr");
         },
         kv::kNotARegularFile,
         [](const TempDir &d) { EXPECT_TRUE(fs::is_symlink(d.File("full.epr"))); }},
        {"FIFO",
         [](const TempDir &d) {
             ::mkfifo(d.File("fifo.epr").c_str(), 0600);
             return d.File("fifo.epr");
         },
         kv::kNotARegularFile,
         [](const TempDir &d) { EXPECT_TRUE(fs::is_fifo(d.File("fifo.epr"))); }},
        {"link loop",
         [&](const TempDir &d) {
             link(d.File("b.epr"), d.File("a.epr"));
             link(d.File("a.epr"), d.File("b.epr"));
             return d.File("a.epr");
         },
         kv::SystemErrorText(ELOOP),
         {}},
    };
    for (const Row &r : rows) {
        TempDir dir;
        const std::string target = r.setUp(dir);
        CountingBeeper beeper;
        const kv::FileResult w = kv::WriteTextFile("new", target, &beeper);
        EXPECT_EQ(w.ok, r.error.empty()) << r.name;
        EXPECT_EQ(w.error, r.error) << r.name;
        if (w.ok && !fs::is_symlink(target)) {
            EXPECT_EQ(TempDir::Read(target), "new") << r.name;
        }
        EXPECT_EQ(beeper.beeps, 0) << r.name; // a refusal is said, not beeped
        if (r.check)
            r.check(dir);
        EXPECT_EQ(Leftovers(dir), r.name == std::string("planted temporary names are left alone"))
            << r.name;
    }
}

// Two writers of one file at once: each succeeds, and whoever looks (here a third thread
// reading all the while) only ever finds one writer's whole text.
TEST(TextFiles, RacingWritersLeaveOneWholeVersion) {
    TempDir dir;
    const std::string file = dir.File("race.epr");
    const std::string a(3000, 'a');
    const std::string b(2000, 'b');
    TempDir::Write(file, a);
    std::atomic<bool> done{false};
    std::atomic<int> failed{0};
    std::atomic<int> mixed{0};
    auto writer = [&](const std::string &text) {
        for (int i = 0; i < 100; ++i)
            failed += kv::WriteTextFile(text, file).ok ? 0 : 1;
    };
    std::thread reader([&] {
        while (!done) {
            const std::string seen = TempDir::Read(file);
            mixed += seen == a || seen == b ? 0 : 1;
        }
    });
    std::thread w1(writer, a);
    std::thread w2(writer, b);
    w1.join();
    w2.join();
    done = true;
    reader.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(Leftovers(dir), 0);
}

// The reader of outside files on whatever a name may hold: it never waits, never reads
// more than its limit, and says why it refused.
TEST(TextFiles, BoundedReaderOnEndlessAndOddInputs) {
    TempDir dir;
    ::mkfifo(dir.File("fifo").c_str(), 0600);
    {
        // A 10 GB file of holes: a regular file that never seems to end.
        const int fd = ::open(dir.File("sparse").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_EQ(::ftruncate(fd, 10'000'000'000LL), 0);
        ::close(fd);
    }
    TempDir::Write(dir.File("small"), "0123456789");
    struct Row {
        std::string path;
        bool withWhole;     // the caller takes a cut start
        std::string error;  // empty: read
        std::size_t length; // bytes read
        bool whole;
    };
    const std::string tooLarge = kv::SystemErrorText(EFBIG) + " (more than 4 bytes)";
    const std::vector<Row> rows{
        {"/dev/zero", true, kv::kNotARegularFile, 0, true},
        {"/dev/null", false, kv::kNotARegularFile, 0, true},
        {dir.File("fifo"), false, kv::kNotARegularFile, 0, true},
        {dir.path(), false, "Is a directory", 0, true},
        {dir.File("missing"), false, kv::SystemErrorText(ENOENT), 0, true},
        {dir.File("sparse"), false, tooLarge, 0, true},
        {dir.File("sparse"), true, "", 4, false},
        {dir.File("small"), false, tooLarge, 0, true},
        {dir.File("small"), true, "", 4, false},
    };
    for (const Row &r : rows) {
        std::string content = "junk";
        bool whole = true;
        const kv::FileResult got =
            kv::ReadTextFile(r.path, 4, content, r.withWhole ? &whole : nullptr);
        EXPECT_EQ(got.error, r.error) << r.path;
        EXPECT_EQ(got.ok, r.error.empty()) << r.path;
        EXPECT_EQ(content.size(), r.length) << r.path;
        EXPECT_EQ(whole, r.whole) << r.path;
    }
    std::string content;
    EXPECT_TRUE(kv::ReadTextFile(dir.File("small"), 10, content).ok);
    EXPECT_EQ(content, "0123456789");
}

// The buffer grows in steps while it reads: files on either side of a step and of the
// limit come back whole or cut exactly, and a generous limit costs no memory of its own.
TEST(TextFiles, ReadGrowsToTheFileNotToTheLimit) {
    TempDir dir;
    struct Row {
        std::size_t size, limit;
    };
    const Row rows[] = {{0, 10},           {16383, 16384},   {16384, 16384},  {16385, 16384},
                        {16385, 16385},    {32768, 1 << 20}, {40000, 32768},  {40000, 32769},
                        {100000, 1 << 20}, {100000, 100000}, {100001, 100000}};
    for (const Row &r : rows) {
        std::string text(r.size, 'x');
        for (std::size_t i = 0; i < text.size(); i += 997)
            text[i] = static_cast<char>('a' + i % 26); // a byte out of place shows
        TempDir::Write(dir.File("f"), text);
        std::string content;
        bool whole = false;
        ASSERT_TRUE(kv::ReadTextFile(dir.File("f"), r.limit, content, &whole).ok) << r.size;
        EXPECT_EQ(whole, r.size <= r.limit) << r.size << " of " << r.limit;
        EXPECT_EQ(content, text.substr(0, r.limit)) << r.size << " of " << r.limit;
    }
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    std::string content;
    ASSERT_TRUE(kv::ReadTextFile(dir.File("f"), std::size_t{1} << 30, content).ok);
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64L * 1024) << "KiB more at the peak";
}

// The current log's header: written into a file that is empty or new, never twice, and
// never left half written; a FIFO or directory in its place is refused without waiting.
TEST(TextFiles, AppendWithHeaderAndTheKindsOfTarget) {
    TempDir dir;
    ::mkfifo(dir.File("fifo.adc").c_str(), 0600);
    fs::create_directory(dir.File("dir.adc"));
    TempDir::Write(dir.File("empty.adc"), "");
    TempDir::Write(dir.File("old.adc"), "H\r\nr0\r\n");
    struct Row {
        std::string file;
        std::string error; // empty: written
        std::string after; // content afterwards
    };
    const std::vector<Row> rows{
        {dir.File("new.adc"), "", "H\r\nr1\r\n"},
        {dir.File("empty.adc"), "", "H\r\nr1\r\n"},
        {dir.File("old.adc"), "", "H\r\nr0\r\nr1\r\n"},
        {dir.File("fifo.adc"), kv::kNotARegularFile, ""},
        {dir.File("dir.adc"), "Is a directory", ""},
    };
    for (const Row &r : rows) {
        const kv::FileResult got = kv::AppendTextFile("r1\r\n", r.file, nullptr, "H\r\n");
        EXPECT_EQ(got.error, r.error) << r.file;
        if (got.ok) {
            EXPECT_EQ(TempDir::Read(r.file), r.after) << r.file;
        }
    }
    EXPECT_TRUE(kv::AppendTextFile("x", "/dev/null", nullptr, "H\r\n").ok);
}

// A write that fails half-way (here: the file size limit, which stops root too, as a full
// disk would) must leave the old file whole, beep, and leave no temporary file behind; an
// append leaves nothing of itself, so the next one still finds the log empty and writes
// the header.
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
    const kv::FileResult a =
        kv::AppendTextFile(std::string(4096, 'y'), dir.File("a.adc"), &beeper, "Header\r\n");

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(w.ok);
    EXPECT_FALSE(w.error.empty());
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(beeper.beeps, 2);
    EXPECT_EQ(TempDir::Read(file), old);
    EXPECT_EQ(Leftovers(dir), 0);
    EXPECT_EQ(TempDir::Read(dir.File("a.adc")), "");
    EXPECT_TRUE(kv::AppendTextFile("record\r\n", dir.File("a.adc"), &beeper, "Header\r\n").ok);
    EXPECT_EQ(TempDir::Read(dir.File("a.adc")), "Header\r\nrecord\r\n");
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

// Where the files go: beside a portable copy, in the user's data folder when installed.
TEST(ProgramPaths, InstalledProgramsKeepTheirFilesInTheUserDataFolder) {
    TempDir t;
    fs::create_directories(t.File("pkg/usr/bin"));
    fs::create_directories(t.File("pkg/usr/share/korvane"));
    fs::create_directories(t.File("build/bin"));
    const kv::UserFolders user{"", "/home/tech", "C:\\Users\\tech\\AppData\\Local"};
    using kv::PathStyle;
    struct Case {
        std::string program;
        PathStyle style;
        const char *dir; // "" : beside the program
    } cases[] = {
        {"/usr/bin/korvane", PathStyle::Posix, "/home/tech/.local/share/korvane/"},
        {"/usr/local/bin/korvanectl", PathStyle::Posix, "/home/tech/.local/share/korvane/"},
        {"/opt/korvane/korvane", PathStyle::Posix, "/home/tech/.local/share/korvane/"},
        {t.File("pkg/usr/bin/korvane"), PathStyle::Posix, "/home/tech/.local/share/korvane/"},
        // A build tree's bin folder has no share/korvane beside it; /usrx is no prefix.
        {t.File("build/bin/korvane"), PathStyle::Posix, ""},
        {"/usrx/bin/korvane", PathStyle::Posix, ""},
        {"/home/tech/korvane/korvane", PathStyle::Posix, ""},
        {"C:\\Program Files\\Korvane\\korvane.exe", PathStyle::Windows,
         "C:\\Users\\tech\\AppData\\Local\\Korvane\\"},
        {"C:\\PROGRAM FILES (X86)\\Korvane\\bin\\korvanectl.exe", PathStyle::Windows,
         "C:\\Users\\tech\\AppData\\Local\\Korvane\\"},
        {"D:\\Service\\Korvane\\korvane.exe", PathStyle::Windows, ""},
    };
    for (const auto &c : cases) {
        const kv::ProgramPaths p = kv::ProgramPathsFor(c.program, user, c.style);
        const std::string beside = c.program.substr(0, c.program.find_last_of("/\\") + 1);
        EXPECT_EQ(p.dir, *c.dir ? std::string(c.dir) : beside) << c.program;
        EXPECT_EQ(p.installed, *c.dir != 0) << c.program;
        EXPECT_EQ(p.name,
                  c.program.find("korvanectl") != std::string::npos ? "korvanectl" : "korvane");
    }
}

TEST(ProgramPaths, UserDataFolderFollowsTheEnvironment) {
    using kv::PathStyle;
    struct Case {
        kv::UserFolders user;
        PathStyle style;
        const char *dir;
    } cases[] = {
        {{"/data/x", "/home/t", ""}, PathStyle::Posix, "/data/x/korvane/"},
        {{"/data/x/", "/home/t", ""}, PathStyle::Posix, "/data/x/korvane/"},
        {{"relative/x", "/home/t", ""}, PathStyle::Posix, "/home/t/.local/share/korvane/"},
        {{"", "/home/t/", ""}, PathStyle::Posix, "/home/t/.local/share/korvane/"},
        {{"", "", ""}, PathStyle::Posix, ""},
        {{"/data/x", "/home/t", "C:\\L\\"}, PathStyle::Windows, "C:\\L\\Korvane\\"},
        {{"/data/x", "/home/t", ""}, PathStyle::Windows, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kv::UserDataDir(c.user, c.style), c.dir) << c.user.xdgDataHome;
    // With no data folder known, an installed program keeps its files beside itself.
    const kv::ProgramPaths p = kv::ProgramPathsFor("/usr/bin/korvane", {}, PathStyle::Posix);
    EXPECT_EQ(p.dir, "/usr/bin/");
    EXPECT_FALSE(p.installed);
}

TEST(ProgramPaths, DataDirIsMadeWhenFirstAskedFor) {
    TempDir t;
    const kv::ProgramPaths p{"korvane", t.File("share/korvane/"), true};
    EXPECT_FALSE(fs::exists(p.dir));
    EXPECT_EQ(p.DataDir(), p.dir);
    EXPECT_TRUE(fs::is_directory(p.dir));
    // A folder that cannot be made is left to the writes to report.
    TempDir::Write(t.File("file"), "x");
    const kv::ProgramPaths blocked{"korvane", t.File("file/korvane/"), true};
    EXPECT_EQ(blocked.DataDir(), blocked.dir);
    EXPECT_FALSE(fs::exists(blocked.dir));
}

} // namespace
