// The serial port on Windows: a COM device opened synchronously with CreateFileA; the read
// time-outs are the driver's own (COMMTIMEOUTS).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "link/serial_port.h"

namespace kv::link {

namespace {

thread_local DWORD tlsLastError = 0;

bool Fail() {
    tlsLastError = ::GetLastError();
    return false;
}

class Win32SerialPort final : public SerialPort {
public:
    ~Win32SerialPort() override { Close(); }

    bool Open(const std::string &name) override {
        // Synchronous, no sharing, no security attributes, existing devices only.
        handle_ = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return Fail();
        return true;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    bool GetLineSettings() override {
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof(DCB);
        return ::GetCommState(handle_, &dcb_) ? true : Fail();
    }

    bool SetLineSettings(int baud) override {
        dcb_.BaudRate = static_cast<DWORD>(baud);
        dcb_.ByteSize = 8;
        dcb_.Parity = NOPARITY;
        dcb_.StopBits = ONESTOPBIT;
        return ::SetCommState(handle_, &dcb_) ? true : Fail();
    }

    void SetDtr(bool on) override { ::EscapeCommFunction(handle_, on ? SETDTR : CLRDTR); }
    void SetRts(bool on) override { ::EscapeCommFunction(handle_, on ? SETRTS : CLRRTS); }

    bool GetTimeouts() override { return ::GetCommTimeouts(handle_, &timeouts_) ? true : Fail(); }

    bool SetReadTimeouts(int intervalMs, int multiplierMs) override {
        timeouts_.ReadIntervalTimeout = static_cast<DWORD>(intervalMs);
        timeouts_.ReadTotalTimeoutMultiplier = static_cast<DWORD>(multiplierMs);
        return ::SetCommTimeouts(handle_, &timeouts_) ? true : Fail();
    }

    bool SetEventMask(bool rxChar) override {
        return ::SetCommMask(handle_, rxChar ? EV_RXCHAR : 0) ? true : Fail();
    }

    bool QueueStatus(std::uint32_t &queued) override {
        DWORD errors = 0;
        COMSTAT stat{};
        queued = 0;
        if (!::ClearCommError(handle_, &errors, &stat))
            return Fail();
        queued = stat.cbInQue;
        return true;
    }

    long Read(std::uint8_t *buffer, std::size_t max, const std::atomic<bool> *) override {
        // The driver ends the read on the interval time-out; it cannot be cut short.
        DWORD n = 0;
        if (!::ReadFile(handle_, buffer, static_cast<DWORD>(max), &n, nullptr)) {
            Fail();
            return -1;
        }
        return static_cast<long>(n);
    }

    bool Write(std::span<const std::uint8_t> data) override {
        std::size_t off = 0;
        while (off < data.size()) {
            DWORD n = 0;
            if (!::WriteFile(handle_, data.data() + off, static_cast<DWORD>(data.size() - off), &n,
                             nullptr))
                return Fail();
            if (n == 0) { // a write time-out of the driver
                tlsLastError = ERROR_TIMEOUT;
                return false;
            }
            off += n;
        }
        return true;
    }

    bool Close() override {
        if (handle_ == INVALID_HANDLE_VALUE) {
            tlsLastError = ERROR_INVALID_HANDLE;
            return false;
        }
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(h) ? true : Fail();
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
};

} // namespace

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

int LastPortError() {
    return static_cast<int>(tlsLastError);
}

std::string LastPortErrorText() {
    return PortErrorText(LastPortError());
}

std::string PortErrorText(int code) {
    char *text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : std::string();
    if (text)
        ::LocalFree(text);
    // The system's texts end with a line break.
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.pop_back();
    if (s.empty())
        s = "System error " + std::to_string(code);
    return s;
}

} // namespace kv::link
