// The file calls on POSIX systems.
#include "app/file_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "app/text_files.h" // SystemErrorText

namespace kv::files {

namespace {

Kind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISCHR(mode))
        return Kind::CharDevice;
    return Kind::Other;
}

int Fd(std::intptr_t h) {
    return static_cast<int>(h);
}

// The system's text for errno as it is now; an errno of 0 (which no failing call should
// leave) is reported as an input/output error rather than as "Success".
std::string LastError() {
    return SystemErrorText(errno != 0 ? errno : EIO);
}

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

OpenFile::~OpenFile() {
    if (IsOpen())
        ::close(Fd(handle_));
}

OpenFile::OpenFile(OpenFile &&other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), kind_(other.kind_), size_(other.size_) {}

OpenFile &OpenFile::operator=(OpenFile &&other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::close(Fd(handle_));
        handle_ = std::exchange(other.handle_, kNone);
        kind_ = other.kind_;
        size_ = other.size_;
    }
    return *this;
}

long long OpenFile::Read(char *buffer, std::size_t n, std::string &error) {
    for (;;) {
        const ssize_t r = ::read(Fd(handle_), buffer, n);
        if (r >= 0)
            return r;
        if (errno != EINTR) {
            error = LastError();
            return -1;
        }
    }
}

bool OpenFile::WriteAll(std::string_view text, std::string &error) {
    while (!text.empty()) {
        const ssize_t w = ::write(Fd(handle_), text.data(), text.size());
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error = w < 0 ? LastError() : SystemErrorText(EIO);
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(w));
    }
    return true;
}

bool OpenFile::Sync(std::string &error) {
    // A file system that cannot sync (EINVAL: some special or network ones) has nothing to
    // make durable; that is no failure of the write.
    if (::fsync(Fd(handle_)) != 0 && errno != EINVAL) {
        error = LastError();
        return false;
    }
    return true;
}

bool OpenFile::Truncate(std::uint64_t length, std::string &error) {
    if (::ftruncate(Fd(handle_), static_cast<off_t>(length)) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

void OpenFile::CopyModeAndOwner(const std::string &like) {
    struct stat st {};
    if (::stat(like.c_str(), &st) != 0)
        return;
    // The owner first: changing it clears the set-user-ID and set-group-ID bits, which the
    // mode then gives back. Only a privileged process may give a file away (EPERM otherwise).
    if (::fchown(Fd(handle_), st.st_uid, st.st_gid) != 0)
        (void)::fchown(Fd(handle_), static_cast<uid_t>(-1), st.st_gid);
    (void)::fchmod(Fd(handle_), st.st_mode & 07777);
}

bool OpenFile::Close(std::string &error) {
    const int fd = Fd(std::exchange(handle_, kNone));
    if (::close(fd) != 0 && errno != EINTR) {
        error = LastError();
        return false;
    }
    return true;
}

Info Examine(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Info{Kind::Missing, true};
    return Info{KindOf(st.st_mode), (st.st_mode & S_IWUSR) != 0};
}

bool FinalTarget(const std::string &path, std::string &target, std::string &error) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true; // missing (created by the writer), or no link
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) {
            error = LastError();
            return false;
        }
        const std::string link(buffer.data(), static_cast<std::size_t>(n));
        target = !link.empty() && link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
    error = SystemErrorText(ELOOP);
    return false;
}

OpenFile OpenFile::Adopt(std::intptr_t handle, std::string &error) {
    OpenFile f;
    if (handle < 0) {
        error = LastError();
        return f;
    }
    f.handle_ = handle;
    struct stat st {};
    if (::fstat(Fd(handle), &st) != 0) {
        error = LastError();
        return OpenFile{};
    }
    f.kind_ = KindOf(st.st_mode);
    f.size_ = static_cast<std::uint64_t>(st.st_size);
    return f;
}

OpenFile OpenForReading(const std::string &path, std::string &error) {
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer; O_NOCTTY: a terminal
    // never becomes the controlling one.
    return OpenFile::Adopt(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC),
                           error);
}

OpenFile OpenForAppending(const std::string &path, std::string &error) {
    // A FIFO without a reader fails at once (ENXIO) instead of waiting for one.
    OpenFile f = OpenFile::Adopt(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
               0666),
        error);
    // Writes to a regular file or a device then block as usual.
    const int flags = f.IsOpen() ? ::fcntl(Fd(f.handle_), F_GETFL) : -1;
    if (flags >= 0)
        (void)::fcntl(Fd(f.handle_), F_SETFL, flags & ~O_NONBLOCK);
    return f;
}

OpenFile CreateNew(const std::string &path, std::string &error, bool &exists) {
    OpenFile f;
    exists = false;
    // 0666 and the umask, as any new file of the program; O_NOFOLLOW: a link planted under
    // the name is never followed (O_EXCL refuses it anyway).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        error = LastError();
        return f;
    }
    f.handle_ = fd;
    f.kind_ = Kind::Regular;
    return f;
}

bool RenameOver(const std::string &from, const std::string &to, std::string &error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

void SyncFolder(const std::string &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

void Remove(const std::string &path) {
    (void)::unlink(path.c_str());
}

} // namespace kv::files
