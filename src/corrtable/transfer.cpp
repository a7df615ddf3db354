#include "corrtable/transfer.h"

#include "link/commands.h"
#include "link/link.h"

namespace kv::corrtable {

namespace {

constexpr std::uint8_t kReadReply = link::ReplyLength(link::Cmd::ReadTableBlock);
constexpr std::uint8_t kWriteReply = link::ReplyLength(link::Cmd::WriteTableBlock);
static_assert(kReadReply == kBlockSize + 2 && kWriteReply == 2);
static_assert(BlockAddress(kBlocks - 1) == 0xF8 && kBlocks * kBlockSize == kEntries);

// Puts the receive display mode back however the read ends.
class DisplayModeGuard {
public:
    explicit DisplayModeGuard(link::Link &l) : link_(l), saved_(l.RxDisplayMode) {}
    ~DisplayModeGuard() { link_.RxDisplayMode = saved_; }
    DisplayModeGuard(const DisplayModeGuard &) = delete;
    DisplayModeGuard &operator=(const DisplayModeGuard &) = delete;

private:
    link::Link &link_;
    std::uint8_t saved_;
};

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

int ReadCorrectionTable(link::Link &link, CorrTableData &table) {
    DisplayModeGuard guard(link);
    link.RxDisplayMode = 0;
    table.fill(0);
    for (int k = 0; k < kBlocks; ++k) {
        link.SendCommand(ReadBlockCommand(k), kReadReply);
        // A short, long or missing reply ends the read; a time-out was logged by the link.
        if (link.RxCount() != kReadReply)
            return k;
        for (int j = 0; j < kBlockSize; ++j) {
            const int n = kBlockSize * k + j;
            table[static_cast<std::size_t>(n)] =
                EntryFromDevice(n, link.RxByte(static_cast<std::size_t>(j)));
        }
    }
    return kBlocks;
}

bool WriteCorrectionTable(link::Link &link, Prompter &prompter, const CorrTableData &table) {
    for (int k = 0; k < kBlocks; ++k) {
        link.SendCommand(WriteBlockCommand(table, k), kWriteReply);
        if (link.RxCount() != kWriteReply || link.RxByte(0) != 0x0D || link.RxByte(1) != 0x0A) {
            ShowError(prompter, kWriteError);
            return false;
        }
    }
    ShowInfo(prompter, kWriteDone);
    return true;
}

} // namespace kv::corrtable
