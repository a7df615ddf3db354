#include "fuse_model.h"

#include <algorithm>
#include <cmath>

#include "link/commands.h"
#include "link/crc8.h"

namespace kv::sim {

namespace {

using kv::link::Cmd;

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

constexpr std::uint8_t Code(Cmd c) {
    return static_cast<std::uint8_t>(c);
}

// The table block a ReadTableBlock or WriteTableBlock frame addresses; -1 below the table.
int BlockOf(const Frame &f) {
    return f[1] >= kTableBase ? (f[1] - kTableBase) / kTableBlockSize : -1;
}

// Whether a block fault strikes this block now; a one-off fault is used up by striking.
bool Strikes(std::map<int, Faults::Times> &faults, int block) {
    const auto it = faults.find(block);
    if (it == faults.end())
        return false;
    if (it->second == Faults::Times::Once)
        faults.erase(it);
    return true;
}

} // namespace

Bytes Response::AllBytes() const {
    Bytes all;
    for (const Part &p : parts)
        all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

FuseModel::FuseModel(DeviceState state, Faults faults)
    : s_(std::move(state)), f_(std::move(faults)) {}

int FuseModel::Adc() const {
    if (s_.adc)
        return std::clamp(*s_.adc, 0, 0xFFFF);
    const double v = std::nearbyint(s_.loadCurrent * s_.held.multiply);
    return static_cast<int>(std::clamp(v, 0.0, 1023.0));
}

std::string FuseModel::InfoText() const {
    std::string s = s_.info;
    s.resize(kInfoTextLength, ' ');
    return s;
}

Record FuseModel::StatusRecord(bool stored) const {
    Record r{};
    const FuseParams &p = stored ? s_.stored : s_.held;
    const int adc = Adc();
    const double tenths = std::nearbyint(s_.loadCurrent * 10.0);
    const auto measured = static_cast<std::uint8_t>(std::clamp(tenths, 0.0, 255.0));
    r[0] = s_.relayOn ? 0x08 : 0x00;         // PortC: relay
    r[1] = 0x00;                             // PortB
    r[2] = s_.manualSwitchOff ? 0x08 : 0x00; // PortA: manual switch off
    std::uint8_t flags = 0;
    if (measured > p.fuseCurrent)
        flags |= 0x01; // CurOver
    if (s_.manualSwitchOff)
        flags |= 0x02; // SwNotOk
    if (p.useAverage)
        flags |= 0x08; // UseAvgc
    r[3] = flags;
    const auto params = p.RecordOrder();
    std::copy(params.begin(), params.end(), r.begin() + 4);
    if (const auto &m = f_.readBackMismatch; !stored && setStatusSeen_ && m && *m >= 4 && *m <= 10)
        r[static_cast<std::size_t>(*m)] ^= 0x01;
    r[11] = kv::Crc8(std::span<const std::uint8_t>(r.data() + 4, 7));
    r[12] = static_cast<std::uint8_t>(adc >> 8);
    r[13] = static_cast<std::uint8_t>(adc);
    r[14] = p.fuseCurrent; // the current the fuse works with
    r[15] = measured;
    r[16] = static_cast<std::uint8_t>(adc >> 8);
    r[17] = static_cast<std::uint8_t>(adc);
    r[19] = static_cast<std::uint8_t>(s_.relayOffCount >> 8);
    r[20] = static_cast<std::uint8_t>(s_.relayOffCount);
    for (const auto &[index, value] : f_.statusOverride)
        if (index >= 0 && index < kRecordSize)
            r[static_cast<std::size_t>(index)] = value;
    return r;
}

std::size_t FuseModel::FrameCount(std::uint8_t code) const {
    return static_cast<std::size_t>(std::count_if(frames_.begin(), frames_.end(),
                                                  [code](const Frame &f) { return f[0] == code; }));
}

Bytes FuseModel::Normal(const Frame &f, bool &silent) {
    silent = false;
    const std::uint8_t code = f[0];
    Bytes r;
    switch (code) {
    case Code(Cmd::Info): {
        const std::string s = InfoText();
        r.assign(s.begin(), s.end());
        break;
    }
    case Code(Cmd::ReStart):
        s_.held = s_.stored;
        s_.relayOn = false;
        setStatusSeen_ = false;
        break;
    case Code(Cmd::GetStatus):
    case Code(Cmd::GetStoredStatus): {
        const Record rec = StatusRecord(code == Code(Cmd::GetStoredStatus));
        r.assign(rec.begin(), rec.end());
        break;
    }
    case Code(Cmd::SetStatus):
        // The request carries use average before use vref; the record the other way round.
        s_.held.fuseCurrent = f[1];
        s_.held.zeroOffset = f[2];
        s_.held.multiply = f[3];
        s_.held.overloadTime = f[4];
        s_.held.useAverage = f[5];
        s_.held.useVref = f[6];
        s_.held.measureCount = f[7];
        setStatusSeen_ = true;
        break;
    case Code(Cmd::WriteData): {
        s_.stored = s_.held;
        std::uint8_t crc = kv::Crc8(s_.held.RecordOrder());
        if (f_.wrongWriteCrc)
            crc = static_cast<std::uint8_t>(~crc);
        r.push_back(crc);
        break;
    }
    case Code(Cmd::RelayOn):
    case Code(Cmd::RelayOff):
        // The manual switch overrides the serial line.
        if (!s_.manualSwitchOff)
            s_.relayOn = code == Code(Cmd::RelayOn);
        break;
    case Code(Cmd::GetCurrentCmd): {
        const int adc = Adc();
        r = {static_cast<std::uint8_t>(adc >> 8),
             static_cast<std::uint8_t>(adc),
             s_.held.zeroOffset,
             s_.held.multiply,
             static_cast<std::uint8_t>(s_.relayOn ? 0x08 : 0x00),
             0x00};
        break;
    }
    case Code(Cmd::ReadTableBlock):
        if (f_.tableSilentFrom && BlockOf(f) >= *f_.tableSilentFrom) {
            silent = true;
            return r;
        }
        for (int j = 0; j < kTableBlockSize; ++j) {
            const int a = f[1] + j - kTableBase;
            r.push_back(a >= 0 && a < kTableSize ? s_.table[static_cast<std::size_t>(a)] : 0);
        }
        if (Strikes(f_.noisyReadBlock, BlockOf(f)))
            r[0] ^= 0x01;
        break;
    case Code(Cmd::WriteTableBlock): {
        const int block = BlockOf(f);
        if (f_.tableSilentFrom && block >= *f_.tableSilentFrom) {
            silent = true;
            return r;
        }
        if (f_.tableBlockReply.count(block))
            return r; // a failing block stores nothing; Receive puts in its reply
        if (Strikes(f_.failBlock, block))
            return {0x45, 0x52};
        if (!Strikes(f_.ignoreBlock, block)) {
            const bool corrupt = Strikes(f_.corruptBlock, block);
            for (int j = 0; j < kTableBlockSize; ++j) {
                const int a = f[1] + j - kTableBase;
                if (a < 0 || a >= kTableSize)
                    continue;
                std::uint8_t v = f[2 + static_cast<std::size_t>(j)];
                if (corrupt && j == 0)
                    v ^= 0x01;
                s_.table[static_cast<std::size_t>(a)] = v;
            }
        }
        break;
    }
    default:
        silent = true; // an unknown code gets no answer
        return r;
    }
    r.push_back(kCr);
    r.push_back(kLf);
    return r;
}

Response FuseModel::Receive(const Frame &f) {
    frames_.push_back(f);
    Response out;
    if (f_.hangUpAfterFrames && framesSeen_ >= *f_.hangUpAfterFrames) {
        ++framesSeen_;
        f_.hangUpAfterFrames.reset(); // once: a replugged device works again
        out.hangUp = true;
        return out;
    }
    ++framesSeen_;

    const std::uint8_t code = f[0];
    bool silent = false;
    Bytes bytes = Normal(f, silent);
    if (silent || f_.silentAll || f_.silent.count(code))
        return out;
    if (code == Code(Cmd::ReadTableBlock) || code == Code(Cmd::WriteTableBlock)) {
        if (auto it = f_.tableBlockReply.find(BlockOf(f)); it != f_.tableBlockReply.end())
            bytes = it->second;
    }
    if (auto it = f_.replyBytes.find(code); it != f_.replyBytes.end())
        bytes = it->second;
    if (auto it = f_.replyLength.find(code); it != f_.replyLength.end())
        bytes.resize(static_cast<std::size_t>(std::max(0, it->second)), 0xEE);
    if (auto it = f_.split.find(code); it != f_.split.end()) {
        const auto at = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(0, it->second.atByte)), bytes.size());
        out.parts.push_back({Bytes(bytes.begin(), bytes.begin() + static_cast<long>(at)), 0});
        out.parts.push_back(
            {Bytes(bytes.begin() + static_cast<long>(at), bytes.end()), it->second.gapMs});
    } else {
        int pause = 0;
        if (code == Code(Cmd::WriteTableBlock))
            if (auto it = f_.lateWriteBlock.find(BlockOf(f)); it != f_.lateWriteBlock.end()) {
                pause = it->second;
                f_.lateWriteBlock.erase(it); // once
            }
        out.parts.push_back({std::move(bytes), pause});
    }
    return out;
}

} // namespace kv::sim
