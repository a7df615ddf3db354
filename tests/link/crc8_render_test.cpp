// CRC-8 known answers, and the texts the link renders: received chunks, frames, port errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/crc8.h"
#include "link/messages.h"
#include "link/rx_render.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

TEST(Crc8, KnownAnswers) {
    struct Row {
        Bytes data;
        std::uint8_t crc;
    };
    const Row rows[] = {
        {Ascii("123456789"), 0xA1}, // the catalogue's check value
        {Ascii("abc"), 0x42},       {{}, 0x00}, {{0x01}, 0x5E}, {{0x80}, 0x8C}, {{0xFF}, 0x35},
    };
    for (const Row &r : rows)
        EXPECT_EQ(kv::Crc8(r.data), r.crc) << ::testing::PrintToString(r.data);
}

TEST(Crc8, TableEntriesAndUpdateStep) {
    const std::uint8_t first[] = {0x00, 0x5E, 0xBC, 0xE2, 0x61, 0x3F, 0xDD, 0x83};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(kv::Crc8Table[static_cast<std::size_t>(i)], first[i]) << i;
    EXPECT_EQ(kv::Crc8Table[0x80], 0x8C);
    EXPECT_EQ(kv::Crc8Table[0xFF], 0x35);
    // The step that callers building their input byte by byte use gives the same result.
    std::uint8_t r = 0;
    for (char c : std::string("123456789"))
        r = kv::Crc8Update(r, static_cast<std::uint8_t>(c));
    EXPECT_EQ(r, 0xA1);
}

TEST(Crc8, AppendingTheCrcGivesZero) {
    for (Bytes data : {Ascii("123456789"), Ascii("abc"), Bytes{99, 0, 10, 0, 0, 0, 20},
                       Bytes{0xFF, 0x00, 0x80}}) {
        data.push_back(kv::Crc8(data));
        EXPECT_EQ(kv::Crc8(data), 0) << ::testing::PrintToString(data);
    }
}

TEST(RenderRx, HexAndTextForms) {
    using kv::link::RenderRx;
    using kv::link::RxDisplay;
    struct Row {
        Bytes bytes;
        std::uint8_t mode;
        std::string text;
    };
    const Row rows[] = {
        {{0x4F, 0x0D, 0x0A}, 0, "4F 0D 0A "},
        {{0x4F, 0x0D, 0x0A}, 2, "O<CR><LF>"},
        {{0x00, 0x7F, 0x20, 0x7E, 0x1F, 0x80, 0xFF}, 2, "0x000x7F ~0x1F0x800xFF"},
        {{0x00, 0xFF}, 0, "00 FF "},
        {{0xAB}, 1, "AB "}, // an unknown mode shows hexadecimal rather than nothing
        {{}, 2, ""},
    };
    for (const Row &r : rows)
        EXPECT_EQ(RenderRx(r.bytes, static_cast<RxDisplay>(r.mode)), r.text)
            << ::testing::PrintToString(r.bytes);
}

TEST(RenderRx, FrameHexForm) {
    const Bytes frame = {0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0xAF};
    EXPECT_EQ(kv::link::FrameHexForm(frame), "0x15 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0xAF ");
}

TEST(PortErrors, EachStepCarriesTheSystemText) {
    using kv::link::PortStep;
    using kv::link::PortStepError;
    EXPECT_EQ(PortStepError(PortStep::CreateFile, "Access is denied."),
              "CreateFile INVALID_HANDLE_VALUE\rAccess is denied.");
    EXPECT_EQ(PortStepError(PortStep::GetCommState, "E"), "ComHandle GetCommState E\rE");
    EXPECT_EQ(PortStepError(PortStep::SetCommState, "E"), "ComHandle SetCommState E\rE");
    EXPECT_EQ(PortStepError(PortStep::GetCommTimeOuts, "E"), "ComHandle GetCommTimeOuts E\rE");
    EXPECT_EQ(PortStepError(PortStep::SetCommTimeOuts, "E"), "ComHandle SetCommTimeOuts E\rE");
    EXPECT_EQ(PortStepError(PortStep::SetCommMask, "E"), "ComHandle SetCommMask E\rE");
}

} // namespace
