#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kv::sim {

namespace {

std::string ErrnoText(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

void SetError(std::string *error, const std::string &text) {
    if (error)
        *error = text;
}

} // namespace

PtyLine::PtyLine(Settings settings, Handler handler)
    : settings_(std::move(settings)), handler_(std::move(handler)) {}

PtyLine::~PtyLine() {
    Stop();
}

bool PtyLine::OpenPty(std::string *error) {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m < 0) {
        SetError(error, ErrnoText("posix_openpt"));
        return false;
    }
    ::fcntl(m, F_SETFD, FD_CLOEXEC);
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0) {
        SetError(error, ErrnoText("grantpt/unlockpt"));
        ::close(m);
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(m, name, sizeof name) != 0) {
        SetError(error, ErrnoText("ptsname"));
        ::close(m);
        return false;
    }
    // Held for writing only: it keeps the line up, and a program looking for other readers
    // of its port (which would take its replies) does not count it.
    const int s = ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        SetError(error, ErrnoText("open slave"));
        ::close(m);
        return false;
    }
    // Raw both ways: the line carries binary frames.
    termios t{};
    if (::tcgetattr(s, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(s, TCSANOW, &t);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);

    {
        std::lock_guard lock(mutex_);
        devicePath_ = name;
        partial_.clear();
        hangUpRequest_ = false;
    }
    const std::string &linkPath = settings_.linkPath;
    if (!linkPath.empty()) {
        // Only a symbolic link is ever replaced, never a file someone keeps there.
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                SetError(error, linkPath + " exists and is not a symbolic link");
                ::close(s);
                ::close(m);
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            SetError(error, ErrnoText("symlink " + linkPath));
            ::close(s);
            ::close(m);
            return false;
        }
    }
    master_ = m;
    slave_ = s;
    hungUp_ = false;
    return true;
}

void PtyLine::ClosePty() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

bool PtyLine::Start(std::string *error) {
    if (thread_.joinable())
        return true;
    if (::pipe(wake_) != 0) {
        SetError(error, ErrnoText("pipe"));
        return false;
    }
    for (int fd : wake_) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (!OpenPty(error)) {
        ::close(wake_[0]);
        ::close(wake_[1]);
        wake_[0] = wake_[1] = -1;
        return false;
    }
    stop_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void PtyLine::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    ClosePty();
    for (int &fd : wake_) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    const std::string device = DevicePath();
    if (!settings_.linkPath.empty()) {
        // The link is removed only while it still points at this line's device.
        char target[256] = {};
        const ssize_t n = ::readlink(settings_.linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && device == std::string(target, static_cast<std::size_t>(n)))
            ::unlink(settings_.linkPath.c_str());
    }
}

bool PtyLine::Restart(std::string *error) {
    Stop();
    return Start(error);
}

void PtyLine::Wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    }
}

std::string PtyLine::DevicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

std::string PtyLine::PortPath() const {
    return settings_.linkPath.empty() ? DevicePath() : settings_.linkPath;
}

void PtyLine::HangUpNow() {
    {
        std::lock_guard lock(mutex_);
        hangUpRequest_ = true;
    }
    Wake();
    // The hang-up is done by the serving thread; wait for it so the caller can rely on it.
    for (int i = 0; i < 500 && !hungUp_ && thread_.joinable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void PtyLine::SendRaw(Bytes bytes) {
    {
        std::lock_guard lock(mutex_);
        outQueue_.insert(outQueue_.end(), bytes.begin(), bytes.end());
        sending_ = true;
    }
    Wake();
}

void PtyLine::Flood(int bytesPerSecond, int durationMs, std::uint8_t fill) {
    {
        std::lock_guard lock(mutex_);
        if (bytesPerSecond <= 0 || durationMs <= 0) {
            flood_.reset();
        } else {
            FloodState f;
            f.bytesPerSecond = bytesPerSecond;
            f.fill = fill;
            f.total = static_cast<long long>(bytesPerSecond) * durationMs / 1000;
            f.start = Clock::now();
            flood_ = f;
            sending_ = true;
        }
    }
    Wake();
}

bool PtyLine::WaitSent(int timeoutMs) const {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (sending_) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool PtyLine::WriteAll(const std::uint8_t *data, std::size_t n, bool dropWhenFull) {
    std::size_t off = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (off < n && master_ >= 0) {
        const ssize_t w = ::write(master_, data + off, n - off);
        if (w > 0) {
            off += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (dropWhenFull || Clock::now() >= deadline || stop_)
            return false; // nobody reads: the bytes are lost, as on a real line
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return true;
}

void PtyLine::Send(const Bytes &bytes) {
    if (settings_.baud <= 0) {
        WriteAll(bytes.data(), bytes.size(), false);
        return;
    }
    // Each byte leaves when a real line would have sent it: 10 bits (start, 8 data, stop).
    const auto start = Clock::now();
    const double byteNs = 1e10 / settings_.baud;
    if (settings_.wholeReplies) {
        // All at once when the last byte is due: the reply ends when it would byte by byte.
        const auto due =
            start + std::chrono::nanoseconds(static_cast<long long>(
                        byteNs * static_cast<double>(bytes.empty() ? 0 : bytes.size() - 1)));
        while (!stop_ && Clock::now() < due)
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(50)));
        if (!stop_)
            WriteAll(bytes.data(), bytes.size(), false);
        return;
    }
    std::size_t sent = 0;
    while (sent < bytes.size() && !stop_) {
        const auto due =
            static_cast<std::size_t>(
                std::chrono::duration<double, std::nano>(Clock::now() - start).count() / byteNs) +
            1;
        const std::size_t n = std::min(bytes.size(), due) - std::min(sent, due);
        if (n > 0) {
            if (!WriteAll(bytes.data() + sent, n, false))
                return;
            sent += n;
        }
        if (sent < bytes.size())
            std::this_thread::sleep_until(
                start + std::chrono::nanoseconds(static_cast<long long>(byteNs * sent)));
    }
}

void PtyLine::Answer(const Response &response) {
    for (const Response::Part &part : response.parts) {
        if (part.pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(part.pauseMs));
        if (!part.bytes.empty())
            Send(part.bytes);
    }
}

void PtyLine::FloodStep() {
    Bytes chunk;
    {
        std::lock_guard lock(mutex_);
        if (!flood_)
            return;
        const double secs = std::chrono::duration<double>(Clock::now() - flood_->start).count();
        const long long due = std::min<long long>(
            flood_->total, static_cast<long long>(secs * flood_->bytesPerSecond));
        chunk.assign(static_cast<std::size_t>(std::max(0LL, due - flood_->sent)), flood_->fill);
        flood_->sent = due;
        if (flood_->sent >= flood_->total)
            flood_.reset();
    }
    if (!chunk.empty())
        WriteAll(chunk.data(), chunk.size(), true);
}

void PtyLine::Serve() {
    std::uint8_t buf[4096];
    while (!stop_) {
        bool hangUp = false;
        bool flooding = false;
        Bytes raw;
        {
            std::lock_guard lock(mutex_);
            hangUp = hangUpRequest_;
            flooding = flood_.has_value();
            raw.swap(outQueue_);
        }
        if (hangUp && master_ >= 0) {
            // As when the adapter is pulled: the program's side sees POLLHUP and EIO.
            ClosePty();
            hungUp_ = true;
            std::lock_guard lock(mutex_);
            outQueue_.clear();
            flood_.reset();
            sending_ = false;
        }
        if (!raw.empty() && master_ >= 0)
            Send(raw);
        if (flooding && master_ >= 0)
            FloodStep();
        {
            std::lock_guard lock(mutex_);
            if (outQueue_.empty() && !flood_)
                sending_ = false;
        }

        pollfd p[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        const int count = master_ >= 0 ? 2 : 1;
        // Every request from another thread (stop, hang-up, raw bytes, a flood) writes to the
        // wake pipe: an idle line sleeps until a frame or a request comes. The second's limit
        // only bounds a request that was somehow not woken.
        const int r = ::poll(p, static_cast<nfds_t>(count), flooding ? 1 : 1000);
        if (r < 0 && errno != EINTR)
            break;
        if (p[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (count < 2 || !(p[1].revents & POLLIN))
            continue;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            continue;
        std::vector<Frame> complete;
        {
            std::lock_guard lock(mutex_);
            partial_.insert(partial_.end(), buf, buf + n);
            while (partial_.size() >= std::tuple_size_v<Frame>) {
                Frame f;
                std::copy_n(partial_.begin(), f.size(), f.begin());
                partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(f.size()));
                complete.push_back(f);
            }
        }
        for (const Frame &f : complete) {
            const Response response = handler_(f);
            if (response.hangUp) {
                std::lock_guard lock(mutex_);
                hangUpRequest_ = true;
                break; // what else came is lost with the line
            }
            Answer(response);
            std::lock_guard lock(mutex_);
            if (hangUpRequest_)
                break;
        }
    }
}

} // namespace kv::sim
