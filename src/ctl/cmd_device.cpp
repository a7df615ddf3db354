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

std::string StatusJson(const dev::DeviceStatus &st, bool stored,
                       const std::vector<std::string> &lines) {
    json::Value j;
    j["command"] = "status";
    j["stored"] = stored;
    j["PortA"] = st.PortA;
    j["PortB"] = st.PortB;
    j["PortC"] = st.PortC;
    j["Flags"] = st.Flags;
    j["FlagNames"] = dev::FlagNameList(st.Flags);
    j["FuseCurrent"] = st.FuseCurrent;
    j["ZeroOffset"] = st.ZeroOffset;
    j["CurrentMultiply"] = st.CurrentMultiply;
    j["OverloadTime"] = st.OverloadTime;
    j["UseVref"] = st.UseVref;
    j["UseAverage"] = st.UseAverage;
    j["MeasureCount"] = st.MeasureCount;
    j["DataCrc"] = st.DataCrc;
    j["AvgAdc"] = st.AvgAdc();
    j["UsedCurrent"] = st.UsedCurrent;
    j["MeasuredCurrent"] = st.MeasuredCurrent;
    j["LastAdc"] = st.LastAdc();
    j["RelayOffTimeMs"] = dev::RelayOffTimeFrom(st.RelayOffCount()).total;
    j["RelayOn"] = st.RelayOn();
    j["ManualSwitchOff"] = st.ManualSwitchOff();
    j["lines"] = lines;
    return json::Write(j);
}

std::string SampleJson(const dev::CurrentSample &c, const std::vector<std::string> &lines) {
    json::Value j;
    j["command"] = "current";
    j["time"] = dev::FormatDateTime(c.TimeStamp);
    j["Adc"] = c.Adc();
    j["AdcHi"] = c.AdcHi;
    j["AdcLo"] = c.AdcLo;
    j["ZeroOffset"] = c.ZeroOffset;
    j["Multiply"] = c.Multiply;
    j["Port"] = c.Port;
    j["Voltage"] = json::Rounded(c.Voltage, 5);
    j["Current"] = json::Rounded(c.Current, 2);
    j["RelayOn"] = c.RelayOn();
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
    json::Value j;
    j["command"] = "get-data";
    dev::ForEachParameter(p, [&](const dev::ParameterName &name, const auto &value) {
        if (!s.json())
            s.Out(std::string(name.settingsKey) + "=" + std::to_string(int{value}));
        else
            j[std::string(name.settingsKey)] = value;
    });
    if (s.json())
        s.Out(json::Write(j));
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
    const std::string file = NewBackupPath(s, ".ini");
    if (FileResult r =
            dev::SaveParameters(IniFile(file), dev::ParametersFromStatus(*before.status));
        !r) {
        s.err.Line(ct::FileWriteErrorText(file, r.error) + "; no backup file");
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
    if (!FileExists(file))
        return s.Fail(ct::FileReadErrorText(file, NotATextFile(file).empty() ? "No such file"
                                                                             : NotATextFile(file)));
    // The backup's parameters as a settings file holds them; the settings file of the run is
    // left as it is.
    return SendParameters(s, dev::EntriesFromSettings(ReadStartupSettings(IniFile(file))), nullptr);
}

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
        s.Out(Format("Relay is already %s", {dev::OffOnText[wantOn ? 1 : 0]}));
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
    s.Out(Format("Relay is currently %s", {dev::OffOnText[after.status->RelayOn() ? 1 : 0]}));
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

    auto report = [&](const dev::CurrentSample &sample) {
        const auto lines = TopFirst(dev::CurrentReportLines(sample));
        if (s.json())
            s.Out(SampleJson(sample, lines));
        else
            PrintLines(s, lines);
    };

    if (!timed) {
        const dev::Measurement m = ops.GetCurrent(s.args.Has("--vref"));
        s.Tell(dev::NoticesOf(m, Notice::Kind::ErrorBox));
        s.Record(history::EntryOf(m, s.args.Has("--vref")));
        if (!m.ok)
            return kExitFailed;
        report(m.sample);
        if (!logFile.empty()) {
            FileResult r = dev::AppendCurrentLog(m.sample, logFile, &s.prompter);
            if (!r)
                return s.Fail("cannot write " + logFile + ": " + r.error);
        }
        return kExitOk;
    }

    // Timed: measurements at start + i x every seconds, as the window's timer does them,
    // each with its status read and its line in the log file. A failed measurement, or a
    // record the log file did not take, is reported and the series goes on; the exit
    // status then says that one failed.
    int failed = 0;
    bool hungUp = false;
    const std::chrono::seconds period(every);
    auto due = std::chrono::steady_clock::now();
    history::SeriesCount series{.start = history::Now().time,
                                .intervalSeconds = static_cast<double>(every),
                                .logFile = logFile};
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            due = NextSlot(due, period, std::chrono::steady_clock::now());
        l->WaitUntil(due);
        // A line that could not be written (the adapter was pulled) is opened again once
        // before the next measurement: a device plugged back in is measured again.
        if (hungUp && !l->OpenComPort()) {
            ++failed;
            continue;
        }
        const dev::TimedRecord record = ops.TimedMeasurement(logFile);
        hungUp = record.status.reply.status == link::ReplyStatus::WriteFailed ||
                 (record.measurement &&
                  record.measurement->reply.status == link::ReplyStatus::WriteFailed);
        s.Tell(dev::NoticesOf(record));
        if (record.measured())
            report(record.measurement->sample);
        if (!record.measured() || (record.written && !record.written->ok))
            ++failed;
        history::CountTick(series, record);
    }
    s.Record(history::SeriesEntry(series, history::Now().time));
    if (failed)
        return s.Fail(Format("%d of %d measurements failed", {failed, count}));
    return kExitOk;
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

} // namespace kv::ctl
