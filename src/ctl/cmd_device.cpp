// The device commands: status, get-data, send-data, relay, current, crc-check.
#include <algorithm>
#include <chrono>
#include <type_traits>

#include "app/format.h"
#include "app/json.h"
#include "app/text_files.h"
#include "corrtable/table_file.h"
#include "corrtable/verified_write.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/session.h"
#include "device/notices.h"
#include "device/operations.h"
#include "device/series_port.h"
#include "device/texts.h"
#include "history/outcome_records.h"

namespace kv::ctl {

namespace dev = kv::device;
namespace ct = kv::corrtable;

namespace {

// A report as a reader of the log pane sees it: its caption line, logged last, on top.
std::vector<std::string> TopFirst(std::vector<std::string> logged) {
    std::reverse(logged.begin(), logged.end());
    return logged;
}

dev::DeviceOps Ops(Session &s, link::Link &l) {
    return dev::DeviceOps(l, s.prompter, dev::AdcScale{s.settings.Voltage, s.settings.RefVoltage});
}

// The link with its port open, or null after its failure was shown.
link::Link *Device(Session &s) {
    return s.OpenLink();
}

int NoPort(Session &s) {
    return s.Fail("the port could not be opened");
}

// The main window's parameter fields as the settings file fills them at start-up, each
// replaced by its option when given (the option's text as typed into the field).
dev::ParameterEntries Entries(Session &s) {
    dev::ParameterEntries e = dev::EntriesFromSettings(s.settings);
    dev::ForEachParameter(e, [&](const dev::ParameterName &name, auto &field) {
        if (!s.args.Has(name.option))
            return;
        const std::string v = s.args.Value(name.option);
        if constexpr (std::is_same_v<std::decay_t<decltype(field)>, bool>) {
            if (v != "0" && v != "1")
                throw UsageError("option " + std::string(name.option) + " must be 0 or 1",
                                 s.args.command);
            field = v == "1";
        } else {
            field = v;
        }
    });
    return e;
}

// The JSON objects' field names are those of the history's records (history/record_data.h)
// and of the manual page: one spelling per value.
void ParameterFields(json::Value &j, const dev::FuseParameters &p) {
    dev::ForEachParameter(p, [&](const dev::ParameterName &name, const auto &value) {
        j[std::string(name.field)] = value;
    });
}

std::string StatusJson(const dev::DeviceStatus &st, bool stored,
                       const std::vector<std::string> &lines) {
    json::Value j;
    j["command"] = "status";
    j["ok"] = true;
    j["stored"] = stored;
    j["port_a"] = st.PortA;
    j["port_b"] = st.PortB;
    j["port_c"] = st.PortC;
    j["flags"] = st.Flags;
    j["flag_names"] = dev::FlagNameList(st.Flags);
    ParameterFields(j, dev::ParametersFromStatus(st));
    j["data_crc"] = st.DataCrc;
    j["avg_adc"] = st.AvgAdc();
    j["used_current"] = st.UsedCurrent;
    j["measured_current"] = st.MeasuredCurrent;
    j["last_adc"] = st.LastAdc();
    j["relay_off_time_ms"] = dev::RelayOffTimeFrom(st.RelayOffCount()).total;
    j["relay_on"] = st.RelayOn();
    j["manual_switch_off"] = st.ManualSwitchOff();
    j["lines"] = lines;
    return json::Write(j);
}

// suspect: why the reply was no plausible measurement, "" for a good one.
std::string SampleJson(const dev::CurrentSample &c, const std::string &suspect,
                       const std::vector<std::string> &lines) {
    json::Value j;
    j["command"] = "current";
    j["ok"] = true;
    j["time"] = dev::IsoDateTime(c.TimeStamp);
    j["adc"] = c.Adc();
    j["adc_hi"] = c.AdcHi;
    j["adc_lo"] = c.AdcLo;
    j["zero_offset"] = c.ZeroOffset;
    j["current_multiply"] = c.Multiply;
    j["device_port"] = c.Port;
    j["voltage"] = json::Rounded(c.Voltage, 5);
    j["current"] = json::Rounded(c.Current, 2);
    j["relay_on"] = c.RelayOn();
    j["suspect"] = !suspect.empty();
    if (!suspect.empty())
        j["suspect_reason"] = suspect;
    j["lines"] = lines;
    return json::Write(j);
}

} // namespace

std::chrono::steady_clock::time_point NextSlot(std::chrono::steady_clock::time_point last,
                                               std::chrono::steady_clock::duration period,
                                               std::chrono::steady_clock::time_point now) {
    // As the window's timer drops the ticks that come while a measurement runs: the slots
    // that passed while the last one waited are skipped, not made up in a burst.
    auto next = last + period;
    if (next < now)
        next += period * ((now - next) / period + 1);
    return next;
}

namespace {

void PrintLines(Session &s, const std::vector<std::string> &lines) {
    for (const auto &l : lines)
        s.Out(l);
}

} // namespace

int CmdStatus(Session &s) {
    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    const bool stored = s.args.Has("--stored");
    const dev::StatusRead read =
        Ops(s, *l).ReadStatus(stored ? link::Cmd::GetStoredStatus : link::Cmd::GetStatus);
    s.Tell(dev::NoticesOf(read));
    s.Record(history::EntryOf(read));
    if (!read.ok())
        return kExitFailed;
    const auto lines =
        TopFirst(dev::StatusReportLines(*read.status, dev::StatusCaption(read.command)));
    if (s.json())
        s.Out(StatusJson(*read.status, stored, lines));
    else
        PrintLines(s, lines);
    return kExitOk;
}

int CmdGetData(Session &s) {
    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    const dev::ParametersRead read = Ops(s, *l).GetData();
    s.Tell(dev::NoticesOf(read));
    s.Record(history::EntryOf(read));
    if (!read.ok())
        return kExitFailed;
    // The settings file's key names, in the order of the main window's fields, so that the
    // output can be compared with (or pasted into) the settings file.
    const dev::FuseParameters &p = *read.parameters;
    if (s.json()) {
        json::Value j;
        j["command"] = "get-data";
        j["ok"] = true;
        ParameterFields(j, p);
        s.Out(json::Write(j));
        return kExitOk;
    }
    dev::ForEachParameter(p, [&](const dev::ParameterName &name, const auto &value) {
        s.Out(std::string(name.settingsKey) + "=" + std::to_string(int{value}));
    });
    return kExitOk;
}

// Keeps the parameters the device holds before they are replaced, in the backup folder
// (unless --no-backup), and returns them for the history. A device whose status cannot be
// read gets no backup file; the send goes on and fails on its own.
std::optional<dev::DeviceStatus> BackUpParameters(Session &s, dev::DeviceOps &ops) {
    if (s.args.Has("--no-backup"))
        return history::StatusBeforeSending(ops, s.UnitNamed());
    const dev::StatusRead before = ops.ReadStatus();
    if (!before.ok()) {
        s.err.Line("the device's parameters could not be read; no backup file");
        return std::nullopt;
    }
    const std::string wanted = NewBackupPath(s, ".ini");
    std::string file;
    if (FileResult r = ct::CreateBackupFile(
            wanted, dev::ParametersText(dev::ParametersFromStatus(*before.status)), file);
        !r) {
        s.err.Line(ct::FileWriteErrorText(wanted, r.error) + "; no backup file");
        return before.status;
    }
    s.Out("backup: " + file);
    return before.status;
}

// Send Data's sequence for the entries; autoSave as SendData takes it.
int SendParameters(Session &s, const dev::ParameterEntries &entries, const IniFile *autoSave) {
    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    dev::DeviceOps ops = Ops(s, *l);
    std::optional<dev::DeviceStatus> before;
    const dev::SendOutcome out =
        ops.SendData(entries, autoSave, [&] { before = BackUpParameters(s, ops); });
    s.Tell(dev::NoticesOf(out));
    s.Record(history::EntryOf(out, before));
    if (!out.ok())
        return kExitFailed;
    s.Out(dev::SendCrcOkLine(out.crc));
    return kExitOk;
}

int CmdSendData(Session &s) {
    return SendParameters(s, Entries(s), s.settings.AutoSaveData ? &s.ini : nullptr);
}

int CmdParamsRestore(Session &s) {
    const std::string file = s.args.args[0];
    std::string content;
    if (FileResult r = ReadTextFile(file, kSettingsFileLimit, content); !r)
        return s.Fail(ct::FileReadErrorText(file, r.error) + "; nothing sent");
    // Only a backup that holds all seven parameters as the device can take them is sent:
    // a missing or wrong value is never made up from the defaults.
    const dev::BackupRead backup = dev::ParametersFromBackup(content);
    if (!backup.parameters) {
        std::string problems;
        for (const std::string &p : backup.problems)
            problems += (problems.empty() ? "" : "; ") + p;
        return s.Fail(ShownText(file) + " is not a parameter backup (" + problems +
                      "); nothing sent");
    }
    return SendParameters(s, dev::EntriesOf(*backup.parameters), nullptr);
}

namespace {

void RelayResult(Session &s, const std::string &line, bool on, bool switched) {
    if (s.json())
        s.Out(json::Write({{"relay_on", on}, {"switched", switched}, {"lines", {line}}}));
    else
        s.Out(line);
}

} // namespace

int CmdRelay(Session &s) {
    const std::string want = s.args.args[0];
    if (want != "on" && want != "off")
        throw UsageError("relay takes on or off, not " + want, s.args.command);
    const bool wantOn = want == "on";
    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    dev::DeviceOps ops = Ops(s, *l);

    // The relay button toggles; the command asks for a state. The status is read first,
    // and the toggle runs only when the relay is not yet in that state (or the manual
    // switch is off, which the toggle reports).
    const dev::StatusRead before = ops.ReadStatus();
    if (!before.ok()) {
        s.Tell(dev::NoticesOf(before));
        return kExitFailed;
    }
    if (!before.status->ManualSwitchOff() && before.status->RelayOn() == wantOn) {
        RelayResult(s, Format("Relay is already %s", {dev::OffOnText[wantOn ? 1 : 0]}), wantOn,
                    false);
        return kExitOk;
    }
    const dev::RelayOutcome toggled = ops.Relay();
    s.Tell(dev::NoticesOf(toggled));
    s.Record(history::EntryOf(toggled));
    if (!toggled.switched)
        return kExitFailed; // no status, the manual switch, or not confirmed
    // The windows leave the relay command's reply unchecked; a script needs to know whether
    // the relay switched, so the reply is judged and the status read again.
    if (!toggled.switched->Has(link::ReplyLength(link::Cmd::RelayOn)))
        return s.Fail("the relay command was not answered");
    const dev::StatusRead after = ops.ReadStatus();
    if (!after.ok()) {
        s.Tell(dev::NoticesOf(after));
        return kExitFailed;
    }
    if (after.status->RelayOn() != wantOn)
        return s.Fail(Format("the relay did not switch (Relay is currently %s)",
                             {dev::OffOnText[after.status->RelayOn() ? 1 : 0]}));
    RelayResult(s, Format("Relay is currently %s", {dev::OffOnText[wantOn ? 1 : 0]}), wantOn, true);
    return kExitOk;
}

int CmdCurrent(Session &s) {
    const bool timed = s.args.Has("--every");
    if (s.args.Has("--count") && !timed)
        throw UsageError("--count needs --every", s.args.command);
    // A series without an end would run until interrupted and never report its result.
    if (timed && !s.args.Has("--count"))
        throw UsageError("--every needs --count", s.args.command);
    if (timed && s.args.Has("--vref"))
        throw UsageError("--vref applies to a single measurement; timed measurements use "
                         "the device's own choice",
                         s.args.command);
    const int every = s.IntOption("--every", 0, 1, 86400);
    const int count = s.IntOption("--count", 1, 1, 1000000);
    std::string logFile;
    if (s.args.Has("--log"))
        logFile = s.args.Value("--log");
    else if (timed)
        logFile = s.paths.CurrentLogFileName();

    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    dev::DeviceOps ops = Ops(s, *l);

    // A new log file starts with its header line, as the main window's start-up writes it.
    if (!logFile.empty()) {
        FileResult r = dev::StartCurrentLog(logFile, &s.prompter);
        if (!r)
            return s.Fail("cannot write " + logFile + ": " + r.error);
    }

    // A suspect measurement is shown as it came, with why it is suspect; it is not taken as
    // a good reading (the exit status says so).
    auto report = [&](const dev::Measurement &m) {
        const auto lines = TopFirst(dev::CurrentReportLines(m.sample));
        if (s.json())
            s.Out(SampleJson(m.sample, m.suspect, lines));
        else
            PrintLines(s, lines);
        if (!m.suspect.empty())
            s.err.Problem(std::string(kProgram) + ": " + m.suspect);
    };

    if (!timed) {
        const dev::Measurement m = ops.GetCurrent(s.args.Has("--vref"));
        s.Tell(dev::NoticesOf(m, Notice::Kind::ErrorBox));
        s.Record(history::EntryOf(m, s.args.Has("--vref")));
        if (!m.ok)
            return kExitFailed;
        report(m);
        if (!logFile.empty()) {
            FileResult r = dev::AppendCurrentLog(m.sample, logFile, &s.prompter);
            if (!r)
                return s.Fail("cannot write " + logFile + ": " + r.error);
        }
        return m.suspect.empty() ? kExitOk : kExitFailed;
    }

    // Timed: measurements at start + i x every seconds, as the window's timer does them,
    // each with its status read and its line in the log file. A failed measurement, or a
    // record the log file did not take, is reported and the series goes on; the exit
    // status then says that one failed.
    int failed = 0;
    const std::chrono::seconds period(every);
    auto due = std::chrono::steady_clock::now();
    history::SeriesCount series{.start = history::Now().time,
                                .intervalSeconds = static_cast<double>(every),
                                .logFile = logFile};
    // A pulled adapter pauses the series: it is looked for every second, its port opened
    // again when it is back, and the series goes on in its slots (SeriesPort).
    dev::SeriesPort port(*l);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            due = NextSlot(due, period, std::chrono::steady_clock::now());
        for (auto now = std::chrono::steady_clock::now(); port.Lost() && now < due;
             now = std::chrono::steady_clock::now()) {
            s.Tell(port.Look(now));
            if (port.Lost())
                l->WaitUntil(std::min(due, now + dev::SeriesPort::kLookEvery));
        }
        l->WaitUntil(due);
        s.Tell(port.Look(std::chrono::steady_clock::now()));
        if (port.Lost()) {
            port.SlotMissed();
            ++failed;
            history::CountPortLost(series);
            continue;
        }
        const dev::TimedRecord record = ops.TimedMeasurement(logFile);
        s.Tell(port.Judge(record));
        if (record.measured())
            report(*record.measurement);
        if (!record.measured() || (record.written && !record.written->ok))
            ++failed;
        history::CountTick(series, record);
    }
    s.Record(history::SeriesEntry(series, history::Now().time));
    if (failed)
        s.Fail(Format("%d of %d measurements failed", {failed, count}));
    if (series.suspect)
        s.Fail(Format("%d of %d measurements suspect", {series.suspect, count}));
    return failed || series.suspect ? kExitFailed : kExitOk;
}

int CmdCrcCheck(Session &s) {
    const dev::ParameterEntries entries = Entries(s);
    link::Link *l = Device(s);
    if (!l)
        return NoPort(s);
    dev::CrcCheck check = dev::CrcOfEntries(entries);
    if (!check.error.empty()) {
        s.Tell(dev::CalculatedNotices(check));
        return kExitFailed;
    }
    Ops(s, *l).CompareCrc(check);
    s.Tell(dev::ComparedNotices(check));
    s.Record(history::EntryOf(check, entries));
    s.Out(dev::CalculatedCrcLine(check.calculated));
    if (check.returned)
        s.Out(dev::ReturnedCrcLine(*check.returned));
    else if (check.read)
        // The window stays silent here (the log is off for the exchange); a script must
        // not take silence for success.
        s.Tell(dev::NoticesOf(*check.read));
    return check.ok() ? kExitOk : kExitFailed;
}

namespace {

// send-data's options and the backup's.
std::vector<OptionDef> SendDataOptions() {
    std::vector<OptionDef> out = ParameterOptions();
    out.push_back(kNoBackup);
    out.push_back(kBackupDir);
    return out;
}

} // namespace

std::vector<CommandDef> DeviceCommands() {
    return {
        {.name = "status",
         .options = {{.name = "--stored",
                      .help = "the last values the device stored instead of the live ones"}},
         .device = true,
         .json = true,
         .summary = "read the device status report",
         .details = "Prints the status report lines, the caption line first, as the log pane of "
                    "the main\nwindow shows them. With --stored, the last values the device "
                    "stored.",
         .run = CmdStatus},
        {.name = "get-data",
         .device = true,
         .json = true,
         .summary = "read the seven fuse parameters",
         .details = "Prints the fuse parameters from the device status record, as \"Get Data\" "
                    "fills the\nmain window's fields.",
         .run = CmdGetData},
        {.name = "send-data",
         .options = SendDataOptions(),
         .device = true,
         .summary = "set, read back and store the fuse parameters",
         .details =
             "Validates the parameters (out-of-range values are reported and replaced), asks for "
             "the\nconfirmation (--yes), saves them in the settings file when \"AutoSaveData\" is "
             "on, sets\nthem in the device, reads them back, has the device store them and checks "
             "its CRC.\nParameters not given are taken from the settings file, as the main window "
             "shows them.\nThe parameters the device held before are saved in the backup folder "
             "first (\"params\nrestore\" writes them back).",
         .run = CmdSendData},
        {.name = "params restore",
         .args = "BACKUP.ini",
         .minArgs = 1,
         .maxArgs = 1,
         .options = {kNoBackup, kBackupDir},
         .device = true,
         .summary = "write a parameter backup of send-data back to the device",
         .details = "Sends the parameters of a backup file that send-data saved through "
                    "send-data's own\nsequence (confirmation, read-back, store, CRC check), "
                    "after saving what the device\nholds now.",
         .run = CmdParamsRestore},
        {.name = "relay",
         .args = "on|off",
         .minArgs = 1,
         .maxArgs = 1,
         .device = true,
         .summary = "switch the relay",
         .details = "Reads the status first; refused while the device's manual switch is off. "
                    "Switching on\nasks \"Relay ON?\" (--yes).",
         .run = CmdRelay},
        {.name = "current",
         .options = {{.name = "--vref", .help = "use the voltage reference (single measurement)"},
                     {.name = "--every",
                      .valueName = "SECONDS",
                      .help = "measure every SECONDS seconds (timed measurement)"},
                     {.name = "--count", .valueName = "N", .help = "number of timed measurements"},
                     {.name = "--log",
                      .valueName = "FILE",
                      .help = "current log file (.adc) to append the measurements to"}},
         .device = true,
         .json = true,
         .summary = "measure the current",
         .details =
             "Without --every: one measurement, with the voltage reference when --vref is "
             "given.\nWith --every SECONDS --count N: N timed measurements, each with the status "
             "read first\nand the voltage reference the device uses, appended to the current log "
             "(--log, default\nthe program's .adc file). --log without --every appends the one "
             "measurement.",
         .run = CmdCurrent},
        {.name = "crc-check",
         .options = ParameterOptions(),
         .device = true,
         .summary = "compare the parameters' CRC with the device's",
         .details = "Computes the CRC-8 of the seven parameters (from the settings file, or the "
                    "options) and\ncompares it with the CRC the device reports in its status "
                    "record.",
         .run = CmdCrcCheck},
    };
}

} // namespace kv::ctl
