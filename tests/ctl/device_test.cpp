// korvanectl's device commands run as a process against the simulated fuse on a
// pseudo-terminal, the settings file pointing at it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/format.h"
#include "app/json.h"
#include "app/settings_file.h"
#include "app/text_files.h"
#include "device/current.h"
#include "device/parameters.h"
#include "device/status.h"
#include "program_run.h"
#include "sim_fixture.h"

using kvtest::Has;
using kvtest::Lines;
using kvtest::ProgramResult;
using kvtest::SimFixture;
using namespace std::chrono_literals;

namespace {

// The codes of the frames the fuse received.
std::vector<int> Codes(SimFixture &f) {
    std::vector<int> codes;
    for (const auto &frame : f.sim().Frames())
        codes.push_back(frame[0]);
    return codes;
}

ProgramResult Ctl(SimFixture &f, std::vector<std::string> args) {
    args.push_back("--ini");
    args.push_back(f.iniFile());
    // Parameter backups go to the test's folder, not beside the program.
    if (args[0] == "send-data" || args[0] == "params")
        args.insert(args.end(), {"--backup-dir", f.dir().File("backups")});
    return kvtest::RunCtl(args);
}

kv::device::DeviceStatus Record(SimFixture &f, bool stored) {
    const auto bytes = f.sim().StatusRecord(stored);
    return kv::device::StatusFromBytes(std::span<const std::uint8_t, 23>(bytes));
}

// The report as a reader of the log pane sees it: the caption line on top.
std::vector<std::string> TopFirst(std::vector<std::string> logged) {
    std::reverse(logged.begin(), logged.end());
    return logged;
}

// --timestamps puts the time of day before each traffic line; the results stay as they were.
TEST(CtlDevice, TimestampsBeforeTheVerboseLines) {
    SimFixture f;
    const auto plain = Ctl(f, {"status", "-v"});
    const auto stamped = Ctl(f, {"status", "-v", "--timestamps"});
    ASSERT_EQ(stamped.exitCode, 0) << stamped.err;
    EXPECT_EQ(stamped.out, plain.out);
    const auto plainLines = Lines(plain.err);
    const auto lines = Lines(stamped.err);
    ASSERT_EQ(lines.size(), plainLines.size());
    ASSERT_FALSE(lines.empty());
    const std::regex stamp("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} ");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_search(lines[i], stamp)) << lines[i];
        EXPECT_EQ(lines[i].substr(13), plainLines[i]);
    }
}

TEST(CtlDevice, StatusPrintsTheReportCaptionFirstForLiveAndStoredValues) {
    kv::sim::Options o;
    o.relayOn = true;
    o.relayOffCount = 1000;
    o.held = {55, 3, 77, 12, 1, 0, 9};
    o.stored = {40, 2, 70, 10, 0, 1, 5};
    SimFixture f(o);

    auto r = Ctl(f, {"status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              TopFirst(kv::device::StatusReportLines(Record(f, false), "Last Values")));
    EXPECT_EQ(Lines(r.out).front(), "  Last Values [Relay is currently On]");
    EXPECT_TRUE(Has(r.out, "> Last relay offtime:1024ms [0m1s24ms]"));
    EXPECT_TRUE(Has(r.out, "> Fuse current=55, Zero offset=3"));

    r = Ctl(f, {"status", "--stored"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              TopFirst(kv::device::StatusReportLines(Record(f, true), "Last Stored Values")));
    EXPECT_EQ(Codes(f), (std::vector<int>{0x15, 0x14}));

    r = Ctl(f, {"status", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_TRUE(Has(r.out, "{\"command\":\"status\",\"ok\":true,\"stored\":false,"));
    EXPECT_TRUE(Has(r.out, "\"fuse_current\":55,\"zero_offset\":3,\"overload_time\":"));
    EXPECT_TRUE(Has(r.out, "\"current_multiply\":77,"));
    EXPECT_TRUE(
        Has(r.out, "\"relay_off_time_ms\":1024,\"relay_on\":true,\"manual_switch_off\":false"));
    EXPECT_TRUE(Has(r.out, "\"lines\":[\"  Last Values [Relay is currently On]\","));
}

TEST(CtlDevice, GetDataPrintsTheParametersAsSettingsKeys) {
    kv::sim::Options o;
    o.held = {12, 4, 85, 200, 2, 1, 16}; // UseVref 2 counts as set
    SimFixture f(o);
    auto r = Ctl(f, {"get-data"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "FuseCurrent=12\nZeroOffset=4\nOverloadTimer=200\nADCcurrentMultiply=85\n"
                     "MeasureCount=16\nUseAverage=1\nUseVref=1\n");
    r = Ctl(f, {"get-data", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"command\":\"get-data\",\"ok\":true,\"fuse_current\":12,"
                     "\"zero_offset\":4,\"overload_time\":200,\"current_multiply\":85,"
                     "\"measure_count\":16,\"use_average\":true,\"use_vref\":true}\n");
}

TEST(CtlDevice, SendDataSetsStoresAndSavesOnlyWhenConfirmed) {
    SimFixture f;
    const std::string before = kvtest::TempDir::Read(f.iniFile());

    // Without --yes the confirmation is refused: nothing sent, nothing saved.
    auto r = Ctl(f, {"send-data", "--fuse-current", "42"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Fuse current: 42\nZero offset: 0\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "confirmation refused")) << r.err;
    EXPECT_EQ(f.sim().FrameCount(), 0u);
    EXPECT_EQ(kvtest::TempDir::Read(f.iniFile()), before);

    // Out-of-range values are reported and replaced, and the replacements are sent.
    r = Ctl(f, {"send-data", "--yes", "--fuse-current", "150", "--zero-offset", "0x10",
                "--multiply", "0", "--measure-count", "7", "--average", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Error: Current must be < 100!")) << r.err;
    EXPECT_TRUE(Has(r.err, "Error: I to ADC multiply must be > 0!")) << r.err;
    const kv::sim::FuseParams sent{99, 16, 1, 0, 0, 1, 7};
    EXPECT_EQ(f.sim().HeldParams(), sent);
    EXPECT_EQ(f.sim().StoredParams(), sent);
    // The status read first keeps the parameters the device held in a backup file.
    EXPECT_EQ(Codes(f), (std::vector<int>{0x15, 0x16, 0x15, 0x17}));
    kv::device::FuseParameters p{99, 16, 0, 1, 7, true, false};
    EXPECT_TRUE(r.out.ends_with(kv::Format("CRC OK [0x%x]\n", {kv::device::ParametersCrc(p)})))
        << r.out;

    // AutoSaveData (on by default) kept the values sent, not the texts typed.
    kv::IniFile ini(f.iniFile());
    EXPECT_EQ(ini.ReadInteger("init", "FuseCurrent", -1), 99);
    EXPECT_EQ(ini.ReadInteger("init", "ZeroOffset", -1), 16);
    EXPECT_EQ(ini.ReadInteger("init", "ADCcurrentMultiply", -1), 1);
    EXPECT_TRUE(ini.ReadBool("init", "UseAverage", false));
    EXPECT_EQ(ini.ReadString("init", "port", ""), f.port());

    // A value that is not a number ends it before anything is asked or sent.
    f.sim().ClearFrames();
    r = Ctl(f, {"send-data", "--yes", "--overload-time", "abc"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "'abc' is not a valid integer value")) << r.err;
    EXPECT_EQ(f.sim().FrameCount(), 0u);
}

TEST(CtlDevice, SendDataStopsAtTheFirstFailingStep) {
    SimFixture f;
    f.WriteSettings(f.iniFile(), "AutoSaveData=0\r\n");
    const std::string before = kvtest::TempDir::Read(f.iniFile());

    f.sim().SetReadBackMismatch(9); // UseAverage reads back flipped
    auto r = Ctl(f, {"send-data", "-y", "--fuse-current", "30"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: Data set error!")) << r.err;
    EXPECT_EQ(Codes(f), (std::vector<int>{0x15, 0x16, 0x15})); // no WriteData
    EXPECT_EQ(kvtest::TempDir::Read(f.iniFile()), before);

    f.sim().SetReadBackMismatch(-1);
    f.sim().SetWrongWriteCrc(true);
    r = Ctl(f, {"send-data", "-y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: CRC NOT OK!\n\nCalculated 0x")) << r.err;
}

TEST(CtlDevice, RelaySwitchesToTheAskedStateAndConfirmsIt) {
    SimFixture f;
    auto r = Ctl(f, {"relay", "off"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Relay is already Off\n");

    r = Ctl(f, {"relay", "on"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Question: Relay ON? -> No (confirm with --yes)")) << r.err;
    EXPECT_FALSE(f.sim().Relay());

    f.sim().ClearFrames();
    r = Ctl(f, {"relay", "on", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Relay is currently On\n");
    EXPECT_TRUE(f.sim().Relay());
    EXPECT_EQ(Codes(f), (std::vector<int>{0x15, 0x15, 0x08, 0x15}));

    r = Ctl(f, {"relay", "off"}); // switching off asks nothing
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(f.sim().Relay());
}

TEST(CtlDevice, RelayIsRefusedWhileTheManualSwitchIsOff) {
    kv::sim::Options o;
    o.manualSwitchOff = true;
    o.relayOn = true;
    SimFixture f(o);
    for (const char *state : {"on", "off"}) {
        f.sim().ClearFrames();
        auto r = Ctl(f, {"relay", state, "--yes"});
        EXPECT_EQ(r.exitCode, 1) << state;
        EXPECT_TRUE(Has(r.err, "Manual switch is OFF!")) << r.err;
        for (int code : Codes(f))
            EXPECT_EQ(code, 0x15) << state; // no relay command went out
    }
    EXPECT_TRUE(f.sim().Relay());
}

TEST(CtlDevice, CurrentReportsOneMeasurementOrATimedSeriesIntoTheLog) {
    kv::sim::Options o;
    o.adc = 500;
    o.held.multiply = 100;
    o.held.zeroOffset = 5;
    o.relayOn = true;
    SimFixture f(o);

    auto r = Ctl(f, {"current"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "  Actual ADC measure [Relay is On]",
                                "> Current:5.00A, Voltage: 2.44379V",
                                "> ADC 500 [ADCHi 1, ADCLo 244]",
                                "> Zero offset:5, I to ADC current multiply:100",
                                ">",
                            }));

    // --vref uses RefVoltage from the settings file.
    f.WriteSettings(f.iniFile(), "RefVoltage=2.046\r\n");
    r = Ctl(f, {"current", "--vref", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The library writes numbers in their shortest form: 1.0, not 1.00000.
    EXPECT_TRUE(Has(r.out, "\"adc\":500,\"adc_hi\":1,\"adc_lo\":244,\"zero_offset\":5,"
                           "\"current_multiply\":100,\"device_port\":8,\"voltage\":1.0,"
                           "\"current\":5.0,\"relay_on\":true"))
        << r.out;
    const auto sample = kv::json::Parse(r.out);
    ASSERT_TRUE(sample) << r.out;
    // ISO 8601 with the zone: "2025-05-20T16:03:07+02:00".
    const std::string time = kv::json::Str(kv::json::At(*sample, "time"));
    EXPECT_EQ(time.size(), 25u) << time;
    EXPECT_EQ(time[10], 'T') << time;
    EXPECT_TRUE(time[19] == '+' || time[19] == '-') << time;

    // Timed: a new log file gets its header, then one line per measurement; the device's
    // own UseVref decides the scale.
    f.sim().SetHeldParams({99, 5, 100, 0, 1, 0, 20});
    const std::string log = f.dir().File("current.adc");
    r = Ctl(f, {"current", "--every", "1", "--count", "2", "--log", log});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10);
    const std::string text = kvtest::TempDir::Read(log);
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 3u) << text;
    EXPECT_EQ(lines[0], "Date       Time      ADC  Hi  Lo  Zo Mul   Volt   Curr Relay\r");
    for (int i = 1; i <= 2; ++i)
        EXPECT_EQ(lines[static_cast<std::size_t>(i)].substr(19),
                  "  500   1 244   5 100   1.00   5.00 On\r");
    EXPECT_EQ(Codes(f), (std::vector<int>{0x1B, 0x1B, 0x15, 0x1B, 0x15, 0x1B}));

    // A log that cannot take the line fails the command, single or timed.
    for (auto args : {std::vector<std::string>{"current", "--log", "/dev/full"},
                      std::vector<std::string>{"current", "--every", "1", "--count", "1", "--log",
                                               "/dev/full"}}) {
        r = Ctl(f, args);
        EXPECT_EQ(r.exitCode, 1) << args.size();
        EXPECT_TRUE(Has(r.err, "/dev/full")) << r.err;
    }
}

TEST(CtlDevice, CrcCheckComparesTheParametersWithTheDevice) {
    kv::sim::Options o;
    o.held = {99, 0, 150, 0, 0, 0, 44};
    SimFixture f(o);
    // The check's own limits: multiply 150 enters as 150, count 300 as its low byte 44.
    auto r = Ctl(f, {"crc-check", "--multiply", "150", "--measure-count", "300"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::uint8_t crc = kv::device::ParametersCrc({99, 0, 0, 150, 44, false, false});
    EXPECT_EQ(r.out, kv::Format("Calculated CRC is %d [0x%0.2x]\nReturned CRC is %d [0x%0.2x]\n",
                                {crc, crc, crc, crc}));
    EXPECT_TRUE(Has(r.err, kv::Format("CRC OK [0x%0.2x]", {crc}))) << r.err;

    r = Ctl(f, {"crc-check"}); // the settings file's multiply 10 and count 20
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Error: CRC NOT OK! [D: 0x")) << r.err;
}

// A device that does not answer: every command fails with the link's "Receive error!" and
// its own failure text, after the 2-second limit.
TEST(CtlDevice, SilentDeviceFailsEveryCommandWithItsOwnMessage) {
    SimFixture f;
    f.sim().SetSilent(true);
    const std::string table = f.dir().File("t.epr");
    kvtest::TempDir::Write(table, "1 2 3 ");
    struct Case {
        std::vector<std::string> args;
        const char *failure;
    } cases[] = {
        {{"status"}, "Error: GetStatus error!"},
        {{"get-data", "--json"}, "Error: GetStatus error!"},
        {{"status", "--json"}, "Error: GetStatus error!"},
        {{"relay", "on", "--yes", "--json"}, "Error: GetStatus error!"},
        {{"current", "--json"}, "Error: GetCurrent error!"},
        {{"send-data", "--yes"}, "Error: SetStatus error!"},
        {{"relay", "on", "--yes"}, "Error: GetStatus error!"},
        {{"current"}, "Error: GetCurrent error!"},
        {{"current", "--every", "1", "--count", "1", "--log", f.dir().File("x.adc")},
         "GetCurrent error!"},
        {{"crc-check"}, "Error: GetStatus error!"},
        {{"table", "read", f.dir().File("out.epr")}, "the table read stopped at block 1 of 28"},
        {{"table", "write", table, "--force"},
         "the device's table could not be read (stopped at block 1 of 28); nothing written"},
        {{"table", "write", table, "--force", "--json"}, "nothing written"},
    };
    for (const auto &c : cases) {
        auto r = Ctl(f, c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args[0] << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "Receive error!")) << c.args[0] << ": " << r.err;
        EXPECT_TRUE(Has(r.err, c.failure)) << c.args[0] << ": " << r.err;
        // With --json the failure is an object too: ok false, and the first problem.
        if (std::find(c.args.begin(), c.args.end(), "--json") != c.args.end()) {
            ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
            const auto j = kv::json::Parse(r.out);
            ASSERT_TRUE(j) << r.out;
            EXPECT_EQ(kv::json::At(*j, "ok"), false) << r.out;
            const std::string error = kv::json::Str(kv::json::At(*j, "error"));
            EXPECT_FALSE(error.empty()) << r.out;
            EXPECT_TRUE(Has(r.err, error)) << r.out;
            EXPECT_EQ(kv::json::Str(kv::json::At(*j, "command")).rfind(c.args[0], 0), 0u);
        } else if (c.args[0] == "crc-check")
            // crc-check has computed its own CRC before it asks the device.
            EXPECT_EQ(r.out.rfind("Calculated CRC is ", 0), 0u) << r.out;
        else
            EXPECT_TRUE(r.out.empty()) << c.args[0] << ": " << r.out;
    }
    EXPECT_FALSE(kv::FileExists(f.dir().File("out.epr")));
}

// Without --ini the settings file beside the program is read, as the windows read theirs;
// --port overrides its "port".
TEST(CtlDevice, SettingsFileBesideTheProgramAndPortOverride) {
    kv::sim::Options o;
    o.held.fuseCurrent = 33;
    SimFixture f(o);
    const std::string program = f.dir().File("kvctl.copy.bin");
    std::filesystem::copy_file(kvtest::KorvanectlPath(), program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    f.WriteSettings(f.dir().File("kvctl.copy.ini"));
    auto r = kvtest::RunProgram(program, {"get-data"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "FuseCurrent=33\n")) << r.out;

    kvtest::TempDir::Write(f.dir().File("kvctl.copy.ini"), "[init]\r\nport=/nonexistent/tty\r\n");
    r = kvtest::RunProgram(program, {"get-data"});
    EXPECT_EQ(r.exitCode, 1);
    r = kvtest::RunProgram(program, {"get-data", "--port", f.port()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(CtlDevice, PortThatCannotBeOpenedFailsWithTheSystemsReason) {
    auto r = kvtest::RunCtl({"status", "--port", "/nonexistent/ttyX"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "No such file or directory")) << r.err;
    EXPECT_TRUE(Has(r.err, "korvanectl: the port could not be opened")) << r.err;
}

TEST(CtlDevice, ResultsThatCannotBeWrittenFailTheCommand) {
    SimFixture f, g;
    const std::string table = f.dir().File("t.epr");
    const std::vector<std::vector<std::string>> commands = {
        {"status", "--json"},
        {"get-data"},
        {"current"},
        {"table", "read", table},
        {"status", "--port", f.port(), "--port", g.port(), "--json"},
    };
    for (auto args : commands) {
        SCOPED_TRACE(args[0]);
        // Standard output on a full disk.
        std::vector<std::string> sh = {"-c", "exec \"$0\" \"$@\" >/dev/full",
                                       kvtest::KorvanectlPath()};
        sh.insert(sh.end(), args.begin(), args.end());
        sh.insert(sh.end(), {"--ini", f.iniFile()});
        auto r = kvtest::RunProgram("/bin/sh", sh);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "korvanectl: cannot write standard output: No space left on device"))
            << r.err;
    }
}

TEST(CtlDevice, TimedSeriesSkipsMissedSlotsAndReopensAfterAHangUp) {
    SimFixture f;
    const std::string log = f.dir().File("series.adc");
    // The second measurement's status frame pulls the adapter: that measurement times out,
    // the next one's write fails, and the one after opens the port again.
    f.sim().HangUpAfterFrames(2);
    kvtest::ProgramResult r;
    const auto start = std::chrono::steady_clock::now();
    std::thread run([&] { r = Ctl(f, {"current", "--every", "1", "--count", "4", "--log", log}); });
    while (!f.sim().HungUp() && std::chrono::steady_clock::now() - start < 20s)
        std::this_thread::sleep_for(10ms);
    f.Replug();
    run.join();
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "korvanectl: 2 of 4 measurements failed")) << r.err;
    EXPECT_EQ(Lines(kvtest::TempDir::Read(log)).size(), 3u); // the header, the 1st and the 4th
    // Slots 0 and 1, the time-out over slot 2, then 3 and 4 on the grid: no catching up.
    EXPECT_GE(took, 4s);
}

TEST(CtlDevice, SendDataKeepsTheOldParametersAndParamsRestoreWritesThemBack) {
    SimFixture f;
    const kv::sim::FuseParams before{20, 3, 85, 7, 1, 0, 16};
    f.sim().SetHeldParams(before);
    f.sim().SetStoredParams(before);
    auto r = Ctl(f, {"send-data", "--yes", "--fuse-current", "42"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string prefix = "backup: ";
    const auto at = r.out.find(prefix);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string backup =
        r.out.substr(at + prefix.size(), r.out.find('\n', at) - at - prefix.size());
    EXPECT_NE(f.sim().StoredParams(), before);

    // The backup is a settings file of the parameters as they were; restoring it runs
    // send-data's sequence (read-back, store, CRC) and keeps its own backup first.
    const std::string text = kvtest::TempDir::Read(backup);
    for (const char *line : {"FuseCurrent=20", "ZeroOffset=3", "OverloadTimer=7",
                             "ADCcurrentMultiply=85", "MeasureCount=16"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    r = Ctl(f, {"params", "restore", backup, "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "CRC OK")) << r.out;
    EXPECT_EQ(f.sim().StoredParams(), before);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out; // backup, CRC OK

    r = Ctl(f, {"params", "restore", f.dir().File("missing.ini"), "--yes"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Cannot read file")) << r.err;
}

// A restore sends only a backup that holds all seven parameters as the device can take
// them: anything else is refused, naming what is missing or wrong, and nothing is sent
// (the port is not even opened).
TEST(CtlDevice, ParamsRestoreRefusesWhatIsNoWholeBackupAndSendsNothing) {
    const std::string whole = "[init]\nFuseCurrent=20\nZeroOffset=3\nOverloadTimer=7\n"
                              "ADCcurrentMultiply=85\nUseAverage=1\nUseVref=0\nMeasureCount=16\n";
    const auto with = [&](const std::string &from, const std::string &to) {
        std::string t = whole;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    struct Row {
        std::string name, content, told;
    };
    const Row rows[] = {
        {"empty", "", "FuseCurrent is missing; ZeroOffset is missing"},
        {"other section", with("[init]", "[ports]"), "FuseCurrent is missing"},
        {"a table file", "0\n1\n2\n3\n", "MeasureCount is missing"},
        {"negative offset", with("ZeroOffset=3", "ZeroOffset=-5"),
         "(ZeroOffset=-5 is not a value of 0..255); nothing sent"},
        {"fuse current too high", with("FuseCurrent=20", "FuseCurrent=100"),
         "FuseCurrent=100 is not a value of 0..99"},
        {"count 0", with("MeasureCount=16", "MeasureCount=0"),
         "MeasureCount=0 is not a value of 1..20"},
        {"switch 2", with("UseVref=0", "UseVref=2"), "UseVref=2 is not a value of 0..1"},
        {"text", with("ADCcurrentMultiply=85", "ADCcurrentMultiply=eighty"),
         "ADCcurrentMultiply=eighty is not a value of 1..103"},
        {"one missing", with("OverloadTimer=7\n", ""), "(OverloadTimer is missing)"},
        {"over the limit", whole + std::string(kv::kSettingsFileLimit, ';'), "File too large"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SimFixture f;
        const kv::sim::FuseParams held{20, 3, 85, 7, 1, 0, 16};
        f.sim().SetHeldParams(held);
        const std::string file = f.dir().File("backup.ini");
        ASSERT_TRUE(kv::WriteTextFile(row.content, file));
        const auto r = Ctl(f, {"params", "restore", file, "--yes"});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(Has(r.err, row.told)) << r.err;
        EXPECT_TRUE(Has(r.err, "nothing sent")) << r.err;
        EXPECT_FALSE(Has(r.out, "CRC OK")) << r.out;
        EXPECT_TRUE(f.sim().Frames().empty());
        EXPECT_EQ(f.sim().HeldParams(), held);
    }
}

} // namespace
