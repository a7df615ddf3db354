// The receive side on arbitrary bytes: the rendering of a chunk in both display modes and
// the receive buffer under any sequence of chunks and clears, checked against a plain model
// of its rule (a chunk that would run past 10000 bytes starts the buffer afresh).
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/link_impl.h"
#include "link/rx_render.h"

using namespace kv::link;

namespace {

void CheckRender(std::span<const std::uint8_t> bytes) {
    const std::string hex = RenderRx(bytes, RxDisplay::Hex);
    FUZZ_CHECK(hex.size() == bytes.size() * 3);
    const std::string text = RenderRx(bytes, RxDisplay::Text);
    FUZZ_CHECK(text.size() >= bytes.size() && text.size() <= bytes.size() * 4);
    // A log line must hold only printable characters, whatever the device sent.
    for (char c : hex + text + RenderRx(bytes, static_cast<RxDisplay>(7)) + FrameHexForm(bytes))
        FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    FUZZ_CHECK(RenderRx(bytes, static_cast<RxDisplay>(1)) == hex);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    CheckRender(std::span(data, size));

    // Each op: one byte, 0xFF clears, anything else appends a chunk whose length is the
    // byte times 64 plus the next byte, filled from the input (cycled).
    static RxStore rx; // 10 KiB of buffer: made once
    rx.Clear();
    std::vector<std::uint8_t> model;
    std::vector<std::uint8_t> chunk;
    std::size_t i = 0;
    while (i + 1 < size) {
        const std::uint8_t op = data[i++];
        if (op == 0xFF) {
            rx.Clear();
            model.clear();
            FUZZ_CHECK(rx.Count() == 0 && rx.Byte(0) == 0);
            continue;
        }
        // The receive thread never appends an empty chunk (a read of 0 bytes is dropped).
        const std::size_t len = static_cast<std::size_t>(op) * 64 + data[i++] + 1;
        chunk.resize(len);
        for (std::size_t k = 0; k < len; ++k)
            chunk[k] = data[(i + k) % size];
        const bool full = rx.Append(chunk);
        const std::size_t taken = std::min<std::size_t>(len, kRxLimit);
        FUZZ_CHECK(full == (model.size() + taken > kRxLimit));
        if (full)
            model.clear();
        model.insert(model.end(), chunk.begin(), chunk.begin() + static_cast<long>(taken));
        FUZZ_CHECK(rx.Count() == model.size());
        FUZZ_CHECK(rx.Count() <= kRxLimit);
        FUZZ_CHECK(rx.Copy() == model);
        FUZZ_CHECK(rx.Byte(kRxBufferSize - 1) == 0); // the last byte is never filled
        FUZZ_CHECK(rx.Byte(kRxBufferSize + 5) == 0);
    }
    return 0;
}
