#include "corrtable/transfer.h"

#include "link/commands.h"
#include "link/link.h"

namespace kv::corrtable {

namespace {

constexpr std::uint8_t kReadReply = link::ReplyLength(link::Cmd::ReadTableBlock);
constexpr std::uint8_t kWriteReply = link::ReplyLength(link::Cmd::WriteTableBlock);
static_assert(kReadReply == kBlockSize + 2 && kWriteReply == 2);
static_assert(BlockAddress(kBlocks - 1) == 0xF8 && kBlocks * kBlockSize == kEntries);

} // namespace

std::array<std::uint8_t, 2> ReadBlockCommand(int k) {
    return {static_cast<std::uint8_t>(link::Cmd::ReadTableBlock), BlockAddress(k)};
}

std::array<std::uint8_t, 10> WriteBlockCommand(const CorrTableData &table, int k) {
    std::array<std::uint8_t, 10> frame{};
    frame[0] = static_cast<std::uint8_t>(link::Cmd::WriteTableBlock);
    frame[1] = BlockAddress(k);
    for (int j = 0; j < kBlockSize; ++j)
        frame[static_cast<std::size_t>(2 + j)] = DeviceByte(table, kBlockSize * k + j);
    return frame;
}

bool ReadBlock(link::Link &link, int k, CorrTableData &table, link::Reply *reply, bool early) {
    link::Reply r =
        link.SendCommand(ReadBlockCommand(k), kReadReply,
                         {.display = link::RxDisplay::Hex, .log = true, .completeEarly = early});
    // A short, long or missing reply ends the read; a time-out was logged by the link.
    const bool ok = r.Has(kReadReply);
    if (ok)
        for (int j = 0; j < kBlockSize; ++j) {
            const int n = kBlockSize * k + j;
            table[static_cast<std::size_t>(n)] =
                EntryFromDevice(n, r.bytes[static_cast<std::size_t>(j)]);
        }
    if (reply)
        *reply = std::move(r);
    return ok;
}

bool WriteBlock(link::Link &link, const CorrTableData &table, int k, link::Reply *reply,
                bool early) {
    link::Reply r =
        link.SendCommand(WriteBlockCommand(table, k), kWriteReply, {.completeEarly = early});
    const bool ok = r.Has(kWriteReply) && r.bytes[0] == 0x0D && r.bytes[1] == 0x0A;
    if (reply)
        *reply = std::move(r);
    return ok;
}

TableTransfer ReadCorrectionTable(link::Link &link, CorrTableData &table, bool early) {
    TableTransfer t;
    table.fill(0);
    for (; t.blocks < kBlocks; ++t.blocks)
        if (!ReadBlock(link, t.blocks, table, &t.reply, early))
            break;
    return t;
}

TableTransfer WriteCorrectionTable(link::Link &link, const CorrTableData &table, bool early) {
    TableTransfer t;
    for (; t.blocks < kBlocks; ++t.blocks)
        if (!WriteBlock(link, table, t.blocks, &t.reply, early))
            break;
    return t;
}

Notices NoticesOf(const TableTransfer &write) {
    if (write.complete())
        return {{Notice::Kind::InfoBox, kWriteDone}};
    return {{Notice::Kind::ErrorBox, kWriteError}};
}

} // namespace kv::corrtable
