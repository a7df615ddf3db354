#include "history/store.h"

#include "history/recorder.h"
#include "history/sqlite_statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/file_platform.h"
#include "app/format.h"
#include "app/numbers.h"
#include "app/text_files.h"

namespace kv::history {

using detail::Statement;

namespace {

// Version 1, the first released schema. One row per record; the who/where columns are
// plain text (empty when unknown), the data the record's JSON object as text. Times are
// UTC ISO 8601 texts, which sort in time order, so the indexes serve "one unit, oldest
// first", "everything since a date" and "one operation since a date".
constexpr const char *kSchemaV1 = R"sql(
CREATE TABLE record (
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    mono_ns INTEGER NOT NULL,
    station TEXT NOT NULL,
    operator TEXT NOT NULL,
    tool_version TEXT NOT NULL,
    unit TEXT NOT NULL,
    port TEXT NOT NULL,
    adapter TEXT NOT NULL,
    adapter_serial TEXT NOT NULL,
    info TEXT NOT NULL,
    operation TEXT NOT NULL,
    ok INTEGER NOT NULL CHECK (ok IN (0, 1)),
    message TEXT NOT NULL,
    data TEXT NOT NULL
);
CREATE INDEX record_unit_time ON record (unit, time);
CREATE INDEX record_time ON record (time);
CREATE INDEX record_operation_time ON record (operation, time);
)sql";

// Version 2: each record's UUID, its key in the shared history, and whether it has been
// sent there; the records of a version-1 file get their UUIDs in the upgrade and wait to
// be sent like new ones. One row of the forwarder's state (its last error, its last
// sending).
constexpr const char *kSchemaV2 = R"sql(
ALTER TABLE record ADD COLUMN uuid TEXT NOT NULL DEFAULT '';
UPDATE record SET uuid = lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' ||
    substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) ||
    substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)));
ALTER TABLE record ADD COLUMN sent INTEGER NOT NULL DEFAULT 0 CHECK (sent IN (0, 1));
CREATE UNIQUE INDEX record_uuid ON record (uuid);
CREATE INDEX record_waiting ON record (id) WHERE sent = 0;
CREATE TABLE forward_state (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    last_error TEXT NOT NULL,
    last_error_time TEXT NOT NULL,
    last_sent_time TEXT NOT NULL
);
)sql";

constexpr const char *kColumns = "id, time, mono_ns, station, operator, tool_version, unit, "
                                 "port, adapter, adapter_serial, info, operation, ok, message, "
                                 "data";

bool ReadOnlyErrno(int e) {
    return e == EACCES || e == EROFS || e == EPERM;
}

// The failure an SQLite result code stands for, with the system's errno behind it.
Failure Classify(int rc, int sysErrno) {
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return Failure::DiskFull;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Failure::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Failure::ReadOnly;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Failure::NotHistory;
    case SQLITE_CANTOPEN:
        return ReadOnlyErrno(sysErrno) ? Failure::ReadOnly : Failure::CannotOpen;
    case SQLITE_IOERR:
        if (sysErrno == ENOSPC)
            return Failure::DiskFull;
        if (ReadOnlyErrno(sysErrno))
            return Failure::ReadOnly;
        return Failure::Io;
    default:
        return Failure::Other;
    }
}

std::string Reason(Failure f, const std::string &detail, int busyTimeoutMs) {
    switch (f) {
    case Failure::None:
        return {};
    case Failure::Missing:
        return "there is no history file";
    case Failure::ReadOnly:
        return "the file or its folder is read-only" + (detail.empty() ? "" : " (" + detail + ")");
    case Failure::DiskFull:
        return "the disk is full";
    case Failure::Locked:
        return Format("another program kept it locked for more than %s s",
                      {FormatFixed(busyTimeoutMs / 1000.0, busyTimeoutMs % 1000 ? 1 : 0)});
    case Failure::NotHistory:
        return "it is not a korvane history" + (detail.empty() ? "" : " (" + detail + ")");
    case Failure::NewerSchema:
    case Failure::CannotOpen:
    case Failure::Io:
    case Failure::Other:
        return detail;
    }
    return detail;
}

} // namespace

namespace detail {

const std::vector<SchemaStep> &SchemaSteps() {
    static const std::vector<SchemaStep> steps = {{1, kSchemaV1}, {2, kSchemaV2}};
    return steps;
}

// The status of a failed call on db, for the file at path.
Status Fail(sqlite3 *db, int rc, const std::string &path, bool writing, int busyTimeoutMs) {
    const int sysErrno = db ? sqlite3_system_errno(db) : 0;
    const Failure f = Classify(rc, sysErrno);
    std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (sysErrno != 0 && f != Failure::DiskFull && f != Failure::Locked)
        detail += ": " + SystemErrorText(sysErrno);
    return Status{f,
                  std::string(writing ? "Cannot write the history " : "Cannot read the history ") +
                      path + ": " + Reason(f, detail, busyTimeoutMs)};
}

Status Failed(Failure f, const std::string &path, bool writing, const std::string &detail) {
    return Status{f,
                  std::string(writing ? "Cannot write the history " : "Cannot read the history ") +
                      path + ": " + Reason(f, detail, 0)};
}

int Exec(sqlite3 *db, const char *sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

namespace {

std::optional<int> UserVersion(sqlite3 *db, int *rc) {
    Statement s(db, "PRAGMA user_version");
    *rc = s.prepared();
    if (*rc != SQLITE_OK)
        return std::nullopt;
    *rc = s.Step();
    if (*rc != SQLITE_ROW)
        return std::nullopt;
    *rc = SQLITE_OK;
    return static_cast<int>(s.ColumnInt(0));
}

// The tables of the file other than SQLite's own: "" when there are none.
std::optional<std::string> OtherTables(sqlite3 *db, const char *except, int *rc) {
    Statement s(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                    "'sqlite_%' AND name <> ?1 ORDER BY name");
    *rc = s.prepared();
    if (*rc != SQLITE_OK)
        return std::nullopt;
    s.Text(1, except);
    std::string names;
    while ((*rc = s.Step()) == SQLITE_ROW)
        names += (names.empty() ? "" : ", ") + s.ColumnText(0);
    if (*rc != SQLITE_DONE)
        return std::nullopt;
    *rc = SQLITE_OK;
    return names;
}

// The columns of the record table of the first version, which every later one keeps.
constexpr const char *kBaseColumns[] = {
    "id",      "time",           "mono_ns", "station",   "operator", "tool_version", "unit", "port",
    "adapter", "adapter_serial", "info",    "operation", "ok",       "message",      "data"};

// A file that says it is a history (a version above 0) but whose record table lacks a
// column of it is another program's: the missing column is named.
Status CheckColumns(sqlite3 *db, const std::string &path, bool writing, int busyTimeoutMs) {
    Statement s(db, "SELECT name FROM pragma_table_info('record')");
    int rc = s.prepared();
    if (rc != SQLITE_OK)
        return Fail(db, rc, path, writing, busyTimeoutMs);
    std::vector<std::string> names;
    while ((rc = s.Step()) == SQLITE_ROW)
        names.push_back(s.ColumnText(0));
    if (rc != SQLITE_DONE)
        return Fail(db, rc, path, writing, busyTimeoutMs);
    if (names.empty())
        return Failed(Failure::NotHistory, path, writing, "it holds no record table");
    for (const char *column : kBaseColumns)
        if (std::find(names.begin(), names.end(), column) == names.end())
            return Failed(Failure::NotHistory, path, writing,
                          std::string("its record table has no column ") + column);
    return {};
}

// Refuses files this version must not touch: newer schemas, a version-0 file that holds
// tables of another program, and a record table without the columns of a history.
Status CheckVersion(sqlite3 *db, const std::string &path, int version, int newest, bool writing,
                    int busyTimeoutMs) {
    if (version > newest)
        return Failed(Failure::NewerSchema, path, writing,
                      Format("it was written by a newer version of korvane (schema version %d; "
                             "this version knows up to %d)",
                             {version, newest}));
    if (version == 0) {
        int rc = SQLITE_OK;
        const std::optional<std::string> others = OtherTables(db, "", &rc);
        if (!others)
            return Fail(db, rc, path, writing, busyTimeoutMs);
        if (!others->empty())
            return Failed(Failure::NotHistory, path, writing, "it holds the tables " + *others);
        return {};
    }
    return CheckColumns(db, path, writing, busyTimeoutMs);
}

} // namespace

Status Upgrade(sqlite3 *db, const std::string &path, const std::vector<SchemaStep> &steps,
               int busyTimeoutMs) {
    const int newest = steps.empty() ? 0 : steps.back().version;
    int rc = SQLITE_OK;
    std::optional<int> version = UserVersion(db, &rc);
    if (!version)
        return Fail(db, rc, path, true, busyTimeoutMs);
    if (*version == newest)
        return {};
    // The version is read again under the write lock: another program may be upgrading
    // the same file at this moment.
    rc = Exec(db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return Fail(db, rc, path, true, busyTimeoutMs);
    const auto rollback = [&](Status s) {
        Exec(db, "ROLLBACK");
        return s;
    };
    version = UserVersion(db, &rc);
    if (!version)
        return rollback(Fail(db, rc, path, true, busyTimeoutMs));
    if (Status s = CheckVersion(db, path, *version, newest, true, busyTimeoutMs); !s)
        return rollback(s);
    // All steps in one transaction: a step that fails leaves the file as it was.
    for (const SchemaStep &step : steps) {
        if (step.version <= *version)
            continue;
        rc = Exec(db, step.sql);
        if (rc == SQLITE_OK)
            rc = Exec(db, ("PRAGMA user_version = " + std::to_string(step.version)).c_str());
        if (rc != SQLITE_OK)
            return rollback(Fail(db, rc, path, true, busyTimeoutMs));
    }
    rc = Exec(db, "COMMIT");
    if (rc != SQLITE_OK)
        return rollback(Fail(db, rc, path, true, busyTimeoutMs));
    return {};
}

} // namespace detail

namespace {

// SQLite opens whatever the path names, and its first read of a FIFO or a terminal waits
// for bytes that never come: anything but a regular file (or none yet) is refused at once.
Status RegularOrMissing(const std::string &path, bool writing) {
    const files::Kind kind = files::Examine(path).kind;
    if (kind == files::Kind::Missing || kind == files::Kind::Regular)
        return {};
    return detail::Failed(Failure::CannotOpen, path, writing, kNotARegularFile);
}

} // namespace

bool StoreAvailable() {
    return true;
}

Store::Store(std::string path, StoreOptions options) : path_(std::move(path)), options_(options) {}

Store::~Store() {
    Close();
}

void Store::Close() {
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
    writable_ = false;
}

// SQLite's own busy handler sleeps longer and longer (up to 100 ms) between tries, so a
// program that appends record after record keeps the lock and another one waiting
// beside it may run out of time. Short, even tries give the waiter its turn, until the
// call's deadline.
int Store::BusyHandler(void *self, int) {
    Store &store = *static_cast<Store *>(self);
    if (std::chrono::steady_clock::now() >= store.deadline_)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

void Store::SetBusyHandler() {
    sqlite3_busy_handler(db_, &Store::BusyHandler, this);
}

// One wait for the lock per call, however many steps of it meet the lock. After a wait
// that ran out, the next calls try once without waiting until one gets through: a run that
// makes several records (a write and its restore, a series) waits for a stuck lock once,
// not once per record, and the windows are not held up again and again.
void Store::StartCall() {
    deadline_ = std::chrono::steady_clock::now() +
                (lockedOut_ ? std::chrono::milliseconds(0)
                            : std::chrono::milliseconds(options_.busyTimeoutMs));
}

Status Store::EndCall(Status s) {
    if (s.failure == Failure::Locked)
        lockedOut_ = true;
    else if (s)
        lockedOut_ = false;
    return s;
}

// Two programs setting up the same new file at once: SQLite answers "busy" at once, without
// its busy handler, where waiting could deadlock (switching to the write-ahead log, taking
// the write lock of a file still in rollback mode). The whole set-up is tried again, within
// the call's one wait for the lock.
Status Store::OpenForWriting() {
    if (db_ && writable_)
        return {};
    for (;;) {
        Status s = SetUpForWriting();
        if (s || s.failure != Failure::Locked || std::chrono::steady_clock::now() >= deadline_)
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Status Store::SetUpForWriting() {
    Close();
    const int timeout = options_.busyTimeoutMs;
    if (Status s = RegularOrMissing(path_, true); !s)
        return s;
    // A missing file is created here first: SQLite, refused the creation, retries read-only
    // and reports the retry's "no such file", where the user needs the first reason
    // (read-only medium, no rights, disk full). SQLite takes an empty file as a new one.
    if (!FileExists(path_)) {
        errno = 0;
        if (std::FILE *f = std::fopen(path_.c_str(), "ab")) {
            std::fclose(f);
        } else {
            const int e = errno;
            const Failure f2 = e == ENOSPC        ? Failure::DiskFull
                               : ReadOnlyErrno(e) ? Failure::ReadOnly
                                                  : Failure::CannotOpen;
            return detail::Failed(f2, path_, true, SystemErrorText(e));
        }
    }
    int rc =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const auto fail = [&](int code) {
        Status s = detail::Fail(db_, code, path_, true, timeout);
        Close();
        return s;
    };
    if (rc != SQLITE_OK)
        return fail(rc);
    sqlite3_extended_result_codes(db_, 1);
    SetBusyHandler();
    // SQLite opens a file it may not write read-only rather than failing.
    if (sqlite3_db_readonly(db_, "main") == 1) {
        Close();
        return detail::Failed(Failure::ReadOnly, path_, true, "");
    }
    // A file this version must not write (another program's, a newer version's) is
    // refused before anything in it changes, its journal mode included. The upgrade checks
    // again under the write lock. The version and the tables are read in one read
    // transaction: another program may be making the schema of a new file at this moment,
    // and a version read before its commit with the tables read after it would look like
    // another program's file.
    rc = detail::Exec(db_, "BEGIN");
    if (rc != SQLITE_OK)
        return fail(rc);
    Status checked;
    if (const std::optional<int> version = detail::UserVersion(db_, &rc); !version)
        checked = detail::Fail(db_, rc, path_, true, timeout);
    else
        checked = detail::CheckVersion(db_, path_, *version, detail::SchemaSteps().back().version,
                                       true, timeout);
    detail::Exec(db_, "COMMIT"); // only read: ends the snapshot
    if (!checked) {
        Close();
        return checked;
    }
    // The log stays in WAL mode once set; FULL syncs each commit to the disk, so a record
    // the program has reported as written survives a power cut.
    rc = detail::Exec(db_, "PRAGMA journal_mode = WAL");
    if (rc == SQLITE_OK)
        rc = detail::Exec(db_, options_.syncEachRecord ? "PRAGMA synchronous = FULL"
                                                       : "PRAGMA synchronous = NORMAL");
    if (rc != SQLITE_OK)
        return fail(rc);
    if (Status s = detail::Upgrade(db_, path_, detail::SchemaSteps(), timeout); !s) {
        Close();
        return s;
    }
    writable_ = true;
    return {};
}

Status Store::OpenForReading() {
    if (db_)
        return {};
    if (Status s = RegularOrMissing(path_, false); !s)
        return s;
    if (!FileExists(path_))
        return detail::Failed(Failure::Missing, path_, false, "");
    int rc = OpenReadOnly(path_, false);
    // Reading a history in WAL mode needs its -shm file, which a read-only medium (a
    // write-protected card or share) may lack and cannot get. There nobody can change
    // the file either, so it is read as immutable.
    if ((rc & 0xFF) == SQLITE_CANTOPEN) {
        Close();
        rc = OpenReadOnly(path_, true);
    }
    if (rc == SQLITE_OK)
        return {};
    Status s = detail::Fail(db_, rc, path_, false, options_.busyTimeoutMs);
    Close();
    return s;
}

int Store::OpenReadOnly(const std::string &path, bool immutable) {
    int rc = SQLITE_OK;
    if (immutable) {
        std::string uri = "file:";
        for (char c : path) {
            if (c == '%' || c == '?' || c == '#')
                uri += Format("%%%0.2X", {static_cast<unsigned char>(c)});
            else
                uri += c;
        }
        uri += "?immutable=1";
        rc = sqlite3_open_v2(uri.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    } else {
        rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    }
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_extended_result_codes(db_, 1);
    SetBusyHandler();
    // SQLite opens lazily: the first read finds out whether the file can be read.
    detail::UserVersion(db_, &rc);
    return rc;
}

Status Store::Append(Record &record) {
    Record *one[] = {&record};
    return AppendAll(one);
}

Status Store::AppendAll(std::span<Record *const> records) {
    StartCall();
    return EndCall(AppendRecords(records));
}

Status Store::AppendRecords(std::span<Record *const> records) {
    if (Status s = OpenForWriting(); !s)
        return s;
    const auto fail = [&](int rc) {
        Status s = detail::Fail(db_, rc, path_, true, options_.busyTimeoutMs);
        detail::Exec(db_, "ROLLBACK");
        Close(); // the next record opens afresh
        return s;
    };
    int rc = detail::Exec(db_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return fail(rc);
    Statement insert(db_, std::string("INSERT INTO record (") + kColumns +
                              ", uuid) VALUES (NULL, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                              "?11, ?12, ?13, ?14, ?15)");
    if (insert.prepared() != SQLITE_OK)
        return fail(insert.prepared());
    std::vector<std::pair<std::int64_t, std::string>> ids; // set once the whole commits
    for (Record *record : records) {
        insert.Reset();
        insert.Text(1, record->time);
        insert.Int(2, record->monoNs);
        insert.Text(3, record->station);
        insert.Text(4, record->operatorName);
        insert.Text(5, record->toolVersion);
        insert.Text(6, record->unit);
        insert.Text(7, record->port);
        insert.Text(8, record->adapter);
        insert.Text(9, record->adapterSerial);
        insert.Text(10, record->info);
        insert.Text(11, record->operation);
        insert.Int(12, record->ok ? 1 : 0);
        insert.Text(13, record->message);
        insert.Text(14, json::Write(record->data));
        std::string uuid = record->uuid.empty() ? NewRecordUuid() : record->uuid;
        insert.Text(15, uuid);
        rc = insert.Step();
        if (rc != SQLITE_DONE)
            return fail(rc);
        ids.emplace_back(sqlite3_last_insert_rowid(db_), std::move(uuid));
    }
    rc = detail::Exec(db_, "COMMIT");
    if (rc != SQLITE_OK)
        return fail(rc);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i]->id = ids[i].first;
        records[i]->uuid = std::move(ids[i].second);
    }
    return {};
}

QueryResult Store::Read(const Query &query) {
    StartCall();
    QueryResult out = ReadRecords(query);
    out.status = EndCall(out.status);
    return out;
}

QueryResult Store::ReadRecords(const Query &query) {
    QueryResult out;
    out.status = OpenForReading();
    if (!out.status)
        return out;
    const auto fail = [&](int rc) {
        out.status = detail::Fail(db_, rc, path_, false, options_.busyTimeoutMs);
        out.records.clear();
        Close();
        return out;
    };
    int rc = SQLITE_OK;
    const std::optional<int> version = detail::UserVersion(db_, &rc);
    if (!version)
        return fail(rc);
    // Reading takes any version this one can read: a newer file is read as far as its
    // columns go; only a version-0 file with tables of another program is refused.
    if (Status s =
            detail::CheckVersion(db_, path_, *version, *version, false, options_.busyTimeoutMs);
        !s) {
        out.status = s;
        return out;
    }
    if (*version == 0)
        return out; // an empty file: no records yet

    // A version-1 file, read as found, has no UUIDs yet.
    std::string sql = std::string("SELECT ") + kColumns + (*version >= 2 ? ", uuid" : ", ''") +
                      " FROM record WHERE 1";
    if (query.unit)
        sql += " AND unit = ?1";
    if (query.since)
        sql += " AND time >= ?2";
    if (query.operation)
        sql += " AND operation = ?3";
    if (query.waitingOnly)
        sql += " AND sent = 0";
    sql += query.waitingOnly   ? " ORDER BY id"
           : query.newestFirst ? " ORDER BY time DESC, id DESC"
                               : " ORDER BY time, id";
    if (query.limit)
        sql += " LIMIT " + std::to_string(query.limit);
    Statement select(db_, sql);
    if (select.prepared() != SQLITE_OK)
        return fail(select.prepared());
    if (query.unit)
        select.Text(1, *query.unit);
    if (query.since)
        select.Text(2, *query.since);
    if (query.operation)
        select.Text(3, *query.operation);
    while ((rc = select.Step()) == SQLITE_ROW) {
        Record r;
        r.id = select.ColumnInt(0);
        r.time = select.ColumnText(1);
        r.monoNs = select.ColumnInt(2);
        r.station = select.ColumnText(3);
        r.operatorName = select.ColumnText(4);
        r.toolVersion = select.ColumnText(5);
        r.unit = select.ColumnText(6);
        r.port = select.ColumnText(7);
        r.adapter = select.ColumnText(8);
        r.adapterSerial = select.ColumnText(9);
        r.info = select.ColumnText(10);
        r.operation = select.ColumnText(11);
        r.ok = select.ColumnInt(12) != 0;
        r.message = select.ColumnText(13);
        const std::string data = select.ColumnText(14);
        // Data that does not read as JSON (edited by hand, say) is kept as its text.
        std::optional<json::Value> parsed = json::Parse(data);
        r.data = parsed ? std::move(*parsed) : json::Value(data);
        r.uuid = select.ColumnText(15);
        out.records.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE)
        return fail(rc);
    return out;
}

std::optional<int> Store::FileSchemaVersion() {
    StartCall();
    if (!OpenForReading())
        return std::nullopt;
    int rc = SQLITE_OK;
    return detail::UserVersion(db_, &rc);
}

CalibrationDocument CalibrationRecordFromStore(Store &store, const std::string &unit,
                                               const std::string &reference) {
    return CalibrationRecordOf(store.Read({.unit = unit}), unit, reference);
}

} // namespace kv::history
