#include "device/operations.h"

#include <exception>

#include "app/comm_state.h"
#include "app/errors.h"
#include "app/format.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "device/texts.h"
#include "link/link.h"

namespace kv::device {

namespace {

constexpr std::uint8_t Code(link::Cmd c) {
    return static_cast<std::uint8_t>(c);
}

// The transaction's own log lines kept out of the log for one exchange.
constexpr link::SendOptions kQuiet{.log = false};

void LogLines(link::Link &l, const std::vector<std::string> &lines) {
    for (const auto &line : lines)
        l.AddLog(line);
}

} // namespace

DeviceOps::DeviceOps(link::Link &link, Prompter &prompter, AdcScale scale, Clock clock)
    : link_(link), prompter_(prompter), scale_(scale), clock_(std::move(clock)) {}

std::optional<DeviceStatus> DeviceOps::ReadStatus(link::Cmd cmd, link::SendOptions options) {
    const link::Reply reply = link_.SendCommand({Code(cmd)}, kStatusReplyLength, options);
    return StatusFromReply(reply.bytes, static_cast<std::uint32_t>(reply.bytes.size()),
                           kStatusReplyLength);
}

bool DeviceOps::ShowStatus(const std::optional<DeviceStatus> &status, std::string_view caption) {
    if (!status) {
        kv::ShowError(prompter_, text::GetStatusError);
        return false;
    }
    LogLines(link_, StatusReportLines(*status, caption));
    return true;
}

bool DeviceOps::GetLastValues(std::optional<DeviceStatus> *read) {
    const auto status = ReadStatus(link::Cmd::GetStatus);
    if (read)
        *read = status;
    return ShowStatus(status, text::CaptionLastValues);
}

bool DeviceOps::GetLastStoredValues(std::optional<DeviceStatus> *read) {
    const auto status = ReadStatus(link::Cmd::GetStoredStatus);
    if (read)
        *read = status;
    return ShowStatus(status, text::CaptionLastStoredValues);
}

SendDataResult DeviceOps::SendData(const ParameterEntries &entries, const IniFile *autoSave) {
    try {
        const FuseParameters p = ValidateForSend(
            entries, [this](const std::string &message) { kv::ShowError(prompter_, message); });
        if (AskQuestion(prompter_, ConfirmationText(p)) != IdYes)
            return SendDataResult::Declined;
        return SendValidated(p, autoSave);
    } catch (const std::exception &e) {
        kv::ShowError(prompter_, e.what());
        return SendDataResult::Failed;
    }
}

SendDataResult DeviceOps::SendValidated(const FuseParameters &p, const IniFile *autoSave) {
    if (autoSave) {
        // Saved before anything is sent. A file that cannot be written ends the sequence
        // with its reason, rather than leaving the user to believe the values were kept.
        const FileResult saved = SaveParameters(*autoSave, p);
        if (!saved)
            throw Error(Format(text::SettingsNotSaved, {autoSave->FileName(), saved.error}));
    }

    const auto request = SetStatusRequest(p);
    if (!link_.SendCommand(request, ReplyLength(link::Cmd::SetStatus))
             .Has(ReplyLength(link::Cmd::SetStatus))) {
        kv::ShowError(prompter_, text::SetStatusError);
        return SendDataResult::SetStatusFailed;
    }

    const auto status = ReadStatus();
    if (!status) {
        kv::ShowError(prompter_, text::GetStatusError);
        return SendDataResult::GetStatusFailed;
    }
    if (!ReadBackMatches(*status, p)) {
        kv::ShowError(prompter_, text::DataSetError);
        return SendDataResult::DataSetError;
    }

    const link::Reply written =
        link_.SendCommand({Code(link::Cmd::WriteData)}, ReplyLength(link::Cmd::WriteData));
    if (!written.Has(ReplyLength(link::Cmd::WriteData))) {
        kv::ShowError(prompter_, text::WriteDataError);
        return SendDataResult::WriteDataFailed;
    }
    const std::uint8_t returned = written.bytes[0];
    const std::uint8_t crc = ParametersCrc(p);
    if (crc != returned) {
        kv::ShowError(prompter_, Format(text::SendCrcNotOk, {crc, returned}));
        return SendDataResult::CrcMismatch;
    }
    link_.AddLog(Format(text::SendCrcOk, {crc}));
    return SendDataResult::Done;
}

std::optional<FuseParameters> DeviceOps::GetData() {
    const auto status = ReadStatus();
    if (!status) {
        kv::ShowError(prompter_, text::GetStatusError);
        return std::nullopt;
    }
    return ParametersFromStatus(*status);
}

RelayResult DeviceOps::Relay(link::Reply *switched) {
    const auto status = ReadStatus();
    if (!status) {
        kv::ShowError(prompter_, text::GetStatusError);
        return RelayResult::StatusFailed;
    }
    // The manual switch blocks both directions.
    if (status->ManualSwitchOff()) {
        ShowInfo(prompter_, text::ManualSwitchOff);
        return RelayResult::ManualSwitchOff;
    }
    link::Reply reply;
    if (status->RelayOn()) {
        reply = link_.SendCommand({Code(link::Cmd::RelayOff)}, ReplyLength(link::Cmd::RelayOff));
        if (switched)
            *switched = reply;
        return RelayResult::SwitchedOff;
    }
    if (AskQuestion(prompter_, text::RelayOnQuestion) != IdYes)
        return RelayResult::Declined;
    reply = link_.SendCommand({Code(link::Cmd::RelayOn)}, ReplyLength(link::Cmd::RelayOn));
    if (switched)
        *switched = reply;
    return RelayResult::SwitchedOn;
}

bool DeviceOps::GetCurrent(CurrentSample &sample, bool useVref, bool errorBox) {
    sample = CurrentSample{};
    sample.TimeStamp = clock_();
    const link::Reply reply =
        link_.SendCommand({Code(link::Cmd::GetCurrentCmd)}, kCurrentReplyLength, kQuiet);
    if (!reply.Has(kCurrentReplyLength) || !SampleFromReply(reply.bytes, useVref, scale_, sample)) {
        if (errorBox)
            kv::ShowError(prompter_, text::GetCurrentError);
        else
            link_.AddLog(text::GetCurrentError);
        return false;
    }
    LogLines(link_, CurrentReportLines(sample));
    return true;
}

std::optional<std::string> DeviceOps::TimerTick(int &ticks, BusyFlag &busy, const int &interval,
                                                const std::string &logFileName) {
    const TimerStep step = CountTimerTick(ticks, interval);
    ticks = step.ticks;
    if (step.due) {
        const BusyGuard guard(busy);
        if (!guard.entered())
            return std::nullopt;
        TimedMeasurement(logFileName);
    }
    // Ticks that arrived during the measurement have counted on from 0.
    return Format(text::Countdown, {TimerSecondsLeft(ticks, interval)});
}

CurrentSample DeviceOps::TimedMeasurement(const std::string &logFileName, bool *measured) {
    if (measured)
        *measured = false;
    const std::optional<DeviceStatus> status = ReadStatus(link::Cmd::GetStatus, kQuiet);
    if (!status) {
        link_.AddLog(text::GetCurrentError);
        return CurrentSample{};
    }
    // The device's own choice of reference decides the scale, not the window's check box.
    CurrentSample sample;
    const bool ok = GetCurrent(sample, status->UseVref != 0, false);
    if (measured)
        *measured = ok;
    // A record that cannot be written is reported where the timed measurements report, in
    // the log: a file that cannot even be opened would otherwise pass without a sound.
    const FileResult saved = AppendCurrentLog(sample, logFileName, &prompter_);
    if (!saved)
        link_.AddLog(Format(text::CurrentLogNotSaved, {logFileName, saved.error}));
    return sample;
}

bool DeviceOps::SetTimerInterval(int &interval, const IniFile &ini) {
    const auto answer =
        prompter_.InputQuery(std::string(text::IntervalCaption), std::string(text::IntervalPrompt),
                             std::to_string(interval));
    if (!answer)
        return false;
    int value = StrToInt(*answer); // leading blanks skipped, a trailing one fails
    if (value < 1)
        value = 1;
    if (value == interval)
        return false;
    interval = value;
    link_.AddLog(Format(text::IntervalSet, {value}));
    const FileResult saved = ini.WriteInteger(kIniSection, "timer", value);
    if (!saved)
        link_.AddLog(Format(text::IntervalNotSaved, {ini.FileName(), saved.error}));
    return true;
}

CrcCheckResult DeviceOps::CalcCrc(const ParameterEntries &entries) {
    try {
        const std::uint8_t crc = ParametersCrc(CalcCrcParameters(entries));
        link_.AddLog(Format(text::CalculatedCrc, {crc, crc}));
        const std::optional<DeviceStatus> status = ReadStatus(link::Cmd::GetStatus, kQuiet);
        if (!status)
            return CrcCheckResult::StatusFailed;
        const std::uint8_t returned = status->DataCrc;
        link_.AddLog(Format(text::ReturnedCrc, {returned, returned}));
        if (returned == crc) {
            ShowInfo(prompter_, Format(text::CheckCrcOk, {crc}));
            return CrcCheckResult::Match;
        }
        kv::ShowError(prompter_, Format(text::CheckCrcNotOk, {returned, crc}));
        return CrcCheckResult::Mismatch;
    } catch (const std::exception &e) {
        kv::ShowError(prompter_, e.what());
        return CrcCheckResult::Failed;
    }
}

} // namespace kv::device
