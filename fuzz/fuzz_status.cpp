// The device's replies as the program decodes them: the status record with its report and
// the current reply with its report and log line, from arbitrary bytes of any length.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/current.h"
#include "device/status.h"
#include "fuzz_check.h"

using namespace kv::device;

namespace {

double FiniteFrom(const std::uint8_t *p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    // The settings reader only ever gives finite values.
    return std::isfinite(d) ? d : 5.0;
}

bool OneLine(const std::string &s) {
    return s.find_first_of("\r\n") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2 + 2 * sizeof(double))
        return 0;
    // The head picks the byte count the transaction reported and the two full-scale voltages;
    // the rest is the receive buffer.
    const std::uint32_t count = data[0];
    const bool useVref = (data[1] & 1) != 0;
    AdcScale scale;
    scale.Voltage = FiniteFrom(data + 2);
    scale.RefVoltage = FiniteFrom(data + 2 + sizeof(double));
    const std::span<const std::uint8_t> reply(data + 2 + 2 * sizeof(double),
                                              size - 2 - 2 * sizeof(double));

    const auto status = StatusFromReply(reply, count, kStatusReplyLength);
    FUZZ_CHECK(status.has_value() ==
               (count == kStatusReplyLength && reply.size() >= kStatusRecordSize));
    if (status) {
        const auto bytes = StatusToBytes(*status);
        FUZZ_CHECK(std::memcmp(bytes.data(), reply.data(), kStatusRecordSize) == 0);
        const auto lines = StatusReportLines(*status, "Last Values");
        FUZZ_CHECK(lines.size() == 13);
        for (const auto &l : lines)
            FUZZ_CHECK(OneLine(l) && (l.starts_with(">") || l.starts_with("  ")));
        const RelayOffTime t = RelayOffTimeFrom(status->RelayOffCount());
        FUZZ_CHECK(t.total >= 0 && t.total <= kMaxRelayOffTimeMs);
        FUZZ_CHECK(t.minutes * 60000 + t.seconds * 1000 + t.milliseconds == t.total);
        FUZZ_CHECK(t.seconds < 60 && t.milliseconds < 1000);
    }

    CurrentSample sample;
    if (SampleFromReply(reply, useVref, scale, sample)) {
        FUZZ_CHECK(sample.Multiply != 0);
        FUZZ_CHECK(sample.Adc() == reply[0] * 256 + reply[1]);
        for (const auto &l : CurrentReportLines(sample))
            FUZZ_CHECK(OneLine(l));
        const std::string record = CurrentLogLine(sample);
        FUZZ_CHECK(record.ends_with("\r\n"));
        FUZZ_CHECK(OneLine(record.substr(0, record.size() - 2)));
    } else {
        FUZZ_CHECK(reply.size() < kCurrentReplyData || reply[3] == 0);
    }
    return 0;
}
