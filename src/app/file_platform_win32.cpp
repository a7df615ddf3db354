// The file calls on Windows.
#include "app/file_platform.h"

#include <windows.h>

#include <utility>

namespace kv::files {

namespace {

HANDLE H(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::string ErrorText(DWORD code) {
    char *text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : std::string();
    if (text)
        ::LocalFree(text);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.pop_back();
    return s.empty() ? "System error " + std::to_string(code) : s;
}

std::string LastError() {
    const DWORD code = ::GetLastError();
    return ErrorText(code != 0 ? code : ERROR_GEN_FAILURE);
}

Kind KindOf(HANDLE h) {
    switch (::GetFileType(h)) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(h, &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return Kind::Directory;
        return Kind::Regular;
    }
    case FILE_TYPE_CHAR:
        return Kind::CharDevice;
    default:
        return Kind::Other; // pipes
    }
}

std::uint64_t SizeOf(HANDLE h) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(h, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// Opens with every sharing mode, so that a file another program holds open stays usable.
HANDLE Open(const std::string &path, DWORD access, DWORD disposition, DWORD flags = 0) {
    return ::CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

} // namespace

OpenFile::~OpenFile() {
    if (IsOpen())
        ::CloseHandle(H(handle_));
}

OpenFile::OpenFile(OpenFile &&other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), kind_(other.kind_), size_(other.size_) {}

OpenFile &OpenFile::operator=(OpenFile &&other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::CloseHandle(H(handle_));
        handle_ = std::exchange(other.handle_, kNone);
        kind_ = other.kind_;
        size_ = other.size_;
    }
    return *this;
}

long long OpenFile::Read(char *buffer, std::size_t n, std::string &error) {
    DWORD got = 0;
    const DWORD want = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n);
    if (!::ReadFile(H(handle_), buffer, want, &got, nullptr)) {
        if (::GetLastError() == ERROR_BROKEN_PIPE || ::GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        error = LastError();
        return -1;
    }
    return got;
}

bool OpenFile::WriteAll(std::string_view text, std::string &error) {
    while (!text.empty()) {
        const DWORD want = text.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(text.size());
        DWORD done = 0;
        if (!::WriteFile(H(handle_), text.data(), want, &done, nullptr)) {
            error = LastError();
            return false;
        }
        if (done == 0) {
            error = ErrorText(ERROR_WRITE_FAULT);
            return false;
        }
        text.remove_prefix(done);
    }
    return true;
}

bool OpenFile::Sync(std::string &error) {
    // A device (NUL) cannot be flushed; that is no failure of the write.
    if (!::FlushFileBuffers(H(handle_)) && kind_ == Kind::Regular) {
        error = LastError();
        return false;
    }
    return true;
}

bool OpenFile::Truncate(std::uint64_t length, std::string &error) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(H(handle_), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(H(handle_))) {
        error = LastError();
        return false;
    }
    return true;
}

void OpenFile::CopyModeAndOwner(const std::string &) {
    // A new file gets the folder's inherited permissions, as a file the program creates;
    // the read-only attribute is refused before any replacement.
}

bool OpenFile::Close(std::string &error) {
    if (!::CloseHandle(H(std::exchange(handle_, kNone)))) {
        error = LastError();
        return false;
    }
    return true;
}

Info Examine(const std::string &path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Info{Kind::Missing, true};
    const bool writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Info{Kind::Directory, writable};
    // Devices (NUL, COM1) and pipes are told apart by their handle; a query-only opening
    // (no access asked) touches no device.
    const HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Info{Kind::Regular, writable};
    const Kind kind = KindOf(h);
    ::CloseHandle(h);
    return Info{kind, writable};
}

bool FinalTarget(const std::string &path, std::string &target, std::string &) {
    target = path;
    const HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // missing: created under its own name
    char buffer[MAX_PATH * 4];
    const DWORD n = ::GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    ::CloseHandle(h);
    if (n > 0 && n < sizeof buffer) {
        std::string s(buffer, n);
        // "\\?\C:\dir\file" -> "C:\dir\file"; network paths keep their long form.
        if (s.rfind("\\\\?\\", 0) == 0 && s.size() > 6 && s[5] == ':')
            s.erase(0, 4);
        target = s;
    }
    return true;
}

OpenFile OpenFile::Adopt(std::intptr_t handle, std::string &error) {
    OpenFile f;
    const HANDLE h = H(handle);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError();
        return f;
    }
    f.handle_ = handle;
    f.kind_ = KindOf(h);
    f.size_ = SizeOf(h);
    return f;
}

OpenFile OpenForReading(const std::string &path, std::string &error) {
    return OpenFile::Adopt(reinterpret_cast<std::intptr_t>(
                               Open(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS)),
                           error);
}

OpenFile OpenForAppending(const std::string &path, std::string &error) {
    return OpenFile::Adopt(
        reinterpret_cast<std::intptr_t>(Open(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS)),
        error);
}

OpenFile CreateNew(const std::string &path, std::string &error, bool &exists) {
    OpenFile f;
    exists = false;
    // FILE_FLAG_OPEN_REPARSE_POINT: a symbolic link or junction under the name is the name's
    // holder, never followed to create its target.
    const HANDLE h = Open(path, GENERIC_WRITE, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        error = ErrorText(code);
        return f;
    }
    f.handle_ = reinterpret_cast<std::intptr_t>(h);
    f.kind_ = Kind::Regular;
    return f;
}

bool RenameOver(const std::string &from, const std::string &to, std::string &error) {
    // The target may be held for a moment by another writer's rename, a reader without
    // FILE_SHARE_DELETE or a virus scanner: such a refusal is tried again for up to half a
    // second before it is reported.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExA(from.c_str(), to.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD code = ::GetLastError();
        if (attempt >= 50 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
            error = ErrorText(code);
            return false;
        }
        ::Sleep(10);
    }
}

void SyncFolder(const std::string &) {
    // MOVEFILE_WRITE_THROUGH has made the rename durable.
}

void Remove(const std::string &path) {
    ::DeleteFileA(path.c_str());
}

} // namespace kv::files
