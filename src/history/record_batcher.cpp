#include "history/record_batcher.h"

namespace kv::history {

RecordBatcher::RecordBatcher(std::string path, StoreOptions options)
    : store_(path, options), reader_(std::move(path), options) {}

Status RecordBatcher::Append(Record &record) {
    Waiting me;
    me.record = &record;
    std::unique_lock lock(mutex_);
    queue_.push_back(&me);
    while (!me.done) {
        if (busy_) {
            me.wake.wait(lock);
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
            if (w != &me)
                w->wake.notify_one();
        }
        busy_ = false;
        // The records that came meanwhile: the first of them writes them all.
        if (!queue_.empty())
            queue_.front()->wake.notify_one();
    }
    return me.status;
}

QueryResult RecordBatcher::Read(const Query &query) {
    std::lock_guard lock(readMutex_);
    return reader_.Read(query);
}

} // namespace kv::history
