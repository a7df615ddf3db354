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

    // Any thread: reads through the same connection, between two transactions (a port's
    // check of its unit's last adapter needs no connection of its own).
    QueryResult Read(const Query &query);

private:
    struct Waiting {
        Record *record;
        bool done = false;
        Status status;
    };
    std::mutex mutex_;
    std::condition_variable written_;
    std::vector<Waiting *> queue_; // guarded by mutex_
    bool busy_ = false;            // guarded by mutex_: a thread writes a batch or reads
    Store store_;                  // used by the thread that made it busy only
};

} // namespace kv::history
