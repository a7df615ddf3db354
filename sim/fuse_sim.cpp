#include "fuse_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/commands.h"
#include "link/crc8.h"

namespace kv::sim {

namespace {

using Clock = std::chrono::steady_clock;
using kv::link::Cmd;

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

constexpr std::uint8_t Code(Cmd c) {
    return static_cast<std::uint8_t>(c);
}

std::string ErrnoText(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void SetError(std::string *error, const std::string &text) {
    if (error)
        *error = text;
}

} // namespace

FuseSim::FuseSim(Options options) : o_(std::move(options)) {}

FuseSim::~FuseSim() {
    Stop();
}

bool FuseSim::OpenPty(std::string *error) {
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
    const int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
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

    std::string linkPath;
    {
        std::lock_guard lock(mutex_);
        devicePath_ = name;
        linkPath = o_.linkPath;
        partial_.clear();
        hangUpRequest_ = false;
    }
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
            SetError(error, ErrnoText(("symlink " + linkPath).c_str()));
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

void FuseSim::ClosePty() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

bool FuseSim::Start(std::string *error) {
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

void FuseSim::Stop() {
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
    std::string linkPath, device;
    {
        std::lock_guard lock(mutex_);
        linkPath = o_.linkPath;
        device = devicePath_;
    }
    if (!linkPath.empty()) {
        char target[256] = {};
        const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && device == std::string(target, static_cast<std::size_t>(n)))
            ::unlink(linkPath.c_str());
    }
}

bool FuseSim::Restart(std::string *error) {
    Stop();
    return Start(error);
}

void FuseSim::Wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    }
}

std::string FuseSim::DevicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

std::string FuseSim::LinkPath() const {
    std::lock_guard lock(mutex_);
    return o_.linkPath;
}

std::string FuseSim::PortPath() const {
    std::lock_guard lock(mutex_);
    return o_.linkPath.empty() ? devicePath_ : o_.linkPath;
}

bool FuseSim::HungUp() const {
    return hungUp_;
}

// ---- state ----

void FuseSim::SetLoadCurrent(double amps) {
    std::lock_guard lock(mutex_);
    o_.loadCurrent = amps;
}

void FuseSim::SetAdc(std::optional<int> adc) {
    std::lock_guard lock(mutex_);
    o_.adc = adc;
}

int FuseSim::AdcLocked() const {
    if (o_.adc)
        return std::clamp(*o_.adc, 0, 0xFFFF);
    const double v = std::nearbyint(o_.loadCurrent * o_.held.multiply);
    return static_cast<int>(std::clamp(v, 0.0, 1023.0));
}

int FuseSim::Adc() const {
    std::lock_guard lock(mutex_);
    return AdcLocked();
}

void FuseSim::SetManualSwitchOff(bool off) {
    std::lock_guard lock(mutex_);
    o_.manualSwitchOff = off;
}

void FuseSim::SetRelay(bool on) {
    std::lock_guard lock(mutex_);
    o_.relayOn = on;
}

bool FuseSim::Relay() const {
    std::lock_guard lock(mutex_);
    return o_.relayOn;
}

FuseParams FuseSim::HeldParams() const {
    std::lock_guard lock(mutex_);
    return o_.held;
}

FuseParams FuseSim::StoredParams() const {
    std::lock_guard lock(mutex_);
    return o_.stored;
}

void FuseSim::SetHeldParams(const FuseParams &p) {
    std::lock_guard lock(mutex_);
    o_.held = p;
}

void FuseSim::SetStoredParams(const FuseParams &p) {
    std::lock_guard lock(mutex_);
    o_.stored = p;
}

void FuseSim::SetRelayOffCount(std::uint16_t count) {
    std::lock_guard lock(mutex_);
    o_.relayOffCount = count;
}

Table FuseSim::GetTable() const {
    std::lock_guard lock(mutex_);
    return o_.table;
}

void FuseSim::SetTable(const Table &t) {
    std::lock_guard lock(mutex_);
    o_.table = t;
}

std::string FuseSim::InfoText() const {
    std::lock_guard lock(mutex_);
    std::string s = o_.info;
    s.resize(kInfoTextLength, ' ');
    return s;
}

std::array<std::uint8_t, kRecordSize> FuseSim::RecordLocked(bool stored) const {
    std::array<std::uint8_t, kRecordSize> r{};
    const FuseParams &p = stored ? o_.stored : o_.held;
    const int adc = AdcLocked();
    const double tenths = std::nearbyint(o_.loadCurrent * 10.0);
    const auto measured = static_cast<std::uint8_t>(std::clamp(tenths, 0.0, 255.0));
    r[0] = o_.relayOn ? 0x08 : 0x00;         // PortC: relay
    r[1] = 0x00;                             // PortB
    r[2] = o_.manualSwitchOff ? 0x08 : 0x00; // PortA: manual switch off
    std::uint8_t flags = 0;
    if (measured > p.fuseCurrent)
        flags |= 0x01; // CurOver
    if (o_.manualSwitchOff)
        flags |= 0x02; // SwNotOk
    if (p.useAverage)
        flags |= 0x08; // UseAvgc
    r[3] = flags;
    const auto params = p.RecordOrder();
    std::copy(params.begin(), params.end(), r.begin() + 4);
    if (!stored && setStatusSeen_ && o_.faults.readBackMismatch >= 4 &&
        o_.faults.readBackMismatch <= 10)
        r[static_cast<std::size_t>(o_.faults.readBackMismatch)] ^= 0x01;
    r[11] = kv::Crc8(std::span<const std::uint8_t>(r.data() + 4, 7));
    r[12] = static_cast<std::uint8_t>(adc >> 8);
    r[13] = static_cast<std::uint8_t>(adc);
    r[14] = p.fuseCurrent; // the current the fuse works with
    r[15] = measured;
    r[16] = static_cast<std::uint8_t>(adc >> 8);
    r[17] = static_cast<std::uint8_t>(adc);
    r[19] = static_cast<std::uint8_t>(o_.relayOffCount >> 8);
    r[20] = static_cast<std::uint8_t>(o_.relayOffCount);
    for (const auto &[index, value] : o_.faults.statusOverride)
        if (index >= 0 && index < kRecordSize)
            r[static_cast<std::size_t>(index)] = value;
    return r;
}

std::array<std::uint8_t, kRecordSize> FuseSim::StatusRecord(bool stored) const {
    std::lock_guard lock(mutex_);
    return RecordLocked(stored);
}

// ---- faults ----

Faults FuseSim::GetFaults() const {
    std::lock_guard lock(mutex_);
    return o_.faults;
}

void FuseSim::SetFaults(const Faults &f) {
    std::lock_guard lock(mutex_);
    o_.faults = f;
}

void FuseSim::SetSilent(bool all) {
    std::lock_guard lock(mutex_);
    o_.faults.silentAll = all;
}

void FuseSim::SetSilent(std::uint8_t code, bool silent) {
    std::lock_guard lock(mutex_);
    if (silent)
        o_.faults.silent.insert(code);
    else
        o_.faults.silent.erase(code);
}

void FuseSim::SetReplyLength(std::uint8_t code, std::optional<int> length) {
    std::lock_guard lock(mutex_);
    if (length)
        o_.faults.replyLength[code] = std::max(0, *length);
    else
        o_.faults.replyLength.erase(code);
}

void FuseSim::SetSplit(std::uint8_t code, std::optional<Faults::Split> split) {
    std::lock_guard lock(mutex_);
    if (split)
        o_.faults.split[code] = *split;
    else
        o_.faults.split.erase(code);
}

void FuseSim::SetWrongWriteCrc(bool on) {
    std::lock_guard lock(mutex_);
    o_.faults.wrongWriteCrc = on;
}

void FuseSim::SetReadBackMismatch(int recordByte) {
    std::lock_guard lock(mutex_);
    o_.faults.readBackMismatch = recordByte;
}

void FuseSim::SetTableBlockReply(int block, std::optional<std::vector<std::uint8_t>> reply) {
    std::lock_guard lock(mutex_);
    if (reply)
        o_.faults.tableBlockReply[block] = std::move(*reply);
    else
        o_.faults.tableBlockReply.erase(block);
}

void FuseSim::SetTableSilentFrom(int block) {
    std::lock_guard lock(mutex_);
    o_.faults.tableSilentFrom = block;
}

void FuseSim::HangUpAfterFrames(int frames) {
    std::lock_guard lock(mutex_);
    o_.faults.hangUpAfterFrames = frames < 0 ? -1 : static_cast<int>(framesSeen_) + frames;
}

void FuseSim::HangUpNow() {
    {
        std::lock_guard lock(mutex_);
        hangUpRequest_ = true;
    }
    Wake();
    // The hang-up is done by the serving thread; wait for it so the caller can rely on it.
    for (int i = 0; i < 500 && !hungUp_ && thread_.joinable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void FuseSim::OverrideStatusByte(int index, std::optional<std::uint8_t> value) {
    std::lock_guard lock(mutex_);
    if (value)
        o_.faults.statusOverride[index] = *value;
    else
        o_.faults.statusOverride.erase(index);
}

void FuseSim::SendRaw(std::vector<std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        outQueue_.insert(outQueue_.end(), bytes.begin(), bytes.end());
        sending_ = true;
    }
    Wake();
}

void FuseSim::Flood(int bytesPerSecond, int durationMs, std::uint8_t fill) {
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

bool FuseSim::WaitSent(int timeoutMs) const {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (sending_) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<Frame> FuseSim::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::size_t FuseSim::FrameCount() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

void FuseSim::ClearFrames() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

// ---- the firmware model ----

std::vector<std::uint8_t> FuseSim::Normal(const Frame &f, bool &silent) {
    silent = false;
    const std::uint8_t code = f[0];
    std::vector<std::uint8_t> r;
    auto block = [&] { return f[1] >= kTableBase ? (f[1] - kTableBase) / 8 : -1; };
    switch (code) {
    case Code(Cmd::Info): {
        std::string s = o_.info;
        s.resize(kInfoTextLength, ' ');
        r.assign(s.begin(), s.end());
        break;
    }
    case Code(Cmd::ReStart):
        o_.held = o_.stored;
        o_.relayOn = false;
        setStatusSeen_ = false;
        break;
    case Code(Cmd::GetStatus):
    case Code(Cmd::GetStoredStatus): {
        const auto rec = RecordLocked(code == Code(Cmd::GetStoredStatus));
        r.assign(rec.begin(), rec.end());
        break;
    }
    case Code(Cmd::SetStatus):
        // The request carries use average before use vref; the record the other way round.
        o_.held.fuseCurrent = f[1];
        o_.held.zeroOffset = f[2];
        o_.held.multiply = f[3];
        o_.held.overloadTime = f[4];
        o_.held.useAverage = f[5];
        o_.held.useVref = f[6];
        o_.held.measureCount = f[7];
        setStatusSeen_ = true;
        break;
    case Code(Cmd::WriteData): {
        o_.stored = o_.held;
        const auto params = o_.held.RecordOrder();
        std::uint8_t crc = kv::Crc8(params);
        if (o_.faults.wrongWriteCrc)
            crc = static_cast<std::uint8_t>(~crc);
        r.push_back(crc);
        break;
    }
    case Code(Cmd::RelayOn):
    case Code(Cmd::RelayOff):
        // The manual switch overrides the serial line.
        if (!o_.manualSwitchOff)
            o_.relayOn = code == Code(Cmd::RelayOn);
        break;
    case Code(Cmd::GetCurrentCmd): {
        const int adc = AdcLocked();
        r = {static_cast<std::uint8_t>(adc >> 8),
             static_cast<std::uint8_t>(adc),
             o_.held.zeroOffset,
             o_.held.multiply,
             static_cast<std::uint8_t>(o_.relayOn ? 0x08 : 0x00),
             0x00};
        break;
    }
    case Code(Cmd::ReadTableBlock):
        if (o_.faults.tableSilentFrom >= 0 && block() >= o_.faults.tableSilentFrom) {
            silent = true;
            return r;
        }
        for (int j = 0; j < 8; ++j) {
            const int a = f[1] + j - kTableBase;
            r.push_back(a >= 0 && a < kTableSize ? o_.table[static_cast<std::size_t>(a)] : 0);
        }
        break;
    case Code(Cmd::WriteTableBlock):
        if (o_.faults.tableSilentFrom >= 0 && block() >= o_.faults.tableSilentFrom) {
            silent = true;
            return r;
        }
        if (o_.faults.tableBlockReply.count(block()))
            return r; // a failing block stores nothing
        for (int j = 0; j < 8; ++j) {
            const int a = f[1] + j - kTableBase;
            if (a >= 0 && a < kTableSize)
                o_.table[static_cast<std::size_t>(a)] = f[2 + static_cast<std::size_t>(j)];
        }
        break;
    default:
        silent = true; // an unknown code gets no answer
        return r;
    }
    r.push_back(kCr);
    r.push_back(kLf);
    return r;
}

std::optional<FuseSim::Reply> FuseSim::Answer(const Frame &f) {
    const std::uint8_t code = f[0];
    bool silent = false;
    Reply reply;
    reply.bytes = Normal(f, silent);
    if (silent || o_.faults.silentAll || o_.faults.silent.count(code))
        return std::nullopt;
    if (code == Code(Cmd::ReadTableBlock) || code == Code(Cmd::WriteTableBlock)) {
        const int block = f[1] >= kTableBase ? (f[1] - kTableBase) / 8 : -1;
        auto it = o_.faults.tableBlockReply.find(block);
        if (it != o_.faults.tableBlockReply.end())
            reply.bytes = it->second;
    }
    if (auto it = o_.faults.replyLength.find(code); it != o_.faults.replyLength.end())
        reply.bytes.resize(static_cast<std::size_t>(it->second), 0xEE);
    if (auto it = o_.faults.split.find(code); it != o_.faults.split.end())
        reply.split = it->second;
    return reply;
}

void FuseSim::OnFrame(const Frame &f) {
    std::optional<Reply> reply;
    bool verbose = false;
    {
        std::lock_guard lock(mutex_);
        frames_.push_back(f);
        verbose = o_.verbose;
        if (o_.faults.hangUpAfterFrames >= 0 &&
            framesSeen_ >= static_cast<std::size_t>(o_.faults.hangUpAfterFrames)) {
            ++framesSeen_;
            hangUpRequest_ = true;
            o_.faults.hangUpAfterFrames = -1; // once: a replugged device works again
            return;
        }
        ++framesSeen_;
        reply = Answer(f);
    }
    if (verbose) {
        std::fprintf(stderr, "fusesim: frame");
        for (auto b : f)
            std::fprintf(stderr, " %02X", b);
        std::fprintf(stderr, reply ? " -> %zu bytes\n" : " -> no reply\n",
                     reply ? reply->bytes.size() : std::size_t{0});
    }
    if (!reply)
        return;
    if (reply->split) {
        const auto at = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(0, reply->split->atByte)), reply->bytes.size());
        Send({reply->bytes.begin(), reply->bytes.begin() + static_cast<long>(at)});
        std::this_thread::sleep_for(std::chrono::milliseconds(reply->split->gapMs));
        Send({reply->bytes.begin() + static_cast<long>(at), reply->bytes.end()});
    } else {
        Send(reply->bytes);
    }
}

// ---- the line ----

bool FuseSim::WriteAll(const std::uint8_t *data, std::size_t n, bool dropWhenFull) {
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

void FuseSim::Send(const std::vector<std::uint8_t> &bytes) {
    int baud = 0;
    {
        std::lock_guard lock(mutex_);
        baud = o_.baud;
    }
    if (baud <= 0) {
        WriteAll(bytes.data(), bytes.size(), false);
        return;
    }
    // Each byte leaves when a real line would have sent it: 10 bits (start, 8 data, stop).
    const auto start = Clock::now();
    const double byteNs = 1e10 / baud;
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

void FuseSim::Serve() {
    std::uint8_t buf[4096];
    while (!stop_) {
        bool hangUp = false;
        bool flooding = false;
        std::vector<std::uint8_t> raw;
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
        if (flooding && master_ >= 0) {
            std::vector<std::uint8_t> chunk;
            {
                std::lock_guard lock(mutex_);
                if (flood_) {
                    const double secs =
                        std::chrono::duration<double>(Clock::now() - flood_->start).count();
                    const long long due = std::min<long long>(
                        flood_->total, static_cast<long long>(secs * flood_->bytesPerSecond));
                    chunk.assign(static_cast<std::size_t>(std::max(0LL, due - flood_->sent)),
                                 flood_->fill);
                    flood_->sent = due;
                    if (flood_->sent >= flood_->total)
                        flood_.reset();
                }
            }
            if (!chunk.empty())
                WriteAll(chunk.data(), chunk.size(), true);
        }
        {
            std::lock_guard lock(mutex_);
            if (outQueue_.empty() && !flood_)
                sending_ = false;
        }

        pollfd p[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        const int count = master_ >= 0 ? 2 : 1;
        const int r = ::poll(p, static_cast<nfds_t>(count), flooding ? 1 : 50);
        if (r < 0 && errno != EINTR)
            break;
        if (p[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (count == 2 && (p[1].revents & POLLIN)) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                std::vector<Frame> complete;
                {
                    std::lock_guard lock(mutex_);
                    partial_.insert(partial_.end(), buf, buf + n);
                    while (partial_.size() >= std::tuple_size_v<Frame>) {
                        Frame f;
                        std::copy_n(partial_.begin(), f.size(), f.begin());
                        partial_.erase(partial_.begin(),
                                       partial_.begin() + static_cast<long>(f.size()));
                        complete.push_back(f);
                    }
                }
                for (const Frame &f : complete) {
                    OnFrame(f);
                    std::lock_guard lock(mutex_);
                    if (hangUpRequest_)
                        break;
                }
            }
        }
    }
}

} // namespace kv::sim
