// The serial port on POSIX systems: a termios tty in raw mode. The read time-outs of the
// port (a read ends after a gap between bytes) are emulated with poll() on the monotonic
// clock, since termios only knows tenths of a second and no gap after a first byte.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

#include "app/text_files.h"
#include "link/messages.h"
#include "link/port_name.h"
#include "link/serial_port.h"

namespace kv::link {

namespace {

thread_local int tlsLastError = 0;
thread_local std::string tlsLastHint; // what to do about tlsLastError, when known

bool Fail(int err) {
    tlsLastError = err;
    tlsLastHint.clear();
    return false;
}

bool InGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(n, 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Why a device may not be opened, when it is the usual reason: its group may open it, and the
// user's session is not in that group. Empty when that is not the reason.
std::string AccessHint(const std::string &device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || InGroup(st.st_gid))
        return {};
    std::vector<char> buf(16384);
    passwd pw{};
    passwd *user = nullptr;
    ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &user);
    const std::string userName = user ? user->pw_name : std::to_string(::geteuid());
    // Listed in the group file, or the group is the user's own: the session predates it.
    bool listed = user && user->pw_gid == st.st_gid;
    std::vector<char> groupBuf(16384);
    group gr{};
    group *owner = nullptr;
    ::getgrgid_r(st.st_gid, &gr, groupBuf.data(), groupBuf.size(), &owner);
    for (char **m = owner ? owner->gr_mem : nullptr; m && *m; ++m)
        listed = listed || userName == *m;
    return PortGroupHint(owner ? owner->gr_name : std::to_string(st.st_gid), userName, listed);
}

using Clock = std::chrono::steady_clock;

std::optional<speed_t> SpeedFor(int baud) {
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    // The BSDs take the rate itself.
    if (baud <= 0)
        return std::nullopt;
    return static_cast<speed_t>(baud);
#else
    struct Row {
        int baud;
        speed_t speed;
    };
    static constexpr Row kSpeeds[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},
        {150, B150},       {200, B200},       {300, B300},         {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const Row &r : kSpeeds)
        if (r.baud == baud)
            return r.speed;
    return std::nullopt;
#endif
}

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() {
        // The self-pipe that Wake() writes to: a wait polls it beside the device.
        int fds[2];
        if (::pipe(fds) == 0) {
            for (int fd : fds) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
            wakeRead_ = fds[0];
            wakeWrite_ = fds[1];
        }
    }
    ~PosixSerialPort() override {
        Close();
        if (wakeRead_ >= 0) {
            ::close(wakeRead_);
            ::close(wakeWrite_);
        }
    }

    bool Open(const std::string &name) override {
        const std::string path = PosixPortPath(name);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            Fail(err);
            if (err == EACCES)
                tlsLastHint = AccessHint(path);
            return false;
        }
        // No sharing between programs that take the lock (every instance of this program
        // does). The lock goes with the last descriptor, so a killed program leaves none
        // behind; TIOCEXCL is not set, since it stays on the tty for as long as anything else
        // holds it (the far end of a pseudo-terminal) and then turns away every later open
        // by an ordinary user.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return Fail(err);
        }
        fd_ = fd;
        return true;
    }

    bool IsOpen() const override { return fd_ >= 0; }

    bool GetLineSettings() override {
        if (fd_ < 0)
            return Fail(EBADF);
        if (::tcgetattr(fd_, &tio_) != 0)
            return Fail(errno);
        return true;
    }

    bool SetLineSettings(int baud) override {
        if (fd_ < 0)
            return Fail(EBADF);
        termios t = tio_;
        // A tty starts cooked: echo, line editing and XON/XOFF would eat or hold back bytes.
        ::cfmakeraw(&t);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        const auto speed = SpeedFor(baud);
        if (!speed)
            return Fail(EINVAL);
        if (::cfsetispeed(&t, *speed) != 0 || ::cfsetospeed(&t, *speed) != 0)
            return Fail(errno);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return Fail(errno);
        tio_ = t;
        return true;
    }

    void SetDtr(bool on) override { ModemLine(TIOCM_DTR, on); }
    void SetRts(bool on) override { ModemLine(TIOCM_RTS, on); }

    bool GetTimeouts() override { return fd_ >= 0 ? true : Fail(EBADF); }

    bool SetReadTimeouts(std::chrono::milliseconds interval,
                         std::chrono::milliseconds perByte) override {
        const auto intervalMs = static_cast<int>(interval.count());
        const auto multiplierMs = static_cast<int>(perByte.count());
        if (fd_ < 0)
            return Fail(EBADF);
        intervalMs_ = std::max(0, intervalMs);
        multiplierMs_ = std::max(0, multiplierMs);
        return true;
    }

    bool SetEventMask(bool) override { return fd_ >= 0 ? true : Fail(EBADF); }

    Wait WaitForInput(std::chrono::milliseconds timeout, std::uint32_t *queuedOut) override {
        const int timeoutMs = static_cast<int>(timeout.count());
        if (fd_ < 0) {
            Fail(EBADF);
            return Wait::Failed;
        }
        const auto end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
                wait = static_cast<int>(std::max<long long>(left.count(), 0));
            }
            pollfd p[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            const int r = ::poll(p, wakeRead_ >= 0 ? 2 : 1, wait);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                Fail(errno);
                return Wait::Failed;
            }
            if (r > 0 && (p[1].revents & POLLIN)) {
                std::uint8_t drain[64];
                while (::read(wakeRead_, drain, sizeof drain) > 0) {
                }
                return Wait::Woken;
            }
            // A hung-up tty reports itself readable with nothing to read, at once and
            // again: the port is gone, as when it hangs up with nothing left to read.
            int queued = 0;
            if ((p[0].revents & POLLIN) && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0) {
                if (queuedOut)
                    *queuedOut = static_cast<std::uint32_t>(queued);
                return Wait::Input;
            }
            if (p[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
                Fail(EIO);
                return Wait::Failed;
            }
            if (r == 0)
                return Wait::TimedOut;
        }
    }

    void Wake() override {
        if (wakeWrite_ >= 0) {
            const std::uint8_t one = 1;
            // A full pipe already holds a wake-up.
            [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &one, 1);
        }
    }

    bool QueueStatus(std::uint32_t &queued) override {
        queued = 0;
        if (fd_ < 0)
            return Fail(EBADF);
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0 && errno != EINTR)
            return Fail(errno);
        // A pseudo-terminal whose other side closed reports POLLHUP, a pulled adapter an
        // error: the port is gone.
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN))
            return Fail(EIO);
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) != 0)
            return Fail(errno);
        queued = static_cast<std::uint32_t>(std::max(0, n));
        return true;
    }

    long Read(std::uint8_t *buffer, std::size_t max, const std::atomic<bool> *cancel) override {
        if (fd_ < 0) {
            Fail(EBADF);
            return -1;
        }
        using std::chrono::milliseconds;
        const auto start = Clock::now();
        // The total limit counts from the call; the gap limit from the last byte.
        const auto total = start + milliseconds(static_cast<long long>(multiplierMs_) *
                                                static_cast<long long>(max));
        auto lastByte = start;
        std::size_t got = 0;
        // Bytes already queued (the caller asks for what the queue holds) are taken at once.
        // What the read cannot take now is left to the loop, which polls first: with VMIN =
        // VTIME = 0 a read of an empty tty returns 0 like end of file, so it reads only what
        // poll reports.
        if (const ssize_t n = ::read(fd_, buffer, max); n > 0) {
            got = static_cast<std::size_t>(n);
            lastByte = Clock::now();
        }
        while (got < max) {
            auto deadline = total;
            if (got > 0 && intervalMs_ > 0)
                deadline = std::min(deadline, lastByte + milliseconds(intervalMs_));
            const auto now = Clock::now();
            auto wait =
                deadline > now ? std::chrono::ceil<milliseconds>(deadline - now) : milliseconds(0);
            if (cancel)
                wait = std::min(wait, milliseconds(20));
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(wait.count()));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return got > 0 ? static_cast<long>(got) : (Fail(errno), -1L);
            }
            if (r == 0) {
                if (Clock::now() >= deadline || (cancel && cancel->load(std::memory_order_acquire)))
                    break;
                continue;
            }
            const bool gone = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            if (p.revents & POLLIN) {
                const ssize_t n = ::read(fd_, buffer + got, max - got);
                if (n > 0) {
                    got += static_cast<std::size_t>(n);
                    lastByte = Clock::now();
                    continue;
                }
                if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                    return got > 0 ? static_cast<long>(got) : (Fail(errno), -1L);
                if (n < 0 || !gone) {
                    if (Clock::now() >= deadline)
                        break;
                    continue;
                }
            }
            if (gone) // hung up or failed: what came so far is the result
                return got > 0 ? static_cast<long>(got) : (Fail(EIO), -1L);
        }
        return static_cast<long>(got);
    }

    bool Write(std::span<const std::uint8_t> data) override {
        if (fd_ < 0)
            return Fail(EBADF);
        // A tty may take part of a frame; the rest goes out as room frees up. A line that
        // stays blocked (flow control held off) fails instead of hanging the program.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        std::size_t off = 0;
        while (off < data.size()) {
            const ssize_t n = ::write(fd_, data.data() + off, data.size() - off);
            if (n > 0) {
                off += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return Fail(errno);
            const auto now = Clock::now();
            if (now >= deadline)
                return Fail(ETIMEDOUT);
            pollfd p{fd_, POLLOUT, 0};
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            if (::poll(&p, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR)
                return Fail(errno);
            if (!(p.revents & POLLOUT) && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                return Fail(EIO);
        }
        return true;
    }

    bool Close() override {
        if (fd_ < 0)
            return Fail(EBADF);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return Fail(errno);
        return true;
    }

private:
    void ModemLine(int bit, bool on) {
        if (fd_ >= 0)
            ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
    }

    int fd_ = -1;
    termios tio_{};
    int intervalMs_ = 0;
    int multiplierMs_ = 0;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};

} // namespace

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

int LastPortError() {
    return tlsLastError;
}

std::string PortErrorText(int code) {
    return SystemErrorText(code);
}

std::string LastPortErrorText() {
    std::string text = PortErrorText(tlsLastError);
    if (!tlsLastHint.empty())
        text += "\r" + tlsLastHint;
    return text;
}

} // namespace kv::link
