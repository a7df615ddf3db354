// What a fault drill measures and the places it runs in: CPU time and peak memory of the
// process over the drill, a private mount namespace for tiny and read-only file systems.
#pragma once

#include <chrono>
#include <string>

namespace kvdrill {

// CPU time (user + system) and wall time since construction, and the peak resident set
// over the same span (the kernel's high-water mark is reset at construction).
class Meter {
public:
    explicit Meter(std::string name);
    double CpuSeconds() const;
    double WallSeconds() const;
    long PeakKiB() const;    // VmHWM
    long CurrentKiB() const; // VmRSS
    // One line "DRILL <name>: <what> | cpu .. s of .. s wall | peak .. MiB | lost: <lost>"
    // on the standard output, collected by scripts/test into the drill table.
    void Report(const std::string &what, const std::string &lost) const;

private:
    std::string name_;
    double cpu0_ = 0;
    std::chrono::steady_clock::time_point wall0_;
};

// Moves the process into a mount namespace of its own (when it may), so that what a drill
// mounts is seen by nobody else and disappears with the process. Call before any thread
// starts. Returns false when the process lacks the right (not root, or in a container that
// forbids it).
bool EnterPrivateMounts();
bool PrivateMounts();

// Mounts a tmpfs of the given size at dir (created); options are added ("ro", "nodev").
bool MountTmpfs(const std::string &dir, long bytes, const std::string &options, std::string *error);
bool RemountReadOnly(const std::string &dir, std::string *error);
bool Unmount(const std::string &dir);
// Fills the file system holding dir until a write fails with ENOSPC; the filler file is
// dir/filler. Returns the bytes written.
long FillUp(const std::string &dir);

} // namespace kvdrill
