// A timed current series' hold on its port across an unplug. When a slot's frame cannot be
// written because the port has gone (the adapter pulled), the series says so once and
// pauses; it then looks for the same adapter (link/replug.h) at most once a second, opens
// the port again when it is back and goes on in its slots, reporting the slots it missed.
// Shared by the main window's timer and korvanectl's `current --every`.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "app/notice.h"
#include "link/link.h"
#include "link/replug.h"

namespace kv::device {

struct TimedRecord; // device/operations.h

class SeriesPort {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kLookEvery{1000};

    explicit SeriesPort(link::Link &link, link::PortRoots roots = {});

    // The port has gone and has not been opened again yet: slots are not measured.
    bool Lost() const { return lost_; }

    // While the port is lost: looks for the adapter (at most once in kLookEvery) and opens
    // the port again when the same adapter is back; the notice then says so, with the gap.
    // Nothing to do, and no notice, while the port is there.
    Notices Look(Clock::time_point now);
    // A slot that came while the port was lost.
    void SlotMissed() { ++missed_; }

    // What a slot's record tells the user: the record's own notices; for a frame that could
    // not be written, the system's text (no box during a series); and when the port has
    // gone, one notice that the series waits, instead of the slot's failure.
    Notices Judge(const TimedRecord &record);

private:
    link::Link &link_;
    link::PortRoots roots_;
    std::optional<link::AdapterIdentity> identity_; // taken while the port answers
    bool lost_ = false;
    int missed_ = 0;
    std::optional<Clock::time_point> lastLook_;
    std::string lostName_; // the port as the user is shown it
};

} // namespace kv::device
