// The shared history in a build without libpq: every call fails with the reason, so that a
// front end given a connection string says so instead of passing over it.
#include "history/shared_store.h"

namespace kv::history {

class PgConnection {};

bool SharedAvailable() {
    return false;
}

SharedStore::SharedStore(std::string conninfo, int connectTimeoutS)
    : conninfo_(std::move(conninfo)), connectTimeoutS_(connectTimeoutS) {}

SharedStore::~SharedStore() = default;

Status SharedStore::Open() {
    return {Failure::Other, kNoSharedInBuild};
}

Status SharedStore::Insert(std::span<const Record>, std::size_t *inserted) {
    if (inserted)
        *inserted = 0;
    return Open();
}

Status SharedStore::Lock(const std::string &) {
    return Open();
}

void SharedStore::Unlock(const std::string &) {}

QueryResult SharedStore::Read(const Query &) {
    return {Open(), {}};
}

} // namespace kv::history
