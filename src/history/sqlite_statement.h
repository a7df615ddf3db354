// A prepared SQLite statement, finalized when it goes out of scope: the history file's
// code (store.cpp, store_forward.cpp) shares it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace kv::history::detail {

// A prepared statement, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3 *db, const std::string &sql) {
        rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    int prepared() const { return rc_; }
    sqlite3_stmt *get() const { return stmt_; }
    void Text(int i, const std::string &s) {
        sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void Int(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    int Step() { return sqlite3_step(stmt_); }
    // Ready to step again with new bindings.
    void Reset() { sqlite3_reset(stmt_); }
    std::string ColumnText(int i) const {
        const unsigned char *t = sqlite3_column_text(stmt_, i);
        return t ? std::string(reinterpret_cast<const char *>(t),
                               static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)))
                 : std::string();
    }
    std::int64_t ColumnInt(int i) const { return sqlite3_column_int64(stmt_, i); }

private:
    sqlite3_stmt *stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

} // namespace kv::history::detail
