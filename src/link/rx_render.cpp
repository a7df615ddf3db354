#include "link/rx_render.h"

namespace kv::link {

namespace {

void AppendHex(std::string &s, std::uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    s += kDigits[b >> 4];
    s += kDigits[b & 0x0F];
}

} // namespace

std::string RenderRx(std::span<const std::uint8_t> bytes, RxDisplay mode) {
    std::string s;
    s.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (mode != RxDisplay::Text) {
            AppendHex(s, b);
            s += ' ';
        } else if (b == 13) {
            s += "<CR>";
        } else if (b == 10) {
            s += "<LF>";
        } else if (b >= 32 && b <= 126) {
            s += static_cast<char>(b);
        } else {
            s += "0x";
            AppendHex(s, b);
        }
    }
    return s;
}

std::string FrameHexForm(std::span<const std::uint8_t> frame) {
    std::string s;
    s.reserve(frame.size() * 5);
    for (std::uint8_t b : frame) {
        s += "0x";
        AppendHex(s, b);
        s += ' ';
    }
    return s;
}

} // namespace kv::link
