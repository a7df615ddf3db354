// The ways the simulated fuse can be told to misbehave, each named with what it needs. An
// empty set, map or optional is a fault switched off; the default Faults is a healthy device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace kv::sim {

struct Faults {
    // A reply sent in two parts: atByte bytes, a pause of gapMs, the rest.
    struct Split {
        int atByte = 1;
        int gapMs = 300;
    };
    // How often a block fault strikes: every write of the block, or only its first one.
    enum class Times { Always, Once };

    bool silentAll = false;                    // no reply to anything
    std::set<std::uint8_t> silent{};           // no reply to these codes
    std::map<std::uint8_t, int> replyLength{}; // code -> bytes sent: cut short, or padded with 0xEE
    std::map<std::uint8_t, Split> split{};     // code -> reply sent in two parts
    // Code -> these bytes sent instead of the reply (a reply garbled on the line).
    std::map<std::uint8_t, std::vector<std::uint8_t>> replyBytes{};
    bool wrongWriteCrc = false; // WriteData returns the CRC inverted
    // After a SetStatus, GetStatus reports this record byte (4..10) with bit 0 flipped.
    std::optional<int> readBackMismatch{};
    // Table block index (0..27) -> reply sent instead of the normal one (read or write); a
    // write so answered stores nothing.
    std::map<int, std::vector<std::uint8_t>> tableBlockReply{};
    std::optional<int> tableSilentFrom{}; // table blocks from this index on get no reply
    // Close the line (as when the adapter is pulled) when a frame arrives after this many
    // frames since the start; once, so the device works again when plugged back in.
    std::optional<std::size_t> hangUpAfterFrames{};
    std::map<int, std::uint8_t> statusOverride{}; // record byte index -> value, both records
    // Table block -> stored with bit 0 of its first entry flipped, answered CR LF as if
    // stored right (line noise, a supply dip during the write).
    std::map<int, Times> corruptBlock{};
    // Table block -> answered CR LF, nothing stored.
    std::map<int, Times> ignoreBlock{};
    // Table block -> its write answered "ER" (0x45 0x52), nothing stored: a write that fails
    // mid-way.
    std::map<int, Times> failBlock{};
    // Table block -> its read reply sent with bit 0 of its first byte flipped (a bit error on
    // the way back; the device's table stays right).
    std::map<int, Times> noisyReadBlock{};
    // Table block -> its first write answered this many ms late (stored right): a reply that
    // comes after the link's time limit.
    std::map<int, int> lateWriteBlock{};
};

} // namespace kv::sim
