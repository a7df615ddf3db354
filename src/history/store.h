// The unit service history in one SQLite file (korvane.db): records appended one
// transaction each, read back by unit, time and operation. Write-ahead log, so that
// readers never wait for a writer and several programs may append at once; a busy
// time-out for the moments another program holds the write lock.
//
// Every failure comes back as a Status with its kind and a message for the user; none is
// thrown and none passes silently. The store never changes what a device operation did:
// the front end performs the operation, then appends its record and reports a failed
// append beside the operation's own result.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/calibration_record.h"
#include "history/record.h"

struct sqlite3;

namespace kv::history {

enum class Failure {
    None,
    Missing,     // reading: there is no history file yet
    ReadOnly,    // the file or its folder may not be written (read-only medium, rights)
    DiskFull,    // no space left for the record
    Locked,      // another program held the write lock beyond the busy time-out
    NotHistory,  // the file is not an SQLite database, or one of another program
    NewerSchema, // written by a newer version of this tool: left alone
    CannotOpen,  // the file or its folder cannot be opened or created
    Io,          // the system reported an I/O error
    Other,       // anything else SQLite reports
};

struct [[nodiscard]] Status {
    Failure failure = Failure::None;
    std::string message; // for the user: "Cannot write the history /x/korvane.db: ..."
    explicit operator bool() const { return failure == Failure::None; }
};

struct StoreOptions {
    // The longest one call waits for another program's write lock. A wait that ran out is
    // not repeated: the next calls try once, without waiting, until one gets through.
    int busyTimeoutMs = 5000;
    // Each record synced to the disk before Append returns, so that a record reported as
    // written survives a power cut. Off only for bulk loading (the benchmark's filling):
    // a crash of the program still loses nothing, a power cut may lose the last records.
    bool syncEachRecord = true;
};

// What to read back. Unset fields do not filter.
struct Query {
    std::optional<std::string> unit = {};  // "" selects the records made without a unit
    std::optional<std::string> since = {}; // a time text (ParseSince): at or after it
    std::optional<std::string> operation = {};
    // Only the records not yet sent to the shared history, in the order they were stored
    // (the forwarder's reading; the file is at version 2 or later).
    bool waitingOnly = false;
    bool newestFirst = false; // default oldest first
    std::size_t limit = 0;    // 0: all
};

struct QueryResult {
    Status status;
    std::vector<Record> records;
};

// The schema version this build writes (PRAGMA user_version).
inline constexpr int kSchemaVersion = 2;

// One Store per thread; several Stores, in one program or many, may use one file.
class Store {
public:
    // Names the file; nothing is opened until the first Append or Read. The connection is
    // then kept open; after a failure the next call tries to open it again, so a problem
    // that is mended (space freed, lock released) heals without a restart.
    explicit Store(std::string path, StoreOptions options = {});
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    const std::string &Path() const { return path_; }

    // Creates the file and its schema when missing, upgrading an older schema; writes the
    // record in one transaction. On success the record's id is set.
    Status Append(Record &record);
    // Several records in one transaction: all are written (their ids set) or none.
    Status AppendAll(std::span<Record *const> records);

    // Reads records; never creates the file (a missing file gives Failure::Missing).
    QueryResult Read(const Query &query);

    // The schema version of the file as found (0 for a new or empty file).
    std::optional<int> FileSchemaVersion();

    // The forwarder's side (store_forward.cpp): the records not yet sent to the shared
    // history, oldest first, at most `limit`; marking them sent; what waits, and the
    // outcome of the last forwarding. None of these creates a missing file.
    struct Waiting {
        Status status;
        std::size_t count = 0;
        std::string oldest;        // the time of the oldest waiting record; "" for none
        std::string lastError;     // the last forwarding's failure; "" after a success
        std::string lastErrorTime; // when it failed
        std::string lastSentTime;  // when records were last sent
    };
    Waiting WaitingToSend();
    QueryResult Unsent(std::size_t limit);
    Status MarkSent(std::span<const Record> records);
    // Notes the end of a forwarding: its failure, or "" for a success that sent records
    // (sent > 0) or found nothing to send.
    Status NoteForwarding(const std::string &error, std::size_t sent);

private:
    Status AppendRecords(std::span<Record *const> records);
    QueryResult ReadRecords(const Query &query);
    void StartCall();
    // The forwarding calls' bodies, each inside one call's wait for the lock.
    Waiting WaitingToSendInCall();
    Status MarkSentInCall(std::span<const Record> records);
    Status NoteForwardingInCall(const std::string &error, std::size_t sent);
    Status EndCall(Status s);
    Status OpenForWriting();
    Status SetUpForWriting(); // one try of OpenForWriting
    Status OpenForReading();
    int OpenReadOnly(const std::string &path, bool immutable);
    void Close();
    void SetBusyHandler();
    static int BusyHandler(void *self, int);

    std::string path_;
    StoreOptions options_;
    sqlite3 *db_ = nullptr;
    bool writable_ = false;
    std::chrono::steady_clock::time_point deadline_; // the current call's end of waiting
    bool lockedOut_ = false; // the last wait for the lock ran out; no waiting until one passes
};

// The unit's calibration record from the file: its records read (oldest first) and
// rendered, made at the present time. A file that cannot be read gives ok false with the
// store's message, as does a unit the record refuses.
CalibrationDocument CalibrationRecordFromStore(Store &store, const std::string &unit,
                                               const std::string &reference);
// The same from records already read (the station file's or the shared history's); in
// builds with and without SQLite alike.
inline CalibrationDocument CalibrationRecordOf(const QueryResult &read, const std::string &unit,
                                               const std::string &reference) {
    if (!read.status)
        return {false, {}, read.status.message};
    return CalibrationRecordHtml(read.records, unit, reference, Now().time);
}

// One schema step: the statements that bring a file from the version before to
// `version`. An upgrade runs the steps above the file's version in order, all in one
// transaction: a step that fails leaves the file as it was.
struct SchemaStep {
    int version;
    const char *sql;
};

namespace detail {
// The status of a failed SQLite call on db for the file at path; of a failure found by
// the store itself.
Status Fail(sqlite3 *db, int rc, const std::string &path, bool writing, int busyTimeoutMs);
Status Failed(Failure f, const std::string &path, bool writing, const std::string &detail);
int Exec(sqlite3 *db, const char *sql);

// The steps of this build, and the upgrade with a given list of steps (tests give it a
// list of their own to exercise upgrades from older versions).
const std::vector<SchemaStep> &SchemaSteps();
Status Upgrade(sqlite3 *db, const std::string &path, const std::vector<SchemaStep> &steps,
               int busyTimeoutMs);
} // namespace detail

} // namespace kv::history
