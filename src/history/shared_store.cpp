#include "history/shared_store.h"

#include "app/format.h"
#include "history/pg_connection.h"

namespace kv::history {

namespace {

// The keys of the advisory locks: the schema's set-up, and one station file's forwarding.
constexpr const char *kSchemaLock = "SELECT pg_advisory_xact_lock(746352, 1)";
constexpr int kForwardLockClass = 746353;

struct SharedStep {
    int version;
    const char *sql;
};

constexpr const char *kSharedV1 = R"sql(
CREATE TABLE korvane_record (
    id uuid PRIMARY KEY,
    station text NOT NULL,
    local_id bigint NOT NULL,
    time text NOT NULL,
    mono_ns bigint NOT NULL,
    operator text NOT NULL,
    tool_version text NOT NULL,
    unit text NOT NULL,
    port text NOT NULL,
    adapter text NOT NULL,
    adapter_serial text NOT NULL,
    info text NOT NULL,
    operation text NOT NULL,
    ok boolean NOT NULL,
    message text NOT NULL,
    data text NOT NULL,
    received timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX korvane_record_unit_time ON korvane_record (unit, time);
CREATE INDEX korvane_record_time ON korvane_record (time);
)sql";

const std::vector<SharedStep> &SharedSteps() {
    static const std::vector<SharedStep> steps = {{1, kSharedV1}};
    return steps;
}

constexpr int kColumnCount = 16;
constexpr const char *kSharedColumns =
    "id, station, local_id, time, mono_ns, operator, tool_version, unit, port, adapter, "
    "adapter_serial, info, operation, ok, message, data";
// Each row's parameters with their types.
constexpr const char *kRowCasts[kColumnCount] = {
    "::uuid", "", "::bigint", "", "::bigint", "", "", "", "", "", "", "", "", "::boolean", "", ""};

} // namespace

bool SharedAvailable() {
    return true;
}

SharedStore::SharedStore(std::string conninfo, int connectTimeoutS)
    : conninfo_(std::move(conninfo)), connectTimeoutS_(connectTimeoutS) {}

SharedStore::~SharedStore() = default;

Status SharedStore::Failed(Failure f, const std::string &detail) {
    return {f, Scrub("Cannot use the shared history " + Shown() + ": " + detail, conninfo_)};
}

// A command failed: the connection is dropped so that the next call starts afresh.
Status SharedStore::ConnectionLost(const std::string &detail) {
    Status s = Failed(Failure::Other, detail.empty() ? conn_->Error() : detail);
    conn_.reset();
    return s;
}

Status SharedStore::Open() {
    if (conn_)
        return {};
    conn_ = std::make_unique<PgConnection>(conninfo_, connectTimeoutS_);
    if (!conn_->ok()) {
        Status s = Failed(Failure::CannotOpen, conn_->Error());
        conn_.reset();
        return s;
    }
    const int newest = SharedSteps().back().version;
    // The version is read without a lock first: on every run but the first it is this
    // build's, and nothing is to be done.
    const auto version = [&](Status *failed) -> std::optional<int> {
        // From the catalog table itself, as of this statement: the name lookup of
        // to_regclass may still miss a table another station has just committed.
        PgResult has = conn_->Exec("SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables WHERE "
                                   "tablename = 'korvane_schema' AND schemaname = "
                                   "current_schema())");
        if (!has.ok() || has.Rows() != 1) {
            *failed = ConnectionLost(has.Error());
            return std::nullopt;
        }
        if (has.Value(0, 0) != "t")
            return 0;
        PgResult v = conn_->Exec("SELECT coalesce(max(version), 0) FROM korvane_schema");
        if (!v.ok() || v.Rows() != 1) {
            *failed = ConnectionLost(v.Error());
            return std::nullopt;
        }
        return std::stoi(v.Value(0, 0));
    };
    const auto newer = [&](int v) {
        Status s = Failed(Failure::NewerSchema,
                          Format("it was set up by a newer version of korvane (schema version %d; "
                                 "this version knows up to %d); nothing was changed",
                                 {v, newest}));
        conn_.reset();
        return s;
    };
    Status failed;
    std::optional<int> v = version(&failed);
    if (!v)
        return failed;
    if (*v > newest)
        return newer(*v);
    if (*v == newest)
        return {};

    // Set up or upgraded in one transaction, under a lock: the stations that start at once
    // wait for the first, then find the version done.
    const auto rollback = [&](const PgResult &r) {
        const std::string detail = r.SqlState() == "42501"
                                       ? "the database has no korvane tables of this version "
                                         "and this role may not create them (" +
                                             r.Error() + ")"
                                       : r.Error();
        conn_->Exec("ROLLBACK");
        Status s = Failed(r.SqlState() == "42501" ? Failure::ReadOnly : Failure::Other, detail);
        conn_.reset();
        return s;
    };
    PgResult r = conn_->Exec("BEGIN");
    if (!r.ok())
        return ConnectionLost(r.Error());
    if (r = conn_->Exec(kSchemaLock); !r.ok())
        return rollback(r);
    v = version(&failed);
    if (!v)
        return failed;
    if (*v > newest) {
        conn_->Exec("ROLLBACK");
        return newer(*v);
    }
    if (*v == 0) {
        if (r = conn_->Exec("CREATE TABLE IF NOT EXISTS korvane_schema (version integer NOT NULL)");
            !r.ok())
            return rollback(r);
    }
    for (const SharedStep &step : SharedSteps()) {
        if (step.version <= *v)
            continue;
        if (r = conn_->Exec(step.sql); !r.ok())
            return rollback(r);
    }
    if (r = conn_->Exec("DELETE FROM korvane_schema"); !r.ok())
        return rollback(r);
    if (r = conn_->Exec("INSERT INTO korvane_schema (version) VALUES ($1::integer)",
                        {std::to_string(newest)});
        !r.ok())
        return rollback(r);
    if (r = conn_->Exec("COMMIT"); !r.ok())
        return rollback(r);
    return {};
}

Status SharedStore::Lock(const std::string &key) {
    if (Status s = Open(); !s)
        return s;
    PgResult r = conn_->Exec("SELECT pg_advisory_lock($1::integer, hashtext($2))",
                             {std::to_string(kForwardLockClass), key});
    if (!r.ok())
        return ConnectionLost(r.Error());
    return {};
}

void SharedStore::Unlock(const std::string &key) {
    if (conn_)
        conn_->Exec("SELECT pg_advisory_unlock($1::integer, hashtext($2))",
                    {std::to_string(kForwardLockClass), key});
}

Status SharedStore::Insert(std::span<const Record> records, std::size_t *inserted) {
    if (inserted)
        *inserted = 0;
    if (Status s = Open(); !s)
        return s;
    if (records.empty())
        return {};
    std::string sql = std::string("INSERT INTO korvane_record (") + kSharedColumns + ") VALUES ";
    std::vector<std::optional<std::string>> params;
    params.reserve(records.size() * kColumnCount);
    for (std::size_t i = 0; i < records.size(); ++i) {
        sql += i ? ", (" : "(";
        for (int c = 0; c < kColumnCount; ++c)
            sql += (c ? ", $" : "$") + std::to_string(i * kColumnCount + c + 1) + kRowCasts[c];
        sql += ")";
        const Record &r = records[i];
        for (std::string v :
             {r.uuid, r.station, std::to_string(r.id), r.time, std::to_string(r.monoNs),
              r.operatorName, r.toolVersion, r.unit, r.port, r.adapter, r.adapterSerial, r.info,
              r.operation, std::string(r.ok ? "true" : "false"), r.message, json::Write(r.data)})
            params.emplace_back(std::move(v));
    }
    sql += " ON CONFLICT (id) DO NOTHING";
    // One statement is one transaction: all the batch's records or none.
    PgResult r = conn_->Exec(sql, params);
    if (!r.ok())
        return ConnectionLost(r.Error());
    if (inserted)
        *inserted = r.Affected();
    return {};
}

QueryResult SharedStore::Read(const Query &query) {
    QueryResult out;
    if (out.status = Open(); !out.status)
        return out;
    std::string sql = std::string("SELECT id::text, station, local_id, time, mono_ns, operator, "
                                  "tool_version, unit, port, adapter, adapter_serial, info, "
                                  "operation, ok, message, data FROM korvane_record WHERE true");
    std::vector<std::optional<std::string>> params;
    const auto where = [&](const char *column, const char *op, const std::string &value) {
        params.emplace_back(value);
        sql += std::string(" AND ") + column + op + "$" + std::to_string(params.size());
    };
    if (query.unit)
        where("unit", " = ", *query.unit);
    if (query.since)
        where("time", " >= ", *query.since);
    if (query.operation)
        where("operation", " = ", *query.operation);
    sql += query.newestFirst ? " ORDER BY time DESC, station DESC, local_id DESC"
                             : " ORDER BY time, station, local_id";
    if (query.limit)
        sql += " LIMIT " + std::to_string(query.limit);
    PgResult r = conn_->Exec(sql, params);
    if (!r.ok()) {
        out.status = ConnectionLost(r.Error());
        return out;
    }
    out.records.reserve(static_cast<std::size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i) {
        Record rec;
        rec.uuid = r.Value(i, 0);
        rec.station = r.Value(i, 1);
        rec.id = std::stoll(r.Value(i, 2));
        rec.time = r.Value(i, 3);
        rec.monoNs = std::stoll(r.Value(i, 4));
        rec.operatorName = r.Value(i, 5);
        rec.toolVersion = r.Value(i, 6);
        rec.unit = r.Value(i, 7);
        rec.port = r.Value(i, 8);
        rec.adapter = r.Value(i, 9);
        rec.adapterSerial = r.Value(i, 10);
        rec.info = r.Value(i, 11);
        rec.operation = r.Value(i, 12);
        rec.ok = r.Value(i, 13) == "t";
        rec.message = r.Value(i, 14);
        const std::string data = r.Value(i, 15);
        std::optional<json::Value> parsed = json::Parse(data);
        rec.data = parsed ? std::move(*parsed) : json::Value(data);
        out.records.push_back(std::move(rec));
    }
    return out;
}

} // namespace kv::history
