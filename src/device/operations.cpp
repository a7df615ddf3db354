#include "device/operations.h"

#include <exception>

#include "app/comm_state.h"
#include "app/errors.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "device/notices.h"
#include "device/series_port.h"
#include "device/texts.h"

namespace kv::device {

namespace {

constexpr std::uint8_t Code(link::Cmd c) {
    return static_cast<std::uint8_t>(c);
}

// The exchanges whose own log lines stay out of the log.
constexpr link::SendOptions kQuiet{.log = false};
// A timed series' exchanges: a frame that cannot be written shows no box on every slot; the
// series tells the user once (SeriesPort).
constexpr link::SendOptions kSeries{.log = false, .reportWriteFailure = false};

} // namespace

DeviceOps::DeviceOps(link::Link &link, Prompter &prompter, AdcScale scale, Clock clock)
    : link_(link), prompter_(prompter), scale_(scale), clock_(std::move(clock)) {}

StatusRead DeviceOps::ReadStatus(link::Cmd cmd, link::SendOptions options) {
    StatusRead r;
    r.command = cmd;
    r.reply = link_.SendCommand({Code(cmd)}, kStatusReplyLength, options);
    r.status = StatusFromReply(r.reply.bytes, static_cast<std::uint32_t>(r.reply.bytes.size()),
                               kStatusReplyLength);
    return r;
}

SendOutcome DeviceOps::SendData(const ParameterEntries &entries, const IniFile *autoSave,
                                const std::function<void()> &beforeSend) {
    SendOutcome out;
    // The whole sequence is guarded: whatever fails ends it with its message.
    try {
        out.parameters = ValidateForSend(entries, [&](const std::string &message) {
            out.replaced.push_back(message);
            ShowError(prompter_, message); // at once, before the confirmation
        });
        out.crc = ParametersCrc(out.parameters);
        if (AskQuestion(prompter_, ConfirmationText(out.parameters)) != IdYes) {
            out.failure = SendFailure::Declined;
            return out;
        }
        if (beforeSend)
            beforeSend();
        SendValidated(out, autoSave);
    } catch (const std::exception &e) {
        out.failure = SendFailure::Error;
        out.error = e.what();
    }
    return out;
}

void DeviceOps::SendValidated(SendOutcome &out, const IniFile *autoSave) {
    const FuseParameters &p = out.parameters;
    if (autoSave) {
        // Saved before anything is sent. A file that cannot be written ends the sequence
        // with its reason, rather than leaving the user to believe the values were kept.
        out.settingsFile = autoSave->FileName();
        if (const FileResult saved = SaveParameters(*autoSave, p); !saved) {
            out.failure = SendFailure::SettingsNotSaved;
            out.error = saved.error;
            return;
        }
    }

    constexpr std::uint8_t kSetReply = link::ReplyLength(link::Cmd::SetStatus);
    out.reply = link_.SendCommand(SetStatusRequest(p), kSetReply);
    if (!out.reply.Has(kSetReply)) {
        out.failure = SendFailure::SetStatus;
        return;
    }

    const StatusRead back = ReadStatus();
    out.reply = back.reply;
    out.readBack = back.status;
    if (!back.ok()) {
        out.failure = SendFailure::GetStatus;
        return;
    }
    if (!ReadBackMatches(*back.status, p)) {
        out.failure = SendFailure::ReadBack;
        return;
    }

    constexpr std::uint8_t kWriteReply = link::ReplyLength(link::Cmd::WriteData);
    out.reply = link_.SendCommand({Code(link::Cmd::WriteData)}, kWriteReply);
    if (!out.reply.Has(kWriteReply)) {
        out.failure = SendFailure::WriteData;
        return;
    }
    out.returnedCrc = out.reply.bytes[0];
    if (*out.returnedCrc != out.crc)
        out.failure = SendFailure::CrcMismatch;
}

ParametersRead DeviceOps::GetData() {
    ParametersRead r;
    r.read = ReadStatus();
    if (r.read.ok())
        r.parameters = ParametersFromStatus(*r.read.status);
    return r;
}

RelayOutcome DeviceOps::Relay() {
    RelayOutcome out;
    out.before = ReadStatus();
    if (!out.before.ok()) {
        out.result = RelayResult::StatusFailed;
        return out;
    }
    // The manual switch blocks both directions.
    if (out.before.status->ManualSwitchOff()) {
        out.result = RelayResult::ManualSwitchOff;
        return out;
    }
    if (out.before.status->RelayOn()) {
        out.switched =
            link_.SendCommand({Code(link::Cmd::RelayOff)}, link::ReplyLength(link::Cmd::RelayOff));
        out.result = RelayResult::SwitchedOff;
        return out;
    }
    if (AskQuestion(prompter_, text::RelayOnQuestion) != IdYes) {
        out.result = RelayResult::Declined;
        return out;
    }
    out.switched =
        link_.SendCommand({Code(link::Cmd::RelayOn)}, link::ReplyLength(link::Cmd::RelayOn));
    out.result = RelayResult::SwitchedOn;
    return out;
}

Measurement DeviceOps::GetCurrent(bool useVref) {
    return Measure(useVref, kQuiet);
}

Measurement DeviceOps::Measure(bool useVref, link::SendOptions options) {
    Measurement m;
    m.sample.TimeStamp = clock_();
    m.reply = link_.SendCommand({Code(link::Cmd::GetCurrentCmd)}, kCurrentReplyLength, options);
    // A failed reply leaves the sample as it was: zeros and the time stamp.
    m.ok = m.reply.Has(kCurrentReplyLength) &&
           SampleFromReply(m.reply.bytes, useVref, scale_, m.sample);
    if (m.ok)
        m.suspect = SuspectCurrentReply(m.reply.bytes);
    return m;
}

TimerTickOutcome DeviceOps::TimerTick(int &ticks, BusyFlag &busy, const int &interval,
                                      const std::string &logFileName, SeriesPort *port) {
    TimerTickOutcome out;
    const TimerStep step = CountTimerTick(ticks, interval);
    ticks = step.ticks;
    // While the port is lost, every tick looks for it (the look may open it, which waits).
    if (step.due || (port && port->Lost())) {
        const BusyGuard guard(busy);
        if (!guard.entered()) {
            out.dropped = true;
            return out;
        }
        if (port)
            out.notices = port->Look(SeriesPort::Clock::now());
        if (step.due && port && port->Lost()) {
            out.missed = true;
            port->SlotMissed();
        } else if (step.due) {
            out.record = TimedMeasurement(logFileName);
            const Notices n = port ? port->Judge(*out.record) : NoticesOf(*out.record);
            out.notices.insert(out.notices.end(), n.begin(), n.end());
        }
    }
    // Ticks that arrived during the measurement have counted on from 0, and the interval
    // may have been changed meanwhile.
    out.secondsLeft = TimerSecondsLeft(ticks, interval);
    return out;
}

TimedRecord DeviceOps::TimedMeasurement(const std::string &logFileName) {
    TimedRecord r;
    r.logFile = logFileName;
    r.status = ReadStatus(link::Cmd::GetStatus, kSeries);
    if (!r.status.ok())
        return r;
    // The device's own choice of reference decides the scale, not the window's check box.
    r.measurement = Measure(r.status.status->UseVref != 0, kSeries);
    // A log emptied or deleted meanwhile gets its header line first.
    r.written = AppendCurrentLog(r.measurement->sample, logFileName, &prompter_);
    return r;
}

IntervalChange DeviceOps::SetTimerInterval(int &interval, const IniFile &ini) {
    IntervalChange c;
    const auto answer =
        prompter_.InputQuery(std::string(text::IntervalCaption), std::string(text::IntervalPrompt),
                             std::to_string(interval));
    if (!answer)
        return c;
    c.asked = true;
    int value = 0;
    try {
        value = StrToInt(*answer); // leading blanks skipped, a trailing one fails
    } catch (const Error &e) {
        c.badEntry = e.what();
        return c;
    }
    if (value < 1)
        value = 1;
    c.interval = value;
    if (value == interval)
        return c;
    interval = value;
    c.changed = true;
    c.settingsFile = ini.FileName();
    c.saved = ini.WriteInteger(kIniSection, "timer", value);
    return c;
}

CrcCheck CrcOfEntries(const ParameterEntries &entries) {
    CrcCheck c;
    try {
        c.calculated = ParametersCrc(CalcCrcParameters(entries));
    } catch (const std::exception &e) {
        c.error = e.what();
    }
    return c;
}

void DeviceOps::CompareCrc(CrcCheck &check) {
    if (!check.error.empty())
        return;
    check.compared = true;
    try {
        check.read = ReadStatus(link::Cmd::GetStatus, kQuiet);
        if (check.read->ok())
            check.returned = check.read->status->DataCrc;
    } catch (const std::exception &e) {
        check.error = e.what();
    }
}

link::Reply DeviceOps::Info(link::SendOptions options) {
    return link_.SendCommand({Code(link::Cmd::Info)}, link::ReplyLength(link::Cmd::Info), options);
}

RestartOutcome DeviceOps::Restart() {
    RestartOutcome r;
    if (AskQuestion(prompter_, kAreYouSure) != IdYes)
        return r;
    constexpr std::uint8_t kReply = link::ReplyLength(link::Cmd::ReStart);
    r.reply = link_.SendCommand({Code(link::Cmd::ReStart)}, kReply);
    // Fewer bytes than the reply's two is a failure; more are not judged.
    r.result = r.reply->bytes.size() < kReply ? RestartResult::Failed : RestartResult::Done;
    return r;
}

} // namespace kv::device
