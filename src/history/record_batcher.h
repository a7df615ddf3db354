// One history file written by several threads of one program (korvanectl on many ports):
// a record that arrives while another thread's transaction is being written waits and goes
// into the next transaction together with every other record that arrived meanwhile (group
// commit). Each record is still reported only once its transaction is on the disk, but the
// threads no longer poll for the file's write lock one after the other, each with a
// connection and a synced commit of its own.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "history/store.h"

namespace kv::history {

class RecordBatcher {
public:
    explicit RecordBatcher(std::string path, StoreOptions options = {});
    const std::string &Path() const { return store_.Path(); }

    // Any thread: writes the record (with those that arrived meanwhile); on success its id
    // is set. A failure is the failure of its whole transaction.
    Status Append(Record &record);

    // Any thread: reads through the run's one reading connection (a port's check of its
    // unit's last adapter needs no connection of its own). Reads take turns among
    // themselves but do not wait for a batch being written: the log lets them read the
    // last committed records meanwhile.
    QueryResult Read(const Query &query);

private:
    // A thread with a record to write. Each has its own wake-up: the end of a batch wakes
    // the threads whose records it wrote and the one that writes the next batch, not every
    // thread waiting (with 32 ports that was a herd of wake-ups per batch).
    struct Waiting {
        Record *record = nullptr;
        bool done = false;
        Status status;
        std::condition_variable wake;
    };

    std::mutex mutex_;
    std::vector<Waiting *> queue_; // guarded by mutex_: records for the next batch
    bool busy_ = false;            // guarded by mutex_: a thread writes a batch
    Store store_;                  // used by the thread that made it busy only
    std::mutex readMutex_;
    // Declared after store_ so that it closes first: the writing connection, closing last,
    // moves the log into the file and removes it, which a reading one cannot do.
    Store reader_; // guarded by readMutex_
};

} // namespace kv::history
