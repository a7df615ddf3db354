// Store and forward: every record goes into the station's file first; the forwarder sends
// the records not yet sent, oldest first, to the shared history in one transaction per
// batch, and marks them sent in the file only after the shared database has committed
// them. A record already there (sent by another process of the same file, or sent before a
// failed marking) is passed over by its UUID, so a record arrives once however often it
// is sent. A failure leaves the records waiting and is noted in the file for
// "history sync --status".
#pragma once

#include <cstddef>
#include <functional>

#include "history/shared_store.h"
#include "history/store.h"

namespace kv::history {

inline constexpr std::size_t kForwardBatch = 250;

struct [[nodiscard]] ForwardResult {
    Status status;           // the failure that stopped it (masked), else ok
    std::size_t arrived = 0; // records new in the shared history
    std::size_t passed = 0;  // records marked sent (arrived, or there already)
    std::size_t waiting = 0; // records still waiting afterwards
};

// Called after each batch: records done so far of those that waited at the start.
using ForwardProgress = std::function<void(std::size_t done, std::size_t total)>;

// Sends what waits in `local` to `shared`. Connects only when something waits, so a run
// that recorded nothing costs no connection.
ForwardResult Forward(Store &local, SharedStore &shared, const ForwardProgress &progress = {},
                      std::size_t batch = kForwardBatch);

// The warning a front end shows once when a forwarding at the end of its work failed:
// "<failure>; N records wait to be sent".
std::string ForwardWarning(const ForwardResult &r);

} // namespace kv::history
