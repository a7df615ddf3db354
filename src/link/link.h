// The serial link: the port, the receive thread with RxBuffer/RxCount, and the command
// transaction. Owned by the main window; toolkit-free.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/host.h"
#include "link/rx_render.h"

namespace kv::link {

inline constexpr std::size_t kRxBufferSize = 10001; // at most kRxLimit filled; last stays 0
inline constexpr std::uint32_t kRxLimit = 10000;

// The link's timing. The windows use the defaults; the command-line program completes a
// transaction as soon as its bytes are in (completeEarly) while keeping the time limit.
// Between bytes, the receive thread sleeps in the port's wait: an idle port costs nothing.
inline constexpr std::chrono::milliseconds kPollPeriod{100};  // transaction poll period
inline constexpr std::chrono::milliseconds kTimeLimit{2000};  // transaction time limit
inline constexpr std::chrono::milliseconds kReadGap{100};     // a read ends after this gap
inline constexpr std::chrono::milliseconds kCloseDelay{500};  // after the receive thread stops
inline constexpr std::chrono::milliseconds kSettleDelay{100}; // after opening, before draining
inline constexpr std::chrono::milliseconds kEventsPeriod{10}; // Delay: events processed this often
inline constexpr std::chrono::milliseconds kFirstByteDelay{
    10}; // windows: chunk read after its first byte
inline constexpr std::chrono::milliseconds kFailedPortRetry{10}; // a failed port's wait, again
inline constexpr std::chrono::milliseconds kStopPoll{1}; // Stop(): the thread's end looked for

struct Timing {
    std::chrono::milliseconds poll = kPollPeriod;
    std::chrono::milliseconds limit = kTimeLimit;
    std::chrono::milliseconds gap = kReadGap; // receive thread: between bytes
    std::chrono::milliseconds closeDelay = kCloseDelay;
    std::chrono::milliseconds openSettle = kSettleDelay; // after opening, before the drain
    // The wait ends as soon as the bytes are in (the receive thread wakes it), instead of
    // at the next poll; a received chunk then ends with the transaction's bytes.
    bool completeEarly = false;
};

struct PortSettings {
    std::string name;
    int baud = 19200;
};

// How a transaction shows its exchange. Between transactions the log is on and received
// bytes show in hexadecimal.
struct SendOptions {
    RxDisplay display = RxDisplay::Hex; // how the reply's "R:" lines show its bytes
    bool log = true; // false: the transaction's own lines ("S:", "R:", "Receive error!") stay
                     // out of the log; its beeps still sound
    // The transaction ends as soon as its bytes are in (as with Timing::completeEarly), for
    // the program's own exchanges in the windows; the time limit stays.
    bool completeEarly = false;
    // false: a frame that cannot be written shows no box; the caller tells the user from the
    // reply (Reply::systemError), as a timed series does once for a pulled adapter.
    bool reportWriteFailure = true;
};

// How a transaction ended.
enum class ReplyStatus {
    Completed,   // the expected count of bytes arrived within the time limit
    TimedOut,    // the limit passed first ("Receive error!")
    WriteFailed, // the frame could not be written (the system's error box); nothing arrived
    Busy,        // refused while another transaction ran ("Cmd in progress..."): nothing sent
};

// The reply of one transaction: the bytes that had arrived when it ended (RxBuffer up to
// RxCount). After a Busy refusal they are what the running transaction has received so
// far, which a caller judges like any reply.
struct [[nodiscard]] Reply {
    ReplyStatus status = ReplyStatus::Completed;
    std::vector<std::uint8_t> bytes;
    std::uint8_t expected = 0;
    // WriteFailed: the system's error code and its text.
    int systemError = 0;
    std::string failureText = {};

    // Exactly n bytes: how every caller that judges a reply judges it.
    bool Has(std::size_t n) const { return bytes.size() == n; }
};

class SerialPort; // link/serial_port.h
class ReadThread;

class Link {
public:
    // portSettings is called at each opening (the "port" and "baud" settings).
    Link(LinkHost &host, std::function<PortSettings()> portSettings, Timing timing = {});
    ~Link(); // ends the receive thread, lowers RTS and DTR, closes the port

    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // "Open COM port": closes what is open, opens and sets up the port, starts the thread.
    bool OpenComPort();
    // Opens the port by another name than the settings' (the same adapter, back under a name
    // of its own), at the settings' speed, without boxes: a failure's text goes to *failure.
    bool Reopen(const std::string &name, std::string *failure);
    // "Close COM port": stops the thread, closes the port, logs "COM port closed".
    void ClosePort();

    // One command transaction (busy rule, padding to 10 bytes, wait for `expected` bytes).
    Reply SendCommand(std::span<const std::uint8_t> command, std::uint8_t expected,
                      SendOptions options = {});
    Reply SendCommand(std::initializer_list<std::uint8_t> command, std::uint8_t expected,
                      SendOptions options = {}) {
        return SendCommand(std::span<const std::uint8_t>(command.begin(), command.size()), expected,
                           options);
    }

    // Main thread, for hosts without an event loop of their own: sleeps until `until`,
    // processing events only when the receive thread hands a chunk over (no polling).
    void WaitUntil(std::chrono::steady_clock::time_point until);

    // Main thread, between transactions: waits until no byte has arrived for `quiet` (at most
    // `limit` in all), then forgets what arrived, so that a late reply to a transaction that
    // timed out is never taken for the next one's. Bytes that come show in the log as usual.
    void WaitForQuietLine(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);
    // AddLog: one line of the program's on top of the log, while the log is on.
    void AddLog(std::string_view text);

    // What the receive buffer holds now: bytes that arrived since the last transaction
    // cleared it (RxCount of them).
    std::uint32_t RxCount() const;
    std::vector<std::uint8_t> Received() const;

    bool PortOpen() const;
    // The port's name as the settings gave it when it was opened ("COM1", a by-id link);
    // empty while the port is closed. link::PortShown(name) is what the user is shown.
    std::string OpenedPortName() const;
    // A transaction is running (CmdBusy).
    bool CommandRunning() const;
    const Timing &timing() const { return timing_; }
    LinkHost &host() { return host_; }

private:
    friend class ReadThread; // logs each received chunk in the running transaction's mode

    // failure null: a failing step shows its box; else its text goes there.
    bool ConfigurePort(const PortSettings &ps, std::string *failure);
    bool OpenPort(const PortSettings &ps, std::string *failure);
    void DrainPort();
    void StopReadThread();
    void Delay(std::chrono::milliseconds wait); // waits, processing the host's events
    bool WaitForBytes(std::uint8_t expected, bool completeEarly);
    // A failure's system error and text go to error and text; report: shown in a box too.
    bool WriteComPort(std::span<const std::uint8_t> frame, bool report, int &error,
                      std::string &text);
    // Writes a line while the log is on, else tells the host it was kept out.
    void Log(LineKind kind, std::string_view text);
    // After "Receive error!": the other programs reading the port, which may have taken the
    // reply, on a line of their own (none where the platform cannot tell).
    void LogOtherReaders();

    struct Impl;
    LinkHost &host_;
    Timing timing_;
    std::unique_ptr<Impl> impl_;
};

} // namespace kv::link
