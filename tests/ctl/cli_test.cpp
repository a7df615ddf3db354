// The command line of korvanectl: help, usage errors and their exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/json.h"
#include "app/text_files.h"
#include "fake_sysfs.h"
#include "program_run.h"

using kvtest::Has;
using kvtest::Lines;
using kvtest::RunCtl;

namespace {

TEST(CtlCli, HelpListsEveryCommandAndEachCommandHasItsOwn) {
    auto r = RunCtl({"--help"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char *c : {"status", "get-data", "send-data", "relay on|off", "current", "crc-check",
                          "table read", "table write", "table crc", "inc", "calc"})
        EXPECT_NE(r.out.find(c), std::string::npos) << c;
    // Where the files are: named after the program, beside this build's (portable) copy.
    const std::string bin = std::getenv("KORVANE_BIN_DIR");
    EXPECT_NE(r.out.find("Files (korvanectl.ini, korvanectl.adc): " + bin +
                         "/\n  (the program's own "
                         "folder: a portable copy)"),
              std::string::npos)
        << r.out;

    struct Case {
        std::vector<std::string> args;
        const char *usage;
    } cases[] = {
        {{"status", "--help"}, "usage: korvanectl status [--stored] [--json]"},
        {{"send-data", "-h"}, "usage: korvanectl send-data [--fuse-current N]"},
        {{"help-me", "--help"}, nullptr},
        {{"--help", "table", "write"}, "usage: korvanectl table write FILE.epr"},
        {{"current", "--help"}, "[--vref] [--every SECONDS] [--count N] [--log FILE]"},
        {{"calc", "--help"}, "usage: korvanectl calc FILE.sav [--multiply N] [--offset Z]"},
        {{"table", "--help"}, "usage: korvanectl table crc FILE.epr"},
        {{"-y", "current", "-h", "--port", "p"}, "[--vref] [--every SECONDS]"},
    };
    for (const auto &c : cases) {
        auto h = RunCtl(c.args);
        if (!c.usage) {
            EXPECT_EQ(h.exitCode, 2) << c.args[0];
            continue;
        }
        EXPECT_EQ(h.exitCode, 0) << c.args[0] << h.err;
        EXPECT_NE(h.out.find(c.usage), std::string::npos) << h.out;
        EXPECT_TRUE(h.err.empty()) << h.err;
    }
}

// Every usage error: exit status 2, the reason and the command's usage line on standard
// error, nothing on standard output, and no device touched (no --port is reachable).
TEST(CtlCli, UsageErrorsExitWithTwoAndAUsageLine) {
    struct Case {
        std::vector<std::string> args;
        const char *reason;
        const char *usage;
    } cases[] = {
        {{}, "no command given", "usage: korvanectl [common options] COMMAND"},
        {{"reboot"}, "unknown command reboot", "usage: korvanectl [common options]"},
        {{"status", "--bogus"}, "unknown option --bogus", "usage: korvanectl [common options]"},
        {{"status", "extra"}, "unexpected argument extra", "usage: korvanectl status"},
        {{"get-data", "--stored"},
         "option --stored does not apply to get-data",
         "usage: korvanectl get-data"},
        {{"relay"}, "relay needs on|off", "usage: korvanectl relay on|off"},
        {{"relay", "toggle", "--port", "/nonexistent"},
         "relay takes on or off, not toggle",
         "usage: korvanectl relay on|off"},
        {{"table"}, "table needs read, write or crc", "usage: korvanectl table read"},
        {{"table", "copy", "x.epr"}, "unknown command table copy", "usage: korvanectl"},
        {{"table", "write"}, "table write needs FILE.epr", "usage: korvanectl table write"},
        {{"inc", "a.epr", "b.epr"}, "unexpected argument b.epr", "usage: korvanectl inc"},
        {{"inc", "a.epr", "-o"}, "option --output needs a value (FILE)", "usage: korvanectl inc"},
        {{"--port", "status"}, "option --port needs a value (NAME)", "usage: korvanectl status"},
        {{"--stored", "status"},
         "option --stored stands before status; give it after the command",
         "usage: korvanectl status"},
        {{"status", "--", "--stored"}, "unexpected argument --stored", "usage: korvanectl status"},
        {{"current", "--vref=1"}, "option --vref takes no value", "usage: korvanectl current"},
        {{"status", "--baud", "fast", "--port", "/nonexistent"},
         "option --baud: 'fast' is not a valid integer value",
         "usage: korvanectl status"},
        {{"current", "--count", "3", "--port", "/nonexistent"},
         "--count needs --every",
         "usage: korvanectl current"},
        {{"current", "--every", "0", "--count", "2", "--port", "/nonexistent"},
         "option --every must be 1..86400",
         "usage: korvanectl current"},
        {{"current", "--vref", "2"},
         "option --vref takes no value, found 2",
         "usage: korvanectl current"},
        {{"current", "--vref", "-1"},
         "option --vref takes no value, found -1",
         "usage: korvanectl current"},
        {{"current", "--every", "1", "--port", "/nonexistent"},
         "--every needs --count",
         "usage: korvanectl current"},
        {{"current", "--every", "99999999999", "--count", "1", "--port", "/nonexistent"},
         "option --every: '99999999999' is not a valid integer value",
         "usage: korvanectl current"},
        {{"send-data", "--vref", "-1", "--port", "/nonexistent"},
         "option --vref must be 0 or 1",
         "usage: korvanectl send-data"},
        {{"send-data", "--average", "yes", "--port", "/nonexistent"},
         "option --average must be 0 or 1",
         "usage: korvanectl send-data"},
        {{"send-data", "--vref"},
         "option --vref needs a value (0|1)",
         "usage: korvanectl send-data"},
        {{"status", "--stored", "--stored"},
         "option --stored given twice",
         "usage: korvanectl status"},
        {{"status", "--stored=1"}, "option --stored takes no value", "usage: korvanectl status"},
        {{"status", "--timeout", "99", "--port", "/nonexistent"},
         "option --timeout must be 100..60000",
         "usage: korvanectl status"},
        {{"calc", "a.sav", "--timeout", "60001"},
         "option --timeout must be 100..60000",
         "usage: korvanectl calc"},
        {{"help", "reboot"}, "unknown command reboot", "usage: korvanectl [common options]"},
    };
    for (const auto &c : cases) {
        auto r = RunCtl(c.args);
        std::string name = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.exitCode, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(std::string("korvanectl: ") + c.reason), std::string::npos)
            << name << ": " << r.err;
        EXPECT_NE(r.err.find(c.usage), std::string::npos) << name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << name << ": " << r.out;
    }
}

TEST(CtlCli, PortsListsEachAdapterWithItsIdentity) {
    kvtest::FakeMachine m;
    const std::string root = m.File("");
    const std::string dev = m.File("dev/");
    // Two adapters of one kind told apart by their serial numbers, one without a serial.
    const struct {
        std::string name, serial, byId;
    } rows[] = {
        {"ttyACM0", "7573530383", ""},
        {"ttyS0", "", ""},
        {"ttyUSB0", "A50285BI", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
        {"ttyUSB2", "A50285BJ", "usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0"},
        {"ttyUSB10", "", "usb-1a86_USB_Serial-if00-port0"},
    };
    auto json = RunCtl({"ports", "--json", "--root", root});
    auto text = RunCtl({"ports", "--root", root});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(text.exitCode, 0) << text.err;
    std::size_t jsonAt = 0, textAt = 0;
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        // One object a line, in counting order.
        const std::size_t eol = json.out.find('\n', jsonAt);
        ASSERT_NE(eol, std::string::npos);
        const std::string line = json.out.substr(jsonAt, eol - jsonAt);
        jsonAt = eol + 1;
        EXPECT_NE(line.find("{\"port\":\"" + dev + r.name + "\",\"name\":\"" + r.name + "\""),
                  std::string::npos)
            << line;
        EXPECT_EQ(line.find("\"serial\":\"" + r.serial + "\"") != std::string::npos,
                  !r.serial.empty())
            << line;
        if (!r.byId.empty()) {
            EXPECT_NE(line.find("\"by_id\":\"" + dev + "serial/by-id/" + r.byId + "\""),
                      std::string::npos)
                << line;
        }
        // The text: the device on a line of its own, its facts indented below it.
        textAt = text.out.find(dev + r.name + "\n", textAt);
        ASSERT_NE(textAt, std::string::npos) << text.out;
        const std::size_t blockEnd = std::min(text.out.find("\n\n", textAt) + 1, text.out.size());
        const std::string block = text.out.substr(textAt, blockEnd - textAt);
        EXPECT_EQ(block.find("  serial: " + r.serial + "\n") != std::string::npos,
                  !r.serial.empty())
            << block;
    }
    EXPECT_EQ(jsonAt, json.out.size()) << json.out;

    kvtest::TempDir empty;
    auto none = RunCtl({"ports", "--root", empty.File("")});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "korvanectl: no serial ports found\n");
}

// A copied system tree may hold anything under an attribute's name: a link to /dev/zero
// (endless), a FIFO (no writer: a read waits for ever), a file of control sequences and
// bytes that are not UTF-8. The listing ends at once, reads no such file, shows the strings
// escaped, and its JSON stays valid UTF-8.
TEST(CtlCli, PortsReadsAttributesBoundedAndShowsThemSafely) {
    kvtest::FakeMachine m;
    const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/";
    std::filesystem::remove(m.File(usb + "manufacturer"));
    std::filesystem::create_symlink("/dev/zero", m.File(usb + "manufacturer"));
    std::filesystem::remove(m.File(usb + "product"));
    ASSERT_EQ(mkfifo(m.File(usb + "product").c_str(), 0600), 0);
    std::filesystem::remove(m.File(usb + "serial"));
    std::ofstream(m.File(usb + "serial")) << "A5\x1B]0;owned\x07\xFF\xC3(\n";
    std::filesystem::resize_file(m.File("sys/devices/pci0000:00/0000:00:14.0/usb1/1-3/serial"),
                                 1 << 20); // a megabyte of zeros on a line

    const auto json = RunCtl({"ports", "--json", "--root", m.File("")}, 10000);
    const auto text = RunCtl({"ports", "--root", m.File("")}, 10000);
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const auto &line : Lines(json.out)) {
        EXPECT_TRUE(kv::json::Parse(line)) << line;
        EXPECT_EQ(kv::json::ValidUtf8(line), line);
    }
    // Each byte that is not UTF-8 as the replacement character U+FFFD.
    EXPECT_TRUE(Has(json.out, "\"serial\":\"A5\\u001b]0;owned\\u0007\xEF\xBF\xBD\xEF\xBF\xBD(\""))
        << json.out;
    EXPECT_TRUE(Has(text.out, "  serial: A5\\x1B]0;owned\\x07\\xFF\\xC3(\n")) << text.out;
    EXPECT_EQ(text.out.find('\x1B'), std::string::npos);
    EXPECT_LT(text.out.size(), 4000u);
    // The adapter without its strings is still listed, with what could be read.
    const std::size_t at = text.out.find("ttyUSB0\n  name: ttyUSB0");
    ASSERT_NE(at, std::string::npos) << text.out;
    const std::string block = text.out.substr(at, text.out.find("\n\n", at) - at);
    EXPECT_TRUE(Has(block, "vendor_id: 0403")) << block;
    EXPECT_FALSE(Has(block, "manufacturer")) << block;
    EXPECT_FALSE(Has(block, "product:")) << block;
}

} // namespace

namespace {

// korvanectl with standard input from a file.
kvtest::ProgramResult RunCtlFrom(const std::string &input, std::vector<std::string> args) {
    args.insert(args.begin(),
                {"-c", "exec \"$0\" \"$@\" <\"$KV_INPUT\"", kvtest::KorvanectlPath()});
    setenv("KV_INPUT", input.c_str(), 1);
    return kvtest::RunProgram("/bin/sh", args);
}

std::string FileText(const std::string &path) {
    std::string s;
    EXPECT_TRUE(kv::ReadTextFile(path, 1 << 20, s)) << path;
    return s;
}

} // namespace

// What people type without thinking: --version, help COMMAND, "-" for standard input and
// output, JSON also on failure, the common options on every command, -q.
TEST(CtlCli, ConventionsOfTheUsualTools) {
    kvtest::TempDir dir;
    const std::string sav = dir.File("cal.sav"), epr = dir.File("cal.epr");
    kvtest::TempDir::Write(sav, "0.00\r\n3\r\n\r\n1.00\r\n90\r\n\r\n");

    for (const char *flag : {"--version", "-V"}) {
        const auto v = RunCtl({flag});
        EXPECT_EQ(v.exitCode, 0) << v.err;
        EXPECT_EQ(v.out.rfind("korvanectl 1.", 0), 0u) << v.out;
    }
    EXPECT_EQ(RunCtl({"help", "table", "write"}).out, RunCtl({"table", "write", "--help"}).out);
    EXPECT_EQ(RunCtl({"help"}).out, RunCtl({"--help"}).out);

    // "-" round trips: the same bytes as through named files.
    ASSERT_EQ(RunCtl({"calc", sav, "-o", epr}).exitCode, 0);
    ASSERT_EQ(RunCtl({"inc", epr, "-o", dir.File("named.inc")}).exitCode, 0);
    struct Trip {
        std::vector<std::string> args;
        std::string input, expected;
    } trips[] = {
        {{"calc", "-", "-o", "-"}, sav, FileText(epr)},
        {{"calc", sav, "-o", "-"}, sav, FileText(epr)},
        {{"inc", "-", "-o", "-"}, epr, FileText(dir.File("named.inc"))},
        {{"table", "crc", "-"}, epr, RunCtl({"table", "crc", epr}).out},
    };
    for (const auto &t : trips) {
        const auto r = RunCtlFrom(t.input, t.args);
        EXPECT_EQ(r.exitCode, 0) << t.args[0] << ": " << r.err;
        EXPECT_EQ(r.out, t.expected) << t.args[0];
        // The results name standard output, not a temporary file.
        EXPECT_EQ(r.err.find("/korvanectl-"), std::string::npos) << r.err;
    }

    // JSON also on failure, for a command without JSON fields of its own.
    const auto failed = RunCtl({"calc", dir.File("missing.sav"), "--json"});
    EXPECT_EQ(failed.exitCode, 1);
    const auto j = kv::json::Parse(failed.out);
    ASSERT_TRUE(j) << failed.out;
    EXPECT_EQ(kv::json::At(*j, "command"), "calc");
    EXPECT_EQ(kv::json::At(*j, "ok"), false);
    EXPECT_NE(kv::json::Str(kv::json::At(*j, "error")).find("missing.sav"), std::string::npos);
    // Every message on standard error names the program first.
    EXPECT_EQ(failed.err.rfind("korvanectl: ", 0), 0u) << failed.err;

    // The common options work on every command; the port's are ignored where there is none.
    const auto ignored = RunCtl({"calc", sav, "-o", epr, "--yes", "--port", "/dev/x", "-v"});
    EXPECT_EQ(ignored.exitCode, 0) << ignored.err;
    EXPECT_NE(ignored.err.find("korvanectl: --port is ignored by calc"), std::string::npos);
    EXPECT_EQ(RunCtl({"calc", sav, "-o", epr, "--yes", "--port", "/dev/x"}).err.find("ignored"),
              std::string::npos);

    // -q: only errors.
    const std::string root = dir.File("empty-root");
    std::filesystem::create_directories(root + "/sys");
    EXPECT_EQ(RunCtl({"ports", "--root", root, "-q"}).err, "");
    EXPECT_EQ(RunCtl({"ports", "--root", root}).err, "korvanectl: no serial ports found\n");
}
