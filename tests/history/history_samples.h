// What the history tests share: the context of a technician at a bench.
#pragma once

#include <string>

#include "history/record.h"

namespace kvtest {

inline kv::history::Context BenchContext(const std::string &unit = "SN-1") {
    kv::history::Context c;
    c.station = "bench-2";
    c.operatorName = "anna";
    c.toolVersion = "1.0";
    c.unit = unit;
    c.port = "/dev/ttyUSB0";
    return c;
}

} // namespace kvtest
