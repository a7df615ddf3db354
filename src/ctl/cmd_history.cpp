// The unit history commands: history, history sync, record.
#include "app/json.h"
#include "app/text_files.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/session.h"
#include "history/calibration_record.h"
#include "history/forwarder.h"
#include "history/render.h"

namespace kv::ctl {

namespace hi = kv::history;

namespace {

// --shared on history and record: the shared history rather than this station's file. Its
// connection string: the option's value, else the setting.
bool ReadsShared(Session &s) {
    return s.args.Has("--shared");
}

// The shared history to read or send to; fails when there is none or the build has none.
std::optional<std::string> SharedOrFail(Session &s, int *rc) {
    const std::string shared = s.SharedHistory();
    if (shared.empty()) {
        *rc = s.Fail("no shared history: give --shared URI or set \"SharedHistory\" in the "
                     "settings file");
        return std::nullopt;
    }
    if (!hi::SharedAvailable()) {
        *rc = s.Fail(hi::kNoSharedInBuild);
        return std::nullopt;
    }
    return shared;
}

// The records of q from the shared history (--shared) or this station's file; nullopt when
// there is no shared history to read (*rc: the failure's exit status).
std::optional<hi::QueryResult> ReadRecords(Session &s, const hi::Query &q, int *rc) {
    if (!ReadsShared(s))
        return s.recorder().store().Read(q);
    const std::optional<std::string> shared = SharedOrFail(s, rc);
    if (!shared)
        return std::nullopt;
    hi::SharedStore store(*shared);
    return store.Read(q);
}

} // namespace

int CmdHistory(Session &s) {
    if (!ReadsShared(s) && !hi::StoreAvailable())
        return s.Fail(hi::kNoHistoryInBuild);
    if (s.json() && s.args.Has("--csv"))
        throw UsageError("--json and --csv exclude each other", s.args.command);
    hi::Query q;
    if (s.UnitNamed())
        q.unit = s.recorder().unit();
    if (s.args.Has("--since")) {
        q.since = hi::ParseSince(s.args.Value("--since"));
        if (!q.since)
            throw UsageError("--since: " + std::string(hi::kSinceSyntax), s.args.command);
    }
    if (s.args.Has("--operation")) {
        const std::string name = s.args.Value("--operation");
        if (!hi::OperationFromName(name)) {
            std::string known;
            for (const hi::OperationInfo &o : hi::Operations())
                known += (known.empty() ? "" : ", ") + std::string(o.name);
            throw UsageError("--operation: no operation " + name + " (one of " + known + ")",
                             s.args.command);
        }
        q.operation = name;
    }
    // A missing file fails rather than listing nothing: the path may be the mistake.
    int rc = kExitOk;
    const std::optional<hi::QueryResult> read = ReadRecords(s, q, &rc);
    if (!read)
        return rc;
    const hi::QueryResult &r = *read;
    if (!r.status)
        return s.Fail(r.status.message);
    const hi::ListingFormat format = s.json()              ? hi::ListingFormat::Json
                                     : s.args.Has("--csv") ? hi::ListingFormat::Csv
                                                           : hi::ListingFormat::Text;
    std::string listing = hi::Render(r.records, format);
#ifdef _WIN32
    // Standard output is in text mode on Windows and makes each "\n" a "\r\n" itself: the
    // CSV's own line ends would come out as "\r\r\n".
    if (format == hi::ListingFormat::Csv) {
        std::string lf;
        lf.reserve(listing.size());
        for (std::size_t i = 0; i < listing.size(); ++i)
            if (listing[i] != '\r' || i + 1 == listing.size() || listing[i + 1] != '\n')
                lf += listing[i];
        listing.swap(lf);
    }
#endif
    if (!listing.empty() && listing.back() == '\n')
        listing.pop_back(); // Out ends the last line
    // -o FILE: the listing into a file; "-" (or none) standard output.
    const std::string file = s.args.Value("--output", "-");
    if (file == "-") {
        if (!listing.empty() || format == hi::ListingFormat::Csv)
            s.Out(listing);
        return kExitOk;
    }
    if (!MayReplace(s, file))
        return kExitFailed;
    if (FileResult w = WriteTextFile(listing.empty() ? listing : listing + "\n", file, &s.prompter);
        !w)
        return s.Fail("cannot write " + file + ": " + w.error);
    s.Out(std::to_string(r.records.size()) + " records written to " + file);
    return kExitOk;
}

int CmdRecord(Session &s) {
    if (!s.UnitNamed())
        throw UsageError("record needs --unit SERIAL", s.args.command);
    if (!ReadsShared(s) && !hi::StoreAvailable())
        return s.Fail(hi::kNoHistoryInBuild);
    const std::string unit = s.recorder().unit();
    StdioFile output(
        s, s.args.Has("--output") ? s.args.Value("--output") : hi::CalibrationRecordFileName(unit),
        StdioFile::Use::Write, ".html");
    const std::string &out = output.path();
    int rc = kExitOk;
    const std::optional<hi::QueryResult> read = ReadRecords(s, {.unit = unit}, &rc);
    if (!read)
        return rc;
    const hi::CalibrationDocument doc = hi::CalibrationRecordOf(*read, unit, s.Reference());
    if (!doc.ok)
        return s.Fail(doc.message);
    if (!MayReplace(s, out))
        return kExitFailed;
    if (FileResult w = WriteTextFile(doc.html, out, &s.prompter); !w)
        return s.Fail("cannot write " + out + ": " + w.error);
    s.Out("calibration record of " + unit + " written to " + out);
    return output.Finish() ? kExitOk : kExitFailed;
}

namespace {

std::string Count(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

int SyncStatus(Session &s, const std::string &shared) {
    const hi::Store::Waiting w = s.recorder().store().WaitingToSend();
    if (!w.status)
        return s.Fail(w.status.message);
    if (s.json()) {
        json::Value j = json::Value::object();
        j["shared"] = hi::MaskPassword(shared);
        j["waiting"] = w.count;
        j["oldest_waiting"] = w.oldest;
        j["last_sent"] = w.lastSentTime;
        j["last_error"] = hi::Scrub(w.lastError, shared);
        j["last_error_time"] = w.lastErrorTime;
        s.Out(json::Write(j));
        return kExitOk;
    }
    s.Out("shared history: " +
          (shared.empty() ? std::string("none set") : hi::MaskPassword(shared)));
    s.Out("waiting: " + Count(w.count));
    s.Out("oldest waiting: " + (w.oldest.empty() ? std::string("-") : w.oldest));
    s.Out("last sent: " + (w.lastSentTime.empty() ? std::string("never") : w.lastSentTime));
    // The error as it was noted; masked again in case the setting changed since.
    s.Out("last error: " + (w.lastError.empty()
                                ? std::string("none")
                                : w.lastErrorTime + " " + hi::Scrub(w.lastError, shared)));
    return kExitOk;
}

} // namespace

int CmdHistorySync(Session &s) {
    if (!hi::StoreAvailable())
        return s.Fail(hi::kNoHistoryInBuild);
    if (s.args.Has("--status"))
        return SyncStatus(s, s.SharedHistory());
    int rc = kExitOk;
    const std::optional<std::string> shared = SharedOrFail(s, &rc);
    if (!shared)
        return rc;
    hi::SharedStore store(*shared);
    const hi::ForwardResult r =
        hi::Forward(s.recorder().store(), store, [&](std::size_t done, std::size_t total) {
            s.err.Line(std::string(kProgram) + ": sent " + std::to_string(done) + " of " +
                       std::to_string(total));
        });
    if (s.json()) {
        json::Value j = json::Value::object();
        j["shared"] = store.Shown();
        j["sent"] = r.passed;
        j["new"] = r.arrived;
        j["waiting"] = r.waiting;
        j["error"] = r.status ? "" : r.status.message;
        s.Out(json::Write(j));
    } else {
        s.Out(Count(r.passed) + " sent to the shared history " + store.Shown() + " (" +
              std::to_string(r.arrived) + " new, " + std::to_string(r.passed - r.arrived) +
              " there already); " + std::to_string(r.waiting) + " waiting");
    }
    if (!r.status)
        return s.Fail(hi::ForwardWarning(r));
    return kExitOk;
}

} // namespace kv::ctl
