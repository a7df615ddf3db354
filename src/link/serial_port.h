// The serial port as the link uses it: one small interface, one implementation per
// platform (serial_port_posix.cpp, serial_port_win32.cpp). Each call maps to one system
// service, so the link can report the failing step with the system's own text.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kv::link {

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device for reading and writing, exclusively (no sharing). A port that is
    // already open is not closed first.
    virtual bool Open(const std::string &name) = 0;
    virtual bool IsOpen() const = 0;

    // Reads the line settings as the driver holds them (GetCommState).
    virtual bool GetLineSettings() = 0;
    // Raw 8 data bits, no parity, one stop bit at baud; everything else as read (SetCommState).
    virtual bool SetLineSettings(int baud) = 0;
    // Modem lines; failures are ignored by the caller (a pseudo-terminal has none).
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    // Read time-outs (GetCommTimeouts / SetCommTimeouts): a read ends when no further byte
    // has come for `interval`, or after `perByte` for each byte asked for.
    virtual bool GetTimeouts() = 0;
    virtual bool SetReadTimeouts(std::chrono::milliseconds interval,
                                 std::chrono::milliseconds perByte) = 0;
    // Receive-character events on or off (SetCommMask).
    virtual bool SetEventMask(bool rxChar) = 0;

    // What ended a WaitForInput.
    enum class Wait {
        Input,    // bytes wait in the input queue
        Woken,    // Wake() was called (since the last wait that returned Woken)
        TimedOut, // the time-out passed first
        Failed,   // the port is gone or the wait itself failed
    };
    // Blocks, without waking up meanwhile, until bytes are queued, Wake() is called, the
    // port fails, or `timeout` passes (kNoLimit: no limit). Needs SetEventMask(true) where
    // the platform waits on receive-character events. On Input, queued (when given) is set
    // to the count waiting, as QueueStatus would tell it then.
    static constexpr std::chrono::milliseconds kNoLimit{-1};
    virtual Wait WaitForInput(std::chrono::milliseconds timeout,
                              std::uint32_t *queued = nullptr) = 0;
    // Any thread: ends the WaitForInput in progress, or the next one, at once.
    virtual void Wake() = 0;

    // Clears the port's error state and tells how many bytes wait in the input queue
    // (ClearCommError). Fails once the port is gone (hang-up, pulled adapter, closed).
    virtual bool QueueStatus(std::uint32_t &queued) = 0;
    // One read of at most max bytes under the read time-outs: returns the count (0 when
    // nothing came), or -1 on failure. cancel, when set, ends the wait early.
    virtual long Read(std::uint8_t *buffer, std::size_t max,
                      const std::atomic<bool> *cancel = nullptr) = 0;
    // Writes the whole of data; false on failure.
    virtual bool Write(std::span<const std::uint8_t> data) = 0;
    // Closes the port; true when it was open and the close succeeded.
    virtual bool Close() = 0;
};

std::unique_ptr<SerialPort> MakeSerialPort();

// The last port failure of the calling thread, and the system's text for it.
int LastPortError();
std::string PortErrorText(int code);
// The system's text for the calling thread's last port failure; where the platform can tell
// the user what to do about it (a device the user has no access to), that follows on a line
// of its own.
std::string LastPortErrorText();

} // namespace kv::link
