// The serial link: the port, the receive thread with RxBuffer/RxCount, and the command
// transaction. Owned by the main window; toolkit-free.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/host.h"

namespace kv::link {

inline constexpr std::size_t kRxBufferSize = 10001; // at most kRxLimit filled; last stays 0
inline constexpr std::uint32_t kRxLimit = 10000;

// The link's timing. The windows use the defaults; the command-line program completes a
// transaction as soon as its bytes are in (completeEarly) while keeping the time limit.
struct Timing {
    int pollMs = 100;       // transaction poll period
    int limitMs = 2000;     // transaction time limit
    int gapMs = 100;        // receive thread: a read ends after this gap between bytes
    int closeDelayMs = 500; // wait after stopping the receive thread
    bool completeEarly = false;
    int rxIdleMs = 10; // receive thread: pause of each pass before it looks for bytes
};

struct PortSettings {
    std::string name;
    int baud = 19200;
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
    // "Close COM port": stops the thread, closes the port, logs "COM port closed".
    void ClosePort();

    // One command transaction (busy rule, padding to 10 bytes, wait for `expected` bytes).
    void SendCommand(std::span<const std::uint8_t> command, std::uint8_t expected);
    void SendCommand(std::initializer_list<std::uint8_t> command, std::uint8_t expected) {
        SendCommand(std::span<const std::uint8_t>(command.begin(), command.size()), expected);
    }

    // The reply of the last transaction.
    std::uint32_t RxCount() const;
    std::uint8_t RxByte(std::size_t index) const;
    std::vector<std::uint8_t> Received() const; // RxBuffer[0 .. RxCount)

    // AddLog: writes the line through the host while LogEnabled.
    void AddLog(std::string_view text);

    bool PortOpen() const;
    const Timing &timing() const { return timing_; }
    LinkHost &host() { return host_; }

    // CommState fields of the link, main thread only.
    std::uint8_t RxDisplayMode = 0; // 0 hexadecimal, 2 text
    bool LogEnabled = true;
    bool CmdBusy = false;
    // The last transaction's wait ran out ("Receive error!"), whether or not the log was on.
    bool LastTimedOut = false;

private:
    bool ConfigurePort();
    void DrainPort();
    void StopReadThread();
    void Delay(int ms); // waits, processing the host's events
    bool WaitForBytes(std::uint8_t expected);
    bool WriteComPort(std::span<const std::uint8_t> frame);

    struct Impl;
    LinkHost &host_;
    Timing timing_;
    std::unique_ptr<Impl> impl_;
};

} // namespace kv::link
