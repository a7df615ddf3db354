// The history file on real SQLite files: records written and read back with their
// filters, the schema and its upgrades, files that are not a history, and each failure a
// front end must report: a lock held beyond the time-out, a read-only file system, a full
// one. Two processes appending at once lose nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "app/format.h"
#include "app/text_files.h"
#include "drill_meter.h"
#include "history/record_batcher.h"
#include "history/record_data.h"
#include "history/store.h"
#include "history_samples.h"
#include "temp_dir.h"

using namespace kv::history;
namespace fs = std::filesystem;

namespace {

Context Ctx(const std::string &unit) {
    return kvtest::BenchContext(unit);
}

Stamp At(int minute) {
    return {kv::Format("2025-05-20T08:%0.2d:00.000Z", {minute}), minute};
}

Record Relay(const std::string &unit, int minute, bool on = true) {
    return MakeRecord(Ctx(unit), RelayData{on}, {}, At(minute));
}

// A raw connection for what the store must cope with from others.
struct Raw {
    explicit Raw(const std::string &path) { sqlite3_open(path.c_str(), &db); }
    ~Raw() { sqlite3_close_v2(db); }
    int Exec(const std::string &sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    long long Int(const std::string &sql) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        const long long v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
        sqlite3_finalize(s);
        return v;
    }
    // The texts of one column of every row, separated by blanks.
    std::string Text(const std::string &sql, int column = 0) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        std::string v;
        while (sqlite3_step(s) == SQLITE_ROW)
            v += std::string(v.empty() ? "" : " ") +
                 reinterpret_cast<const char *>(sqlite3_column_text(s, column));
        sqlite3_finalize(s);
        return v;
    }
    sqlite3 *db = nullptr;
};

std::vector<std::int64_t> Ids(const QueryResult &r) {
    std::vector<std::int64_t> ids;
    for (const Record &rec : r.records)
        ids.push_back(rec.id);
    return ids;
}

} // namespace

TEST(HistoryStore, RecordsReadBackWholeAndFiltered) {
    kvtest::TempDir dir;
    Store store(dir.File("korvane.db"));
    Context c = Ctx("SN-\xc3\xa9'\"1");
    c.info = "FUSE \xe9 2.1"; // a device's Latin-1 byte, kept as it came
    c.adapter = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";
    c.adapterSerial = "A50285BI";
    kv::corrtable::CorrTableData t{};
    t[0] = -127;
    Record first =
        MakeRecord(c, TableReadData{t, "/t/x.epr"}, Outcome::Failed("Receive error!"), At(5));
    ASSERT_TRUE(store.Append(first));
    EXPECT_EQ(first.id, 1);

    const QueryResult all = store.Read({});
    ASSERT_TRUE(all.status) << all.status.message;
    ASSERT_EQ(all.records.size(), 1u);
    const Record &back = all.records[0];
    EXPECT_EQ(back.id, 1);
    EXPECT_EQ(back.time, first.time);
    EXPECT_EQ(back.monoNs, first.monoNs);
    EXPECT_EQ(back.unit, c.unit);
    EXPECT_EQ(back.info, c.info);
    EXPECT_EQ(back.adapter, c.adapter);
    EXPECT_EQ(back.adapterSerial, c.adapterSerial);
    EXPECT_EQ(back.station, c.station);
    EXPECT_EQ(back.operatorName, c.operatorName);
    EXPECT_EQ(back.toolVersion, c.toolVersion);
    EXPECT_EQ(back.port, c.port);
    EXPECT_EQ(back.operation, "table-read");
    EXPECT_FALSE(back.ok);
    EXPECT_EQ(back.message, "Receive error!");
    EXPECT_EQ(back.data, first.data);
    EXPECT_EQ(TableFromJson(back.data["table"]), t);

    // Ids 2..7: units A, B and none, at minutes given out of order.
    for (Record r : {Relay("A", 10), Relay("B", 3), Relay("", 7), Relay("A", 1),
                     MakeRecord(Ctx("A"), RestartData{}, {}, At(20)), Relay("A", 10, false)})
        ASSERT_TRUE(store.Append(r));

    struct Row {
        const char *name;
        Query q;
        std::vector<std::int64_t> ids;
    };
    const Row rows[] = {
        {"all, oldest first", {}, {5, 3, 1, 4, 2, 7, 6}},
        {"one unit", {.unit = "A"}, {5, 2, 7, 6}},
        {"no unit", {.unit = ""}, {4}},
        {"since", {.since = "2025-05-20T08:07:00.000Z"}, {4, 2, 7, 6}},
        {"operation", {.operation = "restart"}, {6}},
        {"unit, since, operation",
         {.unit = "A", .since = "2025-05-20T08:02:00.000Z", .operation = "relay"},
         {2, 7}},
        {"newest first, limited", {.unit = "A", .newestFirst = true, .limit = 3}, {6, 7, 2}},
        {"nothing", {.unit = "C"}, {}},
    };
    for (const Row &row : rows) {
        const QueryResult r = store.Read(row.q);
        EXPECT_TRUE(r.status) << row.name;
        EXPECT_EQ(Ids(r), row.ids) << row.name;
    }

    // No calibration among them: the record says so; an unreadable file gives its reason.
    EXPECT_EQ(CalibrationRecordFromStore(store, "A", "").message,
              "Unit A has no calibration in the history");
    Store missing(dir.File("none.db"));
    EXPECT_EQ(CalibrationRecordFromStore(missing, "A", "").message,
              "Cannot read the history " + dir.File("none.db") + ": there is no history file");

    // A reader of its own sees the same, while the writer's connection stays open.
    Store reader(dir.File("korvane.db"));
    EXPECT_EQ(Ids(reader.Read({.unit = "A"})), (std::vector<std::int64_t>{5, 2, 7, 6}));
}

TEST(HistoryStore, SchemaIsVersionedLoggedAheadAndIndexed) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    Store store(path);
    EXPECT_EQ(store.Read({}).status.failure, Failure::Missing);
    EXPECT_FALSE(fs::exists(path)); // reading never creates the file
    Record r = Relay("A", 1);
    ASSERT_TRUE(store.Append(r));
    EXPECT_EQ(store.FileSchemaVersion(), kSchemaVersion);

    Raw raw(path);
    EXPECT_EQ(raw.Int("PRAGMA user_version"), 2);
    EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.Text("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL "
                       "ORDER BY name"),
              "record_operation_time record_time record_unit_time record_uuid record_waiting");
    // The history of one unit and a date range are index searches, not scans.
    const auto plan = [&](const std::string &where) {
        return raw.Text("EXPLAIN QUERY PLAN SELECT * FROM record WHERE " + where, 3);
    };
    EXPECT_EQ(plan("unit = 'A' ORDER BY time, id"),
              "SEARCH record USING INDEX record_unit_time (unit=?)");
    EXPECT_EQ(plan("time >= 'x' ORDER BY time, id"),
              "SEARCH record USING INDEX record_time (time>?)");

    // An empty file (as a user might create) becomes a history.
    const std::string empty = dir.File("empty.db");
    kvtest::TempDir::Write(empty, "");
    Store fresh(empty);
    EXPECT_TRUE(fresh.Read({}).status);
    EXPECT_TRUE(fresh.Append(r));
    EXPECT_EQ(fresh.FileSchemaVersion(), 2);
}

TEST(HistoryStore, UpgradesRunInOrderAndAllOrNothing) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    {
        Store v1(path);
        for (int m : {1, 2, 3}) {
            Record r = Relay("A", m);
            ASSERT_TRUE(v1.Append(r));
        }
    }
    std::vector<SchemaStep> steps = detail::SchemaSteps();
    const std::string sqlOk = "ALTER TABLE record ADD COLUMN shift TEXT NOT NULL DEFAULT 'day';"
                              "CREATE INDEX record_shift ON record (shift);";
    const std::string sqlBad = "ALTER TABLE record ADD COLUMN shift TEXT NOT NULL DEFAULT 'day';"
                               "CREATE INDEX record_shift ON no_such_table (shift);";
    {
        // A step that fails half-way leaves the file at version 2 as it was.
        Raw raw(path);
        steps.push_back({3, sqlBad.c_str()});
        const Status s = detail::Upgrade(raw.db, path, steps, 1000);
        EXPECT_EQ(s.failure, Failure::Other);
        EXPECT_NE(s.message.find("no such table: main.no_such_table"), std::string::npos)
            << s.message;
        EXPECT_EQ(raw.Int("PRAGMA user_version"), 2);
        EXPECT_EQ(raw.Int("SELECT count(*) FROM pragma_table_info('record') WHERE name = "
                          "'shift'"),
                  0);

        // The good step takes the old file to version 3 and keeps its records.
        steps.back() = {3, sqlOk.c_str()};
        EXPECT_TRUE(detail::Upgrade(raw.db, path, steps, 1000));
        EXPECT_EQ(raw.Int("PRAGMA user_version"), 3);
        EXPECT_EQ(raw.Int("SELECT count(*) FROM record WHERE shift = 'day'"), 3);
        EXPECT_TRUE(detail::Upgrade(raw.db, path, steps, 1000)); // nothing left to do
    }
    // This build knows version 2 only: it reads the newer file but does not write to it.
    Store store(path);
    Record r = Relay("A", 4);
    const Status s = store.Append(r);
    EXPECT_EQ(s.failure, Failure::NewerSchema);
    EXPECT_EQ(s.message, "Cannot write the history " + path +
                             ": it was written by a newer version of korvane (schema version "
                             "3; this version knows up to 2)");
    EXPECT_EQ(Ids(store.Read({})), (std::vector<std::int64_t>{1, 2, 3}));
}

// A file of the first version: its records get their UUIDs in the upgrade and wait to be
// sent, and a record appended after it waits behind them.
TEST(HistoryStore, VersionOneFileGetsUuidsAndWaitsToBeSent) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    {
        Raw raw(path);
        ASSERT_TRUE(detail::Upgrade(raw.db, path, {detail::SchemaSteps().front()}, 1000));
        for (int m : {1, 2, 3})
            ASSERT_EQ(
                raw.Exec(kv::Format("INSERT INTO record VALUES (NULL, '2025-05-20T08:0%d:00Z', "
                                    "%d, 'bench', 'anna', '1.0', 'A', '', '', '', '', "
                                    "'relay', 1, '', '{}')",
                                    {m, m})),
                SQLITE_OK);
    }
    Store store(path);
    EXPECT_EQ(Ids(store.Read({})), (std::vector<std::int64_t>{1, 2, 3})); // read as found
    EXPECT_EQ(store.FileSchemaVersion(), 1);
    const Store::Waiting w = store.WaitingToSend();
    ASSERT_TRUE(w.status) << w.status.message;
    EXPECT_EQ(w.count, 3u);
    EXPECT_EQ(w.oldest, "2025-05-20T08:01:00Z");
    EXPECT_EQ(store.FileSchemaVersion(), 2);
    Record r = Relay("A", 4);
    ASSERT_TRUE(store.Append(r));
    EXPECT_EQ(r.uuid.size(), 36u);
    const QueryResult unsent = store.Unsent(10);
    ASSERT_EQ(unsent.records.size(), 4u);
    std::set<std::string> uuids;
    for (const Record &u : unsent.records) {
        EXPECT_EQ(u.uuid.size(), 36u);
        EXPECT_EQ(u.uuid[14], '4') << u.uuid; // version 4
        EXPECT_NE(std::string("89ab").find(u.uuid[19]), std::string::npos) << u.uuid;
        uuids.insert(u.uuid);
    }
    EXPECT_EQ(uuids.size(), 4u);
    EXPECT_EQ(unsent.records.back().uuid, r.uuid);
    ASSERT_TRUE(store.MarkSent(std::span(unsent.records).first(3)));
    EXPECT_EQ(Ids(store.Unsent(10)), (std::vector<std::int64_t>{4}));
    ASSERT_TRUE(store.NoteForwarding("Cannot use the shared history x: refused", 3));
    const Store::Waiting after = store.WaitingToSend();
    EXPECT_EQ(after.count, 1u);
    EXPECT_EQ(after.lastError, "Cannot use the shared history x: refused");
    EXPECT_FALSE(after.lastSentTime.empty());
}

TEST(HistoryStore, FilesOfOthersAreLeftAlone) {
    kvtest::TempDir dir;
    const std::string text = dir.File("notes.db");
    kvtest::TempDir::Write(text, "not a database, but the technician's notes\n");
    Store notes(text);
    Record r = Relay("A", 1);
    const Status s = notes.Append(r);
    EXPECT_EQ(s.failure, Failure::NotHistory);
    EXPECT_EQ(s.message.rfind("Cannot write the history " + text +
                                  ": it is not a korvane "
                                  "history",
                              0),
              0u)
        << s.message;
    EXPECT_EQ(notes.Read({}).status.failure, Failure::NotHistory);
    EXPECT_EQ(kvtest::TempDir::Read(text), "not a database, but the technician's notes\n");

    const std::string other = dir.File("other.db");
    {
        Raw raw(other);
        raw.Exec("CREATE TABLE customers (name TEXT)");
    }
    Store foreign(other);
    const Status f = foreign.Append(r);
    EXPECT_EQ(f.failure, Failure::NotHistory);
    EXPECT_NE(f.message.find("it holds the tables customers"), std::string::npos) << f.message;
    EXPECT_EQ(foreign.Read({}).status.failure, Failure::NotHistory);
    Raw raw(other);
    EXPECT_EQ(raw.Text("SELECT name FROM sqlite_master"), "customers");
    EXPECT_EQ(raw.Int("PRAGMA user_version"), 0);
}

// A file the store refuses is not changed at all: not its tables, not its version, not its
// journal mode (a switch to the write-ahead log would change how its own program opens it).
TEST(HistoryStore, RefusedFilesAreCheckedBeforeAnythingInThemChanges) {
    struct Row {
        const char *name;
        std::string sql;
        Failure failure;
        std::string told;
    };
    const Row rows[] = {
        {"another program's tables", "CREATE TABLE customers (name TEXT);", Failure::NotHistory,
         "it is not a korvane history (it holds the tables customers)"},
        {"a newer version",
         "CREATE TABLE record (id INTEGER PRIMARY KEY); PRAGMA user_version = 9;",
         Failure::NewerSchema, "schema version 9"},
        {"a record table of other columns",
         "CREATE TABLE record (id INTEGER PRIMARY KEY, time TEXT, name TEXT); "
         "PRAGMA user_version = 1;",
         Failure::NotHistory,
         "it is not a korvane history (its record table has no column mono_ns)"},
        {"no record table", "CREATE TABLE notes (t TEXT); PRAGMA user_version = 1;",
         Failure::NotHistory, "it is not a korvane history (it holds no record table)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        kvtest::TempDir dir;
        const std::string path = dir.File("other.db");
        std::string schema;
        {
            Raw raw(path);
            ASSERT_EQ(raw.Exec(row.sql), SQLITE_OK);
            schema = raw.Text("SELECT sql FROM sqlite_master ORDER BY name");
        }
        Store store(path);
        Record r = Relay("A", 1);
        const Status w = store.Append(r);
        EXPECT_EQ(w.failure, row.failure);
        EXPECT_NE(w.message.find("Cannot write the history " + path + ": "), std::string::npos);
        EXPECT_NE(w.message.find(row.told), std::string::npos) << w.message;
        if (row.failure == Failure::NotHistory) {
            const QueryResult q = store.Read({});
            EXPECT_EQ(q.status.failure, Failure::NotHistory);
            EXPECT_NE(q.status.message.find(row.told), std::string::npos) << q.status.message;
        }
        Raw raw(path);
        EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "delete");
        EXPECT_EQ(raw.Text("SELECT sql FROM sqlite_master ORDER BY name"), schema);
        EXPECT_FALSE(fs::exists(path + "-wal"));
    }
}

// A lock held beyond the time-out costs one wait: the records after it fail at once, until
// one gets through; from then on a lock is waited for again.
TEST(HistoryStore, AStuckLockIsWaitedForOncePerRun) {
    using std::chrono::milliseconds;
    using Clock = std::chrono::steady_clock;
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    Store store(path, StoreOptions{400});
    Record r = Relay("A", 1);
    ASSERT_TRUE(store.Append(r));
    auto lock = std::make_unique<Raw>(path);
    ASSERT_EQ(lock->Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    ASSERT_EQ(lock->Exec("DELETE FROM record WHERE id = 0"), SQLITE_OK);

    const auto timed = [&](Record rec) {
        const auto t0 = Clock::now();
        const Status s = store.Append(rec);
        return std::pair{s, std::chrono::duration_cast<milliseconds>(Clock::now() - t0)};
    };
    auto [first, firstWait] = timed(Relay("A", 2));
    EXPECT_EQ(first.failure, Failure::Locked);
    EXPECT_GE(firstWait, milliseconds(400));
    auto [second, secondWait] = timed(Relay("A", 3));
    EXPECT_EQ(second.failure, Failure::Locked);
    EXPECT_LT(secondWait, milliseconds(200)); // no second wait
    EXPECT_EQ(second.message, first.message);

    ASSERT_EQ(lock->Exec("COMMIT"), SQLITE_OK);
    auto [third, thirdWait] = timed(Relay("A", 4));
    EXPECT_TRUE(third) << third.message;
    ASSERT_EQ(lock->Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    ASSERT_EQ(lock->Exec("DELETE FROM record WHERE id = 0"), SQLITE_OK);
    auto [fourth, fourthWait] = timed(Relay("A", 5));
    EXPECT_EQ(fourth.failure, Failure::Locked);
    EXPECT_GE(fourthWait, milliseconds(400)); // waited for again after a record got through
    lock->Exec("ROLLBACK");
}

TEST(HistoryStore, PathsThatAreNoRegularFileAreRefusedWithoutWaiting) {
    kvtest::TempDir dir;
    const std::string fifo = dir.File("korvane.db");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.File("folder.db");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    for (const std::string &path : {fifo, folder}) {
        Store store(path, {.busyTimeoutMs = 100});
        Record r = Relay("A", 1);
        // A FIFO without a writer would block the first read for good: this returns at once.
        const Status w = store.Append(r);
        EXPECT_EQ(w.failure, Failure::CannotOpen) << path;
        EXPECT_EQ(w.message, "Cannot write the history " + path + ": not a regular file");
        const QueryResult q = store.Read({});
        EXPECT_EQ(q.status.failure, Failure::CannotOpen) << path;
        EXPECT_EQ(q.status.message, "Cannot read the history " + path + ": not a regular file");
    }
}

TEST(HistoryStore, LockHeldBeyondTheTimeOutIsReportedAndHeals) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    Store store(path, StoreOptions{300});
    Record r = Relay("A", 1);
    ASSERT_TRUE(store.Append(r));

    Raw other(path);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    ASSERT_EQ(other.Exec("INSERT INTO record (time, mono_ns, station, operator, tool_version, "
                         "unit, port, adapter, adapter_serial, info, operation, ok, message, "
                         "data) VALUES ('t', 0, '', '', '', 'X', '', '', '', '', 'relay', 1, "
                         "'', '{}')"),
              SQLITE_OK);
    const auto t0 = std::chrono::steady_clock::now();
    Record blocked = Relay("A", 2);
    const Status s = store.Append(blocked);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(s.failure, Failure::Locked);
    EXPECT_EQ(s.message, "Cannot write the history " + path +
                             ": another program kept it locked for more than 0.3 s");
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_EQ(blocked.id, 0);
    // Readers are not held up by a writer.
    EXPECT_EQ(Ids(store.Read({})), (std::vector<std::int64_t>{1}));

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(store.Append(blocked));
    EXPECT_EQ(blocked.id, 3);
}

namespace {

// Runs two history_writer processes (units P1 and P2, each writing `records` records) on the
// file at path, started together: both wait for a byte on their standard input. Each must
// end with status 0.
void RunTwoWritersAtOnce(const std::string &path, const char *records) {
    const char *bin = std::getenv("KORVANE_BIN_DIR");
    ASSERT_TRUE(bin);
    const std::string writer = std::string(bin) + "/history_writer";
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> pids;
    for (const char *unit : {"P1", "P2"}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(go[0], STDIN_FILENO);
            close(go[1]);
            execl(writer.c_str(), writer.c_str(), path.c_str(), unit, records,
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        pids.push_back(pid);
    }
    close(go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    close(go[1]);
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

} // namespace

TEST(HistoryStore, TwoProcessesAppendingAtOnceLoseNothing) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    ASSERT_NO_FATAL_FAILURE(RunTwoWritersAtOnce(path, "200"));
    Store store(path);
    const QueryResult all = store.Read({});
    ASSERT_TRUE(all.status) << all.status.message;
    EXPECT_EQ(all.records.size(), 400u);
    // Each process's records are all there, in the order it wrote them, and they did run
    // at the same time (their records interleave).
    std::map<std::string, std::vector<long long>> numbers;
    std::vector<std::string> order;
    for (const Record &r : store.Read({.newestFirst = false}).records) {
        numbers[r.unit].push_back(r.data["n"].get<long long>());
        order.push_back(r.unit);
    }
    for (const char *unit : {"P1", "P2"}) {
        std::vector<long long> expected(200);
        for (int i = 0; i < 200; ++i)
            expected[static_cast<std::size_t>(i)] = i;
        EXPECT_EQ(numbers[unit], expected) << unit;
    }
    int switches = 0;
    for (std::size_t i = 1; i < order.size(); ++i)
        switches += order[i] != order[i - 1];
    EXPECT_GE(switches, 2);
    std::printf("two writers: %d switches between them in 400 records\n", switches);
}

// Two programs that start on a history file not yet made: one makes the schema while the
// other checks what the file holds. Each round a fresh file; both must open it and write.
TEST(HistoryStore, TwoProcessesStartingOnANewFileBothWrite) {
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        kvtest::TempDir dir;
        const std::string path = dir.File("korvane.db");
        ASSERT_NO_FATAL_FAILURE(RunTwoWritersAtOnce(path, "2"));
        EXPECT_EQ(Store(path).Read({}).records.size(), 4u);
    }
}

// The file systems below need a mount namespace of the process's own (root with the
// right to mount, see main).
class HistoryStoreMedia : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kvdrill::PrivateMounts())
            GTEST_SKIP() << "needs a private mount namespace (root with the right to mount)";
        mnt = dir.File("mnt");
    }
    void TearDown() override {
        if (mounted)
            kvdrill::Unmount(mnt);
    }
    void Mount(long bytes) {
        std::string error;
        ASSERT_TRUE(kvdrill::MountTmpfs(mnt, bytes, "", &error)) << error;
        mounted = true;
    }
    kvtest::TempDir dir;
    std::string mnt;
    bool mounted = false;
};

TEST_F(HistoryStoreMedia, ReadOnlyFileSystemRefusesWritesAndStillReads) {
    Mount(1 << 20);
    const std::string path = mnt + "/korvane.db";
    {
        Store store(path);
        for (int m : {1, 2}) {
            Record r = Relay("A", m);
            ASSERT_TRUE(store.Append(r));
        }
    } // closed: nothing holds the file system
    std::string error;
    ASSERT_TRUE(kvdrill::RemountReadOnly(mnt, &error)) << error;

    Store store(path);
    Record r = Relay("A", 3);
    const Status s = store.Append(r);
    EXPECT_EQ(s.failure, Failure::ReadOnly) << s.message;
    EXPECT_EQ(s.message.rfind(
                  "Cannot write the history " + path + ": the file or its folder is read-only", 0),
              0u)
        << s.message;
    const QueryResult back = store.Read({});
    EXPECT_TRUE(back.status) << back.status.message;
    EXPECT_EQ(Ids(back), (std::vector<std::int64_t>{1, 2}));

    // No history there yet: it cannot be created.
    Store none(mnt + "/new.db");
    const Status n = none.Append(r);
    EXPECT_EQ(n.failure, Failure::ReadOnly) << n.message;
    EXPECT_NE(n.message.find(kv::SystemErrorText(EROFS)), std::string::npos) << n.message;
    EXPECT_FALSE(fs::exists(mnt + "/new.db"));
}

TEST_F(HistoryStoreMedia, FullDiskIsReportedKeepsWhatWasWrittenAndHeals) {
    Mount(512 * 1024);
    const std::string path = mnt + "/korvane.db";
    Store store(path);
    kv::corrtable::CorrTableData t{};
    // A table write's record: about 2.5 kB, as the common large record.
    const auto tableRecord = [&](int m) {
        return MakeRecord(Ctx("A"), TableWriteData{"a.epr", t, t, "", true}, {}, At(m));
    };
    for (int m : {1, 2, 3}) {
        Record r = tableRecord(m);
        ASSERT_TRUE(store.Append(r));
    }
    ASSERT_GT(kvdrill::FillUp(mnt), 0);

    int failedAt = -1;
    Status s;
    // The log file may still have room for a record or two; the disk fills soon after.
    for (int m = 4; m < 60 && failedAt < 0; ++m) {
        Record r = tableRecord(m);
        s = store.Append(r);
        if (!s)
            failedAt = m;
    }
    ASSERT_GE(failedAt, 4);
    EXPECT_EQ(s.failure, Failure::DiskFull) << s.message;
    EXPECT_EQ(s.message, "Cannot write the history " + path + ": the disk is full");
    const QueryResult kept = store.Read({});
    ASSERT_TRUE(kept.status) << kept.status.message;
    EXPECT_EQ(kept.records.size(), static_cast<std::size_t>(failedAt - 1));

    // Space freed: the next record goes in without a restart.
    fs::remove(mnt + "/filler");
    Record again = tableRecord(failedAt);
    EXPECT_TRUE(store.Append(again)) << store.Append(again).message;
    EXPECT_EQ(store.Read({}).records.size(), static_cast<std::size_t>(failedAt));
}

TEST_F(HistoryStoreMedia, FullDiskBeforeTheFirstRecord) {
    Mount(64 * 1024);
    ASSERT_GT(kvdrill::FillUp(mnt), 0);
    Store store(mnt + "/korvane.db");
    Record r = Relay("A", 1);
    const Status s = store.Append(r);
    EXPECT_EQ(s.failure, Failure::DiskFull) << s.message;
}

int main(int argc, char **argv) {
    // Before any thread starts: what the tests mount stays private to this process.
    kvdrill::EnterPrivateMounts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Several threads of one program writing through one batcher: every record is written once,
// with an id of its own, in transactions that take whatever arrived meanwhile; a failure of
// the file is every waiting record's failure.
TEST(HistoryStore, ThreadsWritingThroughOneBatcherShareTransactionsAndLoseNothing) {
    kvtest::TempDir dir;
    const std::string path = dir.File("korvane.db");
    RecordBatcher batcher(path);
    constexpr int kThreads = 16, kEach = 5;
    std::vector<std::vector<Record>> written(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                Record r = Relay("U" + std::to_string(t), i);
                if (!batcher.Append(r))
                    ++failed;
                // Reads share the connection between transactions and see what was written.
                const QueryResult newest =
                    batcher.Read({.unit = r.unit, .newestFirst = true, .limit = 1});
                if (!newest.status || newest.records.size() != 1 ||
                    newest.records.front().id != r.id)
                    ++failed;
                written[static_cast<std::size_t>(t)].push_back(r);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failed, 0);
    std::set<std::int64_t> ids;
    std::set<std::string> uuids;
    for (const auto &records : written)
        for (const Record &r : records) {
            ids.insert(r.id);
            uuids.insert(r.uuid);
        }
    EXPECT_EQ(ids.size(), std::size_t{kThreads * kEach});
    EXPECT_EQ(uuids.size(), std::size_t{kThreads * kEach});
    Store reader(path);
    const QueryResult all = reader.Read({});
    ASSERT_TRUE(all.status) << all.status.message;
    const std::vector<std::int64_t> stored = Ids(all);
    EXPECT_EQ(std::set<std::int64_t>(stored.begin(), stored.end()), ids);

    // A batcher whose first call is a read (the connection opened read-only) still writes.
    RecordBatcher later(path);
    const QueryResult before = later.Read({.unit = "U0", .newestFirst = true, .limit = 1});
    ASSERT_TRUE(before.status) << before.status.message;
    ASSERT_EQ(before.records.size(), std::size_t{1});
    Record after = Relay("U0", 99);
    ASSERT_TRUE(later.Append(after));
    EXPECT_EQ(later.Read({.unit = "U0", .newestFirst = true, .limit = 1}).records.front().id,
              after.id);
    // Reads have a connection of their own; the writing one closes last, so the log is
    // moved into the file and removed (a reader that opens the file as immutable, from a
    // write-protected medium, would not see records left in the log).
    const std::string closing = dir.File("closing.db");
    {
        RecordBatcher again(closing);
        Record one = Relay("U1", 100);
        ASSERT_TRUE(again.Append(one));
        EXPECT_EQ(again.Read({.unit = "U1", .newestFirst = true, .limit = 1}).records.front().id,
                  one.id);
        EXPECT_TRUE(std::filesystem::exists(closing + "-wal"));
    }
    EXPECT_FALSE(std::filesystem::exists(closing + "-wal"));
    // Nor does a read of a file not made yet leave anything in the way.
    RecordBatcher fresh(dir.File("new.db"));
    EXPECT_TRUE(fresh.Read({.unit = "U0"}).records.empty());
    Record first = Relay("U0", 1);
    EXPECT_TRUE(fresh.Append(first));

    // A path that is no file: each record of the batch fails with the file's reason.
    const std::string folder = dir.File("folder.db");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    RecordBatcher bad(folder, {.busyTimeoutMs = 100});
    std::vector<Status> statuses(4);
    std::vector<std::thread> writers;
    for (std::size_t t = 0; t < statuses.size(); ++t)
        writers.emplace_back([&, t] {
            Record r = Relay("B", static_cast<int>(t));
            statuses[t] = bad.Append(r);
            EXPECT_EQ(r.id, 0);
        });
    for (auto &t : writers)
        t.join();
    for (const Status &s : statuses)
        EXPECT_EQ(s.failure, Failure::CannotOpen) << s.message;
}
