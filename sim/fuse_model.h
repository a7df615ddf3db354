// The simulated fuse's firmware: the device state, and what the device does with one received
// frame. No I/O and no threads: the pseudo-terminal line (pty_line.h) carries frames in and
// replies out, and FuseSim (fuse_sim.h) puts the two together. Not thread-safe by itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "faults.h"

namespace kv::sim {

inline constexpr int kTableBase = 0x20;
inline constexpr int kTableSize = 224; // addresses 0x20..0xFF
inline constexpr int kTableBlockSize = 8;
inline constexpr int kTableBlocks = kTableSize / kTableBlockSize;
inline constexpr int kRecordSize = 23;
inline constexpr int kInfoTextLength = 14; // the Info reply is this and CR LF

using Bytes = std::vector<std::uint8_t>;
using Frame = std::array<std::uint8_t, 10>;
using Table = std::array<std::uint8_t, kTableSize>;
using Record = std::array<std::uint8_t, kRecordSize>;

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

// What the device holds and what its inputs read.
struct DeviceState {
    double loadCurrent = 0; // amperes
    std::optional<int> adc; // an ADC reading that overrides the load current
    bool manualSwitchOff = false;
    bool relayOn = false;
    FuseParams held;
    FuseParams stored;
    std::uint16_t relayOffCount = 0; // last relay off time in 1.024 ms units
    std::string info = "Fuse sim v1.00";
    Table table{};
};

// What the line is to do after a frame: send the parts in order, each after its pause at the
// line's pace, or close the line.
struct Response {
    struct Part {
        Bytes bytes;
        int pauseMs = 0; // before this part
    };
    std::vector<Part> parts; // none: the device does not answer
    bool hangUp = false;     // close the line instead of answering

    bool Answered() const { return !parts.empty(); }
    Bytes AllBytes() const;
};

class FuseModel {
public:
    explicit FuseModel(DeviceState state = {}, Faults faults = {});

    // The device receives one frame: its state changes and its answer is returned.
    Response Receive(const Frame &frame);

    DeviceState &State() { return s_; }
    const DeviceState &State() const { return s_; }
    Faults &GetFaults() { return f_; }
    const Faults &GetFaults() const { return f_; }

    int Adc() const; // the reading the device reports now
    // The 23-byte record GetStatus (or GetStoredStatus) would return now.
    Record StatusRecord(bool stored) const;
    std::string InfoText() const; // padded or cut to kInfoTextLength

    // Every frame received since the last ClearFrames, oldest first.
    const std::vector<Frame> &Frames() const { return frames_; }
    std::size_t FrameCount(std::uint8_t code) const;
    void ClearFrames() { frames_.clear(); }
    // Frames received since the start, cleared or not: what hangUpAfterFrames counts.
    std::size_t FramesSeen() const { return framesSeen_; }

private:
    Bytes Normal(const Frame &f, bool &silent);

    DeviceState s_;
    Faults f_;
    bool setStatusSeen_ = false;
    std::size_t framesSeen_ = 0;
    std::vector<Frame> frames_;
};

} // namespace kv::sim
