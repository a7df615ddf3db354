// The serial port on Windows: a COM device opened for overlapped I/O with CreateFileA, so
// that the receive thread can wait for a receive-character event (or its wake-up event)
// while the main thread writes; each read and write still completes before it returns. The
// read time-outs are the driver's own (COMMTIMEOUTS).
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

// A manual-reset event, closed with its owner.
class Event {
public:
    Event() : handle_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() {
        if (handle_)
            ::CloseHandle(handle_);
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

class Win32SerialPort final : public SerialPort {
public:
    ~Win32SerialPort() override { Close(); }

    bool Open(const std::string &name) override {
        // Overlapped, no sharing, no security attributes, existing devices only.
        handle_ = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
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

    bool SetReadTimeouts(std::chrono::milliseconds interval,
                         std::chrono::milliseconds perByte) override {
        const auto intervalMs = static_cast<int>(interval.count());
        const auto multiplierMs = static_cast<int>(perByte.count());
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

    Wait WaitForInput(std::chrono::milliseconds timeout, std::uint32_t *queuedOut) override {
        const int timeoutMs = static_cast<int>(timeout.count());
        const ULONGLONG end =
            ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
        for (;;) {
            std::uint32_t queued = 0;
            if (!QueueStatus(queued))
                return Wait::Failed;
            if (queued > 0) {
                if (queuedOut)
                    *queuedOut = queued;
                return Wait::Input;
            }
            DWORD wait = INFINITE;
            if (timeoutMs >= 0) {
                const ULONGLONG now = ::GetTickCount64();
                if (now >= end)
                    return Wait::TimedOut;
                wait = static_cast<DWORD>(end - now);
            }
            const Wait w = WaitForEvent(wait);
            if (w != Wait::Input)
                return w;
            // A receive-character event, an event of another kind, or a wait the driver
            // ended by itself (Wine's ends every few milliseconds, aborted): the queue tells.
        }
    }

    void Wake() override { ::SetEvent(wake_.get()); }

    long Read(std::uint8_t *buffer, std::size_t max, const std::atomic<bool> *) override {
        // The driver ends the read on the interval time-out; it cannot be cut short.
        OVERLAPPED ov{};
        ov.hEvent = readDone_.get();
        ::ResetEvent(ov.hEvent);
        DWORD n = 0;
        if (!Finish(::ReadFile(handle_, buffer, static_cast<DWORD>(max), nullptr, &ov), ov, n)) {
            Fail();
            return -1;
        }
        return static_cast<long>(n);
    }

    bool Write(std::span<const std::uint8_t> data) override {
        std::size_t off = 0;
        while (off < data.size()) {
            OVERLAPPED ov{};
            ov.hEvent = writeDone_.get();
            ::ResetEvent(ov.hEvent);
            DWORD n = 0;
            if (!Finish(::WriteFile(handle_, data.data() + off,
                                    static_cast<DWORD>(data.size() - off), nullptr, &ov),
                        ov, n))
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
    // One wait for a receive-character event, the wake-up event or the time-out. Input
    // means that the event came (or the wait ended by itself), not that bytes wait.
    Wait WaitForEvent(DWORD timeoutMs) {
        OVERLAPPED ov{};
        ov.hEvent = waitDone_.get();
        ::ResetEvent(ov.hEvent);
        DWORD mask = 0;
        if (::WaitCommEvent(handle_, &mask, &ov))
            return Wait::Input;
        if (::GetLastError() != ERROR_IO_PENDING) {
            Fail();
            return Wait::Failed;
        }
        // Bytes that came between the look at the queue and the wait raise no event; the
        // wait is not waited then (nor when the look fails: the caller's next look tells).
        constexpr DWORD kNotWaited = WAIT_OBJECT_0 + 2;
        std::uint32_t queued = 0;
        DWORD r = kNotWaited;
        if (QueueStatus(queued) && queued == 0) {
            const HANDLE events[2] = {ov.hEvent, wake_.get()};
            r = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs);
        }
        if (r != WAIT_OBJECT_0)
            ::CancelIoEx(handle_, &ov);
        // Also a wait that was cancelled, or that the driver aborted, has ended here.
        DWORD n = 0;
        ::GetOverlappedResult(handle_, &ov, &n, TRUE);
        if (r == WAIT_OBJECT_0 + 1) {
            ::ResetEvent(wake_.get());
            return Wait::Woken;
        }
        if (r == WAIT_TIMEOUT)
            return Wait::TimedOut;
        if (r != WAIT_OBJECT_0 && r != kNotWaited) {
            Fail();
            return Wait::Failed;
        }
        return Wait::Input;
    }

    // Waits for an overlapped read or write that started with the result `started`.
    bool Finish(BOOL started, OVERLAPPED &ov, DWORD &n) {
        if (!started && ::GetLastError() != ERROR_IO_PENDING)
            return false;
        return ::GetOverlappedResult(handle_, &ov, &n, TRUE) != FALSE;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    // One event for each kind of operation: the receive thread waits and reads while the
    // main thread writes.
    Event waitDone_, readDone_, writeDone_;
    Event wake_;
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
