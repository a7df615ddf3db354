// The station file's side of forwarding to the shared history: which records wait, marking
// them sent after the shared database has committed them, and the last outcome.
#include "history/sqlite_statement.h"
#include "history/store.h"

#include "app/text_files.h"

namespace kv::history {

using detail::Statement;

// Each forwarding call waits for a lock held by another program once, as Append and Read
// do: two processes forwarding one file take their turns.
Store::Waiting Store::WaitingToSend() {
    StartCall();
    Waiting w = WaitingToSendInCall();
    w.status = EndCall(w.status);
    return w;
}

Store::Waiting Store::WaitingToSendInCall() {
    Waiting w;
    if (!FileExists(path_))
        return w; // nothing recorded yet: nothing waits
    if (w.status = OpenForWriting(); !w.status)
        return w;
    const auto fail = [&](int rc) {
        w.status = detail::Fail(db_, rc, path_, false, options_.busyTimeoutMs);
        Close();
        return w;
    };
    Statement count(db_, "SELECT count(*), coalesce(min(time), '') FROM record WHERE sent = 0");
    if (count.prepared() != SQLITE_OK)
        return fail(count.prepared());
    if (const int rc = count.Step(); rc != SQLITE_ROW)
        return fail(rc);
    w.count = static_cast<std::size_t>(count.ColumnInt(0));
    w.oldest = count.ColumnText(1);
    Statement state(db_, "SELECT last_error, last_error_time, last_sent_time FROM forward_state "
                         "WHERE id = 1");
    if (state.prepared() != SQLITE_OK)
        return fail(state.prepared());
    const int rc = state.Step();
    if (rc == SQLITE_ROW) {
        w.lastError = state.ColumnText(0);
        w.lastErrorTime = state.ColumnText(1);
        w.lastSentTime = state.ColumnText(2);
    } else if (rc != SQLITE_DONE) {
        return fail(rc);
    }
    return w;
}

QueryResult Store::Unsent(std::size_t limit) {
    QueryResult out;
    StartCall();
    if (out.status = EndCall(OpenForWriting()); !out.status) // brings a version-1 file up
        return out;
    return Read({.waitingOnly = true, .limit = limit});
}

Status Store::MarkSent(std::span<const Record> records) {
    StartCall();
    return EndCall(MarkSentInCall(records));
}

Status Store::MarkSentInCall(std::span<const Record> records) {
    if (Status s = OpenForWriting(); !s)
        return s;
    const auto fail = [&](int rc) {
        Status s = detail::Fail(db_, rc, path_, true, options_.busyTimeoutMs);
        detail::Exec(db_, "ROLLBACK");
        Close();
        return s;
    };
    int rc = detail::Exec(db_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return fail(rc);
    Statement update(db_, "UPDATE record SET sent = 1 WHERE id = ?1");
    if (update.prepared() != SQLITE_OK)
        return fail(update.prepared());
    for (const Record &r : records) {
        update.Int(1, r.id);
        if (rc = update.Step(); rc != SQLITE_DONE)
            return fail(rc);
        sqlite3_reset(update.get());
    }
    if (rc = detail::Exec(db_, "COMMIT"); rc != SQLITE_OK)
        return fail(rc);
    return {};
}

Status Store::NoteForwarding(const std::string &error, std::size_t sent) {
    StartCall();
    return EndCall(NoteForwardingInCall(error, sent));
}

Status Store::NoteForwardingInCall(const std::string &error, std::size_t sent) {
    if (Status s = OpenForWriting(); !s)
        return s;
    const std::string now = Now().time;
    // A failure keeps the time of the last sending; a success clears the failure.
    Statement note(db_, "INSERT INTO forward_state (id, last_error, last_error_time, "
                        "last_sent_time) VALUES (1, ?1, ?2, ?3) ON CONFLICT (id) DO UPDATE SET "
                        "last_error = ?1, last_error_time = ?2, last_sent_time = CASE WHEN ?4 "
                        "THEN ?3 ELSE last_sent_time END");
    if (note.prepared() != SQLITE_OK)
        return detail::Fail(db_, note.prepared(), path_, true, options_.busyTimeoutMs);
    note.Text(1, error);
    note.Text(2, error.empty() ? "" : now);
    note.Text(3, sent > 0 ? now : "");
    note.Int(4, sent > 0 ? 1 : 0);
    if (const int rc = note.Step(); rc != SQLITE_DONE) {
        Status s = detail::Fail(db_, rc, path_, true, options_.busyTimeoutMs);
        Close();
        return s;
    }
    return {};
}

} // namespace kv::history
