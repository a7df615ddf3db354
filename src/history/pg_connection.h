// A thin owner of libpq's handles: one connection (PGconn, finished when it goes) and the
// results of its commands (PGresult, cleared when they go). Nothing here knows the
// history; shared_store.h does.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace kv::history {

class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result *r);

    // The command succeeded (with or without rows).
    bool ok() const;
    int Rows() const;
    std::string Value(int row, int column) const; // "" for NULL
    bool IsNull(int row, int column) const;
    std::string Error() const;    // the server's message, trimmed
    std::string SqlState() const; // "23505"; "" when the server sent none
    std::size_t Affected() const; // rows an INSERT or UPDATE touched

private:
    std::shared_ptr<pg_result> r_;
};

class PgConnection {
public:
    // Connects with libpq's connection string (its URI or key=value form), waiting at most
    // connectTimeoutS for the whole start-up (a connect_timeout in the string wins).
    // Check ok(); Error() says why not.
    PgConnection(const std::string &conninfo, int connectTimeoutS);
    PgConnection(PgConnection &&) = default;
    PgConnection &operator=(PgConnection &&) = default;

    bool ok() const;
    std::string Error() const; // the client library's last message, trimmed

    // A command with text parameters ($1, $2, ...); nullopt is SQL NULL. Without
    // parameters, a script of several commands.
    PgResult Exec(const std::string &sql,
                  const std::vector<std::optional<std::string>> &params = {});

private:
    std::unique_ptr<pg_conn, void (*)(pg_conn *)> c_;
};

} // namespace kv::history
