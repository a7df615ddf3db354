// Moving the correction table to and from the device: 28 blocks of 8 bytes at the device
// addresses 0x20..0xFF, entries 0..222 in sign-magnitude form, the check byte raw.
#pragma once

#include <array>
#include <cstdint>

#include "app/prompter.h"
#include "corrtable/table.h"

namespace kv::link {
class Link;
}

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

// Fills the table from the device. All 257 entries are cleared first; the read stops at
// the first block whose reply is not exactly 10 bytes, leaving zeros from there on. The
// receive display mode is hexadecimal during the read and restored after it.
// Returns the number of blocks read.
int ReadCorrectionTable(link::Link &link, CorrTableData &table);

// Writes entries 0..223 to the device. Ends with "Done" or, at the first block not
// answered with exactly CR LF, with "Error on write!" (later blocks are not sent).
// Returns true when all blocks were written.
bool WriteCorrectionTable(link::Link &link, Prompter &prompter, const CorrTableData &table);

} // namespace kv::corrtable
