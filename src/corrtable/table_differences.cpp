#include "corrtable/table_differences.h"

#include <chrono>

#include "app/format.h"

namespace kv::corrtable {

std::vector<EntryDifference> TableDifferences(const CorrTableData &device,
                                              const CorrTableData &file) {
    std::vector<EntryDifference> out;
    for (int n = 0; n < kEntries; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (device[i] != file[i])
            out.push_back({n, device[i], file[i]});
    }
    return out;
}

std::string DifferenceLine(const EntryDifference &d) {
    return Format("%d: %d -> %d", {d.index, static_cast<int>(d.device), static_cast<int>(d.file)});
}

std::string TableReadStoppedText(int blocks) {
    return Format("the device's table could not be read (stopped at block %d of %d)",
                  {blocks + 1, kBlocks});
}

std::string ReadBackStoppedText(int block) {
    return Format("the read-back stopped at block %d of %d", {block + 1, kBlocks});
}

std::string SentAndReadBack(const EntryDifference &d) {
    return Format("entry %d: sent %d, read back %d",
                  {d.index, static_cast<int>(d.file), static_cast<int>(d.device)});
}

std::vector<std::string> DifferenceLines(const std::vector<EntryDifference> &differences,
                                         std::size_t limit) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < differences.size() && i < limit; ++i)
        lines.push_back(DifferenceLine(differences[i]));
    if (differences.size() > limit)
        lines.push_back(Format("... and %d more", {static_cast<int>(differences.size() - limit)}));
    return lines;
}

std::string EntryCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " entry" : " entries");
}

TableCheck CheckDeviceTable(link::Link &link, const CorrTableData &table) {
    TableCheck c;
    const auto start = std::chrono::steady_clock::now();
    c.read = ReadCorrectionTable(link, c.device, true);
    c.readMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (c.read.complete())
        c.differences = TableDifferences(c.device, table);
    return c;
}

Notices NoticesOf(const TableCheck &c) {
    using K = Notice::Kind;
    if (!c.read.complete())
        return {{K::ErrorBox, Capitalized(TableReadStoppedText(c.read.blocks))}};
    if (c.differences.empty())
        return {{K::InfoBox, kDeviceTableMatches}};
    std::string text =
        "Device table differs in " + EntryCount(c.differences.size()) + " (device -> editor):";
    for (const auto &line : DifferenceLines(c.differences, 5))
        text += "\n" + line;
    return {{K::ErrorBox, text}};
}

} // namespace kv::corrtable
