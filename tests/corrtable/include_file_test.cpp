// The include file: its exact bytes, a real assembler's view of it, and the generator's
// handling of existing and unwritable files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

using namespace kv::corrtable;
namespace fs = std::filesystem;

namespace {

// The expected file, line by line, with the entry lines given.
std::string ExpectedFile(const std::vector<int> &words) {
    std::vector<std::string> lines{"corrtablecompute", "     addwf PCL,F", "corrtable"};
    for (int n = 0; n < 256; ++n) {
        if (n % 10 == 0)
            lines.push_back("; " + std::to_string(n));
        lines.push_back("     retlw ." + std::to_string(words[static_cast<std::size_t>(n)]));
    }
    lines.insert(lines.end(), {"", " IF ((HIGH ($-1)) != (HIGH (corrtable)))",
                               "  ERROR \"TABLE CROSSES PAGE BOUNDARY!\"", " ENDIF"});
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + lines[i];
    return text;
}

struct RunResult {
    int status = -1;
    std::string output;
};

RunResult RunCommand(const std::string &command) {
    RunResult r;
    std::FILE *p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Program words from an Intel HEX file, by word address.
std::map<unsigned, unsigned> HexWords(const std::string &hex) {
    std::map<unsigned, std::uint8_t> bytes;
    unsigned base = 0;
    std::size_t pos = 0;
    while ((pos = hex.find(':', pos)) != std::string::npos) {
        auto byteAt = [&](std::size_t i) {
            return static_cast<unsigned>(std::stoul(hex.substr(pos + 1 + 2 * i, 2), nullptr, 16));
        };
        const unsigned count = byteAt(0);
        const unsigned addr = byteAt(1) << 8 | byteAt(2);
        const unsigned type = byteAt(3);
        if (type == 4)
            base = (byteAt(4) << 8 | byteAt(5)) << 16;
        else if (type == 0)
            for (unsigned i = 0; i < count; ++i)
                bytes[base + addr + i] = static_cast<std::uint8_t>(byteAt(4 + i));
        ++pos;
    }
    std::map<unsigned, unsigned> words;
    for (const auto &[addr, b] : bytes)
        if (addr % 2 == 0 && bytes.count(addr + 1))
            words[addr / 2] = b | bytes[addr + 1] << 8;
    return words;
}

const char *const kGpasm = "/usr/bin/gpasm";

} // namespace

TEST(CorrTableInclude, ExactBytes) {
    CorrTableData t{};
    std::vector<int> words(256, 0);
    std::string text = IncludeFileText(t);
    EXPECT_EQ(text, ExpectedFile(words));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 288); // 289 lines
    EXPECT_EQ(text.substr(text.size() - 8), "\r\n ENDIF");

    t[0] = -1;
    t[1] = 5;
    words[0] = 129;
    words[1] = 5;
    EXPECT_EQ(IncludeFileText(t), ExpectedFile(words));
}

TEST(CorrTableInclude, OnlyEntriesUpTo222AreWritten) {
    CorrTableData t{};
    t[100] = -127;
    t[101] = 127;
    t[102] = -128; // only a table file can hold it: its device byte, 0
    t[222] = -2;
    t[223] = 55; // the check byte is not part of the firmware table
    t[224] = 9;
    std::vector<int> words(256, 0);
    words[100] = 255;
    words[101] = 127;
    words[222] = 130;
    EXPECT_EQ(IncludeFileText(t), ExpectedFile(words));
}

TEST(CorrTableInclude, AssemblesOnOnePageAndRefusesToCrossOne) {
    ASSERT_TRUE(fs::exists(kGpasm)) << kGpasm << " is missing (scripts/deps installs gputils)";
    kvtest::TempDir dir;
    CorrTableData t{};
    for (int n = 0; n < kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 53) % 255 - 127);
    t[223] = -1;
    kvtest::TempDir::Write(dir.File("corrtable.inc"), IncludeFileText(t));

    // addwf at 0x0FF puts corrtable at 0x100, the start of a page; one word later the last
    // retlw lands on the next page.
    auto wrapper = [&](const std::string &name, const char *org) {
        kvtest::TempDir::Write(dir.File(name), std::string(" processor p16f84a\n"
                                                           "PCL equ 0x02\n"
                                                           "F equ 1\n"
                                                           " org ") +
                                                   org + "\n#include \"corrtable.inc\"\n end\n");
    };
    wrapper("page.asm", "0x0FF");
    wrapper("cross.asm", "0x100");

    const RunResult ok = RunCommand("cd " + dir.path() + " && " + kGpasm + " page.asm");
    ASSERT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(ok.output.find("Warning"), std::string::npos) << ok.output;
    const auto words = HexWords(kvtest::TempDir::Read(dir.File("page.hex")));
    EXPECT_EQ(words.at(0x0FF), 0x0782u); // addwf PCL,F
    for (int n = 0; n < 256; ++n) {
        const unsigned literal = n < kCorrections ? DeviceByte(t, n) : 0;
        EXPECT_EQ(words.at(0x100u + static_cast<unsigned>(n)), 0x3400u | literal) << n;
    }
    EXPECT_EQ(words.count(0x200), 0u);

    const RunResult cross = RunCommand("cd " + dir.path() + " && " + kGpasm + " cross.asm");
    EXPECT_NE(cross.status, 0);
    EXPECT_NE(cross.output.find("TABLE CROSSES PAGE BOUNDARY!"), std::string::npos) << cross.output;
}

class CorrTableGenerator : public ::testing::Test {
protected:
    void Generate() {
        // As the main window runs it: the outcome's notices shown through the prompter.
        outcome = GenerateIncludeFile(dir.path(), prompter,
                                      [this](const std::string &file, CorrTableData &buffer) {
                                          loads.push_back(file);
                                          return LoadTableFileReporting(file, buffer, prompter);
                                      });
        kv::ShowNotices(NoticesOf(outcome), prompter, {});
    }
    std::string In() const { return dir.File("corrtbl.epr"); }
    std::string Out() const { return dir.File("corrtable.inc"); }

    kvtest::TempDir dir;
    kvtest::ScriptedPrompter prompter;
    std::vector<std::string> loads;
    IncludeOutcome outcome;
};

TEST_F(CorrTableGenerator, MissingInputTouchesNothing) {
    Generate();
    EXPECT_EQ(prompter.messageTexts(), std::vector<std::string>{"File " + In() + " not found!"});
    EXPECT_TRUE(loads.empty());
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(CorrTableGenerator, WritesFromTheTableFileGoingOnAfterItsMessage) {
    // 225 values: "Data too long!", and the generation goes on with the first 224.
    std::string values = "-1 5 ";
    for (int i = 0; i < 223; ++i)
        values += "0 ";
    kvtest::TempDir::Write(In(), values);
    Generate();
    EXPECT_EQ(loads, std::vector<std::string>{In()});
    EXPECT_EQ(prompter.messageTexts(),
              (std::vector<std::string>{kDataTooLong, "File " + Out() + " created!"}));
    std::vector<int> words(256, 0);
    words[0] = 129;
    words[1] = 5;
    EXPECT_EQ(kvtest::TempDir::Read(Out()), ExpectedFile(words));
}

TEST_F(CorrTableGenerator, AsksBeforeReplacingAndNeverAppends) {
    kvtest::TempDir::Write(In(), "3 ");
    kvtest::TempDir::Write(Out(), "old");
    prompter.AnswerMessage(kv::IdNo);
    Generate();
    EXPECT_EQ(prompter.messageTexts(), std::vector<std::string>{"Overwrite file " + Out() + "?"});
    EXPECT_EQ(kvtest::TempDir::Read(Out()), "old");

    prompter.clear();
    prompter.AnswerMessage(kv::IdYes);
    Generate();
    EXPECT_EQ(prompter.messageTexts(), (std::vector<std::string>{"Overwrite file " + Out() + "?",
                                                                 "File " + Out() + " created!"}));
    std::vector<int> words(256, 0);
    words[0] = 3;
    EXPECT_EQ(kvtest::TempDir::Read(Out()), ExpectedFile(words));
}

TEST_F(CorrTableGenerator, UnwritableOutputIsReportedAndTheOldFileKept) {
    kvtest::TempDir::Write(In(), "3 ");
    kvtest::TempDir::Write(Out(), "old");
    fs::permissions(Out(), fs::perms::owner_read);
    prompter.AnswerMessage(kv::IdYes);
    Generate();
    const auto texts = prompter.messageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].rfind("Cannot write file " + Out() + ": ", 0), 0u) << texts[1];
    EXPECT_EQ(prompter.prompts()[1].icon, kv::MsgIcon::Error);
    EXPECT_EQ(kvtest::TempDir::Read(Out()), "old");

    // A folder where the file should go.
    fs::permissions(Out(), fs::perms::owner_all);
    fs::remove(Out());
    fs::create_directory(Out());
    prompter.clear();
    Generate();
    ASSERT_EQ(prompter.messageTexts().size(), 1u);
    EXPECT_EQ(prompter.messageTexts()[0].rfind("Cannot write file " + Out(), 0), 0u);
}
