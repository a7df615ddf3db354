#include "history/recorder.h"

#include "app/format.h"

namespace kv::history {

std::string DefaultHistoryPath(const std::string &dataDir) {
    return dataDir + kHistoryFileName;
}

Recorder::Recorder(std::string path, Context context, StoreOptions options)
    : store_(std::move(path), options), context_(std::move(context)) {}

void Recorder::SetUnit(std::string unit) {
    if (unit != context_.unit)
        adapterChecked_ = false;
    context_.unit = std::move(unit);
}

void Recorder::PortOpened(const std::string &port, std::function<std::string()> readInfo,
                          const link::PortRoots &roots) {
    SetPort(context_, port, roots);
    context_.info.clear();
    readInfo_ = std::move(readInfo);
    infoRead_ = false;
    adapterChecked_ = false;
}

void Recorder::PortClosed() {
    context_.port.clear();
    context_.adapter.clear();
    context_.adapterSerial.clear();
    context_.info.clear();
    readInfo_ = nullptr;
}

// The unit's last record made through a port names the adapter it was on. An adapter
// with no serial number (or a pseudo-terminal) gives nothing to compare with, so only a
// known serial number that differs from the present one warns.
std::string Recorder::AdapterWarning() {
    adapterChecked_ = true;
    // The newest record alone is nearly always one made through a port; reading (and
    // parsing) 50 of them is the exception.
    const auto read = [this](const Query &q) {
        return batcher_ ? batcher_->Read(q) : store_.Read(q);
    };
    QueryResult last = read({.unit = context_.unit, .newestFirst = true, .limit = 1});
    if (!last.records.empty() && last.records.front().port.empty())
        last = read({.unit = context_.unit, .newestFirst = true, .limit = 50});
    for (const Record &r : last.records) {
        if (r.port.empty())
            continue;
        if (r.adapterSerial.empty() || r.adapterSerial == context_.adapterSerial)
            return {};
        return Format("Warning: unit %s was last on the adapter with serial number %s (%s, %s); "
                      "now on %s",
                      {context_.unit, r.adapterSerial, r.station, r.time,
                       context_.adapterSerial.empty()
                           ? std::string("an adapter without a serial number")
                           : "the adapter with serial number " + context_.adapterSerial});
    }
    return {};
}

Recorder::Result Recorder::Add(const Entry &entry) {
    Result result;
    if (!context_.unit.empty()) {
        if (readInfo_ && !infoRead_) {
            infoRead_ = true;
            context_.info = readInfo_();
        }
        if (!context_.port.empty() && !adapterChecked_)
            result.warning = AdapterWarning();
    }
    Record record = MakeRecord(context_, entry.operation, entry.outcome, entry.data);
    result.status = batcher_ ? batcher_->Append(record) : store_.Append(record);
    return result;
}

} // namespace kv::history
