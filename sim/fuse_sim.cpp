#include "fuse_sim.h"

#include <algorithm>
#include <cstdio>

namespace kv::sim {

namespace {

std::optional<int> OffWhenNegative(int v) {
    return v < 0 ? std::nullopt : std::optional<int>(v);
}

template <class Map, class Key, class Value>
void SetOrErase(Map &map, const Key &key, std::optional<Value> value) {
    if (value)
        map[key] = std::move(*value);
    else
        map.erase(key);
}

} // namespace

FuseSim::FuseSim(Options options)
    : model_(static_cast<DeviceState &&>(options), options.faults), verbose_(options.verbose),
      line_({options.baud, options.wholeReplies, options.linkPath},
            [this](const Frame &f) { return OnFrame(f); }) {}

FuseSim::~FuseSim() {
    Stop();
}

bool FuseSim::Start(std::string *error) {
    return line_.Start(error);
}

void FuseSim::Stop() {
    line_.Stop();
}

void FuseSim::Unplug() {
    line_.Stop();
}

bool FuseSim::PlugIn(std::string *error) {
    return line_.Start(error);
}

bool FuseSim::Restart(std::string *error) {
    return line_.Restart(error);
}

std::string FuseSim::DevicePath() const {
    return line_.DevicePath();
}

std::string FuseSim::LinkPath() const {
    return line_.LinkPath();
}

std::string FuseSim::PortPath() const {
    return line_.PortPath();
}

bool FuseSim::HungUp() const {
    return line_.HungUp();
}

Response FuseSim::OnFrame(const Frame &f) {
    Response r;
    {
        std::lock_guard lock(mutex_);
        r = model_.Receive(f);
    }
    if (verbose_) {
        std::fprintf(stderr, "fusesim: frame");
        for (auto b : f)
            std::fprintf(stderr, " %02X", b);
        if (r.hangUp)
            std::fprintf(stderr, " -> hang-up\n");
        else if (r.Answered())
            std::fprintf(stderr, " -> %zu bytes\n", r.AllBytes().size());
        else
            std::fprintf(stderr, " -> no reply\n");
    }
    return r;
}

// ---- state ----

void FuseSim::SetLoadCurrent(double amps) {
    std::lock_guard lock(mutex_);
    model_.State().loadCurrent = amps;
}

void FuseSim::SetAdc(std::optional<int> adc) {
    std::lock_guard lock(mutex_);
    model_.State().adc = adc;
}

int FuseSim::Adc() const {
    std::lock_guard lock(mutex_);
    return model_.Adc();
}

void FuseSim::SetManualSwitchOff(bool off) {
    std::lock_guard lock(mutex_);
    model_.State().manualSwitchOff = off;
}

void FuseSim::SetRelay(bool on) {
    std::lock_guard lock(mutex_);
    model_.State().relayOn = on;
}

bool FuseSim::Relay() const {
    std::lock_guard lock(mutex_);
    return model_.State().relayOn;
}

FuseParams FuseSim::HeldParams() const {
    std::lock_guard lock(mutex_);
    return model_.State().held;
}

FuseParams FuseSim::StoredParams() const {
    std::lock_guard lock(mutex_);
    return model_.State().stored;
}

void FuseSim::SetHeldParams(const FuseParams &p) {
    std::lock_guard lock(mutex_);
    model_.State().held = p;
}

void FuseSim::SetStoredParams(const FuseParams &p) {
    std::lock_guard lock(mutex_);
    model_.State().stored = p;
}

void FuseSim::SetRelayOffCount(std::uint16_t count) {
    std::lock_guard lock(mutex_);
    model_.State().relayOffCount = count;
}

Table FuseSim::GetTable() const {
    std::lock_guard lock(mutex_);
    return model_.State().table;
}

void FuseSim::SetTable(const Table &t) {
    std::lock_guard lock(mutex_);
    model_.State().table = t;
}

std::string FuseSim::InfoText() const {
    std::lock_guard lock(mutex_);
    return model_.InfoText();
}

Record FuseSim::StatusRecord(bool stored) const {
    std::lock_guard lock(mutex_);
    return model_.StatusRecord(stored);
}

// ---- faults ----

Faults FuseSim::GetFaults() const {
    std::lock_guard lock(mutex_);
    return model_.GetFaults();
}

void FuseSim::SetFaults(const Faults &f) {
    std::lock_guard lock(mutex_);
    model_.GetFaults() = f;
}

void FuseSim::SetSilent(bool all) {
    std::lock_guard lock(mutex_);
    model_.GetFaults().silentAll = all;
}

void FuseSim::SetSilent(std::uint8_t code, bool silent) {
    std::lock_guard lock(mutex_);
    if (silent)
        model_.GetFaults().silent.insert(code);
    else
        model_.GetFaults().silent.erase(code);
}

void FuseSim::SetReplyLength(std::uint8_t code, std::optional<int> length) {
    std::lock_guard lock(mutex_);
    if (length)
        length = std::max(0, *length);
    SetOrErase(model_.GetFaults().replyLength, code, length);
}

void FuseSim::SetSplit(std::uint8_t code, std::optional<Faults::Split> split) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().split, code, split);
}

void FuseSim::SetWrongWriteCrc(bool on) {
    std::lock_guard lock(mutex_);
    model_.GetFaults().wrongWriteCrc = on;
}

void FuseSim::SetReadBackMismatch(int recordByte) {
    std::lock_guard lock(mutex_);
    model_.GetFaults().readBackMismatch = OffWhenNegative(recordByte);
}

void FuseSim::SetTableBlockReply(int block, std::optional<std::vector<std::uint8_t>> reply) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().tableBlockReply, block, std::move(reply));
}

void FuseSim::SetTableSilentFrom(int block) {
    std::lock_guard lock(mutex_);
    model_.GetFaults().tableSilentFrom = OffWhenNegative(block);
}

void FuseSim::SetCorruptBlock(int block, std::optional<Faults::Times> times) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().corruptBlock, block, times);
}

void FuseSim::SetIgnoreBlock(int block, std::optional<Faults::Times> times) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().ignoreBlock, block, times);
}

void FuseSim::SetFailBlock(int block, std::optional<Faults::Times> times) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().failBlock, block, times);
}

void FuseSim::SetNoisyReadBlock(int block, std::optional<Faults::Times> times) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().noisyReadBlock, block, times);
}

void FuseSim::SetLateWriteBlock(int block, int ms) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().lateWriteBlock, block,
               ms > 0 ? std::optional<int>(ms) : std::nullopt);
}

void FuseSim::HangUpAfterFrames(int frames) {
    std::lock_guard lock(mutex_);
    auto &after = model_.GetFaults().hangUpAfterFrames;
    if (frames < 0)
        after.reset();
    else
        after = model_.FramesSeen() + static_cast<std::size_t>(frames);
}

void FuseSim::HangUpNow() {
    line_.HangUpNow();
}

void FuseSim::OverrideStatusByte(int index, std::optional<std::uint8_t> value) {
    std::lock_guard lock(mutex_);
    SetOrErase(model_.GetFaults().statusOverride, index, value);
}

// ---- the line ----

void FuseSim::SendRaw(std::vector<std::uint8_t> bytes) {
    line_.SendRaw(std::move(bytes));
}

void FuseSim::Flood(int bytesPerSecond, int durationMs, std::uint8_t fill) {
    line_.Flood(bytesPerSecond, durationMs, fill);
}

bool FuseSim::WaitSent(int timeoutMs) const {
    return line_.WaitSent(timeoutMs);
}

std::vector<Frame> FuseSim::Frames() const {
    std::lock_guard lock(mutex_);
    return model_.Frames();
}

std::size_t FuseSim::FrameCount() const {
    std::lock_guard lock(mutex_);
    return model_.Frames().size();
}

std::size_t FuseSim::FrameCount(std::uint8_t code) const {
    std::lock_guard lock(mutex_);
    return model_.FrameCount(code);
}

void FuseSim::ClearFrames() {
    std::lock_guard lock(mutex_);
    model_.ClearFrames();
}

} // namespace kv::sim
