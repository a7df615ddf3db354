#include "history/pg_connection.h"

#include <libpq-fe.h>

namespace kv::history {

namespace {

std::string Trimmed(const char *text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

PgResult::PgResult(pg_result *r) : r_(r, PQclear) {}

bool PgResult::ok() const {
    if (!r_)
        return false;
    const ExecStatusType s = PQresultStatus(r_.get());
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int PgResult::Rows() const {
    return r_ ? PQntuples(r_.get()) : 0;
}

std::string PgResult::Value(int row, int column) const {
    if (!r_ || PQgetisnull(r_.get(), row, column))
        return {};
    return std::string(PQgetvalue(r_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(r_.get(), row, column)));
}

bool PgResult::IsNull(int row, int column) const {
    return !r_ || PQgetisnull(r_.get(), row, column);
}

std::string PgResult::Error() const {
    return r_ ? Trimmed(PQresultErrorMessage(r_.get())) : std::string("no result");
}

std::string PgResult::SqlState() const {
    const char *s = r_ ? PQresultErrorField(r_.get(), PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
}

std::size_t PgResult::Affected() const {
    const char *n = r_ ? PQcmdTuples(r_.get()) : nullptr;
    return n && *n ? static_cast<std::size_t>(std::stoull(n)) : 0;
}

PgConnection::PgConnection(const std::string &conninfo, int connectTimeoutS)
    : c_(nullptr, PQfinish) {
    // The string is expanded in the place of "dbname": what it sets overrides the keywords
    // before it, so the time-out and the name are defaults it may change.
    const std::string timeout = std::to_string(connectTimeoutS);
    const char *keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char *values[] = {timeout.c_str(), "korvane", conninfo.c_str(), nullptr};
    c_.reset(PQconnectdbParams(keys, values, 1));
    // The server's notices ("terminating connection due to ...") would go to standard
    // error past the front end; what matters comes back as a command's error.
    if (c_)
        PQsetNoticeProcessor(
            c_.get(), [](void *, const char *) {}, nullptr);
}

bool PgConnection::ok() const {
    return c_ && PQstatus(c_.get()) == CONNECTION_OK;
}

std::string PgConnection::Error() const {
    return c_ ? Trimmed(PQerrorMessage(c_.get())) : std::string("out of memory");
}

PgResult PgConnection::Exec(const std::string &sql,
                            const std::vector<std::optional<std::string>> &params) {
    if (params.empty()) // a script of several commands, as the schema's steps are
        return PgResult(PQexec(c_.get(), sql.c_str()));
    std::vector<const char *> values;
    values.reserve(params.size());
    for (const auto &p : params)
        values.push_back(p ? p->c_str() : nullptr);
    return PgResult(PQexecParams(c_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
}

} // namespace kv::history
