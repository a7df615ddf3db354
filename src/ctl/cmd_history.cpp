// The unit history commands: history, record.
#include "app/text_files.h"
#include "ctl/commands.h"
#include "ctl/files.h"
#include "ctl/session.h"
#include "history/calibration_record.h"
#include "history/render.h"

namespace kv::ctl {

namespace hi = kv::history;

int CmdHistory(Session &s) {
    if (!hi::StoreAvailable())
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
    const hi::QueryResult r = s.recorder().store().Read(q);
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
    if (!listing.empty() || format == hi::ListingFormat::Csv)
        s.Out(listing);
    return kExitOk;
}

int CmdRecord(Session &s) {
    if (!s.UnitNamed())
        throw UsageError("record needs --unit SERIAL", s.args.command);
    if (!hi::StoreAvailable())
        return s.Fail(hi::kNoHistoryInBuild);
    const std::string unit = s.recorder().unit();
    const std::string out =
        s.args.Has("--output") ? s.args.Value("--output") : hi::CalibrationRecordFileName(unit);
    const hi::CalibrationDocument doc =
        hi::CalibrationRecordFromStore(s.recorder().store(), unit, s.Reference());
    if (!doc.ok)
        return s.Fail(doc.message);
    if (!MayReplace(s, out))
        return kExitFailed;
    if (FileResult w = WriteTextFile(doc.html, out, &s.prompter); !w)
        return s.Fail("cannot write " + out + ": " + w.error);
    s.Out("calibration record of " + unit + " written to " + out);
    return kExitOk;
}

} // namespace kv::ctl
