#include "history/record_batcher.h"

namespace kv::history {

RecordBatcher::RecordBatcher(std::string path, StoreOptions options)
    : store_(std::move(path), options) {}

Status RecordBatcher::Append(Record &record) {
    Waiting me{&record, false, {}};
    std::unique_lock lock(mutex_);
    queue_.push_back(&me);
    while (!me.done) {
        if (busy_) {
            written_.wait(lock);
            continue;
        }
        // This thread writes everything waiting, its own record among it.
        busy_ = true;
        std::vector<Waiting *> batch;
        batch.swap(queue_);
        lock.unlock();
        std::vector<Record *> records;
        records.reserve(batch.size());
        for (Waiting *w : batch)
            records.push_back(w->record);
        const Status status = store_.AppendAll(records);
        lock.lock();
        for (Waiting *w : batch) {
            w->status = status;
            w->done = true;
        }
        busy_ = false;
        written_.notify_all();
    }
    return me.status;
}

QueryResult RecordBatcher::Read(const Query &query) {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return !busy_; });
    busy_ = true;
    lock.unlock();
    QueryResult result = store_.Read(query);
    lock.lock();
    busy_ = false;
    // A record that came while this thread read is written by the first thread to wake.
    written_.notify_all();
    return result;
}

} // namespace kv::history
