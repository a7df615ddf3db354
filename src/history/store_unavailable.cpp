// The history file in a build without SQLite: every call fails with the reason, so that a
// front end asked for the history says so instead of passing over it.
#include "history/recorder.h"
#include "history/store.h"

namespace kv::history {

namespace {

Status Unavailable(const std::string &path) {
    return {Failure::Other, "Cannot use the history " + path + ": " + kNoHistoryInBuild};
}

} // namespace

bool StoreAvailable() {
    return false;
}

Store::Store(std::string path, StoreOptions options) : path_(std::move(path)), options_(options) {}
Store::~Store() = default;

Status Store::Append(Record &) {
    return Unavailable(path_);
}

Status Store::AppendAll(std::span<Record *const>) {
    return Unavailable(path_);
}

QueryResult Store::Read(const Query &) {
    return {Unavailable(path_), {}};
}

std::optional<int> Store::FileSchemaVersion() {
    return std::nullopt;
}

Store::Waiting Store::WaitingToSend() {
    Waiting w;
    w.status = Unavailable(path_);
    return w;
}

QueryResult Store::Unsent(std::size_t) {
    return {Unavailable(path_), {}};
}

Status Store::MarkSent(std::span<const Record>) {
    return Unavailable(path_);
}

Status Store::NoteForwarding(const std::string &, std::size_t) {
    return Unavailable(path_);
}

CalibrationDocument CalibrationRecordFromStore(Store &store, const std::string &,
                                               const std::string &) {
    return {false, {}, Unavailable(store.Path()).message};
}

} // namespace kv::history
