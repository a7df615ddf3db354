// A simulated fuse: a model of the device firmware that serves a pseudo-terminal, so the
// link and the windows can be run against a real serial line. It answers every command
// code with a reply of the stated length ending in CR LF, and can be told to misbehave.
// Every public member is thread-safe; the pseudo-terminal is served by a thread of its own.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kv::sim {

inline constexpr int kTableBase = 0x20;
inline constexpr int kTableSize = 224; // addresses 0x20..0xFF
inline constexpr int kRecordSize = 23;
inline constexpr int kInfoTextLength = 14; // the Info reply is this and CR LF

using Frame = std::array<std::uint8_t, 10>;
using Table = std::array<std::uint8_t, kTableSize>;

// The seven fuse parameters, named as the status record names them.
struct FuseParams {
    std::uint8_t fuseCurrent = 99;
    std::uint8_t zeroOffset = 0;
    std::uint8_t multiply = 10;
    std::uint8_t overloadTime = 0;
    std::uint8_t useVref = 0;
    std::uint8_t useAverage = 0;
    std::uint8_t measureCount = 20;

    // Status record bytes 4..10, the order the device's CRC runs over.
    std::array<std::uint8_t, 7> RecordOrder() const {
        return {fuseCurrent, zeroOffset, multiply, overloadTime, useVref, useAverage, measureCount};
    }
    bool operator==(const FuseParams &) const = default;
};

struct Faults {
    bool silentAll = false;                  // no reply to anything
    std::set<std::uint8_t> silent;           // no reply to these codes
    std::map<std::uint8_t, int> replyLength; // code -> bytes sent: cut short, or padded with 0xEE
    struct Split {
        int atByte = 1; // bytes sent before the pause
        int gapMs = 300;
    };
    std::map<std::uint8_t, Split> split; // code -> reply sent in two parts
    bool wrongWriteCrc = false;          // WriteData returns the CRC inverted
    // After a SetStatus, GetStatus reports this record byte (4..10) with bit 0 flipped.
    int readBackMismatch = -1;
    // Table block index (0..27) -> reply sent instead of the normal one (read or write).
    std::map<int, std::vector<std::uint8_t>> tableBlockReply;
    int tableSilentFrom = -1; // table blocks from this index on get no reply
    // Hang up (close the line, as when the adapter is pulled) when a frame arrives after
    // this many frames; once (the line comes back with Restart).
    int hangUpAfterFrames = -1;
    std::map<int, std::uint8_t> statusOverride; // record byte index -> value, both records
};

struct Options {
    int baud = 0;           // replies paced at this many bit/s (10 bits a byte); 0: at once
    std::string linkPath;   // a symbolic link to the device, kept pointing at it
    double loadCurrent = 0; // amperes
    std::optional<int> adc; // an ADC reading that overrides the load current
    bool manualSwitchOff = false;
    bool relayOn = false;
    FuseParams held;
    FuseParams stored;
    std::uint16_t relayOffCount = 0; // last relay off time in 1.024 ms units
    std::string info = "Fuse sim v1.00";
    Table table{};
    Faults faults;
    bool verbose = false; // frames and replies to stderr
};

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
    std::array<std::uint8_t, kRecordSize> StatusRecord(bool stored) const;

    // Faults.
    Faults GetFaults() const;
    void SetFaults(const Faults &f);
    void SetSilent(bool all);
    void SetSilent(std::uint8_t code, bool silent);
    void SetReplyLength(std::uint8_t code, std::optional<int> length);
    void SetSplit(std::uint8_t code, std::optional<Faults::Split> split);
    void SetWrongWriteCrc(bool on);
    void SetReadBackMismatch(int recordByte);
    void SetTableBlockReply(int block, std::optional<std::vector<std::uint8_t>> reply);
    void SetTableSilentFrom(int block);
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
    void ClearFrames();

private:
    struct Reply {
        std::vector<std::uint8_t> bytes;
        std::optional<Faults::Split> split;
    };
    bool OpenPty(std::string *error);
    void ClosePty();
    void Serve();
    void OnFrame(const Frame &f);
    std::optional<Reply> Answer(const Frame &f);                    // mutex_ held
    std::vector<std::uint8_t> Normal(const Frame &f, bool &silent); // mutex_ held
    int AdcLocked() const;
    std::array<std::uint8_t, kRecordSize> RecordLocked(bool stored) const;
    void Send(const std::vector<std::uint8_t> &bytes);
    bool WriteAll(const std::uint8_t *data, std::size_t n, bool dropWhenFull);
    void Wake();

    mutable std::mutex mutex_; // guards everything below but the descriptors and the thread
    Options o_;
    bool setStatusSeen_ = false;
    std::size_t framesSeen_ = 0;
    std::vector<Frame> frames_;
    std::vector<std::uint8_t> partial_;
    std::vector<std::uint8_t> outQueue_; // SendRaw bytes not yet sent
    struct FloodState {
        int bytesPerSecond = 0;
        std::uint8_t fill = 0x55;
        long long total = 0;
        long long sent = 0;
        std::chrono::steady_clock::time_point start{};
    };
    std::optional<FloodState> flood_;
    bool hangUpRequest_ = false;
    std::string devicePath_;
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> sending_{false};

    // Owned by Start/Stop on the caller's thread; the serve thread only reads them.
    int master_ = -1;
    int slave_ = -1; // held open so the line stays up while the program closes and reopens
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kv::sim
