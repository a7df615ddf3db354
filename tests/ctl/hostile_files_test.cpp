// korvanectl on files that are not what they should be: links, planted temporary names,
// devices, FIFOs, folders and endless or overlong contents in place of its inputs and
// outputs. Every case ends at once with the real reason, and writes only where it should.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/text_files.h"
#include "program_run.h"
#include "sim_fixture.h"
#include "temp_dir.h"

using kvtest::Has;
using kvtest::RunCtl;
using kvtest::TempDir;
namespace fs = std::filesystem;

namespace {

// A calibration file the calculation takes: 0 A and 1 A measured.
constexpr const char *kSav = "0.00\r\n512\r\n\r\n1.00\r\n597\r\n\r\n";

struct Row {
    const char *name;
    std::function<std::vector<std::string>(const TempDir &)> setUp; // the arguments
    int exitCode;
    std::function<std::string(const TempDir &)> err; // a part of standard error
    std::function<void(const TempDir &)> check = {};
};

void RunRows(const std::vector<Row> &rows) {
    for (const Row &r : rows) {
        TempDir d;
        TempDir::Write(d.File("cal.sav"), kSav);
        const auto result = RunCtl(r.setUp(d), 5000); // a wait on a FIFO would be killed
        EXPECT_EQ(result.exitCode, r.exitCode) << r.name << "\n" << result.err;
        EXPECT_TRUE(Has(result.err, r.err(d))) << r.name << "\n" << result.err;
        EXPECT_LT(result.err.size(), 2000u) << r.name; // no overlong value on the terminal
        if (r.check)
            r.check(d);
    }
}

std::vector<std::string> Calc(const TempDir &d, const std::string &out) {
    return {"calc", d.File("cal.sav"), "--ini", d.File("none.ini"), "-o", out, "--yes"};
}

TEST(CtlHostileFiles, OutputsAreReplacedWholeThroughLinksAndNeverWhereTheyShouldNot) {
    auto cannotWrite = [](std::string file, std::string why) {
        return [=](const TempDir &d) {
            return "Cannot write file " + (file.front() == '/' ? file : d.File(file)) + ": " + why;
        };
    };
    auto table = [](const TempDir &d, const std::string &file) {
        return TempDir::Read(d.File(file)).size() > 600; // 224 values
    };
    const std::vector<Row> rows{
        {"a link: its final target is replaced, the link stays",
         [](const TempDir &d) {
             TempDir::Write(d.File("real.epr"), "old");
             ::chmod(d.File("real.epr").c_str(), 0640);
             fs::create_symlink("real.epr", d.File("link.epr"));
             return Calc(d, d.File("link.epr"));
         },
         0, [](const TempDir &) { return std::string(); },
         [&](const TempDir &d) {
             EXPECT_TRUE(fs::is_symlink(d.File("link.epr")));
             EXPECT_TRUE(table(d, "real.epr"));
             struct stat st {};
             ::stat(d.File("real.epr").c_str(), &st);
             EXPECT_EQ(st.st_mode & 0777, 0640u);
         }},
        {"a link planted under the old temporary name is not written through",
         [](const TempDir &d) {
             TempDir::Write(d.File("victim.txt"), "victim");
             fs::create_symlink(d.File("victim.txt"), d.File("out.epr.tmp~"));
             return Calc(d, d.File("out.epr"));
         },
         0, [](const TempDir &) { return std::string(); },
         [&](const TempDir &d) {
             EXPECT_EQ(TempDir::Read(d.File("victim.txt")), "victim");
             EXPECT_FALSE(fs::is_symlink(d.File("out.epr")));
             EXPECT_TRUE(table(d, "out.epr"));
         }},
        {"/dev/null", [](const TempDir &d) { return Calc(d, "/dev/null"); }, 1,
         cannotWrite("/dev/null", kv::kNotARegularFile)},
        {"/dev/full", [](const TempDir &d) { return Calc(d, "/dev/full"); }, 1,
         cannotWrite("/dev/full", kv::kNotARegularFile)},
        {"a FIFO",
         [](const TempDir &d) {
             ::mkfifo(d.File("fifo.epr").c_str(), 0600);
             return Calc(d, d.File("fifo.epr"));
         },
         1, cannotWrite("fifo.epr", kv::kNotARegularFile)},
        {"a folder",
         [](const TempDir &d) {
             fs::create_directory(d.File("dir.epr"));
             return Calc(d, d.File("dir.epr"));
         },
         1, cannotWrite("dir.epr", "Is a directory")},
    };
    RunRows(rows);
}

TEST(CtlHostileFiles, InputsThatNeverEndOrAreNoFilesAreRefusedAtOnce) {
    auto cannotRead = [](std::string file, std::string why) {
        return [=](const TempDir &d) {
            return "Cannot read file " + (file.front() == '/' ? file : d.File(file)) + ": " + why;
        };
    };
    auto fifo = [](const TempDir &d) {
        ::mkfifo(d.File("fifo").c_str(), 0600);
        return d.File("fifo");
    };
    const std::vector<Row> rows{
        {"--ini /dev/zero",
         [](const TempDir &) {
             return std::vector<std::string>{"--ini", "/dev/zero", "--port", "/nonexistent",
                                             "status"};
         },
         1,
         [](const TempDir &) {
             return std::string("Cannot read the settings file /dev/zero: ") + kv::kNotARegularFile;
         }},
        {"--ini FIFO",
         [&](const TempDir &d) {
             return std::vector<std::string>{"--ini", fifo(d), "--port", "/nonexistent", "status"};
         },
         1,
         [](const TempDir &d) {
             return "Cannot read the settings file " + d.File("fifo") + ": " + kv::kNotARegularFile;
         }},
        {"table crc /dev/zero",
         [](const TempDir &) {
             return std::vector<std::string>{"table", "crc", "/dev/zero"};
         },
         1, cannotRead("/dev/zero", kv::kNotARegularFile)},
        {"calc /dev/zero",
         [](const TempDir &) {
             return std::vector<std::string>{"calc", "/dev/zero"};
         },
         1, cannotRead("/dev/zero", kv::kNotARegularFile)},
        {"calc FIFO",
         [&](const TempDir &d) {
             return std::vector<std::string>{"calc", fifo(d)};
         },
         1, cannotRead("fifo", kv::kNotARegularFile)},
        {"inc /dev/zero",
         [](const TempDir &d) {
             return std::vector<std::string>{"inc", "/dev/zero", "-o", d.File("x.inc")};
         },
         1, cannotRead("/dev/zero", kv::kNotARegularFile)},
        {"inc folder",
         [](const TempDir &d) {
             fs::create_directory(d.File("dir.epr"));
             return std::vector<std::string>{"inc", d.File("dir.epr"), "-o", d.File("x.inc")};
         },
         1, cannotRead("dir.epr", "Is a directory"),
         [](const TempDir &d) { EXPECT_FALSE(fs::exists(d.File("x.inc"))); }},
        {"table file of one endless line",
         [](const TempDir &d) {
             TempDir::Write(d.File("long.epr"), "1 2 " + std::string(10'000'000, '7'));
             return std::vector<std::string>{"table", "crc", d.File("long.epr")};
         },
         1, cannotRead("long.epr", "the first line is longer than 65536 bytes")},
        {"table file with a long bad value",
         [](const TempDir &d) {
             TempDir::Write(d.File("bad.epr"), "1 " + std::string(60'000, 'x') + " 3");
             return std::vector<std::string>{"table", "crc", d.File("bad.epr")};
         },
         1,
         [](const TempDir &) {
             return "Error: '" + std::string(40, 'x') + "...' is not a valid integer value";
         }},
        {"calibration file with a long bad value",
         [](const TempDir &d) {
             TempDir::Write(d.File("bad.sav"),
                            "0.00\r\n512\r\n\r\n1." + std::string(900, '5') + "\x1B[2J\r\n597\r\n");
             return std::vector<std::string>{"calc", d.File("bad.sav"), "-o", d.File("o.epr")};
         },
         1,
         [](const TempDir &) {
             return "'1." + std::string(38, '5') + "...' is not a valid floating point value";
         }},
    };
    RunRows(rows);
}

// send-data saves the parameters through a settings file that is a link: the file it
// points to takes them, and the link stays.
TEST(CtlHostileFiles, SendDataWritesTheSettingsThroughALink) {
    kvtest::SimFixture f;
    const std::string real = f.dir().File("real.ini");
    const std::string link = f.dir().File("link.ini");
    f.WriteSettings(real, "AutoSaveData=1\r\n");
    fs::create_symlink(real, link);
    const auto r =
        RunCtl({"send-data", "--fuse-current", "42", "--ini", link, "--yes", "--no-backup"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(Has(TempDir::Read(real), "FuseCurrent=42")) << TempDir::Read(real);
}

} // namespace
