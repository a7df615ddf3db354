#include "history/outcome_records.h"

#include "app/format.h"
#include "app/numbers.h"
#include "calib/correction_calc.h"
#include "device/notices.h"
#include "history/record_data.h"

namespace kv::history {

namespace dev = kv::device;
namespace ct = kv::corrtable;

namespace {

template <class Data> Entry Make(const Data &data, Outcome outcome) {
    return {Data::kOperation, std::move(outcome), ToJson(data)};
}

} // namespace

Outcome OutcomeOf(bool ok, const Notices &notices) {
    if (ok)
        return Outcome::Ok();
    std::string text;
    for (const Notice &n : notices) {
        if (n.kind == Notice::Kind::Report || n.kind == Notice::Kind::InfoBox)
            continue;
        text += (text.empty() ? "" : "; ") + n.text;
    }
    return Outcome::Failed(text.empty() ? "failed" : text);
}

Entry EntryOf(const dev::StatusRead &read) {
    StatusReadData d;
    if (read.status)
        d.status = *read.status;
    d.stored = read.command == link::Cmd::GetStoredStatus;
    Entry e = Make(d, OutcomeOf(read.ok(), dev::NoticesOf(read)));
    if (!read.status)
        e.data["status"] = nullptr; // nothing came: no zeros passed off as read
    return e;
}

Entry EntryOf(const dev::ParametersRead &read) {
    ParamsReadData d;
    if (read.parameters)
        d.parameters = *read.parameters;
    Entry e = Make(d, OutcomeOf(read.ok(), dev::NoticesOf(read)));
    if (!read.parameters)
        e.data["parameters"] = nullptr;
    return e;
}

std::optional<Entry> EntryOf(const dev::SendOutcome &out,
                             const std::optional<dev::DeviceStatus> &before) {
    if (out.failure == dev::SendFailure::Declined)
        return std::nullopt;
    ParamsSendData d;
    d.before = before;
    d.sent = out.parameters;
    d.after = out.readBack;
    d.crcReturned = out.returnedCrc;
    return Make(d, OutcomeOf(out.ok(), dev::NoticesOf(out)));
}

std::optional<Entry> EntryOf(const dev::RelayOutcome &out) {
    if (!out.switched)
        return std::nullopt;
    const bool on = out.result == dev::RelayResult::SwitchedOn;
    const bool answered =
        out.switched->Has(link::ReplyLength(on ? link::Cmd::RelayOn : link::Cmd::RelayOff));
    return Make(RelayData{on},
                answered ? Outcome::Ok() : Outcome::Failed("the relay command was not answered"));
}

Entry EntryOf(const dev::Measurement &m, bool vref) {
    return Make(CurrentReadData{m.sample, vref}, OutcomeOf(m.ok, dev::NoticesOf(m)));
}

std::optional<Entry> EntryOf(const dev::CrcCheck &check, const dev::ParameterEntries &entries) {
    if (!check.compared)
        return std::nullopt;
    const dev::FuseParameters parameters = dev::CalcCrcParameters(entries);
    Notices n = dev::CalculatedNotices(check);
    if (check.compared) {
        const Notices more = dev::ComparedNotices(check);
        n.insert(n.end(), more.begin(), more.end());
    }
    if (!check.returned && check.read) {
        const Notices read = dev::NoticesOf(*check.read);
        n.insert(n.end(), read.begin(), read.end());
    }
    return Make(ParamsCrcData{parameters, check.returned}, OutcomeOf(check.ok(), n));
}

std::optional<Entry> EntryOf(const dev::RestartOutcome &out) {
    if (out.result == dev::RestartResult::Declined)
        return std::nullopt;
    return Make(RestartData{},
                OutcomeOf(out.result == dev::RestartResult::Done, dev::NoticesOf(out)));
}

Entry TableReadEntry(const ct::TableTransfer &read, const ct::CorrTableData &table,
                     const std::string &file, bool saved) {
    Outcome o = read.complete() ? Outcome::Ok()
                                : Outcome::Failed(Format("the table read stopped at block %d of %d",
                                                         {read.blocks, ct::kBlocks}));
    Entry e = Make(TableReadData{table, saved ? file : std::string()}, o);
    if (!read.complete())
        e.data["table"] = nullptr; // zeros from the failed block on: not the device's
    return e;
}

Entry TableWriteEntry(const ct::TableTransfer &written, const ct::CorrTableData &table,
                      const std::string &file) {
    TableWriteData d;
    d.file = file;
    d.after = table;
    return Make(d, OutcomeOf(written.complete(), ct::NoticesOf(written)));
}

Entry VerifiedWriteEntry(const ct::VerifiedWrite &v, const ct::CorrTableData &table,
                         const std::string &file) {
    TableWriteData d;
    d.file = file;
    d.after = table;
    if (v.before.read.complete())
        d.before = v.before.device;
    if (v.backup)
        d.backupFile = v.backupFile;
    if (v.write)
        d.verified = v.write->ok();
    else if (v.end == ct::VerifiedWriteEnd::AlreadyEqual)
        d.verified = true;
    return Make(d, OutcomeOf(v.ok(), ct::NoticesOf(v)));
}

std::optional<Entry> RestoreEntry(const ct::VerifiedWrite &v) {
    if (!v.restore || !v.before.read.complete())
        return std::nullopt;
    TableRestoreData d;
    d.file = v.backup ? v.backupFile : std::string();
    d.after = v.before.device;
    d.verified = v.restore->ok();
    const bool ok = v.restore->ok();
    return Make(d, ok ? Outcome{} : Outcome::Failed(ct::CheckedWriteFault(*v.restore)));
}

Entry TableBackupEntry(const ct::CorrTableData &table, const std::string &file,
                       const std::string &error) {
    TableBackupData d;
    d.table = table;
    d.file = error.empty() ? file : std::string();
    return Make(d, error.empty() ? Outcome::Ok() : Outcome::Failed(error));
}

Entry TableVerifyEntry(const ct::TableCheck &check, const ct::CorrTableData &table,
                       const std::string &file) {
    TableVerifyData d;
    d.file = file;
    d.expected = table;
    if (check.read.complete())
        d.found = check.device;
    return Make(d, OutcomeOf(check.ok(), ct::NoticesOf(check)));
}

Entry CalculationEntry(const calib::CorrectionTable &table, const calib::PointList &points,
                       std::int32_t multiplier, std::int32_t zeroOffset, const std::string &file,
                       const std::string &saveError) {
    CalibrationCalcData d;
    d.points = points;
    d.multiplier = multiplier;
    d.zeroOffset = zeroOffset;
    d.result = table;
    d.file = saveError.empty() ? file : std::string();
    const bool calculated = table.status == calib::CorrectionTable::Status::Ok;
    Outcome o = OutcomeOf(calculated, calib::NoticesOf(table));
    if (calculated && !saveError.empty())
        o = Outcome::Failed(saveError);
    return Make(d, o);
}

Entry IncludeEntry(const ct::IncludeOutcome &o, const std::optional<ct::CorrTableData> &table) {
    const bool whole = o.result == ct::IncludeOutcome::Result::Written && !o.loadMessage;
    return Make(IncludeGenerateData{o.in, o.out, table}, OutcomeOf(whole, ct::NoticesOf(o)));
}

void CountTick(SeriesCount &series, const dev::TimedRecord &tick) {
    const bool logged = !tick.written || tick.written->ok;
    if (tick.measured() && logged) {
        ++series.count;
        return;
    }
    ++series.failures;
    series.lastFailure = OutcomeOf(false, dev::NoticesOf(tick)).message;
}

Entry SeriesEntry(const SeriesCount &series, const std::string &end) {
    CurrentSeriesData d;
    d.start = series.start;
    d.end = end;
    d.intervalSeconds = series.intervalSeconds;
    d.count = series.count;
    d.failures = series.failures;
    d.logFile = series.logFile;
    return Make(d, series.failures == 0
                       ? Outcome::Ok()
                       : Outcome::Failed(Format("%d of %d measurements failed; last: %s",
                                                {series.failures, series.failures + series.count,
                                                 series.lastFailure})));
}

std::optional<dev::DeviceStatus> StatusBeforeSending(dev::DeviceOps &ops, bool unitNamed) {
    if (!unitNamed)
        return std::nullopt;
    return ops.ReadStatus(link::Cmd::GetStatus, link::SendOptions{.log = false}).status;
}

std::string InfoText(const link::Reply &reply) {
    std::string text;
    for (std::uint8_t b : reply.bytes)
        if (b >= 0x20 && b < 0x7F)
            text += static_cast<char>(b);
    return std::string(Trim(text));
}

} // namespace kv::history
