// The shared history: one PostgreSQL database that the stations' forwarders write to and
// that korvanectl and the window read all stations' records from. Its table holds the
// station file's columns plus the record's UUID as the key; a table of its own holds the
// schema version, upgraded step by step like the station's file, and a database of a
// newer version than this build knows is refused with nothing changed.
//
// Schema version 1:
//
//   korvane_schema (version integer)              one row
//   korvane_record (id uuid PRIMARY KEY, station, local_id, time, mono_ns, operator,
//                   tool_version, unit, port, adapter, adapter_serial, info, operation,
//                   ok boolean, message, data, received timestamptz DEFAULT now())
//   indexes: (unit, time), (time)
//
// Every message is scrubbed of the connection string's password (shared_target.h).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "history/calibration_record.h"
#include "history/record.h"
#include "history/shared_target.h"
#include "history/store.h"

namespace kv::history {

// False in a build without libpq.
bool SharedAvailable();

// The connect time-out of every connection to the shared history: a server that is away
// costs at most this much per run.
inline constexpr int kSharedConnectTimeoutS = 3;

// The schema version this build writes to the shared database.
inline constexpr int kSharedSchemaVersion = 1;

class PgConnection;

class SharedStore {
public:
    explicit SharedStore(std::string conninfo, int connectTimeoutS = kSharedConnectTimeoutS);
    ~SharedStore();
    SharedStore(const SharedStore &) = delete;
    SharedStore &operator=(const SharedStore &) = delete;

    // The connection string with its password masked, for messages.
    std::string Shown() const { return MaskPassword(conninfo_); }

    // Connects and brings the schema to this build's version (creating it on first use
    // when the role may). Kept open; after a failure the next call connects afresh.
    Status Open();

    // Inserts the records in one transaction; a record whose UUID is there already is
    // passed over. *inserted: how many were new.
    Status Insert(std::span<const Record> records, std::size_t *inserted = nullptr);

    // Holds the lock of one station's forwarding (key: station and file) until Unlock or
    // the connection's end, so that two processes forwarding one file take turns.
    Status Lock(const std::string &key);
    void Unlock(const std::string &key);

    // All stations' records, as Store::Read reads one station's.
    QueryResult Read(const Query &query);

private:
    Status Failed(Failure f, const std::string &detail);
    Status ConnectionLost(const std::string &detail);

    std::string conninfo_;
    int connectTimeoutS_;
    std::unique_ptr<PgConnection> conn_;
};

} // namespace kv::history
