#include "drill_meter.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace kvdrill {

namespace {

double CpuNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long StatusKiB(const char *key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(f, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::stol(line.substr(n + 1));
    return -1;
}

bool privateMounts = false;

} // namespace

Meter::Meter(std::string name) : name_(std::move(name)) {
    // "5" resets the peak resident set size to the present one.
    if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    cpu0_ = CpuNow();
    wall0_ = std::chrono::steady_clock::now();
}

double Meter::CpuSeconds() const {
    return CpuNow() - cpu0_;
}

double Meter::WallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0_).count();
}

long Meter::PeakKiB() const {
    return StatusKiB("VmHWM");
}
long Meter::CurrentKiB() const {
    return StatusKiB("VmRSS");
}

void Meter::Report(const std::string &what, const std::string &lost) const {
    std::printf("DRILL %s: %s | cpu %.2f s of %.1f s wall | peak %.1f MiB, now %.1f MiB | "
                "lost: %s\n",
                name_.c_str(), what.c_str(), CpuSeconds(), WallSeconds(), PeakKiB() / 1024.0,
                CurrentKiB() / 1024.0, lost.c_str());
    std::fflush(stdout);
}

bool EnterPrivateMounts() {
    if (unshare(CLONE_NEWNS) != 0)
        return false;
    // Nothing mounted here propagates back to the rest of the system.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    privateMounts = true;
    return true;
}

bool PrivateMounts() {
    return privateMounts;
}

bool MountTmpfs(const std::string &dir, long bytes, const std::string &options,
                std::string *error) {
    mkdir(dir.c_str(), 0755);
    std::string data = "size=" + std::to_string(bytes) + ",mode=0755";
    unsigned long flags = 0;
    if (options.find("ro") != std::string::npos)
        flags |= MS_RDONLY;
    if (options.find("nodev") != std::string::npos)
        flags |= MS_NODEV;
    if (mount("tmpfs", dir.c_str(), "tmpfs", flags, data.c_str()) != 0) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }
    return true;
}

bool RemountReadOnly(const std::string &dir, std::string *error) {
    if (mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }
    return true;
}

bool Unmount(const std::string &dir) {
    return umount2(dir.c_str(), MNT_DETACH) == 0;
}

long FillUp(const std::string &dir) {
    const std::string file = dir + "/filler";
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 0;
    std::vector<char> block(4096, 'F');
    long total = 0;
    for (;;) {
        const ssize_t n = write(fd, block.data(), block.size());
        if (n <= 0)
            break;
        total += n;
    }
    // The last partial page, byte by byte.
    while (write(fd, "F", 1) == 1)
        ++total;
    close(fd);
    return total;
}

} // namespace kvdrill
