// The device's table against another: the entries that differ, their lines for the user,
// and the whole-table comparison of "Verify Correction Table" and `table verify`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/notice.h"
#include "corrtable/table.h"
#include "corrtable/transfer.h"
#include "link/link.h"

namespace kv::corrtable {

// An entry (0..223) that the device holds otherwise than the file.
struct EntryDifference {
    int index = 0;
    std::int8_t device = 0;
    std::int8_t file = 0;

    bool operator==(const EntryDifference &) const = default;
};

// The entries 0..223 where the device's table and the file's differ, in order.
std::vector<EntryDifference> TableDifferences(const CorrTableData &device,
                                              const CorrTableData &file);
// "17: -3 -> 5" (device -> file).
std::string DifferenceLine(const EntryDifference &d);
// "the device's table could not be read (stopped at block 6 of 28)": blocks is the count of
// blocks read, the block named the first one that was not (counted from 1, as people count).
std::string TableReadStoppedText(int blocks);
// "the read-back stopped at block 6 of 28" (block: the index of the block that failed).
std::string ReadBackStoppedText(int block);
// "entry 17: sent 5, read back 4" (file -> sent, device -> read back).
std::string SentAndReadBack(const EntryDifference &d);
// The first `limit` differences as lines, and "... and N more" when there are more.
std::vector<std::string> DifferenceLines(const std::vector<EntryDifference> &differences,
                                         std::size_t limit);
// "1 entry", "5 entries".
std::string EntryCount(std::size_t n);

// Reads the device's whole table back and compares it with table.
struct TableCheck {
    TableTransfer read;
    CorrTableData device{};
    std::vector<EntryDifference> differences;
    double readMs = 0;

    bool ok() const { return read.complete() && differences.empty(); }
};
TableCheck CheckDeviceTable(link::Link &link, const CorrTableData &table);

inline constexpr const char *kDeviceTableMatches = "Device table matches";

// "Verify Correction Table": "Device table matches", or an error box with the number of
// differing entries and the first few (device -> editor).
Notices NoticesOf(const TableCheck &check);

} // namespace kv::corrtable
