#include "device/series_port.h"

#include "app/format.h"
#include "device/notices.h"
#include "device/operations.h"
#include "device/texts.h"
#include "link/port_name.h"

namespace kv::device {

namespace {

// The reply of the slot's first exchange that failed to write, if any.
const link::Reply *WriteFailure(const TimedRecord &r) {
    if (r.status.reply.status == link::ReplyStatus::WriteFailed)
        return &r.status.reply;
    if (r.measurement && r.measurement->reply.status == link::ReplyStatus::WriteFailed)
        return &r.measurement->reply;
    return nullptr;
}

// A system text on one line (a hint follows on a line of its own).
std::string OneLine(std::string text) {
    for (char &c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string MissedText(int missed) {
    if (missed == 0)
        return std::string(text::SeriesNoneMissed);
    if (missed == 1)
        return std::string(text::SeriesOneMissed);
    return Format(text::SeriesManyMissed, {missed});
}

} // namespace

SeriesPort::SeriesPort(link::Link &link, link::PortRoots roots)
    : link_(link), roots_(std::move(roots)) {}

Notices SeriesPort::Judge(const TimedRecord &record) {
    const link::Reply *failed = WriteFailure(record);
    if (!failed) {
        // Known while it answers: a USB adapter's identity is gone from the system once it
        // is pulled.
        if (!identity_ && record.status.ok() && link_.PortOpen())
            identity_ = link::IdentityOf(link_.OpenedPortName(), roots_);
        return NoticesOf(record);
    }
    const std::string why = OneLine(failed->failureText);
    if (!link::MeansPortGone(failed->systemError) || !link_.PortOpen()) {
        Notices n = NoticesOf(record);
        n.push_back({Notice::Kind::Problem, why});
        return n;
    }
    if (!identity_)
        identity_ = link::IdentityOf(link_.OpenedPortName(), roots_);
    lost_ = true;
    missed_ = 0;
    lastLook_.reset();
    lostName_ = link::PortShown(link_.OpenedPortName());
    // The slot itself is the first one missed: it measured nothing.
    ++missed_;
    return {{Notice::Kind::Problem, Format(text::SeriesPortGone, {lostName_, why})}};
}

Notices SeriesPort::Look(Clock::time_point now) {
    if (!lost_ || (lastLook_ && now - *lastLook_ < kLookEvery))
        return {};
    lastLook_ = now;
    const auto where = link::WhereIsAdapter(*identity_, roots_);
    if (!where)
        return {};
    // A device node that is back but not yet usable (its permissions still being set) is
    // tried again at the next look.
    std::string failure;
    if (!link_.Reopen(*where, &failure))
        return {};
    lost_ = false;
    return {{Notice::Kind::Problem,
             Format(text::SeriesPortBack, {link::PortShown(*where), MissedText(missed_)})}};
}

} // namespace kv::device
