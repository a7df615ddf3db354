// The simulated fuse's serial line: a pseudo-terminal served by a thread of its own. Bytes
// received are cut into 10-byte frames and handed to a handler (the firmware model); its
// response goes out paced as a real line at the given bit rate. The line can be hung up (as
// when a USB adapter is pulled) and opened afresh. Every public member is thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "fuse_model.h"

namespace kv::sim {

class PtyLine {
public:
    struct Settings {
        int baud = 0; // bytes paced at this many bit/s (10 bits a byte); 0: at once
        // Paced replies handed over in one piece when their last byte is due, as a USB
        // adapter or a UART's receive FIFO hands a short reply to the computer; otherwise
        // byte by byte, each when it is due.
        bool wholeReplies = false;
        std::string linkPath; // a symbolic link to the device, kept pointing at it
    };
    // Called on the serving thread for each complete frame, with no lock of the line held.
    using Handler = std::function<Response(const Frame &)>;

    PtyLine(Settings settings, Handler handler);
    ~PtyLine(); // Stop()
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    // Opens a pseudo-terminal and starts serving it. On failure, *error says why.
    bool Start(std::string *error = nullptr);
    void Stop();
    // A fresh pseudo-terminal after a hang-up (the device plugged in again).
    bool Restart(std::string *error = nullptr);

    std::string DevicePath() const;
    const std::string &LinkPath() const { return settings_.linkPath; }
    // The path a program should open: the link path when there is one.
    std::string PortPath() const;
    bool HungUp() const { return hungUp_; }
    // Closes the line now; returns once it is closed.
    void HangUpNow();

    // Unsolicited bytes: sent as they are, or a flood of fill bytes at bytesPerSecond for
    // durationMs (bytes the line cannot take are lost, as on a real line).
    void SendRaw(Bytes bytes);
    void Flood(int bytesPerSecond, int durationMs, std::uint8_t fill = 0x55);
    // Waits until everything queued for sending is out (true) or timeoutMs passed.
    bool WaitSent(int timeoutMs = 5000) const;

private:
    using Clock = std::chrono::steady_clock;
    bool OpenPty(std::string *error);
    void ClosePty();
    void Serve();
    void Answer(const Response &response);
    void Send(const Bytes &bytes);
    bool WriteAll(const std::uint8_t *data, std::size_t n, bool dropWhenFull);
    void Wake();
    void FloodStep();

    const Settings settings_;
    const Handler handler_;

    mutable std::mutex mutex_; // guards the members up to hungUp_
    Bytes partial_;            // bytes of a frame not yet complete
    Bytes outQueue_;           // SendRaw bytes not yet sent
    struct FloodState {
        int bytesPerSecond = 0;
        std::uint8_t fill = 0x55;
        long long total = 0;
        long long sent = 0;
        Clock::time_point start{};
    };
    std::optional<FloodState> flood_;
    bool hangUpRequest_ = false;
    std::string devicePath_;
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> sending_{false};

    // Opened by Start before the serve thread runs; closed by the serve thread on a hang-up,
    // else by Stop once the thread has ended.
    int master_ = -1;
    int slave_ = -1; // held open so the line stays up while the program closes and reopens
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kv::sim
