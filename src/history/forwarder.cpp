#include "history/forwarder.h"

#include <filesystem>

#include "app/format.h"
#include "history/host_identity.h"

namespace kv::history {

namespace {

// Two processes forwarding one file take turns; other files forward side by side.
std::string ForwardKey(const Store &local) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(local.Path(), ec);
    return HostName() + ":" + (ec ? local.Path() : p.string());
}

std::string Records(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

} // namespace

ForwardResult Forward(Store &local, SharedStore &shared, const ForwardProgress &progress,
                      std::size_t batch) {
    ForwardResult out;
    const Store::Waiting before = local.WaitingToSend();
    if (!before.status) {
        out.status = before.status;
        return out;
    }
    out.waiting = before.count;
    if (before.count == 0)
        return out;
    const auto failed = [&](Status s) {
        out.status = s;
        // The note is for the status listing; one that cannot be written changes nothing sent.
        (void)local.NoteForwarding(s.message, out.passed);
        const Store::Waiting after = local.WaitingToSend();
        out.waiting = after.status ? after.count : before.count - out.passed;
        return out;
    };
    const std::string key = ForwardKey(local);
    if (Status s = shared.Lock(key); !s)
        return failed(s);
    for (;;) {
        QueryResult next = local.Unsent(batch);
        if (!next.status) {
            shared.Unlock(key);
            return failed(next.status);
        }
        if (next.records.empty())
            break;
        std::size_t arrived = 0;
        if (Status s = shared.Insert(next.records, &arrived); !s)
            return failed(s); // the connection is gone, and its lock with it
        // Committed there: a failure to mark them here only sends them again, passed over.
        if (Status s = local.MarkSent(next.records); !s) {
            shared.Unlock(key);
            return failed(s);
        }
        out.arrived += arrived;
        out.passed += next.records.size();
        if (progress)
            progress(out.passed, std::max(before.count, out.passed));
    }
    shared.Unlock(key);
    (void)local.NoteForwarding("", out.passed); // as above: the records are sent either way
    out.waiting = 0;
    return out;
}

std::string ForwardWarning(const ForwardResult &r) {
    return r.status.message + "; " + Records(r.waiting) + (r.waiting == 1 ? " waits" : " wait") +
           " to be sent";
}

} // namespace kv::history
