// The device operations themselves, without a window: each against the simulated fuse over
// a real pseudo-terminal, one row per outcome. Each row checks what the outcome says, the
// frames the fuse received, what was asked on the way and the notices the outcome gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/errors.h"
#include "app/format.h"
#include "app/settings_file.h"
#include "app/text_files.h"
#include "device/notices.h"
#include "device/operations.h"
#include "device/texts.h"
#include "fake_host.h"
#include "history/outcome_records.h"
#include "link/crc8.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"

namespace kv {
// Readable notices in a failure's message.
void PrintTo(const Notice &n, std::ostream *os) {
    *os << static_cast<int>(n.kind) << ":\"" << n.text << "\"";
}
} // namespace kv

namespace kv::device {
namespace {

using kvtest::FakeHost;
using kvtest::ScriptedPrompter;
using kvtest::SimFixture;
using Kind = Notice::Kind;
using Arrange = std::function<void(sim::FuseSim &, ScriptedPrompter &)>;

constexpr std::uint8_t kGetStatus = 0x15;

const DateTime kNow{2026, 12, 8, 9, 30, 5};

// One operation's world: a fresh simulated fuse, the link on it with short time-outs (a
// silent fuse costs 0.3 s), a fake host and a scripted prompter.
struct Rig {
    explicit Rig(const Arrange &setup = {}, sim::Options options = {}) : fx(std::move(options)) {
        link::Timing t;
        t.poll = std::chrono::milliseconds(20);
        t.gap = std::chrono::milliseconds(10);
        t.limit = std::chrono::milliseconds(300);
        t.closeDelay = std::chrono::milliseconds(0);
        link = fx.MakeLink(host, t);
        EXPECT_TRUE(link->OpenComPort());
        host.clearLog();
        if (setup)
            setup(fx.sim(), prompter);
    }
    DeviceOps Ops() {
        return DeviceOps(*link, prompter, AdcScale{5.0, 1.8}, [] { return kNow; });
    }
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (const auto &f : fx.sim().Frames())
            codes.push_back(f[0]);
        return codes;
    }
    std::string Ini(const std::string &lines = "") {
        const std::string file = fx.dir().File("k.ini");
        kvtest::TempDir::Write(file, "[init]\r\n" + lines);
        return file;
    }

    SimFixture fx;
    FakeHost host;
    ScriptedPrompter prompter;
    std::unique_ptr<link::Link> link;
};

Notice Box(std::string text) {
    return {Kind::ErrorBox, std::move(text)};
}

ParameterEntries Entries(const char *fuse = "42", const char *offset = "3",
                         const char *overload = "7", const char *multiply = "85",
                         const char *count = "16") {
    return {fuse, offset, overload, multiply, count, true, false};
}

std::uint8_t Crc(const FuseParameters &p) {
    return ParametersCrc(p);
}

const FuseParameters kSent{42, 3, 7, 85, 16, true, false};

TEST(Operations, SendDataStopsAtItsFirstFailure) {
    struct Row {
        const char *name;
        ParameterEntries entries;
        Arrange setup;
        bool readOnlyIni;
        SendFailure failure;
        std::vector<int> codes;
        Notices notices; // empty text: the row's own check below
    };
    const auto yes = [](sim::FuseSim &, ScriptedPrompter &p) { p.AnswerMessage(IdYes); };
    auto yesAnd = [yes](std::function<void(sim::FuseSim &)> f) {
        return [yes, f](sim::FuseSim &s, ScriptedPrompter &p) {
            yes(s, p);
            f(s);
        };
    };
    constexpr const char *crcText = "CRC NOT OK!\r\n\r\nCalculated 0x%x\r\nReturned 0x%x";
    const Row rows[] = {
        {"done",
         Entries(),
         yes,
         false,
         SendFailure::None,
         {0x16, 0x15, 0x17},
         {{Kind::Report, Format("CRC OK [0x%x]", {Crc(kSent)})}}},
        {"not an integer",
         Entries("42", "3a"),
         yes,
         false,
         SendFailure::Error,
         {},
         {Box("'3a' is not a valid integer value")}},
        {"declined", Entries(), {}, false, SendFailure::Declined, {}, {}},
        {"settings file read-only",
         Entries(),
         yes,
         true,
         SendFailure::SettingsNotSaved,
         {},
         {Box("")}},
        {"SetStatus unanswered",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetSilent(0x16, true); }),
         false,
         SendFailure::SetStatus,
         {0x16},
         {Box("SetStatus error!")}},
        {"SetStatus short reply",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetReplyLength(0x16, 3); }),
         false,
         SendFailure::SetStatus,
         {0x16},
         {Box("SetStatus error!")}},
        {"read-back unanswered",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetReplyLength(kGetStatus, 24); }),
         false,
         SendFailure::GetStatus,
         {0x16, 0x15},
         {Box("GetStatus error!")}},
        {"read-back differs",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetReadBackMismatch(9); }),
         false,
         SendFailure::ReadBack,
         {0x16, 0x15},
         {Box("Data set error!")}},
        {"WriteData unanswered",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetSilent(0x17, true); }),
         false,
         SendFailure::WriteData,
         {0x16, 0x15, 0x17},
         {Box("WriteData error!")}},
        {"stored CRC differs",
         Entries(),
         yesAnd([](sim::FuseSim &s) { s.SetWrongWriteCrc(true); }),
         false,
         SendFailure::CrcMismatch,
         {0x16, 0x15, 0x17},
         {Box(Format(crcText, {Crc(kSent), static_cast<std::uint8_t>(~Crc(kSent))}))}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup);
        const std::string ini = rig.Ini();
        if (r.readOnlyIni)
            std::filesystem::permissions(ini, std::filesystem::perms::owner_read);
        const std::string iniBefore = kvtest::TempDir::Read(ini);
        const IniFile settings(ini);
        const SendOutcome out = rig.Ops().SendData(r.entries, &settings);
        EXPECT_EQ(out.failure, r.failure);
        EXPECT_EQ(out.ok(), r.failure == SendFailure::None);
        EXPECT_EQ(rig.Codes(), r.codes);
        Notices expected = r.notices;
        if (r.readOnlyIni)
            expected[0].text = "Cannot write the settings file " + ini + ": The file is read-only";
        EXPECT_EQ(NoticesOf(out), expected);
        // Stopped before the question is answered Yes: the settings file is not written.
        if (r.failure == SendFailure::Error || r.failure == SendFailure::Declined) {
            EXPECT_EQ(kvtest::TempDir::Read(ini), iniBefore);
        }
        if (r.failure == SendFailure::Error) {
            EXPECT_TRUE(rig.prompter.messageTexts().empty()); // nothing asked
            continue;
        }
        // Every other row asked the question with the validated values, and sent those.
        EXPECT_EQ(out.parameters, kSent);
        EXPECT_EQ(rig.prompter.messageTexts().at(0).rfind("Fuse current: 42\r\nZero offset: 3", 0),
                  0u);
        if (r.failure == SendFailure::None) {
            EXPECT_EQ(out.returnedCrc, Crc(kSent));
            EXPECT_EQ(IniFile(ini).ReadInteger("init", "MeasureCount", 0), 16);
        }
        if (r.failure == SendFailure::ReadBack) {
            EXPECT_EQ(out.readBack->UseAverage, 0); // the flipped byte, as the device said
        }
    }
}

// The values replaced by the checks are shown at once, before the question, and kept in the
// outcome; the replacements are what the question shows, what is sent and what is saved.
TEST(Operations, SendDataShowsReplacedValuesBeforeItAsks) {
    struct Row {
        const char *fuse, *multiply, *count;
        std::vector<std::string> replaced;
        std::uint8_t fuseSent, multiplySent, countSent;
    };
    const Row rows[] = {
        {"150", "0", "16", {"Current must be < 100!", "I to ADC multiply must be > 0!"}, 99, 1, 16},
        {"150", "85", "16", {"Current must be < 100!"}, 99, 85, 16},
        {"-1", "85", "16", {"Current must be < 100!"}, 99, 85, 16},
        {"42", "85", "0", {"Count must be > 0 and <= 20!"}, 42, 85, 20},
        {"42", "0", "5", {"I to ADC multiply must be > 0!"}, 42, 1, 5},
        {"42", "200", "5", {"I to ADC multiply must be <= 103!"}, 42, 103, 5},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.fuse) + " " + r.multiply + " " + r.count);
        Rig rig;
        for (std::size_t i = 0; i < r.replaced.size(); ++i)
            rig.prompter.AnswerMessage(IdOk);
        rig.prompter.AnswerMessage(IdYes);
        const std::string ini = rig.Ini();
        const IniFile settings(ini);
        const SendOutcome out =
            rig.Ops().SendData(Entries(r.fuse, "3", "7", r.multiply, r.count), &settings);
        EXPECT_TRUE(out.ok());
        EXPECT_EQ(out.replaced, r.replaced);
        std::vector<std::string> asked = r.replaced;
        asked.push_back(Format("Fuse current: %d\r\nZero offset: 3\r\nOverload timer: 7\r\n"
                               "I to ADC multiply: %d\r\nCurrent measure count: %d\r\n"
                               "Use average current: Yes\r\nUse voltage reference: No",
                               {r.fuseSent, r.multiplySent, r.countSent}));
        EXPECT_EQ(rig.prompter.messageTexts(), asked);
        const auto frames = rig.fx.sim().Frames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(std::vector<int>(frames[0].begin(), frames[0].begin() + 8),
                  (std::vector<int>{0x16, r.fuseSent, 3, r.multiplySent, 7, 1, 0, r.countSent}));
        EXPECT_EQ(rig.fx.sim().StoredParams().fuseCurrent, r.fuseSent);
        EXPECT_EQ(rig.fx.sim().HeldParams().multiply, r.multiplySent);
        const IniFile saved(ini);
        EXPECT_EQ(saved.ReadInteger("init", "FuseCurrent", -1), r.fuseSent);
        EXPECT_EQ(saved.ReadInteger("init", "ADCcurrentMultiply", -1), r.multiplySent);
        EXPECT_EQ(saved.ReadInteger("init", "MeasureCount", -1), r.countSent);
    }
}

TEST(Operations, StatusAndGetData) {
    struct Row {
        const char *name;
        link::Cmd command;
        Arrange setup;
        bool ok;
        link::ReplyStatus reply;
    };
    const Row rows[] = {
        {"live", link::Cmd::GetStatus, {}, true, link::ReplyStatus::Completed},
        {"stored", link::Cmd::GetStoredStatus, {}, true, link::ReplyStatus::Completed},
        {"short reply", link::Cmd::GetStatus,
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetReplyLength(kGetStatus, 24); }, false,
         link::ReplyStatus::TimedOut},
        {"long reply", link::Cmd::GetStatus,
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetReplyLength(kGetStatus, 26); }, false,
         link::ReplyStatus::Completed},
        {"silent", link::Cmd::GetStatus,
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetSilent(kGetStatus, true); }, false,
         link::ReplyStatus::TimedOut},
    };
    sim::Options o;
    o.held = {55, 3, 100, 12, 1, 0, 9};
    o.stored = {40, 2, 70, 10, 0, 1, 5};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup, o);
        const StatusRead read = rig.Ops().ReadStatus(r.command);
        EXPECT_EQ(read.ok(), r.ok);
        EXPECT_EQ(read.reply.status, r.reply);
        EXPECT_EQ(rig.Codes(), std::vector<int>{static_cast<int>(r.command)});
        const Notices notices = NoticesOf(read);
        if (!r.ok) {
            EXPECT_EQ(notices, Notices{Box("GetStatus error!")});
            continue;
        }
        const bool stored = r.command == link::Cmd::GetStoredStatus;
        EXPECT_EQ(read.status->FuseCurrent, stored ? 40 : 55);
        ASSERT_EQ(notices.size(), 13u);
        EXPECT_EQ(notices.back(),
                  (Notice{Kind::Report, stored ? "  Last Stored Values [Relay is currently Off]"
                                               : "  Last Values [Relay is currently Off]"}));
    }

    Rig rig({}, o);
    const ParametersRead data = rig.Ops().GetData();
    ASSERT_TRUE(data.ok());
    EXPECT_EQ(*data.parameters, (FuseParameters{55, 3, 12, 100, 9, false, true}));
    EXPECT_TRUE(NoticesOf(data).empty());
}

TEST(Operations, RelayReadsTheStatusThenSwitches) {
    struct Row {
        const char *name;
        sim::Options options;
        int answer; // to "Relay ON?", 0 when not asked
        Arrange setup;
        RelayResult result;
        std::vector<int> codes;
        Notices notices;
        bool relayAfter;
    };
    sim::Options on, manual;
    on.relayOn = true;
    manual.manualSwitchOff = true;
    const Row rows[] = {
        {"switched on", {}, IdYes, {}, RelayResult::SwitchedOn, {0x15, 0x08}, {}, true},
        {"declined", {}, IdNo, {}, RelayResult::Declined, {0x15}, {}, false},
        {"switched off", on, 0, {}, RelayResult::SwitchedOff, {0x15, 0x09}, {}, false},
        // Only bit 3 counts: port A 0xF7 is no manual switch off, port C 0xF7 a relay off.
        {"other bits set",
         {},
         IdNo,
         [](sim::FuseSim &s, ScriptedPrompter &) {
             s.OverrideStatusByte(0, 0xF7);
             s.OverrideStatusByte(2, 0xF7);
         },
         RelayResult::Declined,
         {0x15},
         {},
         false},
        {"manual switch off",
         manual,
         0,
         {},
         RelayResult::ManualSwitchOff,
         {0x15},
         {{Kind::InfoBox, "Manual switch is OFF!"}},
         false},
        {"no status",
         on,
         0,
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetSilent(kGetStatus, true); },
         RelayResult::StatusFailed,
         {0x15},
         {Box("GetStatus error!")},
         true},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup, r.options);
        if (r.answer)
            rig.prompter.AnswerMessage(r.answer);
        const RelayOutcome out = rig.Ops().Relay();
        EXPECT_EQ(out.result, r.result);
        EXPECT_EQ(rig.Codes(), r.codes);
        EXPECT_EQ(NoticesOf(out), r.notices);
        EXPECT_EQ(rig.fx.sim().Relay(), r.relayAfter);
        EXPECT_EQ(out.switched.has_value(), r.codes.size() == 2u);
        EXPECT_EQ(rig.prompter.unscripted(), 0);
    }
}

// The measurement's exchange stays out of the log; its failure is a box from the button
// and a log line from the timer.
TEST(Operations, GetCurrent) {
    struct Row {
        const char *name;
        Arrange setup;
        bool ok;
    };
    const Row rows[] = {
        {"measured", {}, true},
        {"multiply 0",
         [](sim::FuseSim &s, ScriptedPrompter &) {
             s.SetHeldParams({99, 0, 0});
         },
         false},
        {"short reply", [](sim::FuseSim &s, ScriptedPrompter &) { s.SetReplyLength(0x1B, 7); },
         false},
    };
    sim::Options o;
    o.adc = 500;
    o.held.multiply = 100;
    o.held.zeroOffset = 5;
    o.relayOn = true;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup, o);
        const Measurement m = rig.Ops().GetCurrent(false);
        EXPECT_EQ(m.ok, r.ok);
        EXPECT_EQ(m.sample.TimeStamp.second, kNow.second);
        EXPECT_EQ(rig.host.logCount(), 0u); // the exchange kept out of the log
        if (!r.ok) {
            EXPECT_EQ(m.sample.Adc(), 0);
            EXPECT_EQ(NoticesOf(m), Notices{Box("GetCurrent error!")});
            EXPECT_EQ(NoticesOf(m, Kind::Problem), (Notices{{Kind::Problem, "GetCurrent error!"}}));
            continue;
        }
        EXPECT_EQ(m.sample.Adc(), 500);
        EXPECT_DOUBLE_EQ(m.sample.Current, 5.0);
        EXPECT_EQ(NoticesOf(m),
                  (Notices{{Kind::Report, ">"},
                           {Kind::Report, "> Zero offset:5, I to ADC current multiply:100"},
                           {Kind::Report, "> ADC 500 [ADCHi 1, ADCLo 244]"},
                           {Kind::Report, "> Current:5.00A, Voltage: 2.44379V"},
                           {Kind::Report, "  Actual ADC measure [Relay is On]"}}));
    }
}

TEST(Operations, TimedMeasurementWritesItsRecord) {
    struct Row {
        const char *name;
        Arrange setup;
        bool logOnFull; // the current log on /dev/full
        bool statusCame;
        bool measured;
        const char *record; // after the time stamp; nullptr: no line
        Notices notices;    // of a failure
    };
    const Row rows[] = {
        {"measured", {}, false, true, true, "  512   2   0   0 100   2.50   5.12 Off\r\n", {}},
        {"no status",
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetSilent(kGetStatus, true); },
         false,
         false,
         false,
         nullptr,
         {{Kind::Problem, "GetCurrent error!"}}},
        {"no current",
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetSilent(0x1B, true); },
         false,
         true,
         false,
         "    0   0   0   0   0   0.00   0.00 Off\r\n",
         {{Kind::Problem, "GetCurrent error!"}}},
        {"log file full", {}, true, true, true, nullptr, {}},
    };
    sim::Options o;
    o.adc = 512;
    o.held.multiply = 100;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup, o);
        const std::string file = r.logOnFull ? "/dev/full" : rig.fx.dir().File("k.adc");
        const TimedRecord rec = rig.Ops().TimedMeasurement(file);
        EXPECT_EQ(rec.status.ok(), r.statusCame);
        EXPECT_EQ(rec.measured(), r.measured);
        EXPECT_EQ(rec.written.has_value(), r.statusCame);
        // No status, no measurement asked for.
        const std::vector<int> codes =
            r.statusCame ? std::vector<int>{0x15, 0x1B} : std::vector<int>{0x15};
        EXPECT_EQ(rig.Codes(), codes);
        EXPECT_EQ(rig.host.logCount(), 0u);
        const Notices n = NoticesOf(rec);
        if (r.logOnFull) {
            ASSERT_FALSE(rec.written->ok);
            EXPECT_EQ(n.back(), (Notice{Kind::Problem, "Cannot write the current log /dev/full: " +
                                                           rec.written->error}));
            continue;
        }
        if (!r.measured) {
            EXPECT_EQ(n, r.notices);
        }
        if (!r.record) {
            EXPECT_FALSE(FileExists(file));
            continue;
        }
        // A new log starts with its header line.
        EXPECT_EQ(kvtest::TempDir::Read(file), std::string(text::CurrentLogHeader) +
                                                   "08.12.2026 09:30:05" + std::string(r.record));
    }
}

TEST(Operations, TimerTickMeasuresAtTheIntervalAndDropsATickWhileBusy) {
    Rig rig;
    const std::string file = rig.fx.dir().File("k.adc");
    int ticks = 3;
    BusyFlag busy;
    const int interval = 5;
    TimerTickOutcome t = rig.Ops().TimerTick(ticks, busy, interval, file);
    EXPECT_FALSE(t.record);
    EXPECT_EQ(CountdownText(t.secondsLeft), " 1");

    t = rig.Ops().TimerTick(ticks, busy, interval, file);
    ASSERT_TRUE(t.record);
    EXPECT_TRUE(t.record->measured());
    EXPECT_EQ(t.secondsLeft, 5);
    EXPECT_FALSE(busy.IsSet());

    ticks = 4;
    {
        const BusyGuard running(busy);
        t = rig.Ops().TimerTick(ticks, busy, interval, file);
    }
    EXPECT_TRUE(t.dropped);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(rig.Codes(), (std::vector<int>{0x15, 0x1B}));

    // A status read that fails ends the measurement and frees the timer too.
    rig.fx.sim().SetSilent(kGetStatus, true);
    ticks = 4;
    t = rig.Ops().TimerTick(ticks, busy, interval, file);
    ASSERT_TRUE(t.record);
    EXPECT_FALSE(t.record->status.ok());
    EXPECT_FALSE(busy.IsSet());
}

// A command clicked while another runs is refused by the link and never sent: its record
// says so, not that the device failed to answer.
TEST(Operations, ACommandRefusedAsBusyIsRecordedAsNotSent) {
    Rig rig;
    rig.fx.sim().SetSplit(0x1B, kv::sim::Faults::Split{3, 120}); // its end comes after a poll
    std::optional<history::Entry> status, parameters, measurement;
    rig.host.onProcessEvents = [&] {
        if (status)
            return;
        status = history::EntryOf(rig.Ops().ReadStatus());
        parameters = history::EntryOf(rig.Ops().GetData());
        measurement = history::EntryOf(rig.Ops().GetCurrent(false), false);
    };
    const Measurement running = rig.Ops().GetCurrent(false);
    rig.host.onProcessEvents = nullptr;
    EXPECT_TRUE(running.ok);
    for (const auto *e : {&status, &parameters, &measurement}) {
        ASSERT_TRUE(*e);
        EXPECT_FALSE((*e)->outcome.ok);
        EXPECT_EQ((*e)->outcome.message, history::kNotSentBusy);
    }
    EXPECT_EQ(rig.Codes(), (std::vector<int>{0x1B}));
    // The one that ran is recorded as it went.
    EXPECT_TRUE(history::EntryOf(running, false).outcome.ok);
}

// The windows take a current reply by its length, as they always did; korvanectl and the
// history learn from `suspect` that it cannot be a measurement.
TEST(Operations, CurrentReplyOfTheRightLengthButImplausibleIsSuspect) {
    struct Row {
        const char *name;
        std::vector<std::uint8_t> reply;
        std::string suspect;
    };
    const Row rows[] = {
        {"plausible", {0x03, 0xFF, 3, 85, 0x08, 0x00, 0x0D, 0x0A}, ""},
        {"not CR LF",
         {0x01, 0x00, 3, 85, 0x08, 0x00, 0x0A, 0x0D},
         "suspect measurement: the reply ends in 0A 0D, not CR LF"},
        {"beyond 10 bits",
         {0x04, 0x00, 3, 85, 0x08, 0x00, 0x0D, 0x0A},
         "suspect measurement: ADC 1024 is beyond the converter's 1023"},
        {"both",
         {0xC4, 0x00, 3, 85, 0x08, 0x00, 0x0D, 0x0D},
         "suspect measurement: the reply ends in 0D 0D, not CR LF; ADC 50176 is beyond the "
         "converter's 1023"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        kv::sim::Options o;
        o.faults.replyBytes[0x1B] = row.reply;
        Rig rig({}, o);
        const Measurement m = rig.Ops().GetCurrent(false);
        EXPECT_TRUE(m.ok); // what the windows see
        EXPECT_EQ(m.sample.Adc(), row.reply[0] * 256 + row.reply[1]);
        EXPECT_EQ(m.suspect, row.suspect);
        const history::Entry e = history::EntryOf(m, false);
        EXPECT_EQ(e.outcome.ok, row.suspect.empty());
        EXPECT_EQ(e.data["suspect"].get<bool>(), !row.suspect.empty());
    }
}

TEST(Operations, SetTimerInterval) {
    struct Row {
        const char *name;
        std::optional<std::string> answer;
        bool readOnly;
        int interval;
        Notices notices;
    };
    const Row rows[] = {
        {"cancelled", std::nullopt, false, 5, {}},
        {"the same", "5", false, 5, {}},
        {"changed", " $0A", false, 10, {{Kind::Report, "Timer value set to 10s"}}},
        {"below 1", "-3", false, 1, {{Kind::Report, "Timer value set to 1s"}}},
        {"not an integer", "7 ", false, 5, {{Kind::AppError, "'7 ' is not a valid integer value"}}},
        {"read-only settings",
         "4",
         true,
         4,
         {{Kind::Report, "Timer value set to 4s"}, {Kind::Problem, ""}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig;
        const std::string file = rig.Ini("Timer=5\r\n");
        if (r.readOnly)
            std::filesystem::permissions(file, std::filesystem::perms::owner_read);
        rig.prompter.AnswerInput(r.answer);
        int interval = 5;
        const IntervalChange c = rig.Ops().SetTimerInterval(interval, IniFile(file));
        EXPECT_EQ(interval, r.interval);
        Notices expected = r.notices;
        if (r.readOnly)
            expected[1].text = "Timer value not saved in " + file + ": The file is read-only";
        EXPECT_EQ(NoticesOf(c), expected);
        ASSERT_EQ(rig.prompter.prompts().size(), 1u);
        EXPECT_EQ(rig.prompter.prompts()[0].caption, "Set current timer interval");
        EXPECT_EQ(rig.prompter.prompts()[0].text, "Enter new value in seconds");
        EXPECT_EQ(rig.prompter.prompts()[0].initial, "5");
        if (!r.readOnly) {
            EXPECT_EQ(IniFile(file).ReadInteger("init", "timer", 0), r.interval);
        }
    }
}

TEST(Operations, CrcCheckInTwoSteps) {
    struct Row {
        const char *name;
        ParameterEntries entries;
        Arrange setup;
        bool compared;
        Notices calculated;
        Notices compares;
    };
    const FuseParameters held{99, 0, 0, 10, 20, false, false};
    const std::uint8_t heldCrc = Crc(held);
    const std::string both = Format("%d [0x%0.2x]", {heldCrc, heldCrc});
    const std::uint8_t other = Crc({99, 0, 0, 11, 20, false, false});
    const Row rows[] = {
        {"match",
         {"99", "0", "0", "10", "20"},
         {},
         true,
         {{Kind::Report, "Calculated CRC is " + both}},
         {{Kind::Report, "Returned CRC is " + both},
          {Kind::InfoBox, Format("CRC OK [0x%0.2x]", {heldCrc})}}},
        {"mismatch",
         {"99", "0", "0", "11", "20"},
         {},
         true,
         {{Kind::Report, Format("Calculated CRC is %d [0x%0.2x]", {other, other})}},
         {{Kind::Report, "Returned CRC is " + both},
          Box(Format("CRC NOT OK! [D: 0x%0.2x <> C: 0x%0.2x]", {heldCrc, other}))}},
        {"no status",
         {"99", "0", "0", "10", "20"},
         [](sim::FuseSim &s, ScriptedPrompter &) { s.SetSilent(kGetStatus, true); },
         true,
         {{Kind::Report, "Calculated CRC is " + both}},
         {}},
        {"not an integer",
         {"99", "", "0", "10", "20"},
         {},
         false,
         {Box("'' is not a valid integer value")},
         {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig(r.setup);
        CrcCheck check = CrcOfEntries(r.entries);
        EXPECT_EQ(CalculatedNotices(check), r.calculated);
        rig.Ops().CompareCrc(check);
        EXPECT_EQ(check.compared, r.compared);
        EXPECT_EQ(rig.Codes().size(), r.compared ? 1u : 0u);
        if (r.compared) {
            EXPECT_EQ(ComparedNotices(check), r.compares);
        }
        EXPECT_EQ(rig.host.logCount(), 0u); // the status exchange kept out of the log
    }
}

TEST(Operations, InfoAndRestart) {
    Rig rig;
    const link::Reply info = rig.Ops().Info();
    EXPECT_TRUE(info.Has(16));
    EXPECT_EQ(rig.host.logLine(0), "R: " + rig.fx.sim().InfoText() + "<CR><LF>");

    struct Row {
        const char *name;
        int answer;
        bool silent;
        RestartResult result;
        Notices notices;
    };
    const Row rows[] = {
        {"declined", IdNo, false, RestartResult::Declined, {}},
        {"done", IdYes, false, RestartResult::Done, {}},
        {"unanswered", IdYes, true, RestartResult::Failed, {Box("Restart error!")}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Rig rr;
        rr.fx.sim().SetSilent(0x02, r.silent);
        rr.prompter.AnswerMessage(r.answer);
        const RestartOutcome out = rr.Ops().Restart();
        EXPECT_EQ(out.result, r.result);
        EXPECT_EQ(rr.prompter.messageTexts(), std::vector<std::string>{"Are you sure?"});
        EXPECT_EQ(rr.Codes().size(), r.answer == IdYes ? 1u : 0u);
        EXPECT_EQ(NoticesOf(out), r.notices);
    }
}

} // namespace
} // namespace kv::device
