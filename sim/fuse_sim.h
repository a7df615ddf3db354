// A simulated fuse: the firmware model (fuse_model.h) served on a pseudo-terminal
// (pty_line.h), so the link and the windows can be run against a real serial line. It
// answers every command code with a reply of the stated length ending in CR LF, and can be
// told to misbehave (faults.h). Every public member is thread-safe; the pseudo-terminal is
// served by a thread of its own.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "faults.h"
#include "fuse_model.h"
#include "options.h"
#include "pty_line.h"

namespace kv::sim {

class FuseSim {
public:
    explicit FuseSim(Options options = {});
    ~FuseSim(); // Stop()
    FuseSim(const FuseSim &) = delete;
    FuseSim &operator=(const FuseSim &) = delete;

    // Opens a pseudo-terminal and starts serving it. On failure, *error says why.
    bool Start(std::string *error = nullptr);
    void Stop();
    // A fresh pseudo-terminal after a hang-up (the device plugged in again): the state is
    // kept, the link path points at the new device.
    bool Restart(std::string *error = nullptr);

    // Pulled out: the pseudo-terminal closed (the program's end hangs up) and the link
    // removed; PlugIn makes a new one and the link again on the same path, state kept.
    void Unplug();
    bool PlugIn(std::string *error = nullptr);

    std::string DevicePath() const;
    std::string LinkPath() const;
    // The path a program should open: the link path when there is one.
    std::string PortPath() const;
    bool HungUp() const;

    // Device state.
    void SetLoadCurrent(double amps);
    void SetAdc(std::optional<int> adc);
    int Adc() const; // the reading the device reports now
    void SetManualSwitchOff(bool off);
    void SetRelay(bool on);
    bool Relay() const;
    FuseParams HeldParams() const;
    FuseParams StoredParams() const;
    void SetHeldParams(const FuseParams &p);
    void SetStoredParams(const FuseParams &p);
    void SetRelayOffCount(std::uint16_t count);
    Table GetTable() const;
    void SetTable(const Table &t);
    std::string InfoText() const;
    // The 23-byte record GetStatus (or GetStoredStatus) would return now.
    Record StatusRecord(bool stored) const;

    // Faults.
    Faults GetFaults() const;
    void SetFaults(const Faults &f);
    void SetSilent(bool all);
    void SetSilent(std::uint8_t code, bool silent);
    void SetReplyLength(std::uint8_t code, std::optional<int> length);
    void SetSplit(std::uint8_t code, std::optional<Faults::Split> split);
    void SetWrongWriteCrc(bool on);
    void SetReadBackMismatch(int recordByte); // 4..10; -1: off
    void SetTableBlockReply(int block, std::optional<std::vector<std::uint8_t>> reply);
    void SetTableSilentFrom(int block); // -1: off
    void SetCorruptBlock(int block, std::optional<Faults::Times> times);
    void SetIgnoreBlock(int block, std::optional<Faults::Times> times);
    void SetFailBlock(int block, std::optional<Faults::Times> times);
    void SetNoisyReadBlock(int block, std::optional<Faults::Times> times);
    void SetLateWriteBlock(int block, int ms); // once; ms <= 0: off
    // Hang up when a frame arrives after this many more frames (-1: off).
    void HangUpAfterFrames(int frames);
    void HangUpNow();
    void OverrideStatusByte(int index, std::optional<std::uint8_t> value);

    // Unsolicited bytes: sent as they are, or a flood of fill bytes at bytesPerSecond for
    // durationMs (bytes the line cannot take are lost, as on a real line).
    void SendRaw(std::vector<std::uint8_t> bytes);
    void Flood(int bytesPerSecond, int durationMs, std::uint8_t fill = 0x55);
    // Waits until everything queued for sending is out (true) or timeoutMs passed.
    bool WaitSent(int timeoutMs = 5000) const;

    // Every complete frame received, oldest first.
    std::vector<Frame> Frames() const;
    std::size_t FrameCount() const;
    std::size_t FrameCount(std::uint8_t code) const; // those with this command code
    void ClearFrames();

private:
    Response OnFrame(const Frame &f);

    mutable std::mutex mutex_; // guards model_
    FuseModel model_;
    const bool verbose_;
    PtyLine line_; // last: its thread ends before the model goes
};

} // namespace kv::sim
