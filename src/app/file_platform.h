// The operating system's file calls that the text-file helpers need, behind one small
// interface: POSIX (file_platform_posix.cpp) and Win32 (file_platform_win32.cpp). Every
// failure carries the system's text for the call that failed, taken right after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv::files {

// What a path names, after following symbolic links.
enum class Kind {
    Missing,
    Regular,
    Directory,
    CharDevice, // a terminal, /dev/null, /dev/full, NUL
    Other,      // FIFO, socket, block device: nothing a text file can be read from or put in
};

struct Info {
    Kind kind = Kind::Missing;
    bool writable = true; // the owner may write it (the read-only attribute on Windows)
};

// An open file, closed on destruction. Each call reports failure by false (or -1) and the
// system's text in `error`.
class OpenFile {
public:
    OpenFile() = default;
    ~OpenFile();
    OpenFile(OpenFile &&other) noexcept;
    OpenFile &operator=(OpenFile &&other) noexcept;
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;

    bool IsOpen() const { return handle_ != kNone; }
    Kind kind() const { return kind_; }
    // The size when opened (regular files).
    std::uint64_t size() const { return size_; }

    // Up to n bytes; 0 at the end, -1 on failure.
    long long Read(char *buffer, std::size_t n, std::string &error);
    // All of text, however many calls it takes.
    bool WriteAll(std::string_view text, std::string &error);
    // To the disk (fsync, FlushFileBuffers).
    bool Sync(std::string &error);
    // Cuts the file back to `length` bytes (an append that failed half-way).
    bool Truncate(std::uint64_t length, std::string &error);
    // Gives the file the permission bits, and where the process may set it the owner, of the
    // file `like` (a file being replaced by this one).
    void CopyModeAndOwner(const std::string &like);
    bool Close(std::string &error);

private:
    friend OpenFile OpenForReading(const std::string &, std::string &);
    friend OpenFile OpenForAppending(const std::string &, std::string &);
    friend OpenFile CreateNew(const std::string &, std::string &, bool &);

    // Takes over a handle just returned by the system's open call (kNone when it failed:
    // then its error) and learns what was opened.
    static OpenFile Adopt(std::intptr_t handle, std::string &error);

    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
    Kind kind_ = Kind::Missing;
    std::uint64_t size_ = 0;
};

Info Examine(const std::string &path);

// The file a path finally names: symbolic links followed, each relative one from the folder
// of the link. A dangling link gives the missing file it points to. Fails on a loop.
bool FinalTarget(const std::string &path, std::string &target, std::string &error);

// Opens an existing file for reading without ever waiting on it (a FIFO without a writer
// opens at once); kind() says what was opened.
OpenFile OpenForReading(const std::string &path, std::string &error);
// Opens a file for appending, creating it when missing, without ever waiting on it (a FIFO
// without a reader is refused at once, not waited for).
OpenFile OpenForAppending(const std::string &path, std::string &error);
// Creates a file that did not exist (O_CREAT | O_EXCL, CREATE_NEW); `exists` is set when
// the name was taken, so that the caller can try another.
OpenFile CreateNew(const std::string &path, std::string &error, bool &exists);

// Renames from over to, replacing it in one step.
bool RenameOver(const std::string &from, const std::string &to, std::string &error);
// Makes a rename in the folder durable (POSIX: fsync of the folder); best effort.
void SyncFolder(const std::string &folder);
void Remove(const std::string &path);

} // namespace kv::files
