// A correction table as the simulated fuse holds it: the 224 device bytes of its entries.
#pragma once

#include <cstddef>

#include "corrtable/table.h"
#include "fuse_model.h"

namespace kvtest {

inline kv::sim::Table DeviceBytes(const kv::corrtable::CorrTableData &t) {
    kv::sim::Table out{};
    for (int n = 0; n < kv::corrtable::kEntries; ++n)
        out[static_cast<std::size_t>(n)] = kv::corrtable::DeviceByte(t, n);
    return out;
}

} // namespace kvtest
