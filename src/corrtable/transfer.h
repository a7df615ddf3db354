// Moving the correction table to and from the device: 28 blocks of 8 bytes at the device
// addresses 0x20..0xFF, entries 0..222 in sign-magnitude form, the check byte raw.
#pragma once

#include <array>
#include <cstdint>

#include "app/notice.h"
#include "corrtable/table.h"
#include "link/link.h"

namespace kv::corrtable {

inline constexpr int kBlocks = 28;
inline constexpr int kBlockSize = 8;
inline constexpr std::uint8_t kTableAddress = 0x20;

inline constexpr const char *kWriteDone = "Done";
inline constexpr const char *kWriteError = "Error on write!";

constexpr std::uint8_t BlockAddress(int k) {
    return static_cast<std::uint8_t>(kTableAddress + kBlockSize * k);
}

// The ReadTableBlock command of block k (the link pads it to 10 bytes).
std::array<std::uint8_t, 2> ReadBlockCommand(int k);
// The WriteTableBlock frame of block k: the code, the address and the block's 8 bytes.
std::array<std::uint8_t, 10> WriteBlockCommand(const CorrTableData &table, int k);

// A transfer of the table: how many blocks went through, and the reply that ended it early.
struct [[nodiscard]] TableTransfer {
    int blocks = 0;
    link::Reply reply; // the last block's

    bool complete() const { return blocks == kBlocks; }
};

// One block: read into entries 8k..8k+7 of table (true when exactly 10 bytes came), or
// written from them (true when answered exactly CR LF). reply gets the exchange's reply.
// With early, the exchange ends as soon as its bytes are in (the program's own checks in
// the windows; Write and Read Correction Table keep the windows' timing).
bool ReadBlock(link::Link &link, int k, CorrTableData &table, link::Reply *reply = nullptr,
               bool early = false);
bool WriteBlock(link::Link &link, const CorrTableData &table, int k, link::Reply *reply = nullptr,
                bool early = false);

// Fills the table from the device. All 257 entries are cleared first; the read stops at
// the first block whose reply is not exactly 10 bytes, leaving zeros from there on. The
// blocks show in hexadecimal in the log. The read reports nothing itself: the editor shows
// what arrived.
TableTransfer ReadCorrectionTable(link::Link &link, CorrTableData &table, bool early = false);

// Writes entries 0..223 to the device, stopping at the first block not answered with
// exactly CR LF (later blocks are not sent).
TableTransfer WriteCorrectionTable(link::Link &link, const CorrTableData &table,
                                   bool early = false);
// The write's end: "Done", or "Error on write!".
Notices NoticesOf(const TableTransfer &write);

} // namespace kv::corrtable
