#include "device/notices.h"

#include "app/format.h"
#include "device/texts.h"

namespace kv::device {

namespace {

using Kind = Notice::Kind;

Notice Error(std::string_view text) {
    return {Kind::ErrorBox, std::string(text)};
}

void AddReport(Notices &n, const std::vector<std::string> &lines) {
    for (const auto &line : lines)
        n.push_back({Kind::Report, line});
}

} // namespace

std::string_view StatusCaption(link::Cmd command) {
    return command == link::Cmd::GetStoredStatus ? text::CaptionLastStoredValues
                                                 : text::CaptionLastValues;
}

std::string SendCrcOkLine(std::uint8_t crc) {
    return Format(text::SendCrcOk, {crc});
}

std::string CalculatedCrcLine(std::uint8_t crc) {
    return Format(text::CalculatedCrc, {crc, crc});
}

std::string ReturnedCrcLine(std::uint8_t crc) {
    return Format(text::ReturnedCrc, {crc, crc});
}

std::string CountdownText(int secondsLeft) {
    return Format(text::Countdown, {secondsLeft});
}

Notices NoticesOf(const StatusRead &read) {
    if (!read.ok())
        return {Error(text::GetStatusError)};
    Notices n;
    AddReport(n, StatusReportLines(*read.status, StatusCaption(read.command)));
    return n;
}

Notices NoticesOf(const ParametersRead &read) {
    if (!read.ok())
        return {Error(text::GetStatusError)};
    return {};
}

Notices NoticesOf(const SendOutcome &out) {
    switch (out.failure) {
    case SendFailure::None:
        return {{Kind::Report, SendCrcOkLine(out.crc)}};
    case SendFailure::Error:
        return {Error(out.error)};
    case SendFailure::Declined:
        return {};
    case SendFailure::SettingsNotSaved:
        return {Error(Format(text::SettingsNotSaved, {out.settingsFile, out.error}))};
    case SendFailure::SetStatus:
        return {Error(text::SetStatusError)};
    case SendFailure::GetStatus:
        return {Error(text::GetStatusError)};
    case SendFailure::ReadBack:
        return {Error(text::DataSetError)};
    case SendFailure::WriteData:
        return {Error(text::WriteDataError)};
    case SendFailure::CrcMismatch:
        return {Error(Format(text::SendCrcNotOk, {out.crc, out.returnedCrc.value_or(0)}))};
    }
    return {};
}

Notices NoticesOf(const RelayOutcome &out) {
    switch (out.result) {
    case RelayResult::StatusFailed:
        return {Error(text::GetStatusError)};
    case RelayResult::ManualSwitchOff:
        return {{Kind::InfoBox, std::string(text::ManualSwitchOff)}};
    case RelayResult::SwitchedOff:
    case RelayResult::SwitchedOn:
    case RelayResult::Declined:
        break;
    }
    return {};
}

Notices NoticesOf(const Measurement &m, Notice::Kind failureAs) {
    if (!m.ok)
        return {{failureAs, std::string(text::GetCurrentError)}};
    Notices n;
    AddReport(n, CurrentReportLines(m.sample));
    return n;
}

Notices NoticesOf(const TimedRecord &r) {
    if (!r.status.ok())
        return {{Kind::Problem, std::string(text::GetCurrentError)}};
    Notices n = NoticesOf(*r.measurement, Kind::Problem);
    // A record that cannot be written is reported where the timed measurements report, in
    // the log: a file that cannot even be opened would otherwise pass without a sound.
    if (r.written && !r.written->ok)
        n.push_back(
            {Kind::Problem, Format(text::CurrentLogNotSaved, {r.logFile, r.written->error})});
    return n;
}

Notices NoticesOf(const IntervalChange &c) {
    if (!c.badEntry.empty())
        return {{Kind::AppError, c.badEntry}};
    Notices n;
    if (c.changed)
        n.push_back({Kind::Report, Format(text::IntervalSet, {c.interval})});
    if (c.saved && !c.saved->ok)
        n.push_back(
            {Kind::Problem, Format(text::IntervalNotSaved, {c.settingsFile, c.saved->error})});
    return n;
}

Notices NoticesOf(const RestartOutcome &r) {
    if (r.result == RestartResult::Failed)
        return {Error(text::RestartError)};
    return {};
}

Notices CalculatedNotices(const CrcCheck &c) {
    if (!c.error.empty())
        return {Error(c.error)};
    return {{Kind::Report, CalculatedCrcLine(c.calculated)}};
}

Notices ComparedNotices(const CrcCheck &c) {
    if (!c.error.empty())
        return {Error(c.error)};
    // A status that did not come ends it silently: the window's log is off for the exchange.
    if (!c.returned)
        return {};
    Notices n{{Kind::Report, ReturnedCrcLine(*c.returned)}};
    if (*c.returned == c.calculated)
        n.push_back({Kind::InfoBox, Format(text::CheckCrcOk, {c.calculated})});
    else
        n.push_back(Error(Format(text::CheckCrcNotOk, {*c.returned, c.calculated})));
    return n;
}

} // namespace kv::device
